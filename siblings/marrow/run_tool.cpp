#include "siblings/marrow/run_tool.h"

#include "platform/shell/tool_run.h"

namespace marrow {

bool ToolAvailable(const std::string& name) { return vel::shell::OnPath(name); }

bool RunTool(const ToolRun& run) { return vel::shell::RunTool({run.argv, run.tmpDir, run.timeoutSeconds * 1000}); }

}  // namespace marrow

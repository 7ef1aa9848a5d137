// Feeds arbitrary bytes to the binary project reader, for the whole project
// and for the settings only.
#include <cstddef>
#include <cstdint>

#include "printlayout/file/ArchiveString.h"
#include "printlayout/file/ProjectFile.h"
#include "printlayout/model/Environment.h"
#include "printlayout/model/Project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaly::NullEnvironment environment;
  for (bool settingsOnly : {false, true}) {
    tessaly::Project project(environment);
    const bool ok = tessaly::ReadBinaryProject(project, data, size, settingsOnly);
    if (project.pages.size() < 2) __builtin_trap();
    if (ok && !settingsOnly) {
      // Whatever was read can be written again.
      tessaly::ArchiveWriter out;
      if (!tessaly::WriteBinaryProject(project, out)) __builtin_trap();
    }
  }
  return 0;
}

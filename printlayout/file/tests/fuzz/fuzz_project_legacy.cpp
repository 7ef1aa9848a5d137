// Feeds arbitrary bytes to the profile parser and the legacy project reader.
#include <cstddef>
#include <cstdint>

#include "printlayout/file/ProfileFile.h"
#include "printlayout/file/ProjectFile.h"
#include "printlayout/model/Environment.h"
#include "printlayout/model/Project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaly::ProfileFile profile;
  profile.parse(data, size);
  // The quick look-up agrees with the full parse.
  if (tessaly::ProfileFile::find(data, size, "Common", "Version", tessaly::ProfileFile::kVersionLimit) !=
      profile.value("Common", "Version", tessaly::ProfileFile::kVersionLimit)) {
    __builtin_trap();
  }
  tessaly::NullEnvironment environment;
  tessaly::Project project(environment);
  tessaly::ReadLegacyProject(project, profile, false);
  if (project.pages.size() < 2) __builtin_trap();
  tessaly::ReadLegacyProject(project, profile, true);
  return 0;
}

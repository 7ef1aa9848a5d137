// Finding a project file's version, loading and saving it.

#include "printlayout/file/ProjectFile.h"

#include "platform/base/file.h"
#include "printlayout/file/ArchiveString.h"
#include "printlayout/file/ProfileFile.h"

namespace tessaly {

namespace {

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

}  // namespace

int DetectProjectVersion(const std::uint8_t* data, std::size_t size) {
  const auto version = ProfileFile::find(data, size, "Common", "Version", ProfileFile::kVersionLimit);
  if (version && *version == "1.0b") return kProjectVersionLegacy;
  return DetectBinaryMagic(data, size);
}

int detectProjectVersion(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return kProjectVersionUnknown;
  return DetectProjectVersion(Bytes(bytes), bytes.size());
}

bool loadProject(Project& project, const std::string& path) {
  project.resetToDefaults();
  project.path = path;
  // One read serves the version check and the reading itself. A file that
  // cannot be read has no version and, like any other non-binary file, reads
  // as a legacy file with every key missing.
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) bytes.clear();
  const int version = DetectProjectVersion(Bytes(bytes), bytes.size());
  project.fileVersion = version;
  if (version == kProjectVersion200 || version == kProjectVersion201) {
    return ReadBinaryProject(project, Bytes(bytes), bytes.size(), false);
  }
  ProfileFile profile;
  profile.parse(Bytes(bytes), bytes.size());
  ReadLegacyProject(project, profile, false);
  return true;
}

bool LoadBinaryProjectSettings(Project& project, const std::string& path, int version) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    project.environment().message("Can't load file \n " + path);
    return false;
  }
  project.resetToDefaults();
  project.path = path;
  // The reset cleared the version that was found; the project keeps it.
  project.fileVersion = version;
  return ReadBinaryProject(project, Bytes(bytes), bytes.size(), true);
}

bool loadProjectSettings(Project& project, const std::string& path) {
  const int version = detectProjectVersion(path);
  project.fileVersion = version;
  if (version == kProjectVersion200 || version == kProjectVersion201) {
    return LoadBinaryProjectSettings(project, path, version);
  }
  ProfileFile profile;
  profile.loadFile(path);
  ReadLegacyProject(project, profile, true);
  return true;
}

bool saveProject(Project& project, const std::string& path) {
  ArchiveWriter out;
  if (!WriteBinaryProject(project, out)) return false;
  if (!vel::ReplaceFileContents(path, out.data(), "tessaly")) return false;
  project.setModified(false);
  return true;
}

}  // namespace tessaly

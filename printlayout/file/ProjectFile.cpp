// Finding a project file's version, loading and saving it.

#include "printlayout/file/ProjectFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "printlayout/file/ArchiveString.h"
#include "printlayout/file/ProfileFile.h"

namespace tessaly {

namespace {

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// Writes all of `bytes` to `fd`; false on any failure.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Puts `bytes` in place of the file at `path`: they go to a new file in the
// same folder first, which is renamed over the target only once it is
// complete, so a failure at any point leaves the old file untouched.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) return false;

  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    // The name is cut so that a target name near the system's limit still
    // leaves room for the suffix.
    temp = folder + "." + base.substr(0, 100) + ".tmp" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, bytes);
  ok = (::fsync(fd) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

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
  ByteWriter out;
  if (!WriteBinaryProject(project, out)) return false;
  if (!ReplaceFile(path, out.bytes())) return false;
  project.setModified(false);
  return true;
}

}  // namespace tessaly

// Pictures, folders and page probes for the print-layout program's tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "lorimer/ImageInterface.h"
#include "printlayout/export/ExportPages.h"
#include "printlayout/export/ExportTypes.h"

namespace tessaly::testing {

// A folder of its own, removed at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/tessaly-gui-XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "/tmp";
  }
  ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a w x h picture of one colour (0x00BBGGRR) as `type` (ExportType).
inline bool WritePicture(const std::string& path, int w, int h, COLORREF colour, int type) {
  CImageInterface image;
  HBITMAP bitmap = CImageInterface::CreateEmptyDIBSection(w, h, colour, 0);
  if (!bitmap || !image.InitFromHBITMAP(bitmap)) return false;
  const int depth = type == kExportGIF ? 8 : 24;
  return SaveExportImage(image, path, type, w, h, depth, false);
}

inline bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The folder the test binary (and the programs) live in.
inline std::string BinDir() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  std::string path(buf, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.find_last_of('/'));
}

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace tessaly::testing

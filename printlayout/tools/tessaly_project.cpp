// tessaly-project: reads, converts and arranges print-layout projects from
// scripts.
//
//   tessaly-project dump FILE          the whole project as JSON
//   tessaly-project settings FILE      the settings of FILE read into a fresh project, as JSON
//   tessaly-project convert IN OUT     IN (any version) saved as the current binary form
//   tessaly-project arrange FILE OUT FROM TO COLUMNS ROWS SPACINGH SPACINGV MODE
//   tessaly-project new OUT IMAGE...   a new project with the images laid out on the default grid
//
// Exit status 0 on success, 1 with a one-line reason on standard error.
#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "printlayout/file/ProjectFile.h"
#include "printlayout/layout/Layout.h"
#include "printlayout/tools/ProjectJson.h"

namespace {

constexpr const char* kUsage =
    "usage: tessaly-project dump FILE\n"
    "       tessaly-project settings FILE\n"
    "       tessaly-project convert IN OUT\n"
    "       tessaly-project arrange FILE OUT FROM TO COLUMNS ROWS SPACINGH SPACINGV MODE\n"
    "       tessaly-project new OUT IMAGE...\n";

int Fail(const std::string& reason) {
  std::fprintf(stderr, "tessaly-project: %s\n", reason.c_str());
  return 1;
}

bool IsReadableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ParseInt(const char* text, int& value) {
  const char* end = text + std::strlen(text);
  const auto [ptr, ec] = std::from_chars(text, end, value);
  return ec == std::errc() && ptr == end && ptr != text;
}

bool Load(tessaly::Project& project, const std::string& path) {
  return IsReadableFile(path) && tessaly::loadProject(project, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  auto environment = tessaly::MakeSystemEnvironment();
  // New projects start with the stored shadow, as in the program; the tool
  // never writes the settings back.
  environment->settings.load();
  tessaly::Project project(*environment);

  if ((command == "dump" || command == "settings") && argc == 3) {
    const std::string path = argv[2];
    if (!IsReadableFile(path)) return Fail("cannot open " + path);
    const bool ok =
        command == "dump" ? tessaly::loadProject(project, path) : tessaly::loadProjectSettings(project, path);
    if (!ok) return Fail("cannot read " + path);
    std::fputs(tessaly::ProjectToJson(project).c_str(), stdout);
    return 0;
  }
  if (command == "convert" && argc == 4) {
    if (!Load(project, argv[2])) return Fail(std::string("cannot read ") + argv[2]);
    if (!tessaly::saveProject(project, argv[3])) return Fail(std::string("cannot write ") + argv[3]);
    return 0;
  }
  if (command == "arrange" && argc == 11) {
    int values[7];
    for (int i = 0; i < 7; ++i)
      if (!ParseInt(argv[4 + i], values[i])) return Fail(std::string("not a number: ") + argv[4 + i]);
    if (values[6] < 0 || values[6] > 2) return Fail("MODE must be 0, 1 or 2");
    if (values[2] < 1 || values[3] < 1) return Fail("COLUMNS and ROWS must be at least 1");
    if (!Load(project, argv[2])) return Fail(std::string("cannot read ") + argv[2]);
    tessaly::arrange(project, values[0], values[1], values[2], values[3], values[4], values[5], values[6]);
    if (!tessaly::saveProject(project, argv[3])) return Fail(std::string("cannot write ") + argv[3]);
    return 0;
  }
  if (command == "new" && argc >= 4) {
    // Like the program started with image paths: every page of every file in
    // the not-arranged area, then the auto-arrangement over all pages.
    int skipped = 0;
    for (int i = 3; i < argc; ++i)
      if (project.addImageFile(argv[i], 0) == 0) ++skipped;
    tessaly::applyAutoArrange(project);
    if (!tessaly::saveProject(project, argv[2])) return Fail(std::string("cannot write ") + argv[2]);
    std::printf("%d image(s) on %d page(s)", project.totalImages(), project.pageCount());
    if (skipped) std::printf(", %d file(s) skipped", skipped);
    std::printf("\n");
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 1;
}

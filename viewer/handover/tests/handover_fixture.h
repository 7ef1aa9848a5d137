// A temporary world for the hand-over tests: a registry, a temporary folder, a
// program folder holding a stand-in print program, and a record of messages.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lorimer/ImageInterface.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/ui.h"
#include "viewer/core/tests/fake_host.h"
#include "viewer/handover/HandOver.h"
#include "viewer/handover/PrintHandOver.h"

namespace orvenna::testing {

// Records its arguments one a line and copies every file it was given (and the
// files named in an "@" list) beside itself, as file0, file1, ... and list.txt.
inline constexpr const char kStandIn[] = R"(#!/bin/sh
dir=$(dirname "$0")
: > "$dir/args.txt"
for a in "$@"; do printf '%s\n' "$a" >> "$dir/args.txt"; done
for a in "$@"; do
  case "$a" in
    @*) f="${a#@}"; cp "$f" "$dir/list.txt"; n=0
        while IFS= read -r line; do n=$((n+1)); cp "$line" "$dir/file$n"; done < "$f" ;;
    *) if [ -f "$a" ]; then cp "$a" "$dir/file0"; fi ;;
  esac
done
)";

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline void WriteScript(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  ::chmod(path.c_str(), 0755);
}

struct Message {
  std::string title, text;
  unsigned type;
};

class HandOverTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    tmp = TempPath("tmp");
    bin = TempPath("bin");
    QDir().mkpath(QString::fromStdString(tmp));
    QDir().mkpath(QString::fromStdString(bin));
    setenv("TMPDIR", tmp.c_str(), 1);
    setenv("VELMARK_CLIPBOARD_DIR", TempPath("clipboard").c_str(), 1);
    WriteScript(bin + "/_preview", kStandIn);
    handover_testing::SetProgramFolder(bin);
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned type) {
      messages.push_back({title, text, type});
      return IDOK;
    });
    RegisterHandOverCommands(host);
    host.MainWindow()->show();
  }
  void TearDown() override {
    vel::ui::SetMessageObserver({});
    handover_testing::SetProgramFolder("");
    handover_testing::SetMetaFileCopier(nullptr);
    unsetenv("TMPDIR");
    unsetenv("VELMARK_CLIPBOARD_DIR");
    TempRegistry::TearDown();
  }

  // Names in the temporary folder that start with the prefix.
  std::vector<std::string> TempFiles(const char* prefix) const {
    std::vector<std::string> names;
    for (const QString& name : QDir(QString::fromStdString(tmp)).entryList(QDir::Files))
      if (name.startsWith(QLatin1String(prefix))) names.push_back(name.toStdString());
    return names;
  }

  // A picture of `pages` pages written by the library (one colour a page).
  std::string MakeImage(const std::string& name, int pages) {
    const std::string path = TempPath(name);
    const bool tiff = name.size() > 4 && name.compare(name.size() - 4, 4, ".tif") == 0;
    for (int page = 0; page < pages; ++page) {
      CImageInterface image;
      EXPECT_TRUE(image.InitFromHBITMAP(CImageInterface::CreateEmptyDIBSection(16, 12, 0x203040u * (page + 1), 0)));
      if (tiff) {
        _SAVEIMAGEINFO::_TIF record{};
        record.width = record.height = -1;
        record.depth = 24;
        record.colour = 1;
        record.append = page > 0;
        EXPECT_TRUE(image.Save(path.c_str(), &record));
      } else {
        _SAVEIMAGEINFO::_JPG record{};
        record.width = record.height = -1;
        record.depth = 24;
        record.quality = 90;
        EXPECT_TRUE(image.Save(path.c_str(), &record));
      }
    }
    return path;
  }

  COrvennaDoc* OpenDoc(const std::string& path) {
    COrvennaDoc* doc = host.Open(path);
    EXPECT_NE(doc, nullptr) << path;
    return doc;
  }

  std::vector<std::string> Args() const { return ReadLines(bin + "/args.txt"); }

  FakeHost host;
  std::string tmp, bin;
  std::vector<Message> messages;
};

}  // namespace orvenna::testing

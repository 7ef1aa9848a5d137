// A scratch folder and a private registry for the rename tests, with small
// helpers to make files and rename lists.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "converter/settings/ConverterSettings.h"
#include "platform/registry/tests/temp_registry.h"

namespace converter::testing {

class RenameFixture : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    files_ = TempPath("files");
    ASSERT_EQ(::mkdir(files_.c_str(), 0755), 0);
    settings_ = ConverterSettings::Defaults();
    settings_.renAskBefore = 0;
    settings_.optCreateLog = 0;
  }

  std::string file(const std::string& name) const { return files_ + "/" + name; }
  void write(const std::string& path, const std::string& contents) const {
    std::ofstream(path, std::ios::binary) << contents;
  }
  void touch(const std::string& name) const { write(file(name), "data of " + name); }
  bool exists(const std::string& path) const {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }
  std::string read(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // A list with the "RENAME" line and the given paths, written as the shell
  // extension writes it.
  std::string list(const std::vector<std::string>& paths, const std::string& first = "RENAME") const {
    std::string text = first + "\n";
    for (const auto& p : paths) text += p + "\n";
    const std::string path = TempPath("list.tmp");
    write(path, text);
    return path;
  }

  std::string files_;
  ConverterSettings settings_;
};

}  // namespace converter::testing

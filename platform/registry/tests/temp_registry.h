// A registry folder of its own for each test, removed afterwards.
#pragma once

#include <ftw.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vel::reg::testing {

inline int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

class TempRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velreg-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("VELMARK_REGISTRY_DIR", (dir_ + "/registry").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("VELMARK_REGISTRY_DIR");
    if (!dir_.empty()) nftw(dir_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }

  std::string RegistryDir() const { return dir_ + "/registry"; }
  std::string TempPath(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

}  // namespace vel::reg::testing

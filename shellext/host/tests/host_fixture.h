// A private registry with the test handler registered for files and folders, one
// image file and one folder to select, and the handler's record of calls.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/com/com.h"
#include "platform/registry/tests/temp_registry.h"

namespace ferrule_host::testing {

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

class HostFixture : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    setenv("VELMARK_TEST_HANDLER_LOG", TempPath("handler.log").c_str(), 1);
    unsetenv("VELMARK_TEST_HANDLER_EMPTY");
    std::string error;
    ASSERT_TRUE(handler_.load(TEST_HANDLER_PATH, &error)) << error;
    ASSERT_EQ(handler_.registerServer(), S_OK);
    file_ = TempPath("photo.png");
    folder_ = TempPath("album");
    std::fclose(std::fopen(file_.c_str(), "w"));
    ASSERT_EQ(mkdir(folder_.c_str(), 0755), 0);
  }
  void TearDown() override {
    unsetenv("VELMARK_TEST_HANDLER_LOG");
    unsetenv("VELMARK_TEST_HANDLER_EMPTY");
    TempRegistry::TearDown();
  }
  std::string HandlerLog() const { return ReadText(TempPath("handler.log")); }

  vel::com::ServerModule handler_;
  std::string file_, folder_;
};

}  // namespace ferrule_host::testing

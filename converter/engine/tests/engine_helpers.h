// A private registry and folder per test, pictures written through the image
// library, and reading back what the engine wrote.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "converter/cli/CommandLine.h"
#include "converter/engine/ConversionEngine.h"
#include "converter/engine/tests/pictures.h"
#include "platform/registry/tests/temp_registry.h"

namespace converter::testing {

class EngineTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    settings = ConverterSettings::Defaults();
  }
  std::string file(const std::string& name) const { return TempPath(name); }
  void picture(const std::string& name, int w, int h, int pages = 1) const { WritePicture(file(name), w, h, pages); }
  void write(const std::string& name, const std::string& text) const { std::ofstream(file(name)) << text; }
  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) const { return std::ifstream(file(name)).good(); }
  struct Size {
    int width = 0, height = 0, pages = 0, vector = 0;
    bool operator==(const Size&) const = default;
  };
  Size size(const std::string& name) const {
    CImageInterface image;
    if (!image.Load(file(name).c_str(), 0)) return {};
    return {image.GetWidth(0), image.GetHeight(0), image.GetPageCount(), image.IsVectorImage()};
  }
  // Saves the settings, then runs one job as the program would.
  bool run(const std::string& argument, int mode) {
    EXPECT_TRUE(settings.Save());
    ConversionEngine engine;
    return engine.RunJob(argument, mode);
  }

  ConverterSettings settings;
};

}  // namespace converter::testing

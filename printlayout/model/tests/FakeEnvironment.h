// An environment whose printers, fonts and messages a test decides.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "printlayout/model/Environment.h"

namespace tessaly::testing {

class FakeEnvironment : public Environment {
 public:
  std::vector<std::string> installedPrinters() override { return printers; }
  std::string defaultPrinter() override { return defaultName; }
  bool printerDevMode(const std::string& name, vel::print::DevMode& out) override {
    const auto it = modes.find(name);
    if (it == modes.end()) return false;
    out = it->second;
    return true;
  }
  int textHeight(const TextFont& font) override { return fontHeight > 0 ? fontHeight : font.size; }
  void message(const std::string& text) override { messages.push_back(text); }

  // Installs a printer with the given device mode (all fields present).
  void addPrinter(const std::string& name, int widthTenthsMm, int lengthTenthsMm, short orientation, short paperSize,
                  const std::string& form, int dpiX, int dpiY) {
    vel::print::DevMode mode;
    mode.deviceName = name;
    mode.fields =
        DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_PRINTQUALITY | DM_YRESOLUTION | DM_FORMNAME;
    mode.paperWidth = widthTenthsMm;
    mode.paperLength = lengthTenthsMm;
    mode.orientation = orientation;
    mode.paperSize = paperSize;
    mode.formName = form;
    mode.printQuality = dpiX;
    mode.yResolution = dpiY;
    printers.push_back(name);
    modes[name] = mode;
  }

  std::vector<std::string> printers;
  std::string defaultName;
  std::map<std::string, vel::print::DevMode> modes;
  int fontHeight = 0;
  std::vector<std::string> messages;
};

}  // namespace tessaly::testing

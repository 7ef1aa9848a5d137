// What the project needs from the system around it: printers, font metrics,
// message boxes and the program's stored settings. The program uses the
// system environment; tests and fuzzers give their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/print/devmode.h"
#include "printlayout/model/TextFont.h"

namespace tessaly {

// The values of the program's "Settings" section, read once at start-up and
// written back at exit.
struct TessalySettings {
  std::string lastDirForAddImages;
  std::int32_t shadowImagesCX = 0;  // default shadowDx of new projects, 0.1 mm
  std::int32_t shadowImagesCY = 0;  // default shadowDy of new projects, 0.1 mm

  // HKEY_CURRENT_USER\Software\Velmark\Tessaly\Settings. Missing values keep
  // their defaults; load reports whether the key could be opened.
  bool load();
  bool save() const;
};

class Environment {
 public:
  virtual ~Environment() = default;

  // Names of the installed printers, compared exactly by the printer check.
  virtual std::vector<std::string> installedPrinters() = 0;
  // The system's default printer, empty when there is none.
  virtual std::string defaultPrinter() = 0;
  // The device mode of a printer; false when it cannot be read.
  virtual bool printerDevMode(const std::string& name, vel::print::DevMode& out) = 0;
  // Text-metric height of `font` at zoom 1.0 in 0.1 mm, as the screen measures it.
  virtual int textHeight(const TextFont& font) = 0;
  // A modal message box with an OK button.
  virtual void message(const std::string& text) = 0;

  TessalySettings settings;
};

// No printers, fonts as tall as their nominal size, messages dropped: for tests
// and fuzzers that must not touch the system.
class NullEnvironment : public Environment {
 public:
  std::vector<std::string> installedPrinters() override { return {}; }
  std::string defaultPrinter() override { return {}; }
  bool printerDevMode(const std::string&, vel::print::DevMode&) override { return false; }
  int textHeight(const TextFont& font) override;
  void message(const std::string& text) override { messages.push_back(text); }

  std::vector<std::string> messages;
};

// The real thing: printers through the print layer, fonts through the text
// engine, message boxes through the UI layer. Defined in the system library.
std::unique_ptr<Environment> MakeSystemEnvironment();

}  // namespace tessaly

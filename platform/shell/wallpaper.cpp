#include "platform/shell/wallpaper.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/shell/tool_run.h"

namespace vel::shell {
namespace {

// Desktop tools answer at once; one that hangs (a settings daemon that does
// not start) must not hang the converter's job.
constexpr int kToolTimeoutMs = 20000;
constexpr const char* kGnomeSchema = "org.gnome.desktop.background";
constexpr const char* kCinnamonSchema = "org.cinnamon.desktop.background";
constexpr const char* kMateSchema = "org.mate.background";
constexpr const char* kXfceChannel = "xfce4-desktop";
// XFCE's image-style values.
constexpr const char* kXfceCentered = "1";
constexpr const char* kXfceTiled = "2";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Mentions(const std::string& desktops, std::initializer_list<const char*> names) {
  // $XDG_CURRENT_DESKTOP is a ':'-separated list, e.g. "ubuntu:GNOME".
  std::stringstream list(Lower(desktops));
  std::string entry;
  while (std::getline(list, entry, ':'))
    for (const char* name : names)
      if (entry == name) return true;
  return false;
}

}  // namespace

std::string FileUri(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

Desktop DetectDesktop() {
  if (!Env("VELMARK_WALLPAPER_COMMAND").empty()) return Desktop::Override;
  std::string desktops = Env("XDG_CURRENT_DESKTOP");
  if (desktops.empty()) desktops = Env("DESKTOP_SESSION");
  if (Mentions(desktops, {"gnome", "gnome-classic", "gnome-flashback", "unity", "budgie", "budgie-desktop", "pantheon",
                          "pop", "ubuntu", "cosmic"}))
    return Desktop::Gnome;
  if (Mentions(desktops, {"x-cinnamon", "cinnamon"})) return Desktop::Cinnamon;
  if (Mentions(desktops, {"mate"})) return Desktop::Mate;
  if (Mentions(desktops, {"kde", "plasma", "plasmawayland"})) return Desktop::Plasma;
  if (Mentions(desktops, {"xfce", "xfce4", "xubuntu"})) return Desktop::Xfce;
  return Desktop::Other;
}

std::vector<ToolCall> WallpaperCalls(Desktop desktop, const std::string& path, bool tile,
                                     const std::string& xfceProperties, bool darkPicture) {
  std::vector<ToolCall> calls;
  switch (desktop) {
    case Desktop::Override: calls.push_back({{Env("VELMARK_WALLPAPER_COMMAND"), path}}); break;
    case Desktop::Gnome: {
      const std::string uri = FileUri(path);
      calls.push_back({{"gsettings", "set", kGnomeSchema, "picture-uri", uri}});
      // The dark style has a picture of its own; without it the wallpaper
      // would seem unchanged to users of the dark style.
      if (darkPicture) calls.push_back({{"gsettings", "set", kGnomeSchema, "picture-uri-dark", uri}});
      // Layouts that fit or stretch arrive already at the screen's size, so
      // centring shows them as they were made.
      calls.push_back({{"gsettings", "set", kGnomeSchema, "picture-options", tile ? "wallpaper" : "centered"}});
      break;
    }
    case Desktop::Cinnamon:
      calls.push_back({{"gsettings", "set", kCinnamonSchema, "picture-uri", FileUri(path)}});
      calls.push_back({{"gsettings", "set", kCinnamonSchema, "picture-options", tile ? "wallpaper" : "centered"}});
      break;
    case Desktop::Mate:
      // MATE keeps a plain path, not a URI.
      calls.push_back({{"gsettings", "set", kMateSchema, "picture-filename", path}});
      calls.push_back({{"gsettings", "set", kMateSchema, "picture-options", tile ? "wallpaper" : "centered"}});
      break;
    case Desktop::Plasma: calls.push_back({{"plasma-apply-wallpaperimage", path}}); break;
    case Desktop::Xfce: {
      std::stringstream lines(xfceProperties);
      std::string property;
      const std::string suffix = "/last-image";
      while (std::getline(lines, property)) {
        while (!property.empty() && std::isspace(static_cast<unsigned char>(property.back()))) property.pop_back();
        if (property.size() <= suffix.size() ||
            property.compare(property.size() - suffix.size(), suffix.size(), suffix))
          continue;
        const std::string base = property.substr(0, property.size() - suffix.size());
        calls.push_back({{"xfconf-query", "-c", kXfceChannel, "-p", property, "-n", "-t", "string", "-s", path}});
        calls.push_back({{"xfconf-query", "-c", kXfceChannel, "-p", base + "/image-style", "-n", "-t", "int", "-s",
                          tile ? kXfceTiled : kXfceCentered}});
      }
      break;
    }
    case Desktop::Other: calls.push_back({{"feh", tile ? "--bg-tile" : "--bg-center", path}}); break;
  }
  return calls;
}

}  // namespace vel::shell

BOOL SystemParametersInfoA(UINT action, UINT param, void* pv, UINT) {
  using namespace vel::shell;
  if (action != SPI_SETDESKWALLPAPER || !pv) return FALSE;
  const std::string path = static_cast<const char*>(pv);
  if (path.empty()) return FALSE;
  try {
    Desktop desktop = DetectDesktop();
    // A desktop named but whose tool is missing: feh may still do.
    const bool gsettingsDesktop = desktop == Desktop::Gnome || desktop == Desktop::Cinnamon || desktop == Desktop::Mate;
    if ((gsettingsDesktop && !OnPath("gsettings")) ||
        (desktop == Desktop::Plasma && !OnPath("plasma-apply-wallpaperimage")) ||
        (desktop == Desktop::Xfce && !OnPath("xfconf-query")))
      desktop = Desktop::Other;
    std::string properties;
    if (desktop == Desktop::Xfce) {
      if (!RunTool({{"xfconf-query", "-c", kXfceChannel, "-l"}, "", kToolTimeoutMs, &properties})) return FALSE;
      if (properties.find("/last-image") == std::string::npos)
        properties = "/backdrop/screen0/monitor0/workspace0/last-image\n";
    }
    bool darkPicture = true;
    if (desktop == Desktop::Gnome) {
      std::string keys;
      darkPicture = RunTool({{"gsettings", "list-keys", kGnomeSchema}, "", kToolTimeoutMs, &keys}) &&
                    keys.find("picture-uri-dark") != std::string::npos;
    }
    const std::vector<ToolCall> calls = WallpaperCalls(desktop, path, param != 0, properties, darkPicture);
    if (calls.empty()) return FALSE;
    for (const ToolCall& call : calls)
      if (!RunTool({call.argv, "", kToolTimeoutMs})) return FALSE;
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

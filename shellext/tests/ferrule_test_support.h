// What the extension's tests share: a private registry and temporary folder,
// stand-in programs written as shell scripts, and an extension object with a
// selection.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/tests/temp_registry.h"
#include "platform/shell/shell.h"
#include "shellext/ferrule/CFerruleATL.h"

namespace ferrule::testing {

constexpr const char kSinchro[] = "HKCU\\Software\\Velmark\\CONVERTER\\Sinchro";

class FerruleTest : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    oldTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (oldTmp_.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", oldTmp_.c_str(), 1);
    TempRegistry::TearDown();
  }

  std::string Touch(const std::string& name, const std::string& text = "x") {
    const std::string path = TempPath(name);
    for (size_t at = name.find('/'); at != std::string::npos; at = name.find('/', at + 1))
      mkdir(TempPath(name.substr(0, at)).c_str(), 0755);
    std::ofstream(path) << text;
    return path;
  }
  std::string Folder(const std::string& name) {
    mkdir(TempPath(name).c_str(), 0755);
    return TempPath(name);
  }
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = Touch(name, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Waits for a file that a started program writes (renamed into place whole).
  static std::string WaitForFile(const std::string& path, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
      if (_access(path.c_str(), 0) == 0) return Read(path);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "(nothing written)";
  }

  static void SetValue(HKEY root, const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  static void SetText(HKEY root, const std::string& key, const char* name, const std::string& text) {
    SetValue(root, key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  static void SetNumber(const char* name, DWORD value) {
    SetValue(HKEY_CURRENT_USER, kConverterKey, name, REG_BINARY, &value, 4);
  }
  static void RegisterApp(const char* appName, const std::string& path) {
    SetText(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "\\" + appName, nullptr, path);
  }
  // All eight thumbnail values, with the shortest wait.
  static void SetThumbValues(DWORD showFile, DWORD showSize, DWORD showThumb) {
    const std::pair<const char*, DWORD> values[] = {{"THMB_ShowFileNameAndLength", showFile},
                                                    {"THMB_ShowWidthAndHeight", showSize},
                                                    {"THMB_ShowThumbnail", showThumb},
                                                    {"THMB_SizeMode", 0},
                                                    {"THMB_Height", 90},
                                                    {"THMB_Width", 120},
                                                    {"THMB_Time", kThumbTimeMin},
                                                    {"THMB_ZoomQuality", 0}};
    for (const auto& [name, value] : values) SetNumber(name, value);
  }

  // A 24-bit BMP of one colour.
  std::string WriteBmp(const std::string& name, int width, int height, COLORREF color) {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(54 + stride * height), 0, 0, 54};
    BITMAPINFOHEADER info = vel::gdi::TopDownHeader(width, height, 24);
    std::string bytes(reinterpret_cast<const char*>(&file), 14);
    bytes.append(reinterpret_cast<const char*>(&info), 40);
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<char>(GetBValue(color));
      row[x * 3 + 1] = static_cast<char>(GetGValue(color));
      row[x * 3 + 2] = static_cast<char>(GetRValue(color));
    }
    for (int y = 0; y < height; ++y) bytes += row;
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // A worker stand-in under App Paths "Wicklow": `before` runs first (a delay),
  // then it answers a 120 x 90, 24-bit picture of `pages` pages and 1 KB.
  void RegisterWorker(const std::string& before = "", int pages = 1) {
    const std::string bmp = WriteBmp("thumb.bmp", 120, 90, RGB(10, 200, 30));
    const std::string r = std::string(VELREG_TOOL) + " add '" + kSinchro + "' /f /v ";
    char hexPages[16];
    std::snprintf(hexPages, sizeof hexPages, "%02X000000", pages);
    RegisterApp(
        kWorkerAppPath,
        Script("wicklow.sh", before + "\n" + r + "Width /t REG_BINARY /d 78000000 >/dev/null\n" + r +
                                 "Height /t REG_BINARY /d 5A000000 >/dev/null\n" + r +
                                 "Bpp /t REG_BINARY /d 18000000 >/dev/null\n" + r + "Pages /t REG_BINARY /d " +
                                 hexPages + " >/dev/null\n" + r + "Length /t REG_BINARY /d 00040000 >/dev/null\n" + r +
                                 "ImgFileName /d a.png >/dev/null\n" + r + "Result /d '" + bmp + "' >/dev/null\n"));
  }

  // A new extension object holding `paths` as its selection.
  static IContextMenu3* Extension(const std::vector<std::string>& paths) {
    auto* object = new CFerruleATL;
    IContextMenu3* menu = nullptr;
    EXPECT_EQ(object->Inner()->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu)), S_OK);
    IShellExtInit* init = nullptr;
    EXPECT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    IDataObject* data = vel::com::NewFileListDataObject(paths);
    EXPECT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
    data->Release();
    init->Release();
    return menu;
  }

  std::string oldTmp_;
};

// A menu as lines: "-" separator, "<offset> text", "> text" submenu (its
// items follow, indented, when `nested`), "owner <offset>" / "bitmap <offset>"
// thumbnail items.
inline std::vector<std::string> Describe(HMENU menu, UINT first, bool nested = false, const std::string& indent = "") {
  std::vector<std::string> lines;
  for (const vel::com::MenuItem& item : vel::com::MenuItems(menu)) {
    const std::string offset = std::to_string(static_cast<int>(item.id - first));
    if (item.type == MFT_SEPARATOR) {
      lines.push_back(indent + "-");
    } else if (item.submenu) {
      lines.push_back(indent + "> " + item.text);
      if (!nested) continue;
      for (const std::string& line : Describe(item.submenu, first, true, indent + "  ")) lines.push_back(line);
    } else if (item.type == MFT_OWNERDRAW) {
      lines.push_back(indent + "owner " + offset);
    } else if (item.type == MFT_BITMAP) {
      lines.push_back(indent + "bitmap " + offset);
    } else {
      lines.push_back(indent + offset + " " + item.text);
    }
  }
  return lines;
}

}  // namespace ferrule::testing

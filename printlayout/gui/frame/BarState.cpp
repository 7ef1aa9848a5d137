#include "printlayout/gui/frame/BarState.h"

#include <QDockWidget>
#include <QMainWindow>

#include <cstdio>
#include <vector>

#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "printlayout/gui/frame/MainWindow.h"

namespace tessaly {

namespace {

constexpr const char* kStateValue = "State";
// Far larger than any saved layout; a bigger value is not ours.
constexpr DWORD kMaxStateBytes = 1 << 20;

std::string SubKey(const std::string& name) { return std::string(kProgramKey) + "\\" + name; }

bool ReadDword(HKEY key, const char* name, int& out) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return false;
  out = static_cast<int>(value);
  return true;
}

void WriteDword(HKEY key, const char* name, int value) {
  const DWORD v = static_cast<DWORD>(value);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
}

QSize ReadSize(HKEY key, const char* cx, const char* cy) {
  int w = -1, h = -1;
  if (!ReadDword(key, cx, w) || !ReadDword(key, cy, h) || w <= 0 || h <= 0 || w > 100000 || h > 100000) return {};
  return QSize(w, h);
}

void WriteSize(HKEY key, const char* cx, const char* cy, QSize size) {
  if (!size.isValid()) return;
  WriteDword(key, cx, size.width());
  WriteDword(key, cy, size.height());
}

}  // namespace

std::string SizingBarKey(int bar) {
  char name[128];
  std::snprintf(name, sizeof name, kSizingBarKeyFormat, kBarStateName, bar);
  return name;
}

SizingBarSizes ReadSizingBar(int bar) {
  SizingBarSizes sizes;
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SubKey(SizingBarKey(bar)).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return sizes;
  sizes.horz = ReadSize(key.get(), "sizeHorzCX", "sizeHorzCY");
  sizes.vert = ReadSize(key.get(), "sizeVertCX", "sizeVertCY");
  sizes.floating = ReadSize(key.get(), "sizeFloatCX", "sizeFloatCY");
  return sizes;
}

void WriteSizingBar(int bar, const SizingBarSizes& sizes) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SubKey(SizingBarKey(bar)).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return;
  WriteSize(key.get(), "sizeHorzCX", "sizeHorzCY", sizes.horz);
  WriteSize(key.get(), "sizeVertCX", "sizeVertCY", sizes.vert);
  WriteSize(key.get(), "sizeFloatCX", "sizeFloatCY", sizes.floating);
}

void SaveBarState(const QMainWindow& window, const QDockWidget& dock) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SubKey(kBarStateName).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                      nullptr, key.put(), nullptr) == ERROR_SUCCESS) {
    const QByteArray state = window.saveState();
    RegSetValueExA(key.get(), kStateValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(state.constData()),
                   static_cast<DWORD>(state.size()));
  }
  SizingBarSizes sizes = ReadSizingBar(0);
  const QSize size = dock.size();
  if (dock.isFloating()) {
    sizes.floating = size;
  } else {
    const Qt::DockWidgetArea area = window.dockWidgetArea(const_cast<QDockWidget*>(&dock));
    if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
      sizes.horz = size;
    else
      sizes.vert = size;
  }
  WriteSizingBar(0, sizes);
}

void RestoreBarState(QMainWindow& window, QDockWidget& dock) {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SubKey(kBarStateName).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), kStateValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size > 0 && size <= kMaxStateBytes) {
      std::vector<BYTE> data(size);
      if (RegQueryValueExA(key.get(), kStateValue, nullptr, &type, data.data(), &size) == ERROR_SUCCESS)
        window.restoreState(QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<int>(size)));
    }
  }
  const SizingBarSizes sizes = ReadSizingBar(0);
  if (dock.isFloating()) {
    if (sizes.floating.isValid()) dock.resize(sizes.floating);
    return;
  }
  const Qt::DockWidgetArea area = window.dockWidgetArea(&dock);
  const bool across = area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea;
  const QSize stored = across ? sizes.horz : sizes.vert;
  if (!stored.isValid()) return;
  if (across)
    window.resizeDocks({&dock}, {stored.height()}, Qt::Vertical);
  else
    window.resizeDocks({&dock}, {stored.width()}, Qt::Horizontal);
}

}  // namespace tessaly

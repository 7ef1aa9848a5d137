#include "converter/wallpaper/Wallpaper.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/gdi/gdi.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/shell/wallpaper.h"

namespace converter {
namespace {

constexpr const char* kLayoutSection = "\\WALLPAPER";
constexpr const char* kLayoutValue = "Layout";
constexpr const char* kShellStateKey = ".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char* kShellStateValue = "ShellState";
constexpr DWORD kShellStateBytes = 28;
constexpr BYTE kWebViewMark = 0x63;
constexpr const char* kWebViewDesktopKey = ".DEFAULT\\SOFTWARE\\Microsoft\\Internet Explorer\\Desktop\\General";
constexpr const char* kDesktopKey = "Control Panel\\desktop";
constexpr DWORD kTileWallpaperBytes = 16;
constexpr const char* kNoStyle = "0";

// Every folder along the path, as "mkdir -p" makes them.
bool MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string prefix = path.substr(0, at);
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WebViewDesktop() {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_USERS, kShellStateKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  const vel::OwnedKey key(opened);
  BYTE state[kShellStateBytes] = {};
  DWORD size = sizeof state;
  const bool read = RegQueryValueExA(key.get(), kShellStateValue, nullptr, nullptr, state, &size) == ERROR_SUCCESS;
  return read && state[4] == kWebViewMark;
}

bool SetText(HKEY key, const char* name, const std::string& text, DWORD bytes = 0) {
  std::string data = text;
  // Fixed-length values are the text padded with zeros; others end at their NUL.
  data.resize(bytes ? std::max<size_t>(bytes, text.size() + 1) : text.size() + 1, '\0');
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

struct ScreenSize {
  int width = 0;
  int height = 0;
};

ScreenSize Screen() {
  HDC dc = GetDC(nullptr);
  ScreenSize size{std::min(GetDeviceCaps(dc, HORZRES), kMaxWallpaperSide),
                  std::min(GetDeviceCaps(dc, VERTRES), kMaxWallpaperSide)};
  ReleaseDC(nullptr, dc);
  return size;
}

bool SaveBitmap(CImageInterface& image, const std::string& path, int layout, const ConverterSettings& settings) {
  _SAVEIMAGEINFO::_BMP record;
  std::memset(static_cast<void*>(&record), 0, sizeof record);
  record.width = -1;
  record.height = -1;
  record.method = settings.sizeZoomQual;
  if (layout == kLayoutFit || layout == kLayoutStretch) {
    const ScreenSize screen = Screen();
    record.width = screen.width;
    record.height = screen.height;
    record.proportional = layout == kLayoutFit ? 1 : 0;
  }
  record.depth = 24;
  record.gray = 0;
  return image.Save(path.c_str(), &record) != 0;
}

// The desktop values Windows keeps: in web-view mode the Active Desktop's own
// key carries the picture, and the classic key only the tile flag.
bool WriteDesktopValues(const std::string& path, bool webView, bool tile) {
  const std::string tileText = tile ? "1" : "0";
  bool ok = true;
  HKEY opened = nullptr;
  if (webView && RegOpenKeyExA(HKEY_USERS, kWebViewDesktopKey, 0, KEY_WRITE, &opened) == ERROR_SUCCESS) {
    const vel::OwnedKey key(opened);
    ok = SetText(key.get(), "Wallpaper", path) && SetText(key.get(), "BackupWallpaper", path) &&
         SetText(key.get(), "WallpaperStyle", kNoStyle) &&
         SetText(key.get(), "TileWallpaper", tileText, kTileWallpaperBytes);
    if (!ok) return false;
  }
  // Windows always has this key; a fresh registry here may not, and the
  // values belong there all the same.
  HKEY created = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr) !=
      ERROR_SUCCESS)
    return true;
  const vel::OwnedKey key(created);
  if (!webView) ok = SetText(key.get(), "Wallpaper", path) && SetText(key.get(), "WallpaperStyle", kNoStyle);
  return ok && SetText(key.get(), "TileWallpaper", tileText, kTileWallpaperBytes);
}

}  // namespace

std::string WallpaperFolder() {
  char temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) return "";
  return std::string(temp, n) + kWallpaperFolderName;
}

int ReadWallpaperLayout() {
  HKEY opened = nullptr;
  const std::string section = std::string(kSettingsKey) + kLayoutSection;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, section.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return kLayoutCenter;
  const vel::OwnedKey key(opened);
  DWORD layout = 0, type = 0, size = sizeof layout;
  const LONG rc = RegQueryValueExA(key.get(), kLayoutValue, nullptr, &type, reinterpret_cast<BYTE*>(&layout), &size);
  if (rc != ERROR_SUCCESS || size != sizeof layout) return kLayoutCenter;
  return static_cast<int>(std::min<DWORD>(layout, kLayoutStretch));
}

bool SetImageAsWallpaper(CImageInterface& image, const ConverterSettings& settings) {
  if (!image.IsLoaded()) return false;
  const std::string folder = WallpaperFolder();
  if (folder.empty() || !MakeFolders(folder)) return false;
  const int layout = ReadWallpaperLayout();
  const std::string bitmap = folder + "/" + kWallpaperFileName;
  if (!SaveBitmap(image, bitmap, layout, settings)) return false;
  const bool webView = WebViewDesktop();
  const bool tile = layout == kLayoutTile;
  if (!WriteDesktopValues(bitmap, webView, tile)) return false;
  std::string path = bitmap;
  return SystemParametersInfoA(SPI_SETDESKWALLPAPER, tile ? 1 : 0, path.data(),
                               SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != FALSE;
}

}  // namespace converter

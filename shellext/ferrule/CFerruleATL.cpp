#include "shellext/ferrule/CFerruleATL.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "shellext/ferrule/recognition.h"

namespace ferrule {

const ConvertFormat kConvertFormats[kConvertFormatCount] = {
    {"Bitmap", "BMP"}, {"GIF", "GIF"}, {"JPEG", "JPG"}, {"TIFF", "TIF"}, {"Targa", "TGA"}, {"DCX", "DCX"},
    {"EPS", "EPS"},    {"FMF", "FMF"}, {"PCX", "PCX"},  {"PNG", "PNG"},  {"WMF", "WMF"},   {"EMF", "EMF"},
};

namespace {

constexpr const char kConvertTo[] = "Convert to...";
constexpr const char* kWallpaperLayouts[kWallpaperLayoutCount] = {"Center", "Tile", "Fit to screen",
                                                                  "Stretch to screen"};
constexpr int kBitmapResources[6] = {IDB_CONVERT, IDB_PLUGIN, IDB_CLIPBOARD, IDB_WALLPAPER, IDB_RENAME, IDB_SETTINGS};
enum BitmapSlot { kConvertBmp, kPluginBmp, kClipboardBmp, kWallpaperBmp, kRenameBmp, kSettingsBmp };
// Linux paths may be longer than the 260 characters of the original; cutting
// one would name some other file, so the whole path is taken up to this.
constexpr UINT kMaxSelectedPath = 4096;
constexpr DWORD kPluginValueBytes = 512;

HRESULT Used(UINT count) { return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count); }

bool IsFolder(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Quoted(const char* path) { return std::string("\"") + path + "\""; }

// Programs find each other through App Paths and are started through the shell.
bool StartProgram(const char* appPath, const std::string& params) {
  const std::string program = FindAppPath(appPath);
  if (program.empty()) return false;
  return ShellExecuteA(nullptr, "open", program.c_str(), params.c_str(), nullptr, SW_SHOWNORMAL) > 32;
}

// A plug-in value ("plgname0" ...) of the ALONE or MULTY key.
bool ReadPluginValue(bool alone, const char* name, gen::TBuffer* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, alone ? kPluginsAloneKey : kPluginsMultyKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD size = static_cast<DWORD>(value->length() - 1);
  const LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value->data()), &size);
  RegCloseKey(key);
  value->data()[value->length() - 1] = '\0';
  return rc == ERROR_SUCCESS;
}

void SetItemBitmap(HMENU menu, UINT position, HBITMAP bitmap) {
  SetMenuItemBitmaps(menu, position, MF_BYPOSITION, bitmap, bitmap);
}

void AppendWithBitmap(HMENU menu, UINT id, const char* text, HBITMAP bitmap) {
  AppendMenuA(menu, MF_STRING, id, text);
  SetItemBitmap(menu, static_cast<UINT>(GetMenuItemCount(menu) - 1), bitmap);
}

}  // namespace

CFerruleATL::CFerruleATL(IUnknown* outer) : outer_(outer ? outer : &inner_) {
  ObjectCreated();
  for (int i = 0; i < 6; ++i) bitmaps_[i] = CreateMenuBitmap(kBitmapResources[i]);
}

CFerruleATL::~CFerruleATL() {
  // The host may have destroyed the menus with its own; a dead handle is no menu.
  if (IsMenu(convertMenu_)) DestroyMenu(convertMenu_);
  if (IsMenu(wallpaperMenu_)) DestroyMenu(wallpaperMenu_);
  for (HBITMAP bitmap : bitmaps_)
    if (bitmap) DeleteObject(bitmap);
  if (examined_.bitmap) DeleteObject(examined_.bitmap);
  ObjectDestroyed();
}

HRESULT CFerruleATL::InnerUnknown::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IUnknown* found = nullptr;
  if (iid == IID_IUnknown) {
    found = this;
  } else if (iid == IID_IShellExtInit) {
    found = static_cast<IShellExtInit*>(self);
  } else if (iid == IID_IContextMenu || iid == IID_IContextMenu2 || iid == IID_IContextMenu3) {
    found = static_cast<IContextMenu3*>(self);
  } else if (iid == IID_IDispatch || iid == IID_IFerruleATL) {
    found = static_cast<IFerruleATL*>(self);
  } else {
    return E_NOINTERFACE;
  }
  found->AddRef();
  *out = found;
  return S_OK;
}

ULONG CFerruleATL::InnerUnknown::AddRef() { return ++self->refs_; }

ULONG CFerruleATL::InnerUnknown::Release() {
  const ULONG left = --self->refs_;
  if (left == 0) delete self;
  return left;
}

HRESULT CFerruleATL::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return E_NOTIMPL;
}

HRESULT CFerruleATL::Initialize(const void*, IDataObject* data, HKEY) {
  if (!data) return E_INVALIDARG;
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
  const UINT count = DragQueryFileA(medium.hGlobal, 0xFFFFFFFF, nullptr, 0);
  size_t added = 0;
  for (UINT i = 0; i < count; ++i) {
    const UINT needed = DragQueryFileA(medium.hGlobal, i, nullptr, 0);
    if (needed == 0 || needed >= kMaxSelectedPath) continue;
    std::vector<char> path(needed + 1);
    if (DragQueryFileA(medium.hGlobal, i, path.data(), needed + 1) == needed) {
      raw_.emplace_back(path.data());
      ++added;
    }
  }
  ReleaseStgMedium(&medium);
  return added ? S_OK : E_INVALIDARG;
}

void CFerruleATL::SplitSelection() {
  for (const gen::TString& entry : raw_) {
    if (IsFolder(entry.c_str())) {
      folders_.push_back(entry);
    } else if (Recognise(entry.c_str())) {
      images_.push_back(entry);
    }
  }
  raw_.clear();
}

HMENU CFerruleATL::BuildConvertMenu(UINT first) {
  HMENU sub = CreatePopupMenu();
  for (UINT i = 0; i < kConvertFormatCount; ++i) {
    const gen::TString text("Convert to ", kConvertFormats[i].label);
    AppendMenuA(sub, MF_STRING, first + kCmdConvertFirst + i, text.c_str());
  }
  AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);

  pluginAlone_ = images_.size() == 1;
  gen::TBuffer pluginName(kPluginValueBytes);
  if (ReadPluginValue(pluginAlone_, "plgname0", &pluginName)) {
    AppendWithBitmap(sub, first + kCmdPlugin, pluginName.data(), bitmaps_[kPluginBmp]);
    AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
  }

  const bool one = OneImage();
  if (one) {
    AppendWithBitmap(sub, first + kCmdCopy, "Copy to clipboard", bitmaps_[kClipboardBmp]);
    if (IsMenu(wallpaperMenu_)) DestroyMenu(wallpaperMenu_);
    wallpaperMenu_ = CreatePopupMenu();
    for (UINT i = 0; i < kWallpaperLayoutCount; ++i)
      AppendMenuA(wallpaperMenu_, MF_STRING, first + kCmdWallpaperFirst + i, kWallpaperLayouts[i]);
    AppendMenuA(sub, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(wallpaperMenu_), "Set as wallpaper");
    SetItemBitmap(sub, static_cast<UINT>(GetMenuItemCount(sub) - 1), bitmaps_[kWallpaperBmp]);
  }
  AppendWithBitmap(sub, first + (one ? kCmdRenameOne : kCmdRenameMany),
                   images_.size() == 1 ? "Rename file ..." : "Rename files ...", bitmaps_[kRenameBmp]);
  AppendMenuA(sub, MF_SEPARATOR, 0, nullptr);
  AppendWithBitmap(sub, first + (one ? kCmdSettingsOne : kCmdSettingsMany), "Launch Settings", bitmaps_[kSettingsBmp]);
  return sub;
}

void CFerruleATL::InsertThumbnailItem(HMENU menu, UINT position, UINT id) {
  DLLVERSIONINFO version{};
  version.cbSize = sizeof version;
  const bool ownerDraw = SUCCEEDED(vel::com::ShellDllGetVersion(&version)) &&
                         (version.dwMajorVersion > 4 || (version.dwMajorVersion == 4 && version.dwMinorVersion > 70));
  if (ownerDraw) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_TYPE;
    info.fType = MFT_OWNERDRAW;
    info.wID = id;
    InsertMenuItemA(menu, position, TRUE, &info);
  } else {
    InsertMenuA(menu, position, MF_BYPOSITION | MF_BITMAP, id, reinterpret_cast<LPCSTR>(examined_.bitmap));
  }
  thumbnailId_ = id;
  haveThumbnailId_ = true;
}

HRESULT CFerruleATL::QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT flags) {
  if (flags == CMF_NORMAL || (flags & CMF_DEFAULTONLY) || !(flags & (CMF_EXPLORE | CMF_CANRENAME))) return Used(0);
  if (!IsMenu(menu)) return E_INVALIDARG;
  if (!raw_.empty()) SplitSelection();
  if (images_.empty() && folders_.empty()) return Used(0);

  const bool one = OneImage();
  if (one) {
    ExamineResult result;
    if (!thumbnail_.Examine(images_[0].c_str(), &result)) return Used(0);
    if (examined_.bitmap) DeleteObject(examined_.bitmap);
    examined_ = result;
  }
  if (IsMenu(convertMenu_)) DestroyMenu(convertMenu_);
  convertMenu_ = BuildConvertMenu(first);

  UINT position = index;
  InsertMenuA(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  InsertMenuA(menu, position, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(convertMenu_),
              kConvertTo);
  SetItemBitmap(menu, position++, bitmaps_[kConvertBmp]);
  UINT used = kCmdSettingsMany + 1;
  if (one) {
    InsertThumbnailItem(menu, position++, first + kCmdThumbnail);
    used = kCmdThumbnail + 1;
    const ThumbSettings& settings = thumbnail_.Settings();
    if (settings.showWidthAndHeight) {
      const std::string line =
          ImageInfoLine(examined_.width, examined_.height, examined_.bitsPerPixel, examined_.pages);
      InsertMenuA(menu, position++, MF_BYPOSITION | MF_STRING, first + used++, line.c_str());
    }
    if (settings.showFileNameAndLength) {
      const std::string line = FileInfoLine(examined_.imgFileName.c_str(), examined_.sizeText);
      InsertMenuA(menu, position++, MF_BYPOSITION | MF_STRING, first + used++, line.c_str());
    }
  }
  InsertMenuA(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  return Used(used);
}

HRESULT CFerruleATL::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (!info || !IS_INTRESOURCE(info->lpVerb)) return E_INVALIDARG;
  if (!raw_.empty()) SplitSelection();
  RunCommand(static_cast<UINT>(reinterpret_cast<UINT_PTR>(info->lpVerb) & 0xFFFF));
  // Whether the program started or not, the file manager is told nothing more.
  return S_OK;
}

bool CFerruleATL::RunCommand(UINT offset) {
  if (offset < kCmdConvertFirst + kConvertFormatCount) return Convert(offset - kCmdConvertFirst);
  if (offset == kCmdPlugin) return Plugin();
  if (!OneImage()) {
    if (offset == kCmdRenameMany) return Rename();
    if (offset == kCmdSettingsMany) return StartProgram(kConverterAppPath, "/SETTING");
    return false;
  }
  const char* image = images_[0].c_str();
  if (offset == kCmdCopy) return StartProgram(kConverterAppPath, Quoted(image) + " /COPYTOCLIPBOARD");
  if (offset >= kCmdWallpaperFirst && offset < kCmdWallpaperFirst + kWallpaperLayoutCount)
    return Wallpaper(offset - kCmdWallpaperFirst);
  if (offset == kCmdRenameOne) return Rename();
  if (offset == kCmdSettingsOne) return StartProgram(kConverterAppPath, "/SETTING");
  if (offset == kCmdThumbnail) return StartProgram(kViewerAppPath, Quoted(image));
  return false;
}

bool CFerruleATL::Convert(UINT format) {
  if (format >= kConvertFormatCount) return false;
  const std::string list = WriteListFile(kConvertFormats[format].listName, images_, folders_);
  return !list.empty() && StartProgram(kConverterAppPath, Quoted(list.c_str()) + " /BAT");
}

bool CFerruleATL::Rename() {
  const std::string list = WriteListFile("RENAME", images_, folders_);
  return !list.empty() && StartProgram(kConverterAppPath, Quoted(list.c_str()) + " /RENAME");
}

bool CFerruleATL::Wallpaper(UINT layout) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kWallpaperKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    const DWORD value = layout;
    RegSetValueExA(key, "Layout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  return StartProgram(kConverterAppPath, Quoted(images_[0].c_str()) + " /SETASWALLPAPER");
}

bool CFerruleATL::Plugin() {
  gen::TBuffer path(kPluginValueBytes);
  gen::TBuffer tag(kPluginValueBytes);
  if (!ReadPluginValue(pluginAlone_, "plgpath0", &path) || !ReadPluginValue(pluginAlone_, "plgtag0", &tag))
    return false;
  const std::string list = WriteListFile(nullptr, images_, folders_);
  if (list.empty()) return false;
  const std::string params = std::string(tag.data()) + " @" + Quoted(list.c_str());
  return ShellExecuteA(nullptr, "open", path.data(), params.c_str(), nullptr, SW_SHOWNORMAL) > 32;
}

const char* CFerruleATL::HelpText(UINT offset, std::string* scratch) const {
  const bool one = OneImage();
  if (offset < kConvertFormatCount) {
    *scratch = std::string(one ? "Convert selected image file to " : "Convert selected image files to ") +
               kConvertFormats[offset].label;
    return scratch->c_str();
  }
  if (offset == kCmdPlugin)
    return one ? "Prepare selected image with plugin..." : "Prepare selected images with plugin...";
  const char* rename = images_.size() == 1 ? "Rename selected file" : "Rename selected files";
  if (!one) {
    if (offset == kCmdRenameMany) return rename;
    if (offset == kCmdSettingsMany) return "Launch settings panel";
    return nullptr;
  }
  if (offset == kCmdCopy) return "Copy selected image to clipboard";
  if (offset >= kCmdWallpaperFirst && offset < kCmdWallpaperFirst + kWallpaperLayoutCount)
    return "Set selected image as desktop wallpaper";
  if (offset == kCmdRenameOne) return rename;
  if (offset == kCmdSettingsOne) return "Launch settings panel";
  if (offset == kCmdThumbnail) return "Selected image thumbnail. Click to open.";
  return nullptr;
}

HRESULT CFerruleATL::GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR buffer, UINT size) {
  if (!(type & GCS_HELPTEXTA) || !buffer || size == 0 || offset > 0xFFFF) return E_INVALIDARG;
  if (!raw_.empty()) SplitSelection();
  std::string scratch;
  const char* text = HelpText(static_cast<UINT>(offset), &scratch);
  if (!text) return E_INVALIDARG;
  const size_t n = std::min<size_t>(std::strlen(text), size - 1);
  if (type & GCS_UNICODE) {
    auto* wide = reinterpret_cast<char16_t*>(buffer);
    for (size_t i = 0; i < n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    wide[n] = u'\0';
  } else {
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
  }
  return S_OK;
}

bool CFerruleATL::HandleMessage(UINT message, LPARAM lParam) {
  if (!haveThumbnailId_ || !lParam) return false;
  if (message == WM_MEASUREITEM) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->itemID != thumbnailId_) return false;
    MeasureThumbnail(examined_.bitmap, &measure->itemWidth, &measure->itemHeight);
    return true;
  }
  if (message == WM_DRAWITEM) {
    auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    if (draw->itemID != thumbnailId_) return false;
    DrawThumbnail(examined_.bitmap, draw->hDC, draw->rcItem, (draw->itemState & ODS_SELECTED) != 0);
    return true;
  }
  return false;
}

HRESULT CFerruleATL::HandleMenuMsg(UINT message, WPARAM, LPARAM lParam) {
  return HandleMessage(message, lParam) ? S_OK : S_FALSE;
}

HRESULT CFerruleATL::HandleMenuMsg2(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
  const bool handled = HandleMessage(message, lParam);
  if (result) *result = handled ? TRUE : FALSE;
  return handled ? S_OK : S_FALSE;
}

}  // namespace ferrule

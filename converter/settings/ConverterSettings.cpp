#include "converter/settings/ConverterSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"

namespace converter {
namespace {

enum class Kind { Number, Truth, Text, Float };

struct Value {
  const char* name;
  Kind kind;
  void* field;
};

// The values of one save group, in the order they are read.
using Group = std::vector<Value>;

Group ThumbnailGroup(ThumbnailSettings& t) {
  return {{"THMB_ShowFileNameAndLength", Kind::Truth, &t.showFileNameAndLength},
          {"THMB_ShowWidthAndHeight", Kind::Truth, &t.showWidthAndHeight},
          {"THMB_ShowThumbnail", Kind::Truth, &t.showThumbnail},
          {"THMB_SizeMode", Kind::Number, &t.sizeMode},
          {"THMB_Height", Kind::Number, &t.height},
          {"THMB_Width", Kind::Number, &t.width},
          {"THMB_ZoomQuality", Kind::Number, &t.zoomQuality},
          {"THMB_Time", Kind::Number, &t.time}};
}

// Every value but "PageNumber", group by group in the order of saving; read in
// this order too, after "PageNumber". The thumbnail group is the sixth.
constexpr size_t kThumbnailGroup = 5;

std::vector<Group> Groups(ConverterSettings& s) {
  return {
      {{"CD_Gray", Kind::Truth, &s.cdGray}, {"CD_Bpp", Kind::Number, &s.cdBpp}},
      {{"INET_Interlacing", Kind::Truth, &s.inetInterlacing},
       {"INET_PNGCompress", Kind::Truth, &s.inetPngCompress},
       {"INET_JPEGQual", Kind::Number, &s.inetJpegQual},
       {"INET_PNGFilterMode", Kind::Number, &s.inetPngFilterMode}},
      {{"OPT_AddToMultipage", Kind::Truth, &s.optAddToMultipage},
       {"OPT_CloseAfter", Kind::Truth, &s.optCloseAfter},
       {"OPT_CreateLog", Kind::Truth, &s.optCreateLog},
       {"OPT_OverwriteExisting", Kind::Truth, &s.optOverwriteExisting},
       {"OPT_ShowReport", Kind::Truth, &s.optShowReport},
       {"OPT_UseAllPages", Kind::Truth, &s.optUseAllPages},
       {"OPT_UsePredefFolder", Kind::Truth, &s.optUsePredefFolder},
       {"OPT_FolderPath", Kind::Text, &s.optFolderPath},
       {"OPT_MultipageFileName", Kind::Text, &s.optMultipageFileName},
       {"OPT_ShowPennock", Kind::Truth, &s.optShowPennock},
       {"OPT_Vectorize", Kind::Truth, &s.optVectorize}},
      {{"REN_AskBefore", Kind::Truth, &s.renAskBefore},
       {"REN_UsePredefFolder", Kind::Truth, &s.renUsePredefFolder},
       {"REN_TemplateMode", Kind::Number, &s.renTemplateMode},
       {"REN_FolderPath", Kind::Text, &s.renFolderPath},
       {"REN_TMPL1", Kind::Text, &s.renTemplates[0]},
       {"REN_TMPL2", Kind::Text, &s.renTemplates[1]},
       {"REN_TMPL3", Kind::Text, &s.renTemplates[2]},
       {"REN_TMPL4", Kind::Text, &s.renTemplates[3]}},
      {{"SIZE_BKColor", Kind::Number, &s.sizeBkColor},
       {"SIZE_Multiplier", Kind::Float, &s.sizeMultiplier},
       {"SIZE_NewHeight", Kind::Number, &s.sizeNewHeight},
       {"SIZE_NewWidth", Kind::Number, &s.sizeNewWidth},
       {"SIZE_RotAngle", Kind::Number, &s.sizeRotAngle},
       {"SIZE_ZoomMode", Kind::Number, &s.sizeZoomMode},
       {"SIZE_ZoomQual", Kind::Number, &s.sizeZoomQual}},
      ThumbnailGroup(s.thumbnail),
      {{"TIFF_ReverseFill", Kind::Truth, &s.tiffReverseFill},
       {"TIFF_CompressionMode", Kind::Number, &s.tiffCompressionMode},
       {"TIFF_Artist", Kind::Text, &s.tiffArtist},
       {"TIFF_Copyright", Kind::Text, &s.tiffCopyright}},
      {{"CROP_Mode", Kind::Number, &s.cropMode},
       {"CROP_XO", Kind::Number, &s.cropX0},
       {"CROP_YO", Kind::Number, &s.cropY0},
       {"CROP_X1", Kind::Number, &s.cropX1},
       {"CROP_Y1", Kind::Number, &s.cropY1},
       {"CROP_Width", Kind::Number, &s.cropWidth},
       {"CROP_Height", Kind::Number, &s.cropHeight}},
      {{"BRICON_Bri", Kind::Number, &s.briconBri},
       {"BRICON_Red", Kind::Number, &s.briconRed},
       {"BRICON_Green", Kind::Number, &s.briconGreen},
       {"BRICON_Blue", Kind::Number, &s.briconBlue}},
  };
}

// Reads one value into its field; false when it cannot be read. Numbers are read
// with a 4-byte buffer whatever their stored type, strings with 260 bytes.
bool Read(HKEY key, const Value& v) {
  if (v.kind == Kind::Text) {
    char text[kStringBytes] = {};
    DWORD size = sizeof text;
    if (RegQueryValueExA(key, v.name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
      return false;
    text[sizeof text - 1] = 0;
    *static_cast<std::string*>(v.field) = text;
    return true;
  }
  BYTE bytes[4];
  std::memcpy(bytes, v.field, 4);  // a shorter value keeps the default's other bytes
  DWORD size = sizeof bytes;
  if (RegQueryValueExA(key, v.name, nullptr, nullptr, bytes, &size) != ERROR_SUCCESS) return false;
  std::memcpy(v.field, bytes, 4);
  if (v.kind == Kind::Truth) *static_cast<int*>(v.field) = *static_cast<int*>(v.field) != 0;
  return true;
}

bool Write(HKEY key, const Value& v) {
  if (v.kind == Kind::Text) {
    char text[kStringBytes] = {};
    const std::string& s = *static_cast<const std::string*>(v.field);
    std::memcpy(text, s.data(), std::min<size_t>(s.size(), sizeof text - 1));
    return RegSetValueExA(key, v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text) == ERROR_SUCCESS;
  }
  BYTE bytes[4];
  std::memcpy(bytes, v.field, 4);
  if (v.kind == Kind::Truth) {
    const int truth = *static_cast<const int*>(v.field) != 0;
    std::memcpy(bytes, &truth, 4);
  }
  return RegSetValueExA(key, v.name, 0, REG_BINARY, bytes, sizeof bytes) == ERROR_SUCCESS;
}

}  // namespace

std::string LoggedOnUser() {
  if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
  if (const char* name = std::getenv("USER"); name) return name;
  return {};
}

ThumbnailSettings ThumbnailSettings::Defaults() {
  ThumbnailSettings t;
  HDC screen = CreateCompatibleDC(nullptr);
  const int width = GetDeviceCaps(screen, HORZRES) / 5, height = GetDeviceCaps(screen, VERTRES) / 5;
  DeleteDC(screen);
  t.width = width > 0 && height > 0 ? width : 150;
  t.height = width > 0 && height > 0 ? height : 150;
  return t;
}

ConverterSettings ConverterSettings::Defaults() {
  ConverterSettings s;
  s.thumbnail = ThumbnailSettings::Defaults();
  // The artist field holds at most 255 characters.
  s.tiffArtist = LoggedOnUser().substr(0, 255);
  return s;
}

bool ConverterSettings::Load() {
  *this = Defaults();
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  const vel::OwnedKey key(opened);
  bool all = Read(key.get(), Value{"PageNumber", Kind::Number, &pageNumber});
  std::vector<Group> groups = Groups(*this);
  for (size_t g = 0; all && g < groups.size(); ++g) {
    if (g == kThumbnailGroup) {
      // One block: a missing value resets the whole group, and reading ends there.
      ThumbnailSettings read = thumbnail;
      for (const Value& v : ThumbnailGroup(read)) all = all && Read(key.get(), v);
      if (!all) break;
      read.zoomQuality = read.zoomQuality > 0 ? 1 : 0;
      thumbnail = read;
      continue;
    }
    for (const Value& v : groups[g]) {
      if (!Read(key.get(), v)) {
        all = false;
        break;
      }
    }
  }
  return all;
}

bool ConverterSettings::Save() const {
  ConverterSettings copy = *this;  // the groups point into a record they may write from
  std::vector<Group> groups = Groups(copy);
  groups.push_back({{"PageNumber", Kind::Number, &copy.pageNumber}});
  for (const Group& group : groups) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr) !=
        ERROR_SUCCESS)
      return false;
    const vel::OwnedKey key(created);
    bool ok = true;
    for (const Value& v : group) ok = Write(key.get(), v) && ok;
    if (!ok) return false;
  }
  return true;
}

}  // namespace converter

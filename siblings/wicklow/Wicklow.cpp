#include "siblings/wicklow/Wicklow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/gdi.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

namespace wicklow {
namespace {

// The order in which the extension and the converter read the thumbnail group.
constexpr const char* kThumbValues[] = {"THMB_ShowFileNameAndLength",
                                        "THMB_ShowWidthAndHeight",
                                        "THMB_ShowThumbnail",
                                        "THMB_SizeMode",
                                        "THMB_Height",
                                        "THMB_Width",
                                        "THMB_Time",
                                        "THMB_ZoomQuality"};

// A number stored as 4 bytes (REG_BINARY or REG_DWORD alike); false when absent.
bool ReadNumber(HKEY key, const char* name, int* out) {
  std::int32_t value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
    return false;
  *out = value;
  return true;
}

ThumbLimits DefaultLimits() {
  ThumbLimits limits;
  HDC screen = CreateCompatibleDC(nullptr);
  const int width = GetDeviceCaps(screen, HORZRES) / 5, height = GetDeviceCaps(screen, VERTRES) / 5;
  DeleteDC(screen);
  if (width > 0 && height > 0) {
    limits.width = width;
    limits.height = height;
  }
  return limits;
}

bool WriteNumber(HKEY key, const char* name, DWORD value) {
  BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                   static_cast<BYTE>(value >> 24)};
  return RegSetValueExA(key, name, 0, REG_BINARY, bytes, sizeof bytes) == ERROR_SUCCESS;
}

bool WriteString(HKEY key, const char* name, const std::string& text) {
  char data[kStringBytes] = {};
  std::memcpy(data, text.data(), std::min<size_t>(text.size(), kStringBytes - 1));
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), kStringBytes) == ERROR_SUCCESS;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The record holds 4 bytes; longer files report the largest positive length.
DWORD FileLength(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<DWORD>(std::min<long long>(st.st_size, 0x7FFFFFFF));
}

// Writes the thumbnail under a fresh name beside `target` and renames it into place.
bool WriteThumbnail(CImageInterface& image, const ThumbLimits& limits, const std::string& target) {
  const size_t slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
  char temp[MAX_PATH] = {};
  if (!GetTempFileNameA(dir.c_str(), "velmark-wicklow-", 0, temp)) return false;
  const QUALITY quality = limits.zoomQuality > 0 ? QUALITY_HIGH : QUALITY_COPY;
  int width = 0, height = 0;
  const bool written = image.CreateThumbnailFilePath(limits.width, limits.height, temp, quality, 0, 0xFFFFFF, 0, 24,
                                                     &width, &height, 0) != 0;
  if (!written || std::rename(temp, target.c_str()) != 0) {
    std::remove(temp);
    return false;
  }
  return true;
}

std::string ErrorText(DWORD error, const std::string& path) {
  switch (error) {
    case kErrorNoRequest: return "no image named under \"FileName\" of the hand-over key";
    case kErrorNotLoaded: return "cannot load " + path;
    default: return "cannot write the thumbnail of " + path;
  }
}

}  // namespace

ThumbLimits ReadThumbLimits() {
  ThumbLimits limits = DefaultLimits();
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return limits;
  int values[std::size(kThumbValues)] = {};
  for (size_t i = 0; i < std::size(kThumbValues); ++i)
    if (!ReadNumber(key.get(), kThumbValues[i], &values[i])) return limits;
  limits.height = std::clamp(values[4], kMinThumbSide, kMaxThumbSide);
  limits.width = std::clamp(values[5], kMinThumbSide, kMaxThumbSide);
  limits.zoomQuality = values[7] > 0 ? 1 : 0;
  return limits;
}

std::string ThumbnailPath() {
  char dir[MAX_PATH] = {};
  const DWORD n = GetTempPathA(sizeof dir, dir);
  std::string folder = n > 0 && n < sizeof dir ? std::string(dir) : std::string("/tmp/");
  return folder + "velmark-wicklow-" + std::to_string(getuid()) + ".bmp";
}

Answer Examine(const std::string& path, const ThumbLimits& limits, const std::string& thumbnailPath) {
  Answer answer;
  if (path.empty()) {
    answer.error = kErrorNoRequest;
    return answer;
  }
  CImageInterface image;
  if (!image.Load(path.c_str(), 1) || !image.IsLoaded()) {
    answer.error = kErrorNotLoaded;
    return answer;
  }
  answer.bpp = static_cast<DWORD>(std::max(image.GetColorDepth(), 0));
  answer.width = static_cast<DWORD>(std::max(image.GetWidth(0), 0));
  answer.height = static_cast<DWORD>(std::max(image.GetHeight(0), 0));
  answer.pages = static_cast<DWORD>(std::max(image.GetPageCount(), 0));
  answer.length = FileLength(path);
  answer.imgFileName = BaseName(path);
  if (!WriteThumbnail(image, limits, thumbnailPath)) {
    answer.error = kErrorNoThumbnail;
    return answer;
  }
  answer.result = thumbnailPath;
  return answer;
}

bool ReadRequest(std::string* path) {
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSinchroKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  char text[kStringBytes + 1] = {};
  DWORD size = kStringBytes;
  if (RegQueryValueExA(key.get(), "FileName", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
    return false;
  *path = text;
  return !path->empty();
}

bool WriteAnswer(const Answer& answer) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSinchroKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool ok = WriteNumber(key.get(), "Error", answer.error);
  ok = WriteNumber(key.get(), "Bpp", answer.bpp) && ok;
  ok = WriteNumber(key.get(), "Width", answer.width) && ok;
  ok = WriteNumber(key.get(), "Height", answer.height) && ok;
  ok = WriteNumber(key.get(), "Pages", answer.pages) && ok;
  ok = WriteNumber(key.get(), "Length", answer.length) && ok;
  ok = WriteString(key.get(), "ImgFileName", answer.imgFileName) && ok;
  // The extension takes a readable "Result" as the sign of success: it goes last.
  return WriteString(key.get(), "Result", answer.result) && ok;
}

int Run() {
  std::string path;
  Answer answer;
  if (ReadRequest(&path))
    answer = Examine(path, ReadThumbLimits(), ThumbnailPath());
  else
    answer.error = kErrorNoRequest;
  const bool answered = WriteAnswer(answer);
  if (answer.error != kErrorNone) std::fprintf(stderr, "wicklow: %s\n", ErrorText(answer.error, path).c_str());
  return answered && answer.error == kErrorNone ? 0 : 1;
}

}  // namespace wicklow

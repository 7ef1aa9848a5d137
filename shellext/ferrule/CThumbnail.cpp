#include "shellext/ferrule/CThumbnail.h"

#include <algorithm>
#include <cstring>

#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "shellext/ferrule/recognition.h"

namespace ferrule {
namespace {

// SM_CXSCREEN and SM_CYSCREEN.
constexpr int kScreenWidthMetric = 0;
constexpr int kScreenHeightMetric = 1;

constexpr const char* kNumberNames[] = {"Error", "Bpp", "Width", "Height", "Pages", "Length"};
constexpr const char* kTextNames[] = {"FileName", "ImgFileName", "Result"};

DWORD* Numbers(SinchroRecord& r, int i) {
  DWORD* fields[] = {&r.error, &r.bpp, &r.width, &r.height, &r.pages, &r.length};
  return fields[i];
}
char* Texts(SinchroRecord& r, int i) {
  char* fields[] = {r.fileName, r.imgFileName, r.result};
  return fields[i];
}

// A 4-byte value whatever its stored type, as the converter stores numbers.
bool ReadNumber(HKEY key, const char* name, DWORD* value) {
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
    return false;
  *value = data;
  return true;
}

bool ReadText(HKEY key, const char* name, char* text) {
  char data[kSinchroTextBytes] = {};
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
    return false;
  data[kSinchroTextBytes - 1] = '\0';
  std::memcpy(text, data, sizeof data);
  return true;
}

}  // namespace

ThumbSettings DefaultThumbSettings() {
  ThumbSettings s;
  s.width = GetSystemMetrics(kScreenWidthMetric) / 5;
  s.height = GetSystemMetrics(kScreenHeightMetric) / 5;
  if (s.width <= 0 || s.height <= 0) s.width = s.height = 150;
  return s;
}

ThumbSettings LoadThumbSettings() {
  ThumbSettings s = DefaultThumbSettings();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kConverterKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return s;
  struct Field {
    const char* name;
    int* value;
  };
  ThumbSettings read = s;
  const Field fields[] = {{"THMB_ShowFileNameAndLength", &read.showFileNameAndLength},
                          {"THMB_ShowWidthAndHeight", &read.showWidthAndHeight},
                          {"THMB_ShowThumbnail", &read.showThumbnail},
                          {"THMB_SizeMode", &read.sizeMode},
                          {"THMB_Height", &read.height},
                          {"THMB_Width", &read.width},
                          {"THMB_Time", &read.time},
                          {"THMB_ZoomQuality", &read.zoomQuality}};
  bool all = true;
  for (const Field& f : fields) {
    DWORD value = 0;
    if (!ReadNumber(key, f.name, &value)) {
      all = false;
      break;
    }
    *f.value = static_cast<int>(value);
  }
  RegCloseKey(key);
  if (!all) return s;
  // Clamped rather than rejected; the time bounds how long the file manager waits.
  for (int* truth : {&read.showFileNameAndLength, &read.showWidthAndHeight, &read.showThumbnail}) *truth = *truth != 0;
  read.zoomQuality = read.zoomQuality > 0 ? 1 : 0;
  read.time = std::clamp(read.time, kThumbTimeMin, kThumbTimeMax);
  return read;
}

void ReadSinchro(SinchroRecord* record) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSinchroKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (int i = 0; i < 6; ++i) ReadNumber(key, kNumberNames[i], Numbers(*record, i));
  for (int i = 0; i < 3; ++i) ReadText(key, kTextNames[i], Texts(*record, i));
  RegCloseKey(key);
}

bool WriteSinchro(const SinchroRecord& record) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSinchroKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  SinchroRecord copy = record;
  for (int i = 0; i < 6; ++i)
    RegSetValueExA(key, kNumberNames[i], 0, REG_BINARY, reinterpret_cast<const BYTE*>(Numbers(copy, i)), 4);
  // Whole 260-byte blocks: text, terminating zero, zero padding.
  for (int i = 0; i < 3; ++i) {
    char* text = Texts(copy, i);
    text[kSinchroTextBytes - 1] = '\0';
    const size_t used = std::strlen(text);
    std::memset(text + used, 0, kSinchroTextBytes - used);
    RegSetValueExA(key, kTextNames[i], 0, REG_SZ, reinterpret_cast<const BYTE*>(text), kSinchroTextBytes);
  }
  RegCloseKey(key);
  return true;
}

CThumbnail::~CThumbnail() {
  if (!process_) return;
  DWORD code = 0;
  if (GetExitCodeProcess(process_, &code) && code == STILL_ACTIVE) {
    TerminateProcess(process_, code);
    WriteSinchro(SinchroRecord{});
    WaitForSingleObject(process_, INFINITE);
  }
  CloseHandle(process_);
}

bool CThumbnail::StartWorker() {
  if (process_) return false;
  const std::string worker = FindAppPath(kWorkerAppPath);
  if (worker.empty()) return false;
  SHELLEXECUTEINFOA info;
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = worker.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExA(&info) || !info.hProcess) return false;
  process_ = info.hProcess;
  return WaitForSingleObject(process_, 0) != WAIT_FAILED;
}

bool CThumbnail::Examine(const char* path, ExamineResult* out) {
  if (!path || !*path || !out) return false;
  settings_ = LoadThumbSettings();
  if (!settings_.showThumbnail) return false;

  record_ = SinchroRecord{};
  ReadSinchro(&record_);
  // A path too long for the record could only name some other file.
  if (std::strlen(path) >= kSinchroTextBytes) return false;
  std::strcpy(record_.fileName, path);
  record_.imgFileName[0] = '\0';
  record_.result[0] = '\0';
  WriteSinchro(record_);  // when this fails, the worker's answer still decides

  if (!StartWorker()) return false;
  WaitForSingleObject(process_, static_cast<DWORD>(settings_.time) * 1000);

  ReadSinchro(&record_);
  if (!record_.result[0] || _access(record_.result, 4) != 0) return false;
  HBITMAP bitmap =
      static_cast<HBITMAP>(LoadImageA(0, record_.result, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (!bitmap) return false;
  out->bitmap = bitmap;
  out->width = static_cast<int>(record_.width);
  out->height = static_cast<int>(record_.height);
  out->bitsPerPixel = static_cast<WORD>(record_.bpp);
  out->pages = static_cast<WORD>(record_.pages);
  out->sizeText = SizeText(record_.length);
  out->imgFileName = record_.imgFileName;
  return true;
}

}  // namespace ferrule

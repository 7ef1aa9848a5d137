// Interface ids, GUID text, the CF_HDROP block and the data object that hands
// a file selection to a shell extension, and the shell library's version.
#include "platform/com/com.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <span>

#include "platform/base/bytes.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IShellExtInit = {0x000214E8, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IContextMenu = {0x000214E4, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IContextMenu2 = {0x000214F4, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IContextMenu3 = {0xBCFCE0A0, 0xEC17, 0x11D0, {0x8D, 0x10, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x19}};

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

namespace vel::com {

std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

namespace {

// Reads `digits` hex digits at `at`; false on anything that is not one.
bool HexField(const std::string& text, size_t at, int digits, std::uint32_t* out) {
  std::uint32_t value = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = text[at + i];
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  *out = value;
  return true;
}

}  // namespace

bool ParseGuid(const std::string& text, GUID* out) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters, nothing else.
  if (!out || text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
  GUID g{};
  std::uint32_t v = 0;
  if (!HexField(text, 1, 8, &v)) return false;
  g.Data1 = v;
  if (!HexField(text, 10, 4, &v)) return false;
  g.Data2 = static_cast<WORD>(v);
  if (!HexField(text, 15, 4, &v)) return false;
  g.Data3 = static_cast<WORD>(v);
  static constexpr size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!HexField(text, kBytePos[i], 2, &v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  *out = g;
  return true;
}

}  // namespace vel::com

// ---- the CF_HDROP block ----------------------------------------------------------------

namespace {

constexpr size_t kDropFilesBytes = 20;
static_assert(sizeof(DROPFILES) == kDropFilesBytes);

// The paths of a CF_HDROP block, or false when the block is damaged: the
// offset outside it, wide characters (never written here), or a list that
// runs off its end without the closing zero.
bool ReadDropPaths(std::span<const std::uint8_t> block, std::vector<std::string_view>* paths) {
  vel::ByteReader in(block);
  const DWORD first = in.le32();
  in.skip(12);  // pt, fNC
  const DWORD wide = in.le32();
  if (!in || wide != 0 || first < kDropFilesBytes || !in.seek(first)) return false;
  for (;;) {
    const auto rest = in.rest();
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(rest.data(), 0, rest.size()));
    if (!end) return false;
    const size_t length = static_cast<size_t>(end - rest.data());
    if (length == 0) return true;
    paths->emplace_back(reinterpret_cast<const char*>(rest.data()), length);
    in.skip(length + 1);
  }
}

}  // namespace

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size) {
  const auto* base = static_cast<const std::uint8_t*>(drop ? GlobalLock(drop) : nullptr);
  if (!base) return 0;
  std::vector<std::string_view> paths;
  UINT result = 0;
  if (ReadDropPaths({base, GlobalSize(drop)}, &paths)) {
    if (index == 0xFFFFFFFFu) {
      result = static_cast<UINT>(paths.size());
    } else if (index < paths.size()) {
      const std::string_view path = paths[index];
      if (!buffer) {
        result = static_cast<UINT>(path.size());
      } else if (size > 0) {
        const size_t copied = std::min<size_t>(path.size(), size - 1);
        std::memcpy(buffer, path.data(), copied);
        buffer[copied] = '\0';
        result = static_cast<UINT>(copied);
      }
    }
  }
  GlobalUnlock(drop);
  return result;
}

namespace vel::com {

HGLOBAL MakeDropFiles(const std::vector<std::string>& paths) {
  size_t bytes = kDropFilesBytes + 1;
  for (const std::string& p : paths) {
    // An empty path or an inner zero would end the list early.
    if (p.empty() || p.find('\0') != std::string::npos) return nullptr;
    bytes += p.size() + 1;
  }
  HGLOBAL block = GlobalAlloc(GHND, bytes);
  auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
  if (!data) {
    GlobalFree(block);
    return nullptr;
  }
  vel::ByteWriter out(std::span<std::uint8_t>(data, bytes));
  out.le32(kDropFilesBytes);
  out.fill(0, kDropFilesBytes - 4);  // pt, fNC, fWide
  for (const std::string& p : paths) {
    out.text(p);
    out.u8(0);
  }
  out.u8(0);
  GlobalUnlock(block);
  return block;
}

namespace {

class FileListDataObject final : public IDataObject {
 public:
  explicit FileListDataObject(HGLOBAL block) : block_(block) {}
  FileListDataObject(const FileListDataObject&) = delete;
  FileListDataObject& operator=(const FileListDataObject&) = delete;

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDataObject) {
      *out = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (!format || !medium) return E_INVALIDARG;
    if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT ||
        format->lindex != -1)
      return DV_E_FORMATETC;
    const size_t size = GlobalSize(block_);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    void* to = GlobalLock(copy);
    const void* from = GlobalLock(block_);
    if (!to || !from) {
      GlobalUnlock(block_);
      GlobalFree(copy);
      return E_OUTOFMEMORY;
    }
    std::memcpy(to, from, size);
    GlobalUnlock(block_);
    GlobalUnlock(copy);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = copy;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }

 private:
  ~FileListDataObject() { GlobalFree(block_); }

  HGLOBAL block_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

IDataObject* NewFileListDataObject(const std::vector<std::string>& paths) {
  HGLOBAL block = MakeDropFiles(paths);
  if (!block) return nullptr;
  return new FileListDataObject(block);
}

}  // namespace vel::com

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (!medium) return;
  if (medium->pUnkForRelease) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
    GlobalFree(medium->hGlobal);
  }
  medium->tymed = 0;
  medium->hGlobal = nullptr;
  medium->pUnkForRelease = nullptr;
}

// ---- the shell library's version -------------------------------------------------------------

namespace vel::com {
namespace {
constexpr DWORD kShellMajor = 6;
constexpr DWORD kShellMinor = 0;
constexpr DWORD kPlatformNT = 2;
std::atomic<DWORD> gTestMajor{0};
std::atomic<DWORD> gTestMinor{0};
}  // namespace

HRESULT ShellDllGetVersion(DLLVERSIONINFO* info) {
  if (!info || info->cbSize != sizeof(DLLVERSIONINFO)) return E_INVALIDARG;
  const DWORD major = gTestMajor.load();
  info->dwMajorVersion = major ? major : kShellMajor;
  info->dwMinorVersion = major ? gTestMinor.load() : kShellMinor;
  info->dwBuildNumber = 0;
  info->dwPlatformID = kPlatformNT;
  return S_OK;
}

void SetShellVersionForTesting(DWORD major, DWORD minor) {
  gTestMinor = minor;
  gTestMajor = major;
}

}  // namespace vel::com

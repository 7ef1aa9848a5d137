// A context-menu handler for the host's tests. It adds a fixed menu (text with an
// accelerator and item bitmaps as the default item, a separator, nested submenus,
// a picture item, an owner-drawn item and a grayed item) and records what the host
// asks of it, one line per call, into the file $VELMARK_TEST_HANDLER_LOG.
// $VELMARK_TEST_HANDLER_EMPTY makes it add nothing.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/menu.h"
#include "platform/registry/registry.h"

namespace {

// {6D1E40B2-3C55-4F0A-9E21-7A0C51D2B9E4}
constexpr CLSID kClsid = {0x6D1E40B2, 0x3C55, 0x4F0A, {0x9E, 0x21, 0x7A, 0x0C, 0x51, 0xD2, 0xB9, 0xE4}};
constexpr UINT kOffsets = 6;
constexpr int kPictureW = 40, kPictureH = 30, kOwnerW = 126, kOwnerH = 96;
std::atomic<int> gObjects{0};

void Log(const std::string& line) {
  const char* path = std::getenv("VELMARK_TEST_HANDLER_LOG");
  if (!path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

HBITMAP Solid(int w, int h, COLORREF colour) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  HBRUSH brush = CreateSolidBrush(colour);
  const RECT all{0, 0, w, h};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bmp;
}

class CTestHandler final : public IShellExtInit, public IContextMenu3 {
 public:
  CTestHandler() { ++gObjects; }
  ~CTestHandler() {
    for (HBITMAP b : bitmaps_) DeleteObject(b);
    --gObjects;
  }

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IShellExtInit)
      *out = static_cast<IShellExtInit*>(this);
    else if (iid == IID_IContextMenu || iid == IID_IContextMenu2 || iid == IID_IContextMenu3)
      *out = static_cast<IContextMenu3*>(this);
    else
      return *out = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Initialize(const void*, IDataObject* data, HKEY) override {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
    const UINT count = DragQueryFileA(medium.hGlobal, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      char path[MAX_PATH] = {};
      DragQueryFileA(medium.hGlobal, i, path, sizeof path);
      paths_.push_back(path);
    }
    ReleaseStgMedium(&medium);
    return paths_.empty() ? E_INVALIDARG : S_OK;
  }

  HRESULT QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT flags) override {
    Log("query " + std::to_string(first) + " " + std::to_string(flags));
    if (std::getenv("VELMARK_TEST_HANDLER_EMPTY")) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    HMENU more = CreatePopupMenu(), deeper = CreatePopupMenu();
    AppendMenuA(deeper, MF_STRING, first + 2, "Deepest");
    AppendMenuA(more, MF_STRING, first + 1, "Inner && outer");
    AppendMenuA(more, MF_POPUP, reinterpret_cast<UINT_PTR>(deeper), "Deeper");
    bitmaps_ = {Solid(12, 12, RGB(200, 0, 0)), Solid(12, 12, RGB(0, 0, 200)),
                Solid(kPictureW, kPictureH, RGB(10, 160, 30))};
    UINT at = index;
    InsertMenuA(menu, at++, MF_BYPOSITION | MF_STRING, first, "&Open sesame");
    SetMenuItemBitmaps(menu, first, MF_BYCOMMAND, bitmaps_[0], bitmaps_[1]);
    SetMenuDefaultItem(menu, first, FALSE);
    InsertMenuA(menu, at++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    InsertMenuA(menu, at++, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(more), "&More");
    InsertMenuA(menu, at++, MF_BYPOSITION | MF_BITMAP, first + 3, reinterpret_cast<LPCSTR>(bitmaps_[2]));
    MENUITEMINFOA owner{};
    owner.cbSize = sizeof owner;
    owner.fMask = MIIM_FTYPE | MIIM_ID;
    owner.fType = MFT_OWNERDRAW;
    owner.wID = first + 4;
    InsertMenuItemA(menu, at++, TRUE, &owner);
    InsertMenuA(menu, at++, MF_BYPOSITION | MF_STRING | MF_GRAYED, first + 5, "Grayed");
    first_ = first;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kOffsets);
  }

  HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    if (!info || !IS_INTRESOURCE(info->lpVerb)) return E_INVALIDARG;
    const UINT offset = static_cast<UINT>(reinterpret_cast<UINT_PTR>(info->lpVerb));
    Log("invoke " + std::to_string(offset) + " " + std::to_string(paths_.size()) + " " + paths_.front());
    return offset < kOffsets ? S_OK : E_INVALIDARG;
  }

  HRESULT GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR buffer, UINT size) override {
    if (type != GCS_HELPTEXTA || offset >= kOffsets || !buffer || size == 0) return E_INVALIDARG;
    std::snprintf(buffer, size, "Help for item %u", static_cast<unsigned>(offset));
    return S_OK;
  }

  HRESULT HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override {
    return HandleMenuMsg2(message, wParam, lParam, nullptr);
  }
  HRESULT HandleMenuMsg2(UINT message, WPARAM, LPARAM lParam, LRESULT* result) override {
    if (message == WM_MEASUREITEM) {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (m->itemID != first_ + 4) return E_FAIL;
      m->itemWidth = kOwnerW;
      m->itemHeight = kOwnerH;
    } else if (message == WM_DRAWITEM) {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (d->itemID != first_ + 4) return E_FAIL;
      Log("draw " + std::to_string(d->itemID - first_) + " " + std::to_string(d->itemState & ODS_SELECTED));
      HBRUSH brush = CreateSolidBrush((d->itemState & ODS_SELECTED) ? RGB(255, 0, 0) : RGB(0, 255, 0));
      FillRect(d->hDC, &d->rcItem, brush);
      DeleteObject(brush);
    } else {
      return E_FAIL;
    }
    if (result) *result = TRUE;
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<std::string> paths_;
  std::vector<HBITMAP> bitmaps_;
  UINT first_ = 0;
};

class CFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return *out = nullptr, E_NOINTERFACE;
    *out = this;
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* handler = new CTestHandler;
    const HRESULT hr = handler->QueryInterface(iid, out);
    handler->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};
CFactory gFactory;

LONG SetDefault(const std::string& key, const std::string& value) {
  HKEY k = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
  return rc;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return clsid == kClsid ? gFactory.QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return gObjects == 0 ? S_OK : S_FALSE; }

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  const std::string clsid = vel::com::GuidText(kClsid);
  const std::string self = vel::com::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  for (const auto& [key, value] : {std::pair{"CLSID\\" + clsid + "\\InprocServer32", self},
                                   std::pair{std::string("*\\shellex\\ContextMenuHandlers\\HostTest"), clsid},
                                   std::pair{std::string("Folder\\shellex\\ContextMenuHandlers\\HostTest"), clsid}})
    if (SetDefault(key, value) != ERROR_SUCCESS) return SELFREG_E_CLASS;
  return S_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + vel::com::GuidText(kClsid)).c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\HostTest");
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\HostTest");
  return S_OK;
}

// A minimal in-process server: one class that takes a selection and adds one
// menu item naming how many files it got, registered as a context-menu
// handler for every file type.
#include <atomic>
#include <string>

#include "platform/com/menu.h"
#include "platform/com/tests/test_server_ids.h"

namespace {

std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

class TestHandler final : public IShellExtInit, public IContextMenu {
 public:
  TestHandler() { ++gObjects; }
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IShellExtInit) *out = static_cast<IShellExtInit*>(this);
    if (iid == IID_IContextMenu) *out = static_cast<IContextMenu*>(this);
    if (!*out) return E_NOINTERFACE;
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
    files_ = DragQueryFileA(medium.hGlobal, 0xFFFFFFFFu, nullptr, 0);
    ReleaseStgMedium(&medium);
    return S_OK;
  }
  HRESULT QueryContextMenu(HMENU menu, UINT index, UINT first, UINT, UINT) override {
    const std::string text = std::to_string(files_) + " files";
    if (!InsertMenuA(menu, index, MF_BYPOSITION | MF_STRING, first, text.c_str())) return E_FAIL;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }
  HRESULT InvokeCommand(CMINVOKECOMMANDINFO*) override { return S_OK; }
  HRESULT GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) override { return E_NOTIMPL; }

 private:
  ~TestHandler() { --gObjects; }
  std::atomic<ULONG> refs_{1};
  UINT files_ = 0;
};

class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }  // lives as long as the module
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* handler = new TestHandler;
    const HRESULT hr = handler->QueryInterface(iid, out);
    handler->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    gLocks += lock ? 1 : -1;
    return S_OK;
  }
};
Factory gFactory;

const std::string kClassKey = "CLSID\\" + vel::com::GuidText(kTestHandlerClsid);

LONG SetDefault(const std::string& subKey, const std::string& value, const char* name = nullptr) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (rc == ERROR_SUCCESS)
    rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return rc;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != kTestHandlerClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(iid, out);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  const std::string path = vel::com::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  if (path.empty()) return SELFREG_E_CLASS;
  if (SetDefault(kClassKey, "TestHandler Class") || SetDefault(kClassKey + "\\InprocServer32", path) ||
      SetDefault(kClassKey + "\\InprocServer32", "Apartment", "ThreadingModel") ||
      SetDefault(kTestHandlerKey, vel::com::GuidText(kTestHandlerClsid)))
    return SELFREG_E_CLASS;
  return vel::com::RegisterTypeLibrary(kTestLibid, 1, 0, "Test 1.0 Type Library", path);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  if (RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey.c_str()) || RegDeleteKeyA(HKEY_CLASSES_ROOT, kTestHandlerKey))
    return SELFREG_E_CLASS;
  return vel::com::UnRegisterTypeLib(kTestLibid, 1, 0, 0, 1);
}

// The in-process server: its four entry points, the class factory and the
// registration entries.
#include <new>
#include <string>

#include "platform/com/com.h"
#include "platform/registry/registry.h"
#include "shellext/ferrule/CFerruleATL.h"
#include "shellext/ferrule/module_state.h"

#define FERRULE_EXPORT extern "C" __attribute__((visibility("default")))

FERRULE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
FERRULE_EXPORT HRESULT DllCanUnloadNow();
FERRULE_EXPORT HRESULT DllRegisterServer();
FERRULE_EXPORT HRESULT DllUnregisterServer();

namespace ferrule {
namespace {

constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;
constexpr int kSysWin32 = 1;
constexpr const char kServerPathPlaceholder[] = "%MODULE%";
constexpr const char kClassIdPlaceholder[] = "%CLSID%";
constexpr const char kLibIdPlaceholder[] = "%LIBID%";

// One entry under HKEY_CLASSES_ROOT: a key, a value of it (null: the default
// value) and its text; a null text makes the key alone.
struct RegistryEntry {
  const char* key;
  const char* name;
  const char* text;
};

const RegistryEntry kEntries[] = {
    {"Ferrule.FerruleATL.1", nullptr, "FerruleATL Class"},
    {"Ferrule.FerruleATL.1\\CLSID", nullptr, kClassIdPlaceholder},
    {"Ferrule.FerruleATL", nullptr, "FerruleATL Class"},
    {"Ferrule.FerruleATL\\CLSID", nullptr, kClassIdPlaceholder},
    {"Ferrule.FerruleATL\\CurVer", nullptr, "Ferrule.FerruleATL.1"},
    {"CLSID\\%CLSID%", nullptr, "FerruleATL Class"},
    {"CLSID\\%CLSID%\\ProgID", nullptr, "Ferrule.FerruleATL.1"},
    {"CLSID\\%CLSID%\\VersionIndependentProgID", nullptr, "Ferrule.FerruleATL"},
    {"CLSID\\%CLSID%\\Programmable", nullptr, nullptr},
    {"CLSID\\%CLSID%\\InprocServer32", nullptr, kServerPathPlaceholder},
    {"CLSID\\%CLSID%\\InprocServer32", "ThreadingModel", "Apartment"},
    {"CLSID\\%CLSID%\\TypeLib", nullptr, kLibIdPlaceholder},
    {"*\\shellex\\ContextMenuHandlers\\Ferrule", nullptr, kClassIdPlaceholder},
    {"Folder\\shellex\\ContextMenuHandlers\\Ferrule", nullptr, kClassIdPlaceholder},
};

// The keys removal takes away whole; their parents stay.
const char* const kRemovedKeys[] = {
    "Ferrule.FerruleATL.1",
    "Ferrule.FerruleATL",
    "CLSID\\%CLSID%",
    "*\\shellex\\ContextMenuHandlers\\Ferrule",
    "Folder\\shellex\\ContextMenuHandlers\\Ferrule",
};

std::string Expand(const char* text, const std::string& serverPath) {
  std::string out = text;
  const std::pair<const char*, std::string> fills[] = {{kServerPathPlaceholder, serverPath},
                                                       {kClassIdPlaceholder, vel::com::GuidText(CLSID_FerruleATL)},
                                                       {kLibIdPlaceholder, vel::com::GuidText(LIBID_FERRULELib)}};
  for (const auto& [placeholder, value] : fills) {
    for (size_t at = out.find(placeholder); at != std::string::npos; at = out.find(placeholder, at + value.size()))
      out.replace(at, std::string(placeholder).size(), value);
  }
  return out;
}

std::string ServerPath() { return vel::com::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)); }

HRESULT WriteEntry(const RegistryEntry& entry, const std::string& serverPath) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, Expand(entry.key, serverPath).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr);
  if (rc == ERROR_SUCCESS && entry.text) {
    const std::string text = Expand(entry.text, serverPath);
    rc = RegSetValueExA(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
  }
  if (key) RegCloseKey(key);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

class CFerruleFactory final : public IClassFactory {
 public:
  CFerruleFactory() { ObjectCreated(); }
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    // An aggregating object may only hold the inner IUnknown.
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CFerruleATL(outer);
    if (!object) return E_OUTOFMEMORY;
    IUnknown* inner = object->Inner();
    inner->AddRef();
    const HRESULT hr = inner->QueryInterface(iid, out);
    inner->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    Lock(lock != FALSE);
    return S_OK;
  }

 private:
  ~CFerruleFactory() { ObjectDestroyed(); }
  ULONG refs_ = 0;
};

}  // namespace
}  // namespace ferrule

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_FerruleATL) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ferrule::CFerruleFactory;
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

HRESULT DllCanUnloadNow() { return ferrule::CanUnload() ? S_OK : S_FALSE; }

HRESULT DllRegisterServer() {
  try {
    const std::string path = ferrule::ServerPath();
    if (path.empty()) return E_UNEXPECTED;
    for (const auto& entry : ferrule::kEntries) {
      const HRESULT hr = ferrule::WriteEntry(entry, path);
      if (FAILED(hr)) return hr;
    }
    return vel::com::RegisterTypeLibrary(LIBID_FERRULELib, ferrule::kTypeLibMajor, ferrule::kTypeLibMinor,
                                         "Ferrule 1.0 Type Library", path);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT DllUnregisterServer() {
  try {
    HRESULT first = S_OK;
    for (const char* key : ferrule::kRemovedKeys) {
      const LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, ferrule::Expand(key, {}).c_str());
      // What is already gone needs no removing.
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && SUCCEEDED(first)) first = HRESULT_FROM_WIN32(rc);
    }
    const HRESULT hr = vel::com::UnRegisterTypeLib(LIBID_FERRULELib, ferrule::kTypeLibMajor, ferrule::kTypeLibMinor, 0,
                                                   ferrule::kSysWin32);
    return FAILED(first) ? first : hr;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

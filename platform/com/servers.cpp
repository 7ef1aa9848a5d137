// In-process servers: loading a server file, finding classes through their
// registration under HKEY_CLASSES_ROOT, and the type-library keys a server
// writes and removes.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <utility>

#include "platform/com/com.h"

namespace vel::com {
namespace {

// What CoCreateInstance gives for a class nobody registered, and for a server
// file that does not load.
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8004F001);
// Longest default value we take from the registry as a path or class id.
constexpr LONG kMaxDefaultValue = 64 * 1024;

// The default value of `subKey` as text; false when the key is missing.
bool ReadDefault(HKEY root, const std::string& subKey, std::string* out) {
  LONG size = 0;
  if (RegQueryValueA(root, subKey.c_str(), nullptr, &size) != ERROR_SUCCESS || size <= 0 || size > kMaxDefaultValue)
    return false;
  std::string text(static_cast<size_t>(size), '\0');
  if (RegQueryValueA(root, subKey.c_str(), text.data(), &size) != ERROR_SUCCESS) return false;
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  *out = std::move(text);
  return true;
}

LONG WriteDefault(HKEY root, const std::string& subKey, const std::string& value) {
  HKEY key = nullptr;
  LONG rc =
      RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return rc;
}

// Calls into a server guard against exceptions: they must not cross into the
// caller, whatever the server was built with.
template <typename Fn>
HRESULT Guarded(Fn&& fn) {
  try {
    return fn();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The key of a type-library version, as the automation library names it: the
// version numbers in hexadecimal.
std::string TypeLibKey(REFGUID libid) { return "TypeLib\\" + GuidText(libid); }
std::string TypeLibVersion(WORD major, WORD minor) {
  char text[16];
  std::snprintf(text, sizeof text, "%x.%x", major, minor);
  return text;
}

}  // namespace

// ---- ServerModule ------------------------------------------------------------------------

ServerModule::~ServerModule() {
  if (!handle_) return;
  // A server that cannot tell whether its objects are gone stays loaded: an
  // object still in use would otherwise run code that is no longer mapped.
  auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(symbol("DllCanUnloadNow"));
  if (canUnload && Guarded(canUnload) == S_OK) dlclose(handle_);
  handle_ = nullptr;
}

ServerModule::ServerModule(ServerModule&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

ServerModule& ServerModule::operator=(ServerModule&& other) noexcept {
  if (this != &other) {
    ServerModule old(std::move(*this));
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool ServerModule::load(const std::string& path, std::string* error) {
  ServerModule old(std::move(*this));
  dlerror();
  handle_ = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_ && error) {
    const char* reason = dlerror();
    *error = "cannot load " + path + ": " + (reason ? reason : "no file name");
  }
  return handle_ != nullptr;
}

void* ServerModule::symbol(const char* name) const { return handle_ && name ? dlsym(handle_, name) : nullptr; }

HRESULT ServerModule::getClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto entry = reinterpret_cast<DllGetClassObjectFn>(symbol("DllGetClassObject"));
  if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
  return Guarded([&] { return entry(clsid, iid, out); });
}

HRESULT ServerModule::registerServer() const {
  auto entry = reinterpret_cast<DllRegisterServerFn>(symbol("DllRegisterServer"));
  return entry ? Guarded(entry) : E_FAIL;
}

HRESULT ServerModule::unregisterServer() const {
  auto entry = reinterpret_cast<DllUnregisterServerFn>(symbol("DllUnregisterServer"));
  return entry ? Guarded(entry) : E_FAIL;
}

// ---- the registration --------------------------------------------------------------------

std::string InprocServerPath(REFCLSID clsid) {
  std::string path;
  ReadDefault(HKEY_CLASSES_ROOT, "CLSID\\" + GuidText(clsid) + "\\InprocServer32", &path);
  return path;
}

std::vector<CLSID> ContextMenuHandlers(const std::string& type) {
  std::vector<CLSID> handlers;
  const std::string keyName = type + "\\shellex\\ContextMenuHandlers";
  HKEY key = nullptr;
  if (type.empty() || RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return handlers;
  char name[kRegMaxKeyNameChars + 1];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::string value;
    CLSID clsid{};
    if ((ReadDefault(key, name, &value) && ParseGuid(value, &clsid)) || ParseGuid(name, &clsid))
      handlers.push_back(clsid);
  }
  RegCloseKey(key);
  return handlers;
}

HRESULT CreateRegisteredInstance(REFCLSID clsid, REFIID iid, void** out, ServerModule* module) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!module) return E_INVALIDARG;
  const std::string path = InprocServerPath(clsid);
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  ServerModule server;
  if (!server.load(path)) return CO_E_DLLNOTFOUND;
  IClassFactory* factory = nullptr;
  HRESULT hr = server.getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  hr = Guarded([&] { return factory->CreateInstance(nullptr, iid, out); });
  factory->Release();
  if (FAILED(hr)) {
    *out = nullptr;
    return hr;
  }
  *module = std::move(server);
  return hr;
}

HRESULT RegisterTypeLibrary(REFGUID libid, WORD major, WORD minor, const std::string& helpText,
                            const std::string& path) {
  const std::string version = TypeLibKey(libid) + "\\" + TypeLibVersion(major, minor);
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash ? slash : 1);
  const std::pair<std::string, std::string> entries[] = {
      {version, helpText},
      {version + "\\0\\win32", path},
      {version + "\\FLAGS", "0"},
      {version + "\\HELPDIR", folder},
  };
  for (const auto& [key, value] : entries)
    if (WriteDefault(HKEY_CLASSES_ROOT, key, value) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, DWORD /*locale*/, int /*sysKind*/) {
  const std::string library = TypeLibKey(libid);
  if (RegDeleteTreeA(HKEY_CLASSES_ROOT, (library + "\\" + TypeLibVersion(major, minor)).c_str()) != ERROR_SUCCESS)
    return TYPE_E_REGISTRYACCESS;
  // The library key goes with its last version; other versions keep it.
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, library.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return S_OK;
  char name[kRegMaxKeyNameChars + 1];
  DWORD length = sizeof name;
  const bool otherVersions = RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!otherVersions && RegDeleteKeyA(HKEY_CLASSES_ROOT, library.c_str()) != ERROR_SUCCESS)
    return TYPE_E_REGISTRYACCESS;
  return S_OK;
}

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info)) return {};
  char resolved[PATH_MAX];
  // The main program is named by an empty text (or the name it was started with).
  if (!info.dli_fname || !*info.dli_fname) return realpath("/proc/self/exe", resolved) ? resolved : std::string();
  return realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
}

}  // namespace vel::com

// The minimal COM the shell extension and its menu host need: results, GUIDs,
// IUnknown and the class factory, the data object that carries a file
// selection (CF_HDROP), the shell-extension interfaces, and loading an
// in-process server from its file.
//
// Interfaces are plain abstract classes; servers and clients are built by the
// same compiler, so the vtables agree. Only what some caller uses exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/memory.h"
#include "platform/base/wintypes.h"
#include "platform/gdi/gdi.h"
#include "platform/registry/registry.h"

using HRESULT = std::int32_t;
using HWND = void*;
using HMODULE = void*;
using ULONG_PTR = std::uintptr_t;
using CLIPFORMAT = WORD;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);
constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201);
constexpr HRESULT TYPE_E_REGISTRYACCESS = static_cast<HRESULT>(0x8002801C);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
// A success code carrying a count (QueryContextMenu's number of command offsets).
constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code) {
  return static_cast<HRESULT>((severity << 31) | (facility << 16) | (code & 0xFFFF));
}
constexpr unsigned SEVERITY_SUCCESS = 0;
// The HRESULT of a Win32 error code (registry results).
constexpr HRESULT HRESULT_FROM_WIN32(LONG code) {
  return code <= 0 ? static_cast<HRESULT>(code) : static_cast<HRESULT>((code & 0xFFFF) | 0x80070000);
}

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;
bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

namespace vel::com {
// "{A118FEA0-1D1B-4165-BC37-88F95B250E7A}": upper-case hex in braces.
std::string GuidText(const GUID& guid);
// Parses that form (case ignored, braces required); false on anything else.
bool ParseGuid(const std::string& text, GUID* out);
}  // namespace vel::com

// ---- IUnknown, IClassFactory, IDispatch ---------------------------------------------

extern const IID IID_IUnknown;       // {00000000-0000-0000-C000-000000000046}
extern const IID IID_IClassFactory;  // {00000001-0000-0000-C000-000000000046}
extern const IID IID_IDispatch;      // {00020400-0000-0000-C000-000000000046}
extern const IID IID_IDataObject;    // {0000010E-0000-0000-C000-000000000046}
extern const IID IID_IShellExtInit;  // {000214E8-0000-0000-C000-000000000046}
extern const IID IID_IContextMenu;   // {000214E4-0000-0000-C000-000000000046}
extern const IID IID_IContextMenu2;  // {000214F4-0000-0000-C000-000000000046}
extern const IID IID_IContextMenu3;  // {BCFCE0A0-EC17-11D0-8D10-00A0C90F2719}

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;
};

// Automation is not used by anyone here: a dual interface answers these with
// E_NOTIMPL (and 0 type infos).
struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, DWORD locale, void** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, char** names, UINT count, DWORD locale, LONG* ids) = 0;
  virtual HRESULT Invoke(LONG member, REFIID iid, DWORD locale, WORD flags, void* params, void* result,
                         void* exception, UINT* argError) = 0;
};

// ---- the data object of a selection ----------------------------------------------------

constexpr CLIPFORMAT CF_HDROP = 15;
constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_HGLOBAL = 1;

struct FORMATETC {
  CLIPFORMAT cfFormat;
  void* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
};

struct STGMEDIUM {
  DWORD tymed;
  HGLOBAL hGlobal;
  IUnknown* pUnkForRelease;
};
// Frees the medium's memory (or releases pUnkForRelease, which then owns it).
void ReleaseStgMedium(STGMEDIUM* medium);

struct IDataObject : IUnknown {
  virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
};

// The CF_HDROP block: a DROPFILES header followed by the paths, each ending in
// a zero, and one more zero at the end (8-bit characters).
struct DROPFILES {
  DWORD pFiles;  // offset of the first path from the start of the block
  POINT pt;
  BOOL fNC;
  BOOL fWide;
};
using HDROP = HGLOBAL;
// The number of paths with index 0xFFFFFFFF; else copies path `index` into
// `buffer` (cut to size - 1) and returns its length without the zero (the
// needed length when buffer is null). 0 for a bad block or index.
UINT DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size);

namespace vel::com {
// A CF_HDROP block holding `paths` (8-bit), owned by the caller (GlobalFree).
HGLOBAL MakeDropFiles(const std::vector<std::string>& paths);
// A data object that gives a copy of that block for CF_HDROP / TYMED_HGLOBAL
// and DV_E_FORMATETC for anything else; starts with one reference.
IDataObject* NewFileListDataObject(const std::vector<std::string>& paths);
}  // namespace vel::com

// ---- shell extensions ------------------------------------------------------------------

struct IShellExtInit : IUnknown {
  // `folder` is the folder's item list (unused here, may be null); `progIdKey`
  // the file type's key (may be null).
  virtual HRESULT Initialize(const void* folder, IDataObject* data, HKEY progIdKey) = 0;
};

constexpr UINT CMF_NORMAL = 0x0;
constexpr UINT CMF_DEFAULTONLY = 0x1;
constexpr UINT CMF_VERBSONLY = 0x2;
constexpr UINT CMF_EXPLORE = 0x4;
constexpr UINT CMF_NOVERBS = 0x8;
constexpr UINT CMF_CANRENAME = 0x10;

constexpr UINT GCS_VERBA = 0x0;
constexpr UINT GCS_HELPTEXTA = 0x1;
constexpr UINT GCS_VALIDATEA = 0x2;
constexpr UINT GCS_UNICODE = 0x4;
constexpr UINT GCS_HELPTEXTW = 0x5;

struct CMINVOKECOMMANDINFO {
  DWORD cbSize;
  DWORD fMask;
  HWND hwnd;
  LPCSTR lpVerb;  // a command offset in its low word when the value is below 0x10000
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  DWORD dwHotKey;
  void* hIcon;
};
inline LPCSTR MAKEINTRESOURCEA(UINT_PTR id) { return reinterpret_cast<LPCSTR>(id); }
inline bool IS_INTRESOURCE(LPCSTR p) { return (reinterpret_cast<UINT_PTR>(p) >> 16) == 0; }

struct MenuData;
using HMENU = MenuData*;

struct IContextMenu : IUnknown {
  virtual HRESULT QueryContextMenu(HMENU menu, UINT index, UINT firstCommand, UINT lastCommand, UINT flags) = 0;
  virtual HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) = 0;
  // With GCS_UNICODE in `type` the text is written as wide characters (char16_t).
  virtual HRESULT GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, LPSTR buffer, UINT size) = 0;
};
struct IContextMenu2 : IContextMenu {
  virtual HRESULT HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};
struct IContextMenu3 : IContextMenu2 {
  virtual HRESULT HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;
};

// ---- the shell library's version ----------------------------------------------------------

struct DLLVERSIONINFO {
  DWORD cbSize;  // 20
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformID;
};
namespace vel::com {
// What the shell library's DllGetVersion reports: 6.0 here (owner-drawn menu
// items work). Tests may pretend an older shell; major 0 restores the default.
HRESULT ShellDllGetVersion(DLLVERSIONINFO* info);
void SetShellVersionForTesting(DWORD major, DWORD minor);
}  // namespace vel::com

// ---- in-process servers ----------------------------------------------------------------------

// The four entry points every in-process server exports (extern "C").
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

namespace vel::com {

// A loaded server file (dlopen), unloaded when the owner goes (only if its
// DllCanUnloadNow answers S_OK).
class ServerModule {
 public:
  ServerModule() = default;
  ~ServerModule();
  ServerModule(ServerModule&& other) noexcept;
  ServerModule& operator=(ServerModule&& other) noexcept;
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // False with `error` set ("cannot load ...: <dlerror>") when the file does not load.
  bool load(const std::string& path, std::string* error = nullptr);
  bool loaded() const { return handle_ != nullptr; }
  // An exported symbol, or null.
  void* symbol(const char* name) const;

  HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HRESULT registerServer() const;    // E_FAIL when the entry point is missing
  HRESULT unregisterServer() const;

 private:
  void* handle_ = nullptr;
};

// The server file of a class: HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32's
// default value; empty when not registered.
std::string InprocServerPath(REFCLSID clsid);

// The class ids registered as context-menu handlers under
// HKEY_CLASSES_ROOT\<type>\shellex\ContextMenuHandlers (each sub-key's default
// value, or its name when that is a class id), in key order.
std::vector<CLSID> ContextMenuHandlers(const std::string& type);

// Loads the class's server through the registration and creates an object:
// the module stays loaded in `module` as long as the object is used.
HRESULT CreateRegisteredInstance(REFCLSID clsid, REFIID iid, void** out, ServerModule* module);

// The type-library registration of a server, as the automation library keeps
// it: HKEY_CLASSES_ROOT\TypeLib\{libid}\<major>.<minor> = helpText, with
// "0\win32" = path, "FLAGS" = "0" and "HELPDIR" = the path's folder.
HRESULT RegisterTypeLibrary(REFGUID libid, WORD major, WORD minor, const std::string& helpText,
                            const std::string& path);
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, DWORD locale, int sysKind);

// The path of the shared object that holds `address` (a function of it): what
// a server passes to its registration as its own file.
std::string ModulePathOf(const void* address);

}  // namespace vel::com

// The registry: RegOpenKeyExA & co., ANSI forms, behaving as Windows does for
// their callers.
//
// Each hive (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
// HKEY_USERS) is one SQLite file in the registry folder: $VELMARK_REGISTRY_DIR,
// else $XDG_CONFIG_HOME/velmark, else ~/.config/velmark. Several processes may
// read and write at once; every write is its own transaction.
//
// Sub-key strings use "\\" between names. Empty parts are skipped, so leading,
// trailing and doubled backslashes are tolerated everywhere ("\\Software\\X\\"
// names the same key as "Software\\X"); Windows rejects a leading backslash in
// some calls, we never do. Key and value names compare without regard to ASCII
// case and keep the case they were first written with.
//
// All functions return Win32 error codes (ERROR_SUCCESS on success) and never
// throw.
#pragma once

#include "platform/base/wintypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LPHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;

// The predefined keys have the values Windows gives them; no heap object can
// ever live at these addresses, so they never collide with an opened key.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000000u))))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000001u))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000002u))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000003u))))

// Access rights. READ_CONTROL (0x00020000) is part of KEY_READ and KEY_WRITE,
// as on Windows, so the combined values compare equal to the originals.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
constexpr REGSAM KEY_MAXIMUM_ALLOWED = 0x02000000;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD REG_QWORD = 11;
constexpr DWORD REG_QWORD_LITTLE_ENDIAN = 11;

// Options of RegCreateKeyExA / RegOpenKeyExA. Every key is stored on disk, so
// REG_OPTION_VOLATILE keys simply outlive the session.
constexpr DWORD REG_OPTION_RESERVED = 0;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_OPTION_CREATE_LINK = 2;
constexpr DWORD REG_OPTION_BACKUP_RESTORE = 4;
constexpr DWORD REG_OPTION_OPEN_LINK = 8;

// Dispositions reported by RegCreateKeyExA.
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Longest key name part and value name, in characters (without the NUL).
constexpr DWORD kRegMaxKeyNameChars = 255;
constexpr DWORD kRegMaxValueNameChars = 16383;
// Deepest key tree below a hive root.
constexpr DWORD kRegMaxKeyDepth = 512;
// Largest value we store. Windows has no hard cap but documents values above a
// few kilobytes as misuse; this bound keeps bad callers and bad files from
// making us allocate without limit.
constexpr DWORD kRegMaxValueBytes = 64u << 20;

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Creates every missing key along subKey; *disposition (optional) tells
// whether the last key was made or already there.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                     void* securityAttributes, PHKEY result, LPDWORD disposition);
LONG RegCloseKey(HKEY key);

// Deletes subKey, which must have no sub-keys (ERROR_ACCESS_DENIED otherwise,
// as on Windows). An empty subKey deletes the key itself.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
// Deletes subKey with everything below it; a null subKey clears the key's own
// values and sub-keys but keeps the key.
LONG RegDeleteTreeA(HKEY key, LPCSTR subKey);

// name null or "" is the default value. data null with cbData set reports the
// size; a buffer smaller than the stored data gives ERROR_MORE_DATA with the
// needed size in *cbData. The stored bytes come back exactly, no NUL added.
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD cbData);
// Stores exactly cbData bytes of data under name (null or "" = default value).
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD cbData);
LONG RegDeleteValueA(HKEY key, LPCSTR name);
// The default value of subKey as a string: an existing key without a default
// value reads as "". A stored string lacking its NUL gets one here.
LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR value, LONG* cbValue);

// Sub-keys and values come in a stable order: by name, without regard to case.
// *cchName is the buffer size in characters with the NUL on input, the name
// length without it on output. lastWriteTime, when given, receives a FILETIME
// (8 bytes: 100 ns units since 1601).
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD cchClass, void* lastWriteTime);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                   LPDWORD cbData);

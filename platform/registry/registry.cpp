// The Win32 registry functions over the hive stores: handles, sub-key
// strings, access rights and the buffer rules callers depend on.
#include "platform/registry/registry.h"

#include <cstring>
#include <new>
#include <unordered_set>

#include "platform/registry/hive_store.h"

using vel::reg::HiveStore;
using vel::reg::KeyId;

// What an opened HKEY points to.
struct HKEY__ {
  std::shared_ptr<HiveStore> store;
  KeyId id = 0;
  REGSAM access = 0;
};

namespace {

struct Predefined {
  HKEY key;
  const char* file;
};

const Predefined kPredefined[] = {
    {HKEY_CLASSES_ROOT, "HKCR.db"},
    {HKEY_CURRENT_USER, "HKCU.db"},
    {HKEY_LOCAL_MACHINE, "HKLM.db"},
    {HKEY_USERS, "HKU.db"},
};

// Every handle we gave out and did not close yet. A pointer not in here is
// never dereferenced, so stale or made-up handles give ERROR_INVALID_HANDLE.
struct HandleTable {
  std::mutex mu;
  std::unordered_set<HKEY> live;
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // outlives static destructors
  return *table;
}

// A handle resolved for one call: its own copy of the store pointer keeps the
// store alive even if another thread closes the handle meanwhile.
struct Target {
  std::shared_ptr<HiveStore> store;
  KeyId id = 0;
  REGSAM access = 0;
};

LONG Resolve(HKEY key, Target* out) {
  for (const auto& p : kPredefined) {
    if (key == p.key) {
      out->id = vel::reg::kRootKey;
      out->access = KEY_ALL_ACCESS;
      return vel::reg::StoreForHive(p.file, &out->store);
    }
  }
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mu);
  if (!key || !table.live.count(key)) return ERROR_INVALID_HANDLE;
  out->store = key->store;
  out->id = key->id;
  out->access = key->access;
  return ERROR_SUCCESS;
}

bool IsPredefined(HKEY key) {
  for (const auto& p : kPredefined)
    if (key == p.key) return true;
  return false;
}

LONG NewHandle(const Target& parent, KeyId id, REGSAM access, PHKEY result) {
  auto* h = new (std::nothrow) HKEY__;
  if (!h) return ERROR_NOT_ENOUGH_MEMORY;
  h->store = parent.store;
  h->id = id;
  // MAXIMUM_ALLOWED asks for whatever may be had, which is everything here.
  h->access = (access & KEY_MAXIMUM_ALLOWED) ? KEY_ALL_ACCESS : access;
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mu);
  table.live.insert(h);
  *result = h;
  return ERROR_SUCCESS;
}

LONG SplitSubKey(LPCSTR sub, std::vector<std::string>* parts) {
  parts->clear();
  if (!sub) return ERROR_SUCCESS;
  const char* p = sub;
  while (*p) {
    const char* end = std::strchr(p, '\\');
    size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
    if (len > kRegMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
    if (len) {
      if (parts->size() >= kRegMaxKeyDepth) return ERROR_INVALID_PARAMETER;
      parts->emplace_back(p, len);
    }
    p += len;
    if (*p == '\\') ++p;
  }
  return ERROR_SUCCESS;
}

// The store behind a handle and the key subKey names below it.
LONG FindSubKey(HKEY key, LPCSTR subKey, Target* parent, KeyId* id) {
  if (LONG rc = Resolve(key, parent); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> parts;
  if (LONG rc = SplitSubKey(subKey, &parts); rc != ERROR_SUCCESS) return rc;
  return parent->store->FindKey(parent->id, parts, id);
}

LONG ValueName(LPCSTR name, std::string* out) {
  if (!name) {
    out->clear();
    return ERROR_SUCCESS;
  }
  size_t len = strnlen(name, kRegMaxValueNameChars + 1);
  if (len > kRegMaxValueNameChars) return ERROR_INVALID_PARAMETER;
  out->assign(name, len);
  return ERROR_SUCCESS;
}

// Copies a name into a caller's character buffer of *cch characters (NUL
// included); too small leaves both untouched.
LONG CopyName(const std::string& name, LPSTR buf, LPDWORD cch) {
  if (name.size() >= *cch) return ERROR_MORE_DATA;
  std::memcpy(buf, name.data(), name.size());
  buf[name.size()] = '\0';
  *cch = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// A value's type and bytes for a caller's buffer: the size alone when data is
// null, ERROR_MORE_DATA with the size needed when the buffer is too small.
LONG CopyData(const vel::reg::ValueRecord& value, LPDWORD type, LPBYTE data, LPDWORD cbData) {
  if (type) *type = value.type;
  if (!cbData) return ERROR_SUCCESS;
  const auto size = static_cast<DWORD>(value.data.size());
  if (data && *cbData < size) {
    *cbData = size;
    return ERROR_MORE_DATA;
  }
  if (data && size) std::memcpy(data, value.data.data(), size);
  *cbData = size;
  return ERROR_SUCCESS;
}

void WriteFileTime(void* out, std::int64_t unixMicros) {
  // FILETIME counts 100 ns steps from 1601-01-01.
  constexpr std::uint64_t kEpochDelta = 116444736000000000ull;
  std::uint64_t ft = static_cast<std::uint64_t>(unixMicros) * 10 + kEpochDelta;
  DWORD parts[2] = {static_cast<DWORD>(ft & 0xFFFFFFFFu), static_cast<DWORD>(ft >> 32)};
  std::memcpy(out, parts, sizeof parts);
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Target parent;
  KeyId id = 0;
  if (LONG rc = FindSubKey(key, subKey, &parent, &id); rc != ERROR_SUCCESS) return rc;
  return NewHandle(parent, id, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR keyClass, DWORD /*options*/, REGSAM access,
                     void* /*securityAttributes*/, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Target parent;
  if (LONG rc = Resolve(key, &parent); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> parts;
  if (LONG rc = SplitSubKey(subKey, &parts); rc != ERROR_SUCCESS) return rc;
  std::string cls;
  if (keyClass) cls.assign(keyClass, strnlen(keyClass, kRegMaxValueNameChars));
  KeyId id = 0;
  bool created = false;
  if (LONG rc = parent.store->CreateKey(parent.id, parts, cls, &id, &created); rc != ERROR_SUCCESS) return rc;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return NewHandle(parent, id, access, result);
}

LONG RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  HandleTable& table = Handles();
  std::unique_lock<std::mutex> lock(table.mu);
  if (!key || !table.live.erase(key)) return ERROR_INVALID_HANDLE;
  lock.unlock();
  delete key;
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  Target parent;
  KeyId id = 0;
  if (LONG rc = FindSubKey(key, subKey, &parent, &id); rc != ERROR_SUCCESS) return rc;
  return parent.store->DeleteKey(id);
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) {
  Target parent;
  if (LONG rc = Resolve(key, &parent); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> parts;
  if (LONG rc = SplitSubKey(subKey, &parts); rc != ERROR_SUCCESS) return rc;
  // An empty sub-key clears the key itself, like a null one: never remove the
  // very key the caller holds (or a hive root) by accident.
  if (parts.empty()) return parent.store->DeleteTree(parent.id, false);
  KeyId id = 0;
  if (LONG rc = parent.store->FindKey(parent.id, parts, &id); rc != ERROR_SUCCESS) return rc;
  return parent.store->DeleteTree(id, true);
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD cbData) {
  if (reserved || (data && !cbData)) return ERROR_INVALID_PARAMETER;
  std::string valueName;
  if (LONG rc = ValueName(name, &valueName); rc != ERROR_SUCCESS) return rc;
  Target target;
  if (LONG rc = Resolve(key, &target); rc != ERROR_SUCCESS) return rc;
  if (!(target.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  vel::reg::ValueRecord value;
  if (LONG rc = target.store->GetValue(target.id, valueName, &value); rc != ERROR_SUCCESS) return rc;
  return CopyData(value, type, data, cbData);
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD cbData) {
  if (!data && cbData) return ERROR_INVALID_PARAMETER;
  if (cbData > kRegMaxValueBytes) return ERROR_INVALID_PARAMETER;
  std::string valueName;
  if (LONG rc = ValueName(name, &valueName); rc != ERROR_SUCCESS) return rc;
  Target target;
  if (LONG rc = Resolve(key, &target); rc != ERROR_SUCCESS) return rc;
  if (!(target.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return target.store->SetValue(target.id, valueName, type, data, cbData);
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
  std::string valueName;
  if (LONG rc = ValueName(name, &valueName); rc != ERROR_SUCCESS) return rc;
  Target target;
  if (LONG rc = Resolve(key, &target); rc != ERROR_SUCCESS) return rc;
  if (!(target.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return target.store->DeleteValue(target.id, valueName);
}

LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR value, LONG* cbValue) {
  if (value && !cbValue) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target); rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> parts;
  if (LONG rc = SplitSubKey(subKey, &parts); rc != ERROR_SUCCESS) return rc;
  KeyId id = target.id;
  if (!parts.empty()) {
    // Opening the sub-key is the call's own business: the caller's handle
    // needs no query right for it.
    if (LONG rc = target.store->FindKey(target.id, parts, &id); rc != ERROR_SUCCESS) return rc;
  } else if (!(target.access & KEY_QUERY_VALUE)) {
    return ERROR_ACCESS_DENIED;
  }
  vel::reg::ValueRecord stored;
  LONG rc = target.store->GetValue(id, std::string(), &stored);
  if (rc == ERROR_FILE_NOT_FOUND) {
    stored.data.clear();  // a key without a default value reads as ""
  } else if (rc != ERROR_SUCCESS) {
    return rc;
  }
  if (stored.data.empty() || stored.data.back() != 0) stored.data.push_back(0);
  if (!cbValue) return ERROR_SUCCESS;
  const auto size = static_cast<LONG>(stored.data.size());
  if (value && *cbValue < size) {
    *cbValue = size;
    return ERROR_MORE_DATA;
  }
  if (value) std::memcpy(value, stored.data.data(), stored.data.size());
  *cbValue = size;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD cchClass, void* lastWriteTime) {
  if (!name || !cchName || reserved || (keyClass && !cchClass)) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target); rc != ERROR_SUCCESS) return rc;
  if (!(target.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  vel::reg::KeyRecord record;
  if (LONG rc = target.store->EnumKey(target.id, index, &record); rc != ERROR_SUCCESS) return rc;
  if (record.name.size() >= *cchName) return ERROR_MORE_DATA;
  if (keyClass && record.keyClass.size() >= *cchClass) return ERROR_MORE_DATA;
  CopyName(record.name, name, cchName);
  if (keyClass) {
    CopyName(record.keyClass, keyClass, cchClass);
  } else if (cchClass) {
    *cchClass = static_cast<DWORD>(record.keyClass.size());
  }
  if (lastWriteTime) WriteFileTime(lastWriteTime, record.lastWriteUnixMicros);
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                   LPDWORD cbData) {
  if (!name || !cchName || reserved || (data && !cbData)) return ERROR_INVALID_PARAMETER;
  Target target;
  if (LONG rc = Resolve(key, &target); rc != ERROR_SUCCESS) return rc;
  if (!(target.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  vel::reg::ValueRecord value;
  if (LONG rc = target.store->EnumValue(target.id, index, &value); rc != ERROR_SUCCESS) return rc;
  if (LONG rc = CopyName(value.name, name, cchName); rc != ERROR_SUCCESS) return rc;
  return CopyData(value, type, data, cbData);
}

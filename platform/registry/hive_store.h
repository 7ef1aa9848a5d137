// One hive's SQLite file: keys as a tree of rows, values as typed byte strings.
//
// Everything here speaks in key ids and already-split name parts; the Win32
// functions in registry.cpp turn handles and sub-key strings into those.
// Every method returns a Win32 error code and is safe to call from several
// threads; the connection is reopened transparently in a forked child.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vel::reg {

using KeyId = std::int64_t;
// Every hive file holds its root key under this id.
constexpr KeyId kRootKey = 1;

// ASCII-only lower-casing: names compare like this, whatever the locale.
std::string FoldName(const std::string& name);

struct ValueRecord {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct KeyRecord {
  std::string name;
  std::string keyClass;
  std::int64_t lastWriteUnixMicros = 0;
};

class HiveStore {
 public:
  ~HiveStore();
  HiveStore(const HiveStore&) = delete;
  HiveStore& operator=(const HiveStore&) = delete;

  // Opens (creating when missing) the hive file at path.
  static LONG Open(const std::string& path, std::shared_ptr<HiveStore>* out);

  const std::string& path() const { return path_; }

  // Walks parts below base; ERROR_FILE_NOT_FOUND when a part is missing,
  // ERROR_KEY_DELETED when base itself is gone.
  LONG FindKey(KeyId base, const std::vector<std::string>& parts, KeyId* out);
  // Walks parts below base creating what is missing; *created tells whether
  // the last part was made now.
  LONG CreateKey(KeyId base, const std::vector<std::string>& parts, const std::string& keyClass, KeyId* out,
                 bool* created);
  // Deletes one key without sub-keys (ERROR_ACCESS_DENIED when it has some).
  LONG DeleteKey(KeyId id);
  // Deletes every sub-key and value below id, and id itself when includeSelf.
  LONG DeleteTree(KeyId id, bool includeSelf);
  LONG KeyAlive(KeyId id);

  LONG GetValue(KeyId key, const std::string& name, ValueRecord* out);
  LONG SetValue(KeyId key, const std::string& name, DWORD type, const BYTE* data, size_t size);
  LONG DeleteValue(KeyId key, const std::string& name);

  LONG EnumKey(KeyId key, DWORD index, KeyRecord* out);
  LONG EnumValue(KeyId key, DWORD index, ValueRecord* out);

 private:
  class Txn;
  explicit HiveStore(std::string path) : path_(std::move(path)) {}

  LONG Connect();
  LONG EnsureConnected();
  LONG InitSchema();
  LONG Prepare(const char* sql, sqlite3_stmt** stmt);
  LONG Exec(const char* sql, bool writing);
  template <typename Work>
  LONG OnLiveKey(KeyId key, bool writing, int* depth, Work work);
  template <typename Bind>
  LONG Run(const char* sql, Bind bind);
  template <typename Bind, typename Row>
  LONG QueryRow(const char* sql, LONG missing, Bind bind, Row row);
  template <typename Row>
  LONG EnumRow(const char* sql, KeyId key, DWORD index, Row row);
  // Runs sql with the key id as its one parameter.
  LONG RunOnKey(const char* sql, KeyId id);
  LONG KeyAliveLocked(KeyId id, int* depth);
  LONG FindChild(KeyId parent, const std::string& fold, KeyId* out);
  LONG TouchKey(KeyId id);
  void Disconnect();

  std::string path_;
  std::mutex mu_;
  sqlite3* db_ = nullptr;
  pid_t pid_ = 0;
  std::vector<std::pair<const char*, sqlite3_stmt*>> stmts_;
};

// The store for one hive file name ("HKCU.db" ...) in the registry folder:
// $VELMARK_REGISTRY_DIR, else $XDG_CONFIG_HOME/velmark, else
// ~/.config/velmark, created (mode 0700) when missing. Stores are cached per
// path; a store stays alive while a handle uses it, even after the folder
// setting changes.
LONG StoreForHive(const char* fileName, std::shared_ptr<HiveStore>* out);

}  // namespace vel::reg

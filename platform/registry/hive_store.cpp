#include "platform/registry/hive_store.h"

#include <sqlite3.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/registry/registry.h"

namespace vel::reg {
namespace {

// Other programs of the suite may hold the write lock for a moment; wait this
// long before giving up on a write.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a handle to a deleted key stays deleted
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  class TEXT NOT NULL DEFAULT '',"
    "  depth INTEGER NOT NULL,"
    "  written INTEGER NOT NULL DEFAULT 0,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, fold)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold, depth) VALUES(1, 0, '', '', 0);"
    "PRAGMA user_version=1;";

LONG MapSqlite(int rc, bool writing) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE: return ERROR_SUCCESS;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_PROTOCOL: return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
    default:
      // Corrupt pages, a file that is not a database, a database of some
      // other program, blobs beyond our limits: all a bad hive to the caller.
      return ERROR_BADDB;
  }
}

std::int64_t NowUnixMicros() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<std::int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

// Resets a cached statement when the operation using it is done, so it holds
// no read lock between calls.
class StmtUse {
 public:
  explicit StmtUse(sqlite3_stmt* s) : s_(s) {}
  ~StmtUse() {
    if (s_) {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    }
  }
  StmtUse(const StmtUse&) = delete;
  StmtUse& operator=(const StmtUse&) = delete;

 private:
  sqlite3_stmt* s_;
};

void BindText(sqlite3_stmt* s, int i, const std::string& text) {
  sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* s, int i) {
  const auto* p = sqlite3_column_text(s, i);
  int n = sqlite3_column_bytes(s, i);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
}

}  // namespace

std::string FoldName(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// One transaction: IMMEDIATE for writes so two writers never deadlock on the
// upgrade from a read lock; rolled back unless committed.
class HiveStore::Txn {
 public:
  Txn(HiveStore* store, bool writing) : store_(store), writing_(writing) {
    status_ = store_->Exec(writing ? "BEGIN IMMEDIATE" : "BEGIN", writing);
    open_ = status_ == ERROR_SUCCESS;
  }
  ~Txn() {
    if (open_) store_->Exec("ROLLBACK", writing_);
  }
  Txn(const Txn&) = delete;
  Txn& operator=(const Txn&) = delete;

  LONG status() const { return status_; }
  LONG Commit() {
    LONG rc = store_->Exec("COMMIT", writing_);
    if (rc == ERROR_SUCCESS) open_ = false;
    return rc;
  }

 private:
  HiveStore* store_;
  bool writing_;
  bool open_ = false;
  LONG status_;
};

HiveStore::~HiveStore() { Disconnect(); }

void HiveStore::Disconnect() {
  // A connection inherited across fork() belongs to the parent: closing it here
  // could disturb the parent's locks, so the child just lets it go.
  if (db_ && pid_ == getpid()) {
    for (auto& entry : stmts_) sqlite3_finalize(entry.second);
    sqlite3_close_v2(db_);
  }
  stmts_.clear();
  db_ = nullptr;
}

LONG HiveStore::Open(const std::string& path, std::shared_ptr<HiveStore>* out) {
  std::shared_ptr<HiveStore> store(new HiveStore(path));
  std::lock_guard<std::mutex> lock(store->mu_);
  LONG rc = store->Connect();
  if (rc != ERROR_SUCCESS) return rc;
  *out = std::move(store);
  return ERROR_SUCCESS;
}

LONG HiveStore::Connect() {
  int rc =
      sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  pid_ = getpid();
  if (rc != SQLITE_OK) {
    LONG err = MapSqlite(rc, true);
    Disconnect();
    return err;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // A hive file is data from disk: no triggers or views of its own may run,
  // and no single blob may be larger than a value can be.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, static_cast<int>(kRegMaxValueBytes) + 65536);

  // Switching to WAL needs a moment of exclusive access; the busy handler does
  // not cover every path there, so retry for as long as a write would wait.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED) break;
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  LONG err = rc == SQLITE_OK ? InitSchema() : MapSqlite(rc, true);
  if (err != ERROR_SUCCESS) Disconnect();
  return err;
}

LONG HiveStore::InitSchema() {
  int version = -1;
  int tables = 0;
  {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_,
                                "SELECT (SELECT user_version FROM pragma_user_version),"
                                " (SELECT count(*) FROM sqlite_master)",
                                -1, &s, nullptr);
    if (rc == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      version = sqlite3_column_int(s, 0);
      tables = sqlite3_column_int(s, 1);
    } else if (rc == SQLITE_OK) {
      rc = sqlite3_errcode(db_);
    }
    sqlite3_finalize(s);
    if (version < 0) return MapSqlite(rc == SQLITE_OK ? SQLITE_CORRUPT : rc, false);
  }
  if (version == kSchemaVersion) return ERROR_SUCCESS;
  // Some other program's database, or a newer layout we do not know.
  if (version != 0 || tables != 0) return ERROR_BADDB;

  Txn txn(this, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  int rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return MapSqlite(rc, true);
  return txn.Commit();
}

LONG HiveStore::EnsureConnected() {
  if (db_ && pid_ == getpid()) return ERROR_SUCCESS;
  Disconnect();
  return Connect();
}

LONG HiveStore::Exec(const char* sql, bool writing) {
  return MapSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), writing);
}

LONG HiveStore::Prepare(const char* sql, sqlite3_stmt** stmt) {
  // The statements are string literals: their address identifies them.
  for (auto& entry : stmts_) {
    if (entry.first == sql) {
      *stmt = entry.second;
      return ERROR_SUCCESS;
    }
  }
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(s);
    return MapSqlite(rc, false);
  }
  stmts_.emplace_back(sql, s);
  *stmt = s;
  return ERROR_SUCCESS;
}

// One statement that gives no rows (an insert, update or delete), bound by `bind`.
template <typename Bind>
LONG HiveStore::Run(const char* sql, Bind bind) {
  sqlite3_stmt* s = nullptr;
  if (LONG rc = Prepare(sql, &s); rc != ERROR_SUCCESS) return rc;
  StmtUse use(s);
  bind(s);
  return MapSqlite(sqlite3_step(s), true);
}

// A query of at most one row: `missing` when it gives none, else what row(s) makes of it.
template <typename Bind, typename Row>
LONG HiveStore::QueryRow(const char* sql, LONG missing, Bind bind, Row row) {
  sqlite3_stmt* s = nullptr;
  if (LONG rc = Prepare(sql, &s); rc != ERROR_SUCCESS) return rc;
  StmtUse use(s);
  bind(s);
  const int step = sqlite3_step(s);
  if (step == SQLITE_DONE) return missing;
  if (step != SQLITE_ROW) return MapSqlite(step, false);
  return row(s);
}

// Every operation runs the same way: under the lock, on a connection of this
// process, in one transaction, on a key that still exists. A write commits when
// the work succeeded; anything else rolls back.
template <typename Work>
LONG HiveStore::OnLiveKey(KeyId key, bool writing, int* depth, Work work) {
  std::lock_guard<std::mutex> lock(mu_);
  if (LONG rc = EnsureConnected(); rc != ERROR_SUCCESS) return rc;
  Txn txn(this, writing);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  if (LONG rc = KeyAliveLocked(key, depth); rc != ERROR_SUCCESS) return rc;
  if (LONG rc = work(); rc != ERROR_SUCCESS) return rc;
  return writing ? txn.Commit() : ERROR_SUCCESS;
}

LONG HiveStore::KeyAliveLocked(KeyId id, int* depth) {
  static const char* const kSql = "SELECT depth FROM keys WHERE id=?1";
  return QueryRow(
      kSql, ERROR_KEY_DELETED, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); },
      [&](sqlite3_stmt* s) {
        if (depth) *depth = sqlite3_column_int(s, 0);
        return ERROR_SUCCESS;
      });
}

LONG HiveStore::FindChild(KeyId parent, const std::string& fold, KeyId* out) {
  static const char* const kSql = "SELECT id FROM keys WHERE parent=?1 AND fold=?2";
  return QueryRow(
      kSql, ERROR_FILE_NOT_FOUND,
      [&](sqlite3_stmt* s) {
        sqlite3_bind_int64(s, 1, parent);
        BindText(s, 2, fold);
      },
      [&](sqlite3_stmt* s) {
        *out = sqlite3_column_int64(s, 0);
        return ERROR_SUCCESS;
      });
}

LONG HiveStore::TouchKey(KeyId id) {
  static const char* const kSql = "UPDATE keys SET written=?2 WHERE id=?1";
  return Run(kSql, [&](sqlite3_stmt* s) {
    sqlite3_bind_int64(s, 1, id);
    sqlite3_bind_int64(s, 2, NowUnixMicros());
  });
}

LONG HiveStore::RunOnKey(const char* sql, KeyId id) {
  return Run(sql, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); });
}

LONG HiveStore::KeyAlive(KeyId id) {
  return OnLiveKey(id, false, nullptr, [] { return ERROR_SUCCESS; });
}

LONG HiveStore::FindKey(KeyId base, const std::vector<std::string>& parts, KeyId* out) {
  KeyId id = base;
  LONG rc = OnLiveKey(base, false, nullptr, [&] {
    for (const auto& part : parts) {
      if (LONG found = FindChild(id, FoldName(part), &id); found != ERROR_SUCCESS) return found;
    }
    return ERROR_SUCCESS;
  });
  if (rc == ERROR_SUCCESS) *out = id;
  return rc;
}

LONG HiveStore::CreateKey(KeyId base, const std::vector<std::string>& parts, const std::string& keyClass, KeyId* out,
                          bool* created) {
  static const char* const kInsert =
      "INSERT INTO keys(parent, name, fold, class, depth, written) VALUES(?1, ?2, ?3, ?4, ?5, ?6)";
  int depth = 0;
  KeyId id = base;
  bool made = false;
  LONG rc = OnLiveKey(base, true, &depth, [&] {
    for (size_t i = 0; i < parts.size(); ++i) {
      std::string fold = FoldName(parts[i]);
      LONG found = FindChild(id, fold, &id);
      ++depth;
      made = false;
      if (found == ERROR_SUCCESS) continue;
      if (found != ERROR_FILE_NOT_FOUND) return found;
      if (depth > static_cast<int>(kRegMaxKeyDepth)) return ERROR_INVALID_PARAMETER;
      const LONG inserted = Run(kInsert, [&](sqlite3_stmt* s) {
        sqlite3_bind_int64(s, 1, id);
        BindText(s, 2, parts[i]);
        BindText(s, 3, fold);
        BindText(s, 4, i + 1 == parts.size() ? keyClass : std::string());
        sqlite3_bind_int(s, 5, depth);
        sqlite3_bind_int64(s, 6, NowUnixMicros());
      });
      if (inserted != ERROR_SUCCESS) return inserted;
      id = sqlite3_last_insert_rowid(db_);
      made = true;
    }
    return ERROR_SUCCESS;
  });
  if (rc != ERROR_SUCCESS) return rc;
  *out = id;
  if (created) *created = made;
  return ERROR_SUCCESS;
}

LONG HiveStore::DeleteKey(KeyId id) {
  static const char* const kHasChild = "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1";
  static const char* const kDelVals = "DELETE FROM vals WHERE key=?1";
  static const char* const kDelKey = "DELETE FROM keys WHERE id=?1";
  if (id == kRootKey) return ERROR_ACCESS_DENIED;
  return OnLiveKey(id, true, nullptr, [&] {
    {
      sqlite3_stmt* s = nullptr;
      if (LONG rc = Prepare(kHasChild, &s); rc != ERROR_SUCCESS) return rc;
      StmtUse use(s);
      sqlite3_bind_int64(s, 1, id);
      int step = sqlite3_step(s);
      if (step == SQLITE_ROW) return ERROR_ACCESS_DENIED;
      if (step != SQLITE_DONE) return MapSqlite(step, true);
    }
    for (const char* sql : {kDelVals, kDelKey}) {
      if (LONG rc = RunOnKey(sql, id); rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
  });
}

LONG HiveStore::DeleteTree(KeyId id, bool includeSelf) {
  // UNION rather than UNION ALL: a damaged file whose parent links form a loop
  // must not make the walk run forever.
  static const char* const kDelVals =
      "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id)"
      " DELETE FROM vals WHERE key IN sub";
  static const char* const kDelKeys =
      "WITH RECURSIVE sub(id) AS (SELECT id FROM keys WHERE parent=?1"
      " UNION SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id)"
      " DELETE FROM keys WHERE id IN sub AND id<>1";
  static const char* const kDelSelf = "DELETE FROM keys WHERE id=?1";
  if (includeSelf && id == kRootKey) return ERROR_ACCESS_DENIED;
  return OnLiveKey(id, true, nullptr, [&] {
    std::vector<const char*> steps{kDelVals, kDelKeys};
    if (includeSelf) steps.push_back(kDelSelf);
    for (const char* sql : steps) {
      if (LONG rc = RunOnKey(sql, id); rc != ERROR_SUCCESS) return rc;
    }
    return includeSelf ? ERROR_SUCCESS : TouchKey(id);
  });
}

namespace {
LONG ReadValueRow(sqlite3_stmt* s, ValueRecord* out) {
  int bytes = sqlite3_column_bytes(s, 2);
  if (bytes < 0 || static_cast<DWORD>(bytes) > kRegMaxValueBytes) return ERROR_BADDB;
  const void* blob = sqlite3_column_blob(s, 2);
  out->name = ColumnText(s, 0);
  out->type = static_cast<DWORD>(sqlite3_column_int64(s, 1));
  const auto* p = static_cast<const BYTE*>(blob);
  out->data.assign(p, p + (blob ? bytes : 0));
  return ERROR_SUCCESS;
}
}  // namespace

LONG HiveStore::GetValue(KeyId key, const std::string& name, ValueRecord* out) {
  static const char* const kSql = "SELECT name, type, data FROM vals WHERE key=?1 AND fold=?2";
  return OnLiveKey(key, false, nullptr, [&] {
    return QueryRow(
        kSql, ERROR_FILE_NOT_FOUND,
        [&](sqlite3_stmt* s) {
          sqlite3_bind_int64(s, 1, key);
          BindText(s, 2, FoldName(name));
        },
        [&](sqlite3_stmt* s) { return ReadValueRow(s, out); });
  });
}

LONG HiveStore::SetValue(KeyId key, const std::string& name, DWORD type, const BYTE* data, size_t size) {
  // The first spelling of a name stays; later writes only replace type and data.
  static const char* const kSql =
      "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
      " ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data";
  static const BYTE kEmpty = 0;
  if (size > kRegMaxValueBytes) return ERROR_INVALID_PARAMETER;
  return OnLiveKey(key, true, nullptr, [&] {
    const LONG rc = Run(kSql, [&](sqlite3_stmt* s) {
      sqlite3_bind_int64(s, 1, key);
      BindText(s, 2, name);
      BindText(s, 3, FoldName(name));
      sqlite3_bind_int64(s, 4, type);
      // A null pointer would bind SQL NULL; an empty value is a zero-length blob.
      sqlite3_bind_blob(s, 5, size ? data : &kEmpty, static_cast<int>(size), SQLITE_TRANSIENT);
    });
    return rc == ERROR_SUCCESS ? TouchKey(key) : rc;
  });
}

LONG HiveStore::DeleteValue(KeyId key, const std::string& name) {
  static const char* const kSql = "DELETE FROM vals WHERE key=?1 AND fold=?2";
  return OnLiveKey(key, true, nullptr, [&] {
    const LONG rc = Run(kSql, [&](sqlite3_stmt* s) {
      sqlite3_bind_int64(s, 1, key);
      BindText(s, 2, FoldName(name));
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (sqlite3_changes(db_) == 0) return ERROR_FILE_NOT_FOUND;
    return TouchKey(key);
  });
}

// The index-th row of a listing below key, in the listing's order.
template <typename Row>
LONG HiveStore::EnumRow(const char* sql, KeyId key, DWORD index, Row row) {
  return OnLiveKey(key, false, nullptr, [&] {
    return QueryRow(
        sql, ERROR_NO_MORE_ITEMS,
        [&](sqlite3_stmt* s) {
          sqlite3_bind_int64(s, 1, key);
          sqlite3_bind_int64(s, 2, index);
        },
        row);
  });
}

LONG HiveStore::EnumKey(KeyId key, DWORD index, KeyRecord* out) {
  static const char* const kSql =
      "SELECT name, class, written FROM keys WHERE parent=?1 AND id<>1 ORDER BY fold LIMIT 1 OFFSET ?2";
  return EnumRow(kSql, key, index, [&](sqlite3_stmt* s) {
    out->name = ColumnText(s, 0);
    out->keyClass = ColumnText(s, 1);
    out->lastWriteUnixMicros = sqlite3_column_int64(s, 2);
    return ERROR_SUCCESS;
  });
}

LONG HiveStore::EnumValue(KeyId key, DWORD index, ValueRecord* out) {
  static const char* const kSql = "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY fold LIMIT 1 OFFSET ?2";
  return EnumRow(kSql, key, index, [&](sqlite3_stmt* s) { return ReadValueRow(s, out); });
}

}  // namespace vel::reg

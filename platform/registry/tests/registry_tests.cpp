// The registry functions as their callers rely on them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/tests/temp_registry.h"

namespace {

using vel::reg::testing::TempRegistry;

class RegistryTest : public TempRegistry {
 protected:
  HKEY Create(HKEY root, const char* sub, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(root, sub, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, disposition),
        ERROR_SUCCESS);
    return key;
  }
  LONG Open(HKEY root, const char* sub, HKEY* key, REGSAM access = KEY_READ) {
    return RegOpenKeyExA(root, sub, 0, access, key);
  }
  void SetString(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }
  std::vector<BYTE> Read(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, nullptr, &size), ERROR_SUCCESS);
    std::vector<BYTE> data(size);
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, data.data(), &size), ERROR_SUCCESS);
    return data;
  }
  std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD cch = sizeof name;
      LONG rc = RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(rc, ERROR_SUCCESS);
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(name, cch);
    }
    return names;
  }
};

TEST_F(RegistryTest, CreateMakesIntermediateKeysAndReportsDisposition) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Velmark\\Deep\\Leaf", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  key = Create(HKEY_CURRENT_USER, "Software\\Velmark\\Deep\\Leaf", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);

  HKEY mid = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Velmark\\Deep", &mid), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(mid), std::vector<std::string>{"Leaf"});
  RegCloseKey(mid);

  struct stat st {};
  EXPECT_EQ(stat((RegistryDir() + "/HKCU.db").c_str(), &st), 0) << "the hive file lives in the registry folder";
}

TEST_F(RegistryTest, SubKeyStringsTolerateStrayBackslashes) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\A\\B"));
  for (const char* spelling :
       {"\\Software\\A\\B", "Software\\A\\B\\", "Software\\\\A\\\\\\B", "\\\\Software\\A\\B\\\\"}) {
    HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, spelling, &key), ERROR_SUCCESS) << spelling;
    RegCloseKey(key);
  }
  HKEY key = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\A\\C", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, OpenWithEmptyOrNullSubKeyGivesNewHandleToSameKey) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Same");
  SetString(key, "v", "x");
  for (const char* sub : {static_cast<const char*>(nullptr), ""}) {
    HKEY again = nullptr;
    ASSERT_EQ(Open(key, sub, &again), ERROR_SUCCESS);
    EXPECT_NE(again, key);
    EXPECT_EQ(Read(again, "v").size(), 2u);
    RegCloseKey(again);
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, StringValueKeepsItsExactLength) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Exact");
  // A MAX_PATH buffer written whole: the text, its NUL, then whatever followed.
  std::vector<BYTE> buffer(260, 0xCD);
  std::memcpy(buffer.data(), "C:\\out", 7);
  ASSERT_EQ(RegSetValueExA(key, "Folder", 0, REG_SZ, buffer.data(), 260), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Read(key, "Folder", &type), buffer);
  EXPECT_EQ(type, REG_SZ);

  // And no NUL is added to a string stored without one.
  ASSERT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "Bare"), (std::vector<BYTE>{'a', 'b', 'c'}));

  // An empty value stays empty rather than becoming SQL NULL or one byte.
  ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  DWORD size = 99;
  EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, REG_BINARY);
  RegCloseKey(key);
}

TEST_F(RegistryTest, SmallBufferGivesMoreDataAndTheNeededSize) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Small");
  SetString(key, "Name", "0123456789");
  char buf[16];
  std::memset(buf, 'Z', sizeof buf);
  DWORD size = 5, type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(type, REG_SZ);

  // One byte short still fails; the exact size succeeds.
  size = 10;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_MORE_DATA);
  size = 11;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "0123456789");
  EXPECT_EQ(buf[11], 'Z') << "nothing written past the value";

  // Existence check with neither buffer nor size.
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  // A buffer without a size is a caller error.
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, FourByteBinaryReadsIntoFourBytes) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Bin");
  const BYTE bytes[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  ASSERT_EQ(RegSetValueExA(key, "Mask", 0, REG_BINARY, bytes, 4), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "Mask", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(value, 0xEFBEADDEu);

  DWORD number = 1234567;
  ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
  value = 0;
  size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 1234567u);
  EXPECT_EQ(type, REG_DWORD);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DefaultValueIsNamedByNullOrEmptyName) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Def");
  SetString(key, nullptr, "first");
  EXPECT_EQ(Read(key, ""), (std::vector<BYTE>{'f', 'i', 'r', 's', 't', 0}));
  SetString(key, "", "second");
  EXPECT_EQ(Read(key, nullptr).size(), 7u);
  ASSERT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryValueReadsDefaultStringOfSubKey) {
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Empty"));
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool");
  SetString(key, nullptr, "/opt/tool/bin/tool");
  RegCloseKey(key);

  char buf[64];
  LONG cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool", buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "/opt/tool/bin/tool");
  EXPECT_EQ(cb, 19);

  // An existing key without a default value reads as "".
  std::memset(buf, 'x', sizeof buf);
  cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Empty", buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(cb, 1);

  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", buf, &cb), ERROR_FILE_NOT_FOUND);

  cb = 4;
  EXPECT_EQ(RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool", buf, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 19);
  cb = 0;
  EXPECT_EQ(RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool", nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 19);

  // A default value stored without its NUL still comes back as a C string.
  key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bare");
  ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("ab"), 2), ERROR_SUCCESS);
  cb = sizeof buf;
  ASSERT_EQ(RegQueryValueA(key, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(cb, 3);
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepFirstSpelling) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\MixedCase\\Child");
  RegCloseKey(key);
  HKEY other = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase\\CHILD", &other, KEY_ALL_ACCESS), ERROR_SUCCESS);
  SetString(other, "ValueName", "one");
  SetString(other, "VALUENAME", "two");  // replaces the data, keeps the name
  EXPECT_EQ(Read(other, "valuename").size(), 4u);

  char name[64];
  DWORD cch = sizeof name;
  ASSERT_EQ(RegEnumValueA(other, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "ValueName");
  cch = sizeof name;
  EXPECT_EQ(RegEnumValueA(other, 1, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(other);

  DWORD disposition = 0;
  RegCloseKey(Create(HKEY_CURRENT_USER, "software\\MIXEDCASE", &disposition));
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software", &other), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(other), std::vector<std::string>{"MixedCase"});
  RegCloseKey(other);
}

TEST_F(RegistryTest, EnumerationIsSortedWithoutCaseAndEndsCleanly) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Enum");
  for (const char* sub : {"delta", "alpha", "Charlie", "bravo"}) RegCloseKey(Create(key, sub));
  EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"alpha", "bravo", "Charlie", "delta"}));

  for (const char* name : {"zeta", "Beta", "alpha"}) SetString(key, name, name);
  SetString(key, nullptr, "default");
  std::vector<std::string> names;
  char name[32];
  BYTE data[32];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name, cb = sizeof data, type = 0;
    LONG rc = RegEnumValueA(key, i, name, &cch, nullptr, &type, data, &cb);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(cch, std::strlen(name));
    names.emplace_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"", "alpha", "Beta", "zeta"}));

  // A name buffer that cannot hold name and NUL, and a short data buffer.
  DWORD cch = 4, cb = sizeof data;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = 5;  // "alpha" needs 6 with its NUL
  EXPECT_EQ(RegEnumValueA(key, 1, name, &cch, nullptr, nullptr, data, &cb), ERROR_MORE_DATA);
  cch = 6;
  EXPECT_EQ(RegEnumValueA(key, 1, name, &cch, nullptr, nullptr, data, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cch, 5u);
  cch = sizeof name;
  cb = 2;
  EXPECT_EQ(RegEnumValueA(key, 3, name, &cch, nullptr, nullptr, data, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 5u);
  cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 4, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, EnumKeyReportsClassAndLastWriteTime) {
  HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Classy");
  char cls[] = "MyClass";
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(parent, "Child", 0, cls, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_SUCCESS);
  RegCloseKey(child);
  char name[16], keyClass[16];
  DWORD cchName = sizeof name, cchClass = sizeof keyClass;
  DWORD fileTime[2] = {0, 0};
  ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &cchName, nullptr, keyClass, &cchClass, fileTime), ERROR_SUCCESS);
  EXPECT_STREQ(keyClass, "MyClass");
  EXPECT_EQ(cchClass, 7u);
  // Some time after 2020 in FILETIME units.
  EXPECT_GT((static_cast<std::uint64_t>(fileTime[1]) << 32) | fileTime[0], 132223104000000000ull);
  RegCloseKey(parent);
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubKeys) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Tree\\Branch\\Leaf"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree\\Branch"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree\\Branch\\Leaf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree\\Branch"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree\\Branch"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
  // A hive root can never go.
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, DeleteTreeRemovesEverythingBelow) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Wide\\A\\B");
  SetString(key, "v", "1");
  RegCloseKey(key);
  key = Create(HKEY_CURRENT_USER, "Software\\Wide");
  SetString(key, "top", "1");
  RegCloseKey(Create(key, "C"));

  // With a null sub-key the key stays, emptied.
  ASSERT_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(SubKeys(key).empty());
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "top", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);

  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Wide\\A\\B"));
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wide"), ERROR_SUCCESS);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Wide", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wide"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, HandleToDeletedKeyReportsKeyDeleted) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Gone");
  SetString(key, "v", "1");
  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key, "c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_KEY_DELETED);
  // A key made again under the same name is a different key.
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Gone"));
  char name[8];
  DWORD cch = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, HandlesAreCheckedAndAccessIsEnforced) {
  int notAKey = 0;
  HKEY bogus = reinterpret_cast<HKEY>(&notAKey);
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExA(bogus, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Guarded");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "closing twice";

  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Guarded", &key, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Guarded", &key, KEY_SET_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  char name[8];
  DWORD cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryTest, BadArgumentsFailCleanly) {
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  std::string longPart(256, 'k');
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, longPart.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  std::string okPart(255, 'k');
  key = Create(HKEY_CURRENT_USER, okPart.c_str());
  std::string longName(kRegMaxValueNameChars + 1, 'n');
  EXPECT_EQ(RegSetValueExA(key, longName.c_str(), 0, REG_BINARY, nullptr, 0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);

  // Keys cannot nest without limit.
  std::string deep;
  for (DWORD i = 0; i < kRegMaxKeyDepth; ++i) deep += "d\\";
  RegCloseKey(Create(HKEY_CURRENT_USER, deep.c_str()));
  HKEY leaf = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, deep.c_str(), 0, KEY_ALL_ACCESS, &leaf), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyExA(leaf, "one-more", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(leaf);
}

TEST_F(RegistryTest, HivesAreSeparateFiles) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\OnlyHere");
  RegCloseKey(key);
  for (HKEY other : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS})
    EXPECT_EQ(Open(other, "SOFTWARE\\OnlyHere", &key), ERROR_FILE_NOT_FOUND);
  for (const char* file : {"HKLM.db", "HKCU.db", "HKCR.db", "HKU.db"}) {
    struct stat st {};
    EXPECT_EQ(stat((RegistryDir() + "/" + file).c_str(), &st), 0) << file;
  }
}

TEST_F(RegistryTest, FolderFallsBackToXdgConfigHome) {
  unsetenv("VELMARK_REGISTRY_DIR");
  std::string xdg = TempPath("xdg");
  setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Xdg");
  RegCloseKey(key);
  unsetenv("XDG_CONFIG_HOME");
  struct stat st {};
  EXPECT_EQ(stat((xdg + "/velmark/HKCU.db").c_str(), &st), 0);
}

TEST_F(RegistryTest, CorruptHiveGivesBadDbNotACrash) {
  mkdir(RegistryDir().c_str(), 0700);
  {
    std::ofstream junk(RegistryDir() + "/HKCU.db", std::ios::binary);
    for (int i = 0; i < 4096; ++i) junk.put(static_cast<char>(i * 37));
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BADDB);
  EXPECT_EQ(key, nullptr);
  // Other hives are not affected.
  key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fine");
  EXPECT_NE(key, nullptr);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ForeignSqliteDatabaseIsNotTakenForAHive) {
  mkdir(RegistryDir().c_str(), 0700);
  std::string cmd = "sqlite3 '" + RegistryDir() + "/HKU.db' 'CREATE TABLE keys(x); INSERT INTO keys VALUES(1);'";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "the sqlite3 shell is not installed";
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, "S-1", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_BADDB);
}

// Children write at the same time; every value must be there afterwards.
TEST_F(RegistryTest, SeveralProcessesWriteAtOnce) {
  constexpr int kChildren = 6;
  constexpr int kValuesEach = 40;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      HKEY shared = nullptr;
      std::string own = "Software\\Shared\\Child" + std::to_string(c);
      for (int i = 0; i < kValuesEach; ++i) {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, own.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &shared, nullptr) !=
            ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
        DWORD value = static_cast<DWORD>(c * 1000 + i);
        if (RegSetValueExA(shared, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) != ERROR_SUCCESS)
          ++failures;
        HKEY common = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &common,
                            nullptr) != ERROR_SUCCESS ||
            RegSetValueExA(common, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) != ERROR_SUCCESS)
          ++failures;
        RegCloseKey(common);
        RegCloseKey(shared);
      }
      _exit(failures == 0 ? 0 : 1);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child saw a failed write";
  }
  HKEY common = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Shared", &common), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(common).size(), static_cast<size_t>(kChildren));
  for (int c = 0; c < kChildren; ++c) {
    for (int i = 0; i < kValuesEach; ++i) {
      std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
      DWORD value = 0, size = 4;
      ASSERT_EQ(RegQueryValueExA(common, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                ERROR_SUCCESS)
          << name;
      EXPECT_EQ(value, static_cast<DWORD>(c * 1000 + i));
    }
  }
  RegCloseKey(common);
}

// A child forked while handles are open may go on using them, writing at the
// same time as its parent.
TEST_F(RegistryTest, ForkedChildCanUseHandleOpenedBeforeFork) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Forked");
  SetString(key, "parent-before", "1");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int failures = 0;
    for (int i = 0; i < 20; ++i) {
      std::string name = "child" + std::to_string(i);
      failures += RegSetValueExA(key, name.c_str(), 0, REG_BINARY, nullptr, 0) != ERROR_SUCCESS;
    }
    _exit(failures);
  }
  for (int i = 0; i < 20; ++i) {
    std::string name = "parent" + std::to_string(i);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  char name[32];
  DWORD count = 0;
  for (;; ++count) {
    DWORD cch = sizeof name;
    if (RegEnumValueA(key, count, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
  }
  EXPECT_EQ(count, 41u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, KeyDeletedByAnotherProcessInvalidatesHandle) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared\\Victim");
  SetString(key, "v", "1");
  // Another program (the velreg tool) deletes the key while we hold it open.
  std::string cmd = std::string("'") + VELREG_PATH + "' delete 'HKCU\\Software\\Shared' /f >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace

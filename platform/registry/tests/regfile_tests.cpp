// .reg files: what export writes, what import accepts, and what it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/reg_util.h"
#include "platform/registry/tests/temp_registry.h"

namespace {

using vel::reg::ApplyRegFile;
using vel::reg::CreateKey;
using vel::reg::ExportRegFile;
using vel::reg::KeyPath;
using vel::reg::OpenKey;
using vel::reg::ParseKeyPath;
using vel::reg::ParseRegFile;
using vel::reg::ReadAllValues;
using vel::reg::RegFileError;
using vel::reg::RegFileOp;
using vel::reg::RegValue;
using vel::reg::testing::TempRegistry;

class RegFileTest : public TempRegistry {
 protected:
  void Set(const char* sub, const char* name, DWORD type, const std::vector<BYTE>& data) {
    vel::OwnedKey key;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, sub, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  }
  static std::vector<BYTE> Bytes(const char* text, size_t size) {
    return std::vector<BYTE>(reinterpret_cast<const BYTE*>(text), reinterpret_cast<const BYTE*>(text) + size);
  }
  std::vector<RegValue> Values(const char* sub) {
    vel::OwnedKey key;
    std::vector<RegValue> values;
    if (OpenKey(HKEY_CURRENT_USER, sub, KEY_READ, &key) != ERROR_SUCCESS) return values;
    EXPECT_EQ(ReadAllValues(key.get(), &values), ERROR_SUCCESS);
    return values;
  }
  bool KeyExists(const char* sub) {
    vel::OwnedKey key;
    return OpenKey(HKEY_CURRENT_USER, sub, KEY_READ, &key) == ERROR_SUCCESS;
  }
  std::string Export(const char* path) {
    KeyPath key;
    EXPECT_TRUE(ParseKeyPath(path, &key));
    std::string text, error;
    EXPECT_EQ(ExportRegFile(key, &text, &error), ERROR_SUCCESS) << error;
    return text;
  }
  void Import(const std::string& text) {
    std::vector<RegFileOp> ops;
    RegFileError error;
    ASSERT_TRUE(ParseRegFile(text, &ops, &error)) << "line " << error.line << ": " << error.message;
    ASSERT_EQ(ApplyRegFile(ops, &error), ERROR_SUCCESS) << error.message;
  }
};

bool SameValues(const std::vector<RegValue>& a, const std::vector<RegValue>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data) return false;
  return true;
}

TEST_F(RegFileTest, ExportAndImportRoundTripEveryType) {
  const char* sub = "Software\\Round";
  std::vector<BYTE> padded(260, 0xCD);
  std::memcpy(padded.data(), "C:\\out", 7);
  std::vector<BYTE> longBinary(300);
  for (size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<BYTE>(i);
  Set(sub, "plain", REG_SZ, Bytes("hello \"world\" \\ back", 21));
  Set(sub, "utf8", REG_SZ, Bytes("gr\xC3\xBC\xC3\x9F", 7));
  Set(sub, "latin1", REG_SZ, Bytes("gr\xFC\xDF", 5));
  Set(sub, "padded", REG_SZ, padded);
  Set(sub, "no-nul", REG_SZ, Bytes("abc", 3));
  Set(sub, "two-lines", REG_SZ, Bytes("a\nb", 4));
  Set(sub, "empty-sz", REG_SZ, {});
  Set(sub, "expand", REG_EXPAND_SZ, Bytes("%HOME%/x", 9));
  Set(sub, "multi", REG_MULTI_SZ, Bytes("one\0two\0\0", 9));
  Set(sub, "dword", REG_DWORD, {0x0a, 0, 0, 0});
  Set(sub, "short-dword", REG_DWORD, {1, 2, 3});
  Set(sub, "binary", REG_BINARY, longBinary);
  Set(sub, "none", REG_NONE, {});
  Set(sub, "qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  Set(sub, "odd type", 0x12345, {9});
  Set(sub, "quote\"and\\slash", REG_SZ, Bytes("x", 2));
  Set(sub, nullptr, REG_SZ, Bytes("default", 8));
  Set("Software\\Round\\Child\\Grandchild", "deep", REG_DWORD, {1, 0, 0, 0});
  Set("Software\\Round\\Empty", nullptr, REG_BINARY, {});

  std::vector<RegValue> before = Values(sub);
  std::vector<RegValue> beforeDeep = Values("Software\\Round\\Child\\Grandchild");
  std::string text = Export("HKCU\\Software\\Round");

  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Round]\n", 0), 0u);
  EXPECT_NE(text.find("\n@=\"default\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"plain\"=\"hello \\\"world\\\" \\\\ back\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"utf8\"=\"gr\xC3\xBC\xC3\x9F\"\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"dword\"=dword:0000000a\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"short-dword\"=hex(4):01,02,03\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"no-nul\"=hex(1):61,62,63\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"none\"=hex(0):\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"odd type\"=hex(12345):09\n"), std::string::npos);
  EXPECT_NE(text.find("\n\"padded\"=hex(1):43,3a,5c,6f,75,74,00,cd,"), std::string::npos);
  EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software\\Round\\Child\\Grandchild]\n"), std::string::npos);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;

  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Round"), ERROR_SUCCESS);
  Import(text);
  EXPECT_TRUE(SameValues(Values(sub), before));
  EXPECT_TRUE(SameValues(Values("Software\\Round\\Child\\Grandchild"), beforeDeep));
  EXPECT_TRUE(KeyExists("Software\\Round\\Empty"));
  EXPECT_EQ(Values(sub)[0].name, "") << "the default value survives as the default value";
  EXPECT_EQ(Export("HKCU\\Software\\Round"), text) << "a second export is identical";
}

TEST_F(RegFileTest, ReadsRegedit4HeaderCrLfBomAndComments) {
  Import(
      "\xEF\xBB\xBFREGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Old]\r\n"
      "\"Name\"=\"C:\\\\Program Files\\\\x\"  ; trailing comment\r\n"
      "  @=\"def\"\r\n"
      "\"Num\"=DWORD:FF\r\n");
  auto values = Values("Software\\Old");
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, "");
  EXPECT_EQ(values[1].name, "Name");
  EXPECT_EQ(values[1].data, Bytes("C:\\Program Files\\x", 19));
  EXPECT_EQ(values[2].type, REG_DWORD);
  EXPECT_EQ(values[2].data, (std::vector<BYTE>{0xFF, 0, 0, 0}));
}

TEST_F(RegFileTest, JoinsContinuationLinesOfHexData) {
  Import(
      "Windows Registry Editor Version 5.00\n"
      "[HKEY_CURRENT_USER\\Software\\Cont]\n"
      "\"bin\"=hex:01,02,\\\n"
      "  03,04,\\\n"
      "\t05\n"
      "\"multi\"=hex(7):61,00,\\\n"
      "  62,00,00\n"
      "\"after\"=dword:00000001\n");
  auto values = Values("Software\\Cont");
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[1].name, "bin");
  EXPECT_EQ(values[1].data, (std::vector<BYTE>{1, 2, 3, 4, 5}));
  EXPECT_EQ(values[2].type, REG_MULTI_SZ);
  EXPECT_EQ(values[2].data, Bytes("a\0b\0", 5));
}

TEST_F(RegFileTest, DeletesKeysAndValues) {
  Set("Software\\Del\\Sub", "x", REG_SZ, Bytes("1", 2));
  Set("Software\\Keep", "gone", REG_SZ, Bytes("1", 2));
  Set("Software\\Keep", "stays", REG_SZ, Bytes("1", 2));
  Import(
      "Windows Registry Editor Version 5.00\n\n"
      "[-HKEY_CURRENT_USER\\Software\\Del]\n\n"
      "[-HKEY_CURRENT_USER\\Software\\NeverWasThere]\n\n"
      "[HKEY_CURRENT_USER\\Software\\Keep]\n"
      "\"gone\"=-\n"
      "\"missing too\"=-\n");
  EXPECT_FALSE(KeyExists("Software\\Del"));
  auto values = Values("Software\\Keep");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "stays");
}

TEST_F(RegFileTest, MalformedFilesAreRejectedWholeWithTheirLine) {
  const std::string h = "Windows Registry Editor Version 5.00\n";
  const std::string k = "[HKEY_CURRENT_USER\\Software\\Bad]\n";
  struct Case {
    std::string text;
    int line;
  };
  const Case cases[] = {
      {"", 0},
      {"\n\n  \n", 0},
      {"Windows Registry Editor Version 4.00\n" + k, 1},
      {"\xFF\xFE"
       "W\0i\0",
       0},
      {h + "\"v\"=\"x\"\n", 2},
      {h + "[-HKEY_CURRENT_USER\\Software\\X]\n\"v\"=\"x\"\n", 3},
      {h + k + "\"v\"=\"unterminated\n", 3},
      {h + k + "\"v\"=\"x\" junk\n", 3},
      {h + k + "\"v\"\"x\"\n", 3},
      {h + k + "v=\"x\"\n", 3},
      {h + k + "\"v=\"x\"\n", 3},
      {h + k + "\"v\"=dword:123456789\n", 3},
      {h + k + "\"v\"=dword:\n", 3},
      {h + k + "\"v\"=dword:12g4\n", 3},
      {h + k + "\"v\"=hex:01,0g\n", 3},
      {h + k + "\"v\"=hex:01 02\n", 3},
      {h + k + "\"v\"=hex:123\n", 3},
      {h + k + "\"v\"=hex(zz):01\n", 3},
      {h + k + "\"v\"=hex(1:01\n", 3},
      {h + k + "\"v\"=hex01\n", 3},
      {h + k + "\"v\"=str:01\n", 3},
      {h + k + "\"v\"=-x\n", 3},
      {h + k + "\"v\"=hex:01,\\", 3},
      {h + "[HKEY_NOWHERE\\Software]\n", 2},
      {h + "[HKEY_CURRENT_USER\\Software\n", 2},
      {h + "[-HKEY_CURRENT_USER]\n", 2},
      {h + "[HKEY_CURRENT_USER\\" + std::string(300, 'k') + "]\n", 2},
  };
  for (const auto& c : cases) {
    std::vector<RegFileOp> ops;
    RegFileError error;
    EXPECT_FALSE(ParseRegFile(c.text, &ops, &error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_FALSE(error.message.empty()) << c.text;
    EXPECT_TRUE(ops.empty()) << "nothing to apply from a bad file";
  }
}

TEST_F(RegFileTest, HugeFileIsRefusedBeforeParsing) {
  std::string text = "REGEDIT4\n";
  text.resize(vel::reg::kMaxRegFileBytes + 1, ';');
  std::vector<RegFileOp> ops;
  RegFileError error;
  EXPECT_FALSE(ParseRegFile(text, &ops, &error));
}

TEST_F(RegFileTest, ExportOfMissingKeyFails) {
  KeyPath key;
  ASSERT_TRUE(ParseKeyPath("HKCU\\Software\\Absent", &key));
  std::string text, error;
  EXPECT_EQ(ExportRegFile(key, &text, &error), ERROR_FILE_NOT_FOUND);
  EXPECT_NE(error.find("unable to find"), std::string::npos);
}

TEST_F(RegFileTest, KeyPathsAcceptShortAndLongRoots) {
  KeyPath key;
  ASSERT_TRUE(ParseKeyPath("hklm\\\\SOFTWARE\\x\\", &key));
  EXPECT_EQ(key.root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(key.Full(), "HKEY_LOCAL_MACHINE\\SOFTWARE\\x");
  ASSERT_TRUE(ParseKeyPath("HKEY_CLASSES_ROOT", &key));
  EXPECT_EQ(key.root, HKEY_CLASSES_ROOT);
  EXPECT_EQ(key.sub, "");
  ASSERT_TRUE(ParseKeyPath("HKU\\S-1", &key));
  EXPECT_EQ(key.root, HKEY_USERS);
  EXPECT_FALSE(ParseKeyPath("\\\\machine\\HKLM\\x", &key));
  EXPECT_FALSE(ParseKeyPath("HKCC\\x", &key));
  EXPECT_FALSE(ParseKeyPath("HKCUX\\x", &key));
  EXPECT_FALSE(ParseKeyPath("", &key));
}

}  // namespace

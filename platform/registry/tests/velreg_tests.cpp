// The velreg tool: run as a program for exit codes and output, and through
// RunVelreg for the questions it asks.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/reg_tool.h"
#include "platform/registry/reg_util.h"
#include "platform/registry/tests/temp_registry.h"

namespace {

using vel::reg::CreateKey;
using vel::reg::OpenKey;
using vel::reg::ReadValue;
using vel::reg::RegValue;
using vel::reg::RunVelreg;
using vel::reg::testing::TempRegistry;

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Result {
  int code = -1;
  std::string out, err;
};

class VelregTest : public TempRegistry {
 protected:
  // Runs the built tool with stdin from the given text (none: /dev/null).
  Result Tool(const std::vector<std::string>& args, const char* input = nullptr) {
    std::string cmd = Quote(VELREG_PATH);
    for (const auto& a : args) cmd += " " + Quote(a);
    std::string in = TempPath("stdin"), out = TempPath("stdout"), err = TempPath("stderr");
    if (input) std::ofstream(in, std::ios::binary) << input;
    cmd += " <" + (input ? Quote(in) : std::string("/dev/null")) + " >" + Quote(out) + " 2>" + Quote(err);
    Result r;
    int status = std::system(cmd.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }
  // The same in-process, for answering questions.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    Result r;
    r.code = RunVelreg(args, in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  std::vector<BYTE> Stored(const char* sub, const char* name, DWORD* type = nullptr) {
    vel::OwnedKey key;
    RegValue value;
    if (OpenKey(HKEY_CURRENT_USER, sub, KEY_READ, &key) != ERROR_SUCCESS ||
        ReadValue(key.get(), name, &value) != ERROR_SUCCESS)
      return {};
    if (type) *type = value.type;
    return value.data;
  }
};

const char* const kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

TEST_F(VelregTest, AddQueryDeleteExitCodes) {
  Result r = Tool({"add", "HKCU\\Software\\Tool", "/v", "Path", "/d", "/opt/x y"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "The operation completed successfully.\n");

  r = Tool({"query", "HKEY_CURRENT_USER\\Software\\Tool", "/v", "path"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n    Path    REG_SZ    /opt/x y\n");

  r = Tool({"query", "HKCU\\Software\\Tool", "/v", "Other"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, kNotFound);
  r = Tool({"query", "HKCU\\Software\\Nothing"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, kNotFound);

  EXPECT_EQ(Tool({"delete", "HKCU\\Software\\Tool", "/v", "Path", "/f"}).code, 0);
  r = Tool({"delete", "HKCU\\Software\\Tool", "/v", "Path", "/f"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, kNotFound);
  EXPECT_EQ(Tool({"delete", "HKCU\\Software\\Tool", "/f"}).code, 0);
  EXPECT_EQ(Tool({"delete", "HKCU\\Software\\Tool", "/f"}).code, 1);
}

TEST_F(VelregTest, BadCommandLinesFailWithUsageHints) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"query"},
      {"query", "HKCU\\Software", "/v"},
      {"query", "HKCU\\Software", "/v", "a", "/ve"},
      {"add", "HKCU\\Software", "/v", "a", "/v", "b"},
      {"delete", "HKCU\\Software", "/ve", "/va"},
      {"export", "HKCU\\Software"},
      {"import"},
  };
  for (const auto& args : bad) {
    Result r = Tool(args);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind("ERROR: Invalid syntax.\nType \"velreg", 0), 0u) << r.err;
  }
  Result r = Tool({"query", "HKXX\\Software"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.rfind("ERROR: Invalid key name.", 0), 0u);
  EXPECT_EQ(Tool({"delete", "HKCU", "/f"}).code, 1) << "a whole hive is never deleted";
  r = Tool({"add", "/?"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("velreg add KEY"), std::string::npos);
}

TEST_F(VelregTest, AddStoresEachTypeAsRegDoes) {
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "dec", "/t", "REG_DWORD", "/d", "4294967295"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "hex", "/t", "reg_dword", "/d", "0x1F"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "bin", "/t", "REG_BINARY", "/d", "00ff7A"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "a\\0bc\\0"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "sep", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "x#y"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "exp", "/t", "REG_EXPAND_SZ", "/d", "%HOME%"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/v", "none", "/t", "REG_NONE"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Types", "/ve", "/d", "dflt"}).code, 0);
  DWORD type = 0;
  EXPECT_EQ(Stored("Software\\Types", "dec", &type), (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Stored("Software\\Types", "hex"), (std::vector<BYTE>{0x1F, 0, 0, 0}));
  EXPECT_EQ(Stored("Software\\Types", "bin", &type), (std::vector<BYTE>{0x00, 0xFF, 0x7A}));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Stored("Software\\Types", "multi", &type), (std::vector<BYTE>{'a', 0, 'b', 'c', 0, 0}));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(Stored("Software\\Types", "sep"), (std::vector<BYTE>{'x', 0, 'y', 0, 0}));
  EXPECT_EQ(Stored("Software\\Types", "exp", &type).size(), 7u);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_TRUE(Stored("Software\\Types", "none", &type).empty());
  EXPECT_EQ(type, REG_NONE);
  EXPECT_EQ(Stored("Software\\Types", ""), (std::vector<BYTE>{'d', 'f', 'l', 't', 0}));

  Result r = Run({"query", "HKCU\\Software\\Types"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "\nHKEY_CURRENT_USER\\Software\\Types\n"
            "    (Default)    REG_SZ    dflt\n"
            "    bin    REG_BINARY    00FF7A\n"
            "    dec    REG_DWORD    0xffffffff\n"
            "    exp    REG_EXPAND_SZ    %HOME%\n"
            "    hex    REG_DWORD    0x1f\n"
            "    multi    REG_MULTI_SZ    a\\0bc\n"
            "    none    REG_NONE    \n"
            "    sep    REG_MULTI_SZ    x\\0y\n");
}

TEST_F(VelregTest, BadDataIsRefusedAndNothingWritten) {
  const std::vector<std::vector<std::string>> bad = {
      {"/t", "REG_DWORD", "/d", "4294967296"},  {"/t", "REG_DWORD", "/d", "-1"},
      {"/t", "REG_DWORD", "/d", "0x123456789"}, {"/t", "REG_DWORD", "/d", "12abc"},
      {"/t", "REG_BINARY", "/d", "abc"},        {"/t", "REG_BINARY", "/d", "zz"},
      {"/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, {"/t", "REG_FANCY", "/d", "1"},
  };
  for (const auto& extra : bad) {
    std::vector<std::string> args = {"add", "HKCU\\Software\\Refused", "/v", "v"};
    args.insert(args.end(), extra.begin(), extra.end());
    Result r = Run(args);
    EXPECT_EQ(r.code, 1) << extra[1] << " " << extra[3];
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u);
  }
  vel::OwnedKey key;
  EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, "Software\\Refused", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(VelregTest, OverwriteAndDeleteAskFirst) {
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "old"}).code, 0);
  Result r = Run({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "new"}, "n\n");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "Value v exists, overwrite(Yes/No)? The operation was cancelled.\n");
  EXPECT_EQ(Stored("Software\\Ask", "v").size(), 4u);
  r = Run({"add", "HKCU\\Software\\Ask", "/v", "v", "/d", "newer"}, "Y\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Stored("Software\\Ask", "v").size(), 6u);

  // No terminal and no input: never blocks, never deletes.
  r = Tool({"delete", "HKCU\\Software\\Ask"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("Permanently delete the registry key HKEY_CURRENT_USER\\Software\\Ask (Yes/No)?"),
            std::string::npos);
  EXPECT_NE(r.out.find("The operation was cancelled."), std::string::npos);
  EXPECT_EQ(Stored("Software\\Ask", "v").size(), 6u);
  EXPECT_EQ(Tool({"delete", "HKCU\\Software\\Ask", "/v", "v"}, "yes\n").code, 0);
  EXPECT_TRUE(Stored("Software\\Ask", "v").empty());
}

TEST_F(VelregTest, DeleteAllValuesKeepsSubKeys) {
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Va", "/v", "a", "/d", "1"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Va", "/ve", "/d", "1"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Va\\Sub", "/v", "b", "/d", "1"}).code, 0);
  ASSERT_EQ(Run({"delete", "HKCU\\Software\\Va", "/va", "/f"}).code, 0);
  Result r = Run({"query", "HKCU\\Software\\Va"});
  EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Va\n\nHKEY_CURRENT_USER\\Software\\Va\\Sub\n");
  EXPECT_EQ(Stored("Software\\Va\\Sub", "b").size(), 2u);
}

TEST_F(VelregTest, QueryDefaultAndRecursive) {
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Q\\A", "/v", "x", "/t", "REG_DWORD", "/d", "10"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\Q\\B", "/v", "x", "/d", "s"}).code, 0);
  Result r = Run({"query", "HKCU\\Software\\Q", "/ve"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\Software\\Q\n    (Default)    REG_SZ    (value not set)\n");
  r = Run({"query", "HKCU\\Software\\Q", "/s"});
  EXPECT_EQ(r.out,
            "\nHKEY_CURRENT_USER\\Software\\Q\n"
            "\nHKEY_CURRENT_USER\\Software\\Q\\A\n    x    REG_DWORD    0xa\n"
            "\nHKEY_CURRENT_USER\\Software\\Q\\B\n    x    REG_SZ    s\n");
  r = Run({"query", "HKCU\\Software\\Q", "/v", "X", "/s"});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("End of search: 2 match(es) found."), std::string::npos);
  EXPECT_EQ(Run({"query", "HKCU\\Software\\Q", "/v", "y", "/s"}).code, 1);
}

TEST_F(VelregTest, ExportImportThroughFiles) {
  std::vector<BYTE> padded(260, 0);
  std::memcpy(padded.data(), "exact", 5);
  {
    vel::OwnedKey key;
    ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, "Software\\Files", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), "padded", 0, REG_SZ, padded.data(), 260), ERROR_SUCCESS);
  }
  std::string file = TempPath("out.reg");
  EXPECT_EQ(Tool({"export", "HKCU\\Software\\Files", file}).code, 0);
  std::string first = Slurp(file);
  EXPECT_EQ(first.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);

  // An existing file is kept unless /y or a yes.
  std::ofstream(file) << "keep me";
  Result r = Tool({"export", "HKCU\\Software\\Files", file});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Slurp(file), "keep me");
  EXPECT_EQ(Tool({"export", "HKCU\\Software\\Files", file, "/y"}).code, 0);
  EXPECT_EQ(Slurp(file), first);

  ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Files"), ERROR_SUCCESS);
  EXPECT_EQ(Tool({"import", file}).code, 0);
  EXPECT_EQ(Stored("Software\\Files", "padded"), padded);

  EXPECT_EQ(Tool({"export", "HKCU\\Software\\Absent", TempPath("absent.reg")}).code, 1);
  EXPECT_EQ(Tool({"import", TempPath("no-such.reg")}).code, 1);
  EXPECT_EQ(Tool({"import", dir_}).code, 1) << "a folder is not a file";
}

TEST_F(VelregTest, MalformedImportChangesNothing) {
  std::string file = TempPath("bad.reg");
  std::ofstream(file) << "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_CURRENT_USER\\Software\\Half]\n"
                         "\"ok\"=\"1\"\n"
                         "\"broken\"=hex:zz\n";
  Result r = Tool({"import", file});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("line 5"), std::string::npos) << r.err;
  vel::OwnedKey key;
  EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, "Software\\Half", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace

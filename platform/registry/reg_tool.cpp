#include "platform/registry/reg_tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "platform/base/file.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/reg_util.h"

namespace vel::reg {

const char* const kMsgSuccess = "The operation completed successfully.";
const char* const kMsgCancelled = "The operation was cancelled.";
const char* const kMsgNotFound = "ERROR: The system was unable to find the specified registry key or value.";

namespace {

const char* const kDefaultName = "(Default)";
const char* const kValueNotSet = "(value not set)";
const char* const kMsgCannotOpenFile = "ERROR: Error opening the file. There may be a disk or file system error.";

const char* const kUsageGeneral =
    "velreg OPERATION [parameters]\n"
    "\n"
    "  OPERATION  query | add | delete | export | import\n"
    "\n"
    "Type \"velreg OPERATION /?\" for the parameters of one operation.\n";

const std::map<std::string, const char*> kUsage = {
    {"query",
     "velreg query KEY [/v NAME | /ve] [/s]\n"
     "\n"
     "  KEY   ROOT\\SubKey, ROOT one of HKLM, HKCU, HKCR, HKU (or their long names)\n"
     "  /v    the value NAME only\n"
     "  /ve   the default value only\n"
     "  /s    the key and all of its sub-keys\n"},
    {"add",
     "velreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
     "\n"
     "  /v    the value NAME to add\n"
     "  /ve   add the default value\n"
     "  /t    REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_NONE\n"
     "  /s    the separator between the strings of REG_MULTI_SZ data (\\0 unless given)\n"
     "  /d    the data: a number for REG_DWORD (decimal or 0x hex), hex digits for REG_BINARY\n"
     "  /f    overwrite an existing value without asking\n"},
    {"delete",
     "velreg delete KEY [/v NAME | /ve | /va] [/f]\n"
     "\n"
     "  /v    delete the value NAME\n"
     "  /ve   delete the default value\n"
     "  /va   delete all values of the key (its sub-keys stay)\n"
     "  /f    delete without asking\n"
     "  Without /v, /ve or /va the key and everything below it is deleted.\n"},
    {"export",
     "velreg export KEY FILE [/y]\n"
     "\n"
     "  Writes KEY and everything below it to FILE as a .reg file.\n"
     "  /y    overwrite FILE without asking\n"},
    {"import",
     "velreg import FILE\n"
     "\n"
     "  Applies a .reg file (\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\").\n"},
};

// Which switches an operation takes, and whether each is followed by a value
// (/s is a flag for query but takes the separator for add, as in reg.exe).
const std::map<std::string, std::map<std::string, bool>> kSwitches = {
    {"query", {{"v", true}, {"ve", false}, {"s", false}, {"reg:32", false}, {"reg:64", false}}},
    {"add",
     {{"v", true},
      {"ve", false},
      {"t", true},
      {"s", true},
      {"d", true},
      {"f", false},
      {"reg:32", false},
      {"reg:64", false}}},
    {"delete", {{"v", true}, {"ve", false}, {"va", false}, {"f", false}, {"reg:32", false}, {"reg:64", false}}},
    {"export", {{"y", false}, {"reg:32", false}, {"reg:64", false}}},
    {"import", {{"reg:32", false}, {"reg:64", false}}},
};

constexpr int kMaxQueryDepth = static_cast<int>(kRegMaxKeyDepth) + 1;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> switches;
  bool Has(const char* name) const { return switches.count(name) != 0; }
  std::string Get(const char* name) const {
    auto it = switches.find(name);
    return it == switches.end() ? std::string() : it->second;
  }
};

// Only the switches an operation knows count as switches, so Linux paths such
// as /tmp/out.reg stay file names.
bool ParseArgs(const std::string& op, const std::vector<std::string>& args, Args* out) {
  const auto& known = kSwitches.at(op);
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name = arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-') ? Lower(arg.substr(1)) : std::string();
    auto sw = known.find(name);
    if (sw == known.end()) {
      out->positional.push_back(arg);
      continue;
    }
    if (out->switches.count(name)) return false;
    if (sw->second) {
      if (i + 1 >= args.size()) return false;
      out->switches[name] = args[++i];
    } else {
      out->switches[name] = std::string();
    }
  }
  return true;
}

class Tool {
 public:
  Tool(std::string op, std::istream& in, std::ostream& out, std::ostream& err)
      : op_(std::move(op)), in_(in), out_(out), err_(err) {}

  int Run(const Args& a) {
    if (op_ == "query") return Query(a);
    if (op_ == "add") return Add(a);
    if (op_ == "delete") return Delete(a);
    if (op_ == "export") return Export(a);
    return Import(a);
  }

  int Syntax() {
    err_ << "ERROR: Invalid syntax.\nType \"velreg " << op_ << " /?\" for usage.\n";
    return 1;
  }

 private:
  int InvalidKey() {
    err_ << "ERROR: Invalid key name.\nType \"velreg " << op_ << " /?\" for usage.\n";
    return 1;
  }

  int Fail(LONG rc) {
    err_ << ErrorText(rc) << "\n";
    return 1;
  }

  int Fail(const std::string& message) {
    err_ << message << "\n";
    return 1;
  }

  int Done() {
    out_ << kMsgSuccess << "\n";
    return 0;
  }

  int Cancelled() {
    out_ << kMsgCancelled << "\n";
    return 1;
  }

  bool Ask(const std::string& question) {
    out_ << question << " " << std::flush;
    std::string answer;
    if (!std::getline(in_, answer)) {
      out_ << "\n";
      return false;
    }
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    answer = Lower(answer);
    return answer == "y" || answer == "yes";
  }

  static std::string ShownName(const std::string& name) { return name.empty() ? kDefaultName : name; }

  void PrintValue(const RegValue& value) {
    out_ << "    " << ShownName(value.name) << "    " << TypeName(value.type) << "    "
         << FormatQueryData(value.type, value.data) << "\n";
  }

  // A value by name, with the name spelled as stored (query shows that
  // spelling, whatever case the command line used).
  static LONG FindValue(HKEY key, const std::string& name, RegValue* out) {
    std::vector<RegValue> values;
    if (LONG rc = ReadAllValues(key, &values); rc != ERROR_SUCCESS) return rc;
    for (auto& value : values) {
      if (EqualsNoCase(value.name, name)) {
        *out = std::move(value);
        return ERROR_SUCCESS;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  }

  // Prints one key's block (and with recursive, all blocks below it).
  LONG PrintKey(HKEY key, const std::string& path, bool recursive, int depth) {
    if (depth > kMaxQueryDepth) return ERROR_INVALID_PARAMETER;
    std::vector<RegValue> values;
    std::vector<std::string> subKeys;
    if (LONG rc = ReadAllValues(key, &values); rc != ERROR_SUCCESS) return rc;
    if (LONG rc = ReadSubKeyNames(key, &subKeys); rc != ERROR_SUCCESS) return rc;
    out_ << "\n" << path << "\n";
    for (const auto& value : values) PrintValue(value);
    if (!recursive) {
      if (!subKeys.empty()) out_ << "\n";
      for (const auto& name : subKeys) out_ << path << "\\" << name << "\n";
      return ERROR_SUCCESS;
    }
    for (const auto& name : subKeys) {
      vel::OwnedKey sub;
      LONG rc = OpenKey(key, name, KEY_READ, &sub);
      if (rc == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
      if (rc == ERROR_SUCCESS) rc = PrintKey(sub.get(), path + "\\" + name, true, depth + 1);
      if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
  }

  // /v NAME /s: every key below holding the value, with the value.
  LONG SearchValue(HKEY key, const std::string& path, const std::string& name, int depth, int* found) {
    if (depth > kMaxQueryDepth) return ERROR_INVALID_PARAMETER;
    RegValue value;
    LONG rc = FindValue(key, name, &value);
    if (rc == ERROR_SUCCESS) {
      out_ << "\n" << path << "\n";
      PrintValue(value);
      ++*found;
    } else if (rc != ERROR_FILE_NOT_FOUND) {
      return rc;
    }
    std::vector<std::string> subKeys;
    if (rc = ReadSubKeyNames(key, &subKeys); rc != ERROR_SUCCESS) return rc;
    for (const auto& sub : subKeys) {
      vel::OwnedKey child;
      rc = OpenKey(key, sub, KEY_READ, &child);
      if (rc == ERROR_FILE_NOT_FOUND) continue;
      if (rc == ERROR_SUCCESS) rc = SearchValue(child.get(), path + "\\" + sub, name, depth + 1, found);
      if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
  }

  int Query(const Args& a) {
    if (a.positional.size() != 1 || (a.Has("v") && a.Has("ve"))) return Syntax();
    KeyPath path;
    if (!ParseKeyPath(a.positional[0], &path)) return InvalidKey();
    vel::OwnedKey key;
    if (LONG rc = OpenKey(path.root, path.sub, KEY_READ, &key); rc != ERROR_SUCCESS) return Fail(rc);
    const bool recursive = a.Has("s");
    if (!a.Has("v") && !a.Has("ve")) {
      LONG rc = PrintKey(key.get(), path.Full(), recursive, 0);
      return rc == ERROR_SUCCESS ? 0 : Fail(rc);
    }
    const std::string name = a.Get("v");
    if (recursive) {
      int found = 0;
      if (LONG rc = SearchValue(key.get(), path.Full(), name, 0, &found); rc != ERROR_SUCCESS) return Fail(rc);
      if (found == 0) return Fail(kMsgNotFound);
      out_ << "End of search: " << found << " match(es) found.\n";
      return 0;
    }
    RegValue value;
    LONG rc = FindValue(key.get(), name, &value);
    if (rc == ERROR_FILE_NOT_FOUND && name.empty()) {
      out_ << "\n" << path.Full() << "\n    " << kDefaultName << "    REG_SZ    " << kValueNotSet << "\n";
      return 0;
    }
    if (rc != ERROR_SUCCESS) return Fail(rc);
    out_ << "\n" << path.Full() << "\n";
    PrintValue(value);
    return 0;
  }

  int Add(const Args& a) {
    if (a.positional.size() != 1 || (a.Has("v") && a.Has("ve"))) return Syntax();
    KeyPath path;
    if (!ParseKeyPath(a.positional[0], &path)) return InvalidKey();
    DWORD type = REG_SZ;
    if (a.Has("t") && !ParseTypeName(a.Get("t"), &type))
      return Fail("ERROR: Unsupported value type \"" + a.Get("t") + "\".");
    std::vector<BYTE> data;
    std::string error;
    std::string separator = a.Has("s") ? a.Get("s") : "\\0";
    if (!(type == REG_NONE && !a.Has("d")) && !ParseAddData(type, a.Get("d"), separator, &data, &error))
      return Fail(error);
    const std::string name = a.Get("v");
    if (name.size() > kRegMaxValueNameChars) return Fail(ERROR_INVALID_PARAMETER);

    vel::OwnedKey key;
    LONG rc = CreateKey(path.root, path.sub, &key);
    if (rc != ERROR_SUCCESS) return Fail(rc);
    // With neither /v, /ve, /t nor /d the command only makes the key; /t or /d
    // alone set the default value, as reg.exe does.
    if (!a.Has("v") && !a.Has("ve") && !a.Has("t") && !a.Has("d")) return Done();
    if (!a.Has("f") && RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      if (!Ask("Value " + ShownName(name) + " exists, overwrite(Yes/No)?")) return Cancelled();
    }
    rc = RegSetValueExA(key.get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    return rc == ERROR_SUCCESS ? Done() : Fail(rc);
  }

  int Delete(const Args& a) {
    int valueSwitches = a.Has("v") + a.Has("ve") + a.Has("va");
    if (a.positional.size() != 1 || valueSwitches > 1) return Syntax();
    KeyPath path;
    if (!ParseKeyPath(a.positional[0], &path)) return InvalidKey();
    if (valueSwitches == 0 && path.sub.empty()) return InvalidKey();  // never a whole hive
    vel::OwnedKey key;
    if (LONG rc = OpenKey(path.root, path.sub, KEY_ALL_ACCESS, &key); rc != ERROR_SUCCESS) return Fail(rc);
    const bool force = a.Has("f");

    if (a.Has("v") || a.Has("ve")) {
      const std::string name = a.Get("v");
      LONG rc = RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) return Fail(rc);
      if (!force && !Ask("Delete the registry value " + ShownName(name) + " (Yes/No)?")) return Cancelled();
      rc = RegDeleteValueA(key.get(), name.c_str());
      return rc == ERROR_SUCCESS ? Done() : Fail(rc);
    }
    if (a.Has("va")) {
      if (!force && !Ask("Delete all values under the registry key " + path.Full() + " (Yes/No)?")) return Cancelled();
      std::vector<RegValue> values;
      if (LONG rc = ReadAllValues(key.get(), &values); rc != ERROR_SUCCESS) return Fail(rc);
      for (const auto& value : values) {
        LONG rc = RegDeleteValueA(key.get(), value.name.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return Fail(rc);
      }
      return Done();
    }
    if (!force && !Ask("Permanently delete the registry key " + path.Full() + " (Yes/No)?")) return Cancelled();
    key.reset();
    LONG rc = RegDeleteTreeA(path.root, path.sub.c_str());
    return rc == ERROR_SUCCESS ? Done() : Fail(rc);
  }

  int Export(const Args& a) {
    if (a.positional.size() != 2) return Syntax();
    KeyPath path;
    if (!ParseKeyPath(a.positional[0], &path)) return InvalidKey();
    const std::string& file = a.positional[1];
    std::string text, error;
    if (ExportRegFile(path, &text, &error) != ERROR_SUCCESS) return Fail(error);
    if (!a.Has("y") && access(file.c_str(), F_OK) == 0 && !Ask("File " + file + " already exists. Overwrite (Yes/No)?"))
      return Cancelled();
    // The new text replaces the file only once it is whole, so a failed export
    // never leaves half a file behind.
    errno = 0;
    if (!vel::ReplaceFileContents(file, text, "velreg")) {
      return Fail("ERROR: Cannot write " + file + ": " + (errno ? std::strerror(errno) : "not a file name"));
    }
    return Done();
  }

  int Import(const Args& a) {
    if (a.positional.size() != 1) return Syntax();
    const std::string& file = a.positional[0];
    struct stat st {};
    if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Fail(kMsgCannotOpenFile);
    if (static_cast<unsigned long long>(st.st_size) > kMaxRegFileBytes)
      return Fail("ERROR: " + file + " is too large to be a registry file.");
    std::ifstream stream(file, std::ios::binary);
    std::ostringstream buffer;
    if (!stream || !(buffer << stream.rdbuf())) return Fail(kMsgCannotOpenFile);
    std::vector<RegFileOp> ops;
    RegFileError error;
    if (!ParseRegFile(buffer.str(), &ops, &error)) {
      std::string at = error.line ? ", line " + std::to_string(error.line) : "";
      return Fail("ERROR: " + file + at + ": " + error.message);
    }
    if (ApplyRegFile(ops, &error) != ERROR_SUCCESS) {
      std::string message = error.message.rfind("ERROR: ", 0) == 0 ? error.message.substr(7) : error.message;
      return Fail("ERROR: " + file + ", line " + std::to_string(error.line) + ": " + message);
    }
    return Done();
  }

  std::string op_;
  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

int RunVelreg(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "ERROR: Invalid syntax.\nType \"velreg /?\" for usage.\n";
    return 1;
  }
  std::string op = Lower(args[0]);
  if (op == "/?" || op == "-?" || op == "/help" || op == "--help") {
    out << kUsageGeneral;
    return 0;
  }
  if (!kSwitches.count(op)) {
    err << "ERROR: Invalid syntax.\nType \"velreg /?\" for usage.\n";
    return 1;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "/?" || args[i] == "-?") {
      out << kUsage.at(op);
      return 0;
    }
  }
  Tool tool(op, in, out, err);
  Args parsed;
  if (!ParseArgs(op, args, &parsed)) return tool.Syntax();
  return tool.Run(parsed);
}

}  // namespace vel::reg

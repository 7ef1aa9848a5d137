// ShellExecuteA/ExA: programs are started directly, documents and URLs go to
// the desktop's opener.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/shell/process.h"
#include "platform/shell/shell.h"

namespace {

// What ShellExecute returns on success: any value above 32.
constexpr HINSTANCE kStarted = 42;

bool EqualsNoCase(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// "https://...", "mailto:...", "file:///..." but not a bare path.
bool IsUrl(const std::string& s) {
  size_t colon = s.find(':');
  if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An executable file: the execute bit alone is not enough, since documents on
// some file systems carry it too; it must also be a program the kernel runs.
bool IsProgram(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(path.c_str(), X_OK) != 0) return false;
  char head[4] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(head, sizeof head);
  return (in.gcount() == 4 && std::memcmp(head,
                                          "\x7f"
                                          "ELF",
                                          4) == 0) ||
         (in.gcount() >= 2 && head[0] == '#' && head[1] == '!');
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

std::string SearchPath(const std::string& name) {
  const char* env = std::getenv("PATH");
  std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
  for (size_t pos = 0; pos <= path.size();) {
    size_t end = path.find(':', pos);
    if (end == std::string::npos) end = path.size();
    std::string dir = end > pos ? path.substr(pos, end - pos) : ".";
    std::string candidate = dir + "/" + name;
    if (IsProgram(candidate)) return candidate;
    pos = end + 1;
  }
  return {};
}

// Finds file as ShellExecute does: relative to dir, then to the current
// folder; a bare name also through App Paths and $PATH.
std::string Locate(const std::string& file, const std::string& dir) {
  std::vector<std::string> candidates;
  if (file[0] == '/') {
    candidates.push_back(file);
  } else {
    if (!dir.empty()) candidates.push_back(dir + "/" + file);
    candidates.push_back(file);
  }
  for (const auto& c : candidates)
    if (Exists(c)) return Absolute(c);
  if (file.find('/') != std::string::npos) return {};
  std::string registered = FindAppPath(file.c_str());
  if (!registered.empty() && Exists(registered)) return Absolute(registered);
  return SearchPath(file);
}

bool EndsWithNoCase(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int ErrnoToShellError(int error) {
  switch (error) {
    case ENOENT: return SE_ERR_FNF;
    case ENOTDIR: return SE_ERR_PNF;
    case EACCES:
    case EPERM: return SE_ERR_ACCESSDENIED;
    case ENOMEM:
    case EAGAIN: return SE_ERR_OOM;
    case ENOEXEC: return SE_ERR_BAD_FORMAT;
    default: return SE_ERR_NOASSOC;
  }
}

int OpenWithOpener(const std::string& target, const std::string& dir, bool hidden, HANDLE* handle) {
  vel::shell::StartRequest request;
  const char* opener = std::getenv("VELMARK_OPEN_COMMAND");
  request.program = opener && *opener ? opener : "xdg-open";
  request.searchPath = true;
  request.args = {target};
  request.dir = dir;
  request.hidden = hidden;
  int rc = vel::shell::StartProcess(request, handle);
  // No opener installed means nothing is associated with the document.
  return rc == 0 ? 0 : rc == ENOENT ? SE_ERR_NOASSOC : ErrnoToShellError(rc);
}

}  // namespace

std::string HelpGuidePage(const std::string& helpFile) {
  if (!EndsWithNoCase(helpFile, ".hlp")) return {};
  std::string base = BaseName(helpFile);
  base = LowerCase(base.substr(0, base.size() - 4));
  std::vector<std::string> folders;
  if (const char* env = std::getenv("VELMARK_HELP_DIR"); env && *env) folders.push_back(env);
  const std::string self = ModuleDirectory();
  if (!self.empty()) {
    folders.push_back(self + "/help");
    folders.push_back(self + "/../../share/velmark/help");
  }
  char exe[4096] = {};
  const std::string program = GetModuleFileNameA(nullptr, exe, sizeof exe) ? LowerCase(BaseName(exe)) : "";
  for (const auto& folder : folders) {
    for (const auto& page : {program, base}) {
      if (page.empty()) continue;
      const std::string candidate = folder + "/" + page + ".html";
      struct stat st {};
      if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        char resolved[PATH_MAX];
        return realpath(candidate.c_str(), resolved) ? std::string(resolved) : candidate;
      }
    }
  }
  return {};
}

namespace {

int Execute(const SHELLEXECUTEINFOA& info, HANDLE* handle) {
  const char* verb = info.lpVerb && *info.lpVerb ? info.lpVerb : "open";
  bool viaOpener = EqualsNoCase(verb, "edit") || EqualsNoCase(verb, "explore");
  if (!viaOpener && !EqualsNoCase(verb, "open") && !EqualsNoCase(verb, "runas")) return SE_ERR_NOASSOC;
  if (!info.lpFile || !*info.lpFile) return SE_ERR_FNF;
  std::string file = info.lpFile;
  std::string dir = info.lpDirectory ? info.lpDirectory : "";
  if (!dir.empty() && !IsFolder(dir)) return SE_ERR_PNF;
  bool hidden = info.nShow == SW_HIDE;

  // Help files open as the suite's HTML guide, whether or not a .hlp lies there.
  if (!viaOpener && EndsWithNoCase(file, ".hlp")) {
    const std::string page = HelpGuidePage(file);
    if (!page.empty()) return OpenWithOpener(page, dir, hidden, handle);
  }

  std::string path = Locate(file, dir);
  // "photo:1.png" may be a file of that name; only what is not one is a URL.
  if (path.empty() && IsUrl(file)) return OpenWithOpener(file, dir, hidden, handle);
  if (path.empty()) return SE_ERR_FNF;
  if (viaOpener || !IsProgram(path)) return OpenWithOpener(path, dir, hidden, handle);

  vel::shell::StartRequest request;
  request.program = path;
  request.args = vel::SplitCommandLine(info.lpParameters);
  request.dir = dir;
  request.hidden = hidden;
  int rc = vel::shell::StartProcess(request, handle);
  return rc == 0 ? 0 : ErrnoToShellError(rc);
}

}  // namespace

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) return FALSE;
  info->hProcess = nullptr;
  HANDLE process = nullptr;
  int error = Execute(*info, (info->fMask & SEE_MASK_NOCLOSEPROCESS) ? &process : nullptr);
  if (error != 0) {
    info->hInstApp = error;
    return FALSE;
  }
  info->hInstApp = kStarted;
  info->hProcess = process;
  return TRUE;
}

HINSTANCE ShellExecuteA(void* hwnd, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, int show) {
  SHELLEXECUTEINFOA info;
  info.cbSize = sizeof info;
  info.hwnd = hwnd;
  info.lpVerb = verb;
  info.lpFile = file;
  info.lpParameters = params;
  info.lpDirectory = dir;
  info.nShow = show;
  ShellExecuteExA(&info);
  return info.hInstApp;
}

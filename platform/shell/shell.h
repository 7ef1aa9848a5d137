// The shell and kernel pieces the programs use to find and start each other:
// module path, App Paths, temporary names, ShellExecute and process handles,
// and two small file functions.
#pragma once

#include <string>
#include <vector>

#include "platform/base/memory.h"
#include "platform/base/wintypes.h"
#include "platform/registry/registry.h"

// Helper programs carry no suffix on Linux: "epsrender", not "epsrender.exe".
constexpr const char* kExeSuffix = "";

// --- the running program ----------------------------------------------------

// The program's own path (from /proc/self/exe); module must be null. As on
// Windows: returns the length without the NUL; when size is too small the
// path is cut to size-1 characters plus NUL and size is returned; 0 on failure.
DWORD GetModuleFileNameA(void* module, LPSTR buf, DWORD size);
// The folder of the running program, without a trailing "/" ("" on failure).
std::string ModuleDirectory();

// --- App Paths --------------------------------------------------------------

constexpr const char* kAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// The default value of HKLM\<kAppPathsKey>\<exeName>: where a program said it
// was installed. Surrounding quotes are removed and %VAR% expanded for
// REG_EXPAND_SZ. "" when the entry is missing or empty.
std::string FindAppPath(const char* exeName);
// Makes HKLM\<kAppPathsKey>\<exeName> name the running program, unless it already
// does, and registers the suite's programs beside it (RegisterSuiteAppPaths).
// False when the entry cannot be written.
bool RegisterOwnAppPath(const char* exeName);

namespace vel::shell {
// Registers HKLM App Paths entry `exeName` for `folder`/`fileName` when the entry
// is missing or names a file that no longer exists and the program is there.
// True when the entry names an existing file afterwards.
bool RegisterSiblingAppPath(const char* exeName, const std::string& folder, const char* fileName);
// "Wicklow", "Converter.exe", "Quorra.exe" and "Pennock.exe" for the suite's
// programs in `folder`. The entries live in each user's registry, so every
// program of the suite calls this as it starts: whichever a person runs
// first makes the others findable.
void RegisterSuiteAppPaths(const std::string& folder);
}  // namespace vel::shell

// --- temporary files --------------------------------------------------------

// $TMPDIR (or /tmp) with a trailing "/". Returns the length without the NUL,
// or, when buf cannot hold it, the size needed including the NUL.
DWORD GetTempPathA(DWORD size, LPSTR buf);
// <dir>/<prefix><hex>.tmp into out (MAX_PATH characters). With unique 0 a new
// empty file is created exclusively under a number not yet taken, and that
// number is returned; otherwise only the name is formed and unique returned.
// The whole prefix is kept (Windows keeps three characters). 0 on failure,
// including a name that would not fit into MAX_PATH characters.
UINT GetTempFileNameA(LPCSTR dir, LPCSTR prefix, UINT unique, LPSTR out);

// --- files ------------------------------------------------------------------

// mode 0 existence, 2 write, 4 read, 6 both; 0 when allowed, else -1.
int _access(const char* path, int mode);
BOOL DeleteFileA(LPCSTR path);

// --- starting programs and documents ---------------------------------------

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_NORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// ShellExecuteA's results of 32 and below.
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_BAD_FORMAT = 11;
constexpr int SE_ERR_NOASSOC = 31;

constexpr ULONG SEE_MASK_DEFAULT = 0x00000000;
constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr ULONG SEE_MASK_NOASYNC = 0x00000100;
constexpr ULONG SEE_MASK_FLAG_DDEWAIT = 0x00000100;
constexpr ULONG SEE_MASK_DOENVSUBST = 0x00000200;
constexpr ULONG SEE_MASK_FLAG_NO_UI = 0x00000400;

struct SHELLEXECUTEINFOA {
  DWORD cbSize = 0;
  ULONG fMask = 0;
  void* hwnd = nullptr;
  LPCSTR lpVerb = nullptr;
  LPCSTR lpFile = nullptr;
  LPCSTR lpParameters = nullptr;
  LPCSTR lpDirectory = nullptr;
  int nShow = 0;
  HINSTANCE hInstApp = 0;  // > 32 on success, else an SE_ERR_* code
  void* lpIDList = nullptr;
  LPCSTR lpClass = nullptr;
  HKEY hkeyClass = nullptr;
  DWORD dwHotKey = 0;
  union {
    HANDLE hIcon = nullptr;
    HANDLE hMonitor;
  };
  HANDLE hProcess = nullptr;  // with SEE_MASK_NOCLOSEPROCESS; close with CloseHandle
};
using LPSHELLEXECUTEINFOA = SHELLEXECUTEINFOA*;

// A Windows help file ("CONVERTER.hlp") has nothing to open it here; the
// suite's guide is HTML instead, one page per program. For a name ending in
// ".hlp", the page of the running program (<program>.html) or else the page
// named after the help file (converter.html) in the guide's folder: $VELMARK_HELP_DIR
// when set, help/ beside the program (a build) or ../../share/velmark/help from
// it (an installed tree, the program in lib/velmark). "" when there is none.
std::string HelpGuidePage(const std::string& helpFile);

// Verbs: null, "open" and "runas" run an executable file or open a document
// or URL with the desktop's opener (xdg-open, or $VELMARK_OPEN_COMMAND when
// set); "edit" and "explore" always go to the opener. A name without "/" is
// looked for in dir, the current folder, App Paths and $PATH. params are
// split into arguments the way Windows splits command lines. SW_HIDE starts
// the program with standard input from /dev/null. Processes we start are
// always reaped, whether or not anyone waits for them. For a document or URL
// the process handle (SEE_MASK_NOCLOSEPROCESS) is that of the opener.
// Opening a help file opens its guide page (HelpGuidePage) when there is one.
HINSTANCE ShellExecuteA(void* hwnd, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, int show);
BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info);

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;

// Process handles only.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// STILL_ACTIVE while running; then the exit status, or 128 + the signal
// number for a process ended by a signal (as shells report it).
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
BOOL CloseHandle(HANDLE handle);
// Ends a running process at once (SIGKILL); it then reports `exitCode`. TRUE
// also when it had already ended; FALSE for a handle that is not a process.
BOOL TerminateProcess(HANDLE process, UINT exitCode);

namespace vel {
// A Windows command line split into arguments (the rules of the C runtime:
// quotes group, \" is a quote, backslashes before a quote pair up, "" inside
// quotes is a quote).
std::vector<std::string> SplitCommandLine(const char* commandLine);
}  // namespace vel

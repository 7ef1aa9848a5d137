// ferrule-menu: stands where the file manager's shell stands for the suite's menu
// extension. It shows the context menu that the registered handlers build for the
// given files and folders, runs the chosen command, and can list or invoke the menu
// without a window (for file-manager actions, scripts and tests).
#include <unistd.h>

#include <QCursor>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/registry/owned_key.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "shellext/host/MenuSession.h"
#include "shellext/host/PopupMenu.h"

namespace {

constexpr const char* kUsage =
    "usage: ferrule-menu PATH...            show the context menu at the pointer\n"
    "       ferrule-menu --print PATH...    list the menu: ID<TAB>TEXT per item\n"
    "       ferrule-menu --invoke ID PATH...  run the item with that ID\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "ferrule-menu: %s\n", message.c_str());
  return 1;
}

// The shell hands handlers full paths of items that exist.
bool CollectPaths(char** begin, char** end, std::vector<std::string>* paths, std::string* error) {
  for (char** a = begin; a != end; ++a) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(*a, ec);
    if (ec || !std::filesystem::exists(p, ec)) {
      *error = std::string("cannot find ") + *a;
      return false;
    }
    paths->push_back(p.lexically_normal().string());
  }
  if (paths->empty()) *error = "no file or folder given";
  return !paths->empty();
}

bool ParseOffset(const char* text, UINT* offset) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno || *end || text[0] == '-' || value > ferrule_host::kLastCommandId - ferrule_host::kFirstCommandId)
    return false;
  *offset = static_cast<UINT>(value);
  return true;
}

int ShowPopup(const ferrule_host::CMenuSession& session) {
  if (!vel::ui::HasDisplay()) return Fail("no display to show the menu on; use --print or --invoke");
  vel::ui::EnsureApplication();
  UINT chosen = 0;
  std::unique_ptr<QMenu> popup = ferrule_host::BuildPopup(session, &chosen);
  popup->exec(QCursor::pos());
  popup.reset();
  if (!chosen) return 0;  // dismissed
  return SUCCEEDED(session.Invoke(chosen)) ? 0 : 1;
}

// Where the host notes that a user's first start has been dealt with.
constexpr const char kHostKey[] = "Software\\Velmark\\Ferrule\\Host";
constexpr const char kFirstStartDone[] = "FirstStartDone";

// An installed host has the extension beside it, but servers are registered in
// each user's registry: at a user's first start, when no handler at all serves
// files or folders, the extension beside the host is registered. Only once, so
// someone who takes it away later (velregsvr /u) keeps it away.
void RegisterExtensionOnFirstStart(const std::string& folder) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kHostKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  if (RegQueryValueExA(key.get(), kFirstStartDone, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) return;
  const DWORD done = 1;
  RegSetValueExA(key.get(), kFirstStartDone, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&done), sizeof done);
  const std::string library = folder + "/libFerrule.so";
  if (folder.empty() || access(library.c_str(), R_OK) != 0) return;
  if (!vel::com::ContextMenuHandlers("*").empty() || !vel::com::ContextMenuHandlers("Folder").empty()) return;
  vel::com::ServerModule server;
  if (server.load(library)) server.registerServer();
}

}  // namespace

int main(int argc, char** argv) {
  enum class Mode { Popup, Print, Invoke } mode = Mode::Popup;
  int first = 1;
  UINT offset = 0;
  if (argc > 1 && std::strcmp(argv[1], "--print") == 0) {
    mode = Mode::Print;
    first = 2;
  } else if (argc > 1 && std::strcmp(argv[1], "--invoke") == 0) {
    mode = Mode::Invoke;
    first = 3;
    if (argc < 3 || !ParseOffset(argv[2], &offset)) {
      std::fputs(kUsage, stderr);
      return Fail(argc < 3 ? "--invoke needs an ID" : std::string("not a command ID: ") + argv[2]);
    }
  } else if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::vector<std::string> paths;
  std::string error;
  if (!CollectPaths(argv + std::min(first, argc), argv + argc, &paths, &error)) {
    if (paths.empty() && error == "no file or folder given") std::fputs(kUsage, stderr);
    return Fail(error);
  }

  // The extension finds the suite's programs only through App Paths.
  vel::shell::RegisterSuiteAppPaths(ModuleDirectory());
  RegisterExtensionOnFirstStart(ModuleDirectory());

  ferrule_host::CMenuSession session;
  if (!session.Build(paths, &error)) return Fail(error);
  switch (mode) {
    case Mode::Print: {
      const std::string text = ferrule_host::PrintMenu(session);
      std::fwrite(text.data(), 1, text.size(), stdout);
      return 0;
    }
    case Mode::Invoke: {
      const UINT id = ferrule_host::kFirstCommandId + offset;
      if (!session.HasCommand(id)) return Fail("the menu has no item " + std::to_string(offset));
      const HRESULT hr = session.Invoke(id);
      if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        return Fail("the command " + std::to_string(offset) + " failed (" + code + ")");
      }
      return 0;
    }
    case Mode::Popup: return ShowPopup(session);
  }
  return 1;
}

// Where the hive files live, and one open store per hive file per process.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

#include "platform/registry/hive_store.h"

namespace vel::reg {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return {};
}

std::string NamedFolder() {
  if (const char* dir = std::getenv("VELMARK_REGISTRY_DIR"); dir && *dir) return dir;
  // The XDG rules say a relative XDG_CONFIG_HOME is invalid and to be ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return std::string(xdg) + "/velmark";
  std::string home = HomeFolder();
  if (home.empty()) return {};
  return home + "/.config/velmark";
}

bool MakeFolders(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string TrimSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

struct Cache {
  std::mutex mu;
  std::string folder;
  std::map<std::string, std::shared_ptr<HiveStore>> stores;
};

Cache& TheCache() {
  // Never destroyed: handles closed by other static destructors may still
  // reach for it at exit.
  static Cache* cache = new Cache;
  return *cache;
}

}  // namespace

LONG StoreForHive(const char* fileName, std::shared_ptr<HiveStore>* out) {
  std::string folder = TrimSlashes(NamedFolder());
  if (folder.empty()) return ERROR_PATH_NOT_FOUND;
  std::string path = folder + "/" + fileName;

  Cache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mu);
  if (folder != cache.folder) {
    // The folder setting changed (tests do this): forget stores of the old
    // folder; open handles keep theirs alive until closed.
    cache.stores.clear();
    cache.folder = folder;
  }
  if (auto it = cache.stores.find(path); it != cache.stores.end()) {
    *out = it->second;
    return ERROR_SUCCESS;
  }
  if (!MakeFolders(folder)) return ERROR_PATH_NOT_FOUND;
  std::shared_ptr<HiveStore> store;
  if (LONG rc = HiveStore::Open(path, &store); rc != ERROR_SUCCESS) return rc;
  cache.stores[path] = store;
  *out = std::move(store);
  return ERROR_SUCCESS;
}

}  // namespace vel::reg

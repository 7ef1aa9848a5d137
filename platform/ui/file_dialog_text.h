// What the suite's file dialogs (open and save) share: reading the filter text the
// callers pass, "Text|patterns|Text|patterns||" with the patterns separated by ';'
// and optional blanks, and the small path questions both ask.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

namespace vel::ui {

struct FilterEntry {
  std::string text;                   // what the type list shows
  std::vector<std::string> patterns;  // "*.bmp", "*.jpg" ...
};

inline std::vector<std::string> SplitPatterns(std::string_view list) {
  std::vector<std::string> patterns;
  while (!list.empty()) {
    const size_t semi = list.find(';');
    std::string_view one = list.substr(0, semi);
    while (!one.empty() && (one.front() == ' ' || one.front() == '\t')) one.remove_prefix(1);
    while (!one.empty() && (one.back() == ' ' || one.back() == '\t')) one.remove_suffix(1);
    // On Windows "*.*" matches names without a dot too; here only "*" does that.
    if (!one.empty()) patterns.emplace_back(one == "*.*" ? std::string_view("*") : one);
    if (semi == std::string_view::npos) break;
    list.remove_prefix(semi + 1);
  }
  return patterns;
}

// The entries up to the "||" that ends the list; an entry of blanks only is dropped.
inline std::vector<FilterEntry> ParseFilter(const char* filter) {
  std::vector<FilterEntry> entries;
  std::string_view rest(filter ? filter : "");
  while (!rest.empty()) {
    const size_t bar = rest.find('|');
    if (bar == 0 || bar == std::string_view::npos) break;
    const std::string_view text = rest.substr(0, bar);
    rest.remove_prefix(bar + 1);
    const size_t end = rest.find('|');
    if (end == 0) break;  // "Text||": the list ends here, as it does on Windows
    auto patterns = SplitPatterns(rest.substr(0, end));
    if (!patterns.empty()) entries.push_back({std::string(text), std::move(patterns)});
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return entries;
}

inline bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline bool IsFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The folder part of a path ("/" for a file in the root, "" when there is none).
inline std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

// `name` inside `folder`, unless it is already a full path.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
  if (name.empty() || name.front() == '/' || folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace vel::ui

#include "printlayout/file/ProfileFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/base/file.h"
#include "printlayout/file/Fields.h"

namespace tessaly {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  // Settings, profiles and projects are small; a file larger than this is not one.
  constexpr std::uint64_t kLargestFile = std::uint64_t(1) << 30;
  std::vector<std::uint8_t> data;
  bytes.clear();
  if (!vel::ReadWholeFile(path.c_str(), data, kLargestFile)) return false;
  bytes.assign(data.begin(), data.end());
  return true;
}

bool ProfileFile::loadFile(const std::string& path) {
  std::string bytes;
  const bool ok = ReadWholeFile(path, bytes);
  parse(bytes);
  return ok;
}

namespace {

// Walks the lines of a profile: onSection(name) for each section line,
// onKey(key, value) for each key line, names and values trimmed and the
// value cut at a NUL byte. Either callback returns false to stop the walk.
template <class OnSection, class OnKey>
void WalkProfile(std::string_view text, OnSection onSection, OnKey onKey) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        if (!onSection(Trim(line.substr(1, close - 1)))) return;
        continue;
      }
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view value = Trim(line.substr(equals + 1));
    const std::size_t nul = value.find('\0');
    if (nul != std::string_view::npos) value = Trim(value.substr(0, nul));
    if (!onKey(Trim(line.substr(0, equals)), value)) return;
  }
}

// What a read returns of a stored value: without enclosing matching quotes,
// cut to `limit` characters.
std::string Finish(std::string_view v, std::size_t limit) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  if (v.size() > limit) v = v.substr(0, limit);
  return std::string(v);
}

}  // namespace

void ProfileFile::parse(const std::uint8_t* data, std::size_t size) {
  sections_.clear();
  byteSize_ = data ? size : 0;
  Section* current = nullptr;  // null before the first section and in repeated sections
  WalkProfile(
      std::string_view(reinterpret_cast<const char*>(data), byteSize_),
      [&](std::string_view name) {
        auto [it, inserted] = sections_.try_emplace(LowerAscii(name));
        // A later section of the same name stays invisible: the first wins.
        current = inserted ? &it->second : nullptr;
        return true;
      },
      [&](std::string_view key, std::string_view value) {
        if (current != nullptr) current->keys.try_emplace(LowerAscii(key), value);
        return true;
      });
}

std::optional<std::string> ProfileFile::find(const std::uint8_t* data, std::size_t size, std::string_view section,
                                             std::string_view key, std::size_t limit) {
  std::optional<std::string> result;
  bool sectionSeen = false;  // the first section of the name was entered
  bool inSection = false;
  WalkProfile(
      std::string_view(reinterpret_cast<const char*>(data), data ? size : 0),
      [&](std::string_view name) {
        if (inSection) return false;  // the first section of that name ended without the key
        inSection = !sectionSeen && EqualsNoCase(name, section);
        sectionSeen = sectionSeen || inSection;
        return true;
      },
      [&](std::string_view k, std::string_view value) {
        if (!inSection || !EqualsNoCase(k, key)) return true;
        result = Finish(value, limit);
        return false;
      });
  return result;
}

std::optional<std::string> ProfileFile::value(std::string_view section, std::string_view key, std::size_t limit) const {
  const auto s = sections_.find(LowerAscii(section));
  if (s == sections_.end()) return std::nullopt;
  const auto k = s->second.keys.find(LowerAscii(key));
  if (k == s->second.keys.end()) return std::nullopt;
  return Finish(k->second, limit);
}

std::string ProfileFile::get(std::string_view section, std::string_view key, std::string_view fallback,
                             std::size_t limit) const {
  if (auto v = value(section, key, limit)) return *v;
  return std::string(fallback.substr(0, std::min(limit, fallback.size())));
}

bool ProfileFile::hasSection(std::string_view section) const { return sections_.count(LowerAscii(section)) != 0; }

std::size_t ProfileFile::keyCount(std::string_view section) const {
  const auto s = sections_.find(LowerAscii(section));
  return s == sections_.end() ? 0 : s->second.keys.size();
}

}  // namespace tessaly

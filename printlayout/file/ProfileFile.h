// A Windows profile (INI) file read the way GetPrivateProfileString reads it,
// for the legacy project form.
//
// A line whose first non-blank character is '[' and that holds a ']' starts a
// section named by the text between the '[' and the last ']'. Other lines with
// an '=' are keys of the current section: the name before the first '=', the
// value after it. Names and values lose their surrounding blanks; section and
// key names are compared without regard to (ASCII) case; of several sections
// or keys with the same name the first wins. Lines end at LF, a CR before the
// LF is dropped; lines without '=' and keys before the first section are not
// found by any query. A UTF-8 byte-order mark at the start is skipped. A value
// ends at a NUL byte, as the system's C strings would end it, so binary junk
// gives short values rather than surprises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tessaly {

class ProfileFile {
 public:
  // Characters a read returns at most: the reader's buffers hold 1024 bytes,
  // 2048 for image paths and comments, and 10 for the version check.
  static constexpr std::size_t kValueLimit = 1023;
  static constexpr std::size_t kLongValueLimit = 2047;
  static constexpr std::size_t kVersionLimit = 9;

  // Reads and parses a file; false (and an empty profile, so every key is
  // missing, as the system treats a file it cannot open) when it cannot be read.
  bool loadFile(const std::string& path);
  void parse(const std::uint8_t* data, std::size_t size);
  void parse(std::string_view text) { parse(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }

  // The value of `key` in `section`, without surrounding blanks and without a
  // pair of matching quotes ('...' or "...") that encloses it wholly, cut to
  // `limit` characters; nullopt when the section or the key is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key,
                                   std::size_t limit = kValueLimit) const;
  // The value, or `fallback` when the key is missing.
  std::string get(std::string_view section, std::string_view key, std::string_view fallback,
                  std::size_t limit = kValueLimit) const;

  // The same as parse(data, size) followed by value(section, key, limit),
  // without keeping the rest of the file: for a quick look into files that are
  // mostly not profiles at all.
  static std::optional<std::string> find(const std::uint8_t* data, std::size_t size, std::string_view section,
                                         std::string_view key, std::size_t limit = kValueLimit);

  bool hasSection(std::string_view section) const;
  // Distinct keys of the first section of that name (0 when it is missing).
  std::size_t keyCount(std::string_view section) const;
  // Bytes the profile was parsed from.
  std::size_t byteSize() const { return byteSize_; }

 private:
  struct Section {
    std::unordered_map<std::string, std::string> keys;  // lower-case name -> raw value
  };
  std::unordered_map<std::string, Section> sections_;  // lower-case name -> section
  std::size_t byteSize_ = 0;
};

// Reads a whole regular file into `bytes`; false when it cannot be opened or read, or
// is larger than any file of ours can be (1 GiB).
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace tessaly

// Stand-in for the maker's small runtime library: a string and a byte buffer,
// with exactly the operations the file-manager extension uses.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace gen {

// An owned, zero-terminated text.
class TString {
 public:
  TString() = default;
  TString(const char* text);  // NOLINT: converts like the original
  // `first` followed by `second`.
  TString(const char* first, const char* second);
  TString(const TString&) = default;
  TString& operator=(const TString&) = default;
  TString& operator=(const char* text);

  const char* c_str() const { return text_.c_str(); }

 private:
  std::string text_;
};

// A zero-filled block of bytes of fixed length.
class TBuffer {
 public:
  explicit TBuffer(std::size_t length);

  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }
  std::size_t length() const { return bytes_.size(); }

 private:
  std::vector<char> bytes_;
};

}  // namespace gen

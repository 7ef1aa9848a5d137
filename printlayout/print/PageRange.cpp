#include "printlayout/print/PageRange.h"

#include <algorithm>
#include <limits>

namespace tessaly {

namespace {

class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}
  void skipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  void advance() { ++pos_; }
  // A decimal number with an optional sign; values beyond int are held at its limits.
  bool number(long long& value) {
    size_t p = pos_;
    bool negative = false;
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
      negative = text_[p] == '-';
      ++p;
    }
    if (p >= text_.size() || text_[p] < '0' || text_[p] > '9') return false;
    long long v = 0;
    while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
      v = std::min<long long>(v * 10 + (text_[p] - '0'), std::numeric_limits<int>::max() + 1LL);
      ++p;
    }
    value = negative ? -v : v;
    pos_ = p;
    return true;
  }

 private:
  const std::string& text_;
  size_t pos_ = 0;
};

}  // namespace

bool parsePageRange(const Project& project, const std::string& text, PageList& pages, bool checkOnly, bool takeOdd,
                    bool takeEven) {
  pages.clear();
  const long long first = project.firstPageNumber;
  const long long last = project.lastPageNumber();
  auto add = [&](long long page) {
    if (page >= first && page <= last) pages.push_back(static_cast<int>(page));
  };

  Scanner in(text);
  in.skipBlanks();
  if (in.atEnd()) {
    for (long long p = first; p <= last; ++p) pages.push_back(static_cast<int>(p));
  } else {
    for (;;) {
      in.skipBlanks();
      long long start = 0;
      bool dashed = false;
      if (in.peek() == '-') {
        // A leading dash is a range that starts at the first page: "-2" is 1, 2.
        in.advance();
        start = first;
        dashed = true;
      } else if (!in.number(start)) {
        return false;
      } else {
        in.skipBlanks();
        if (in.peek() == '-') {
          in.advance();
          dashed = true;
        }
      }
      if (dashed) {
        in.skipBlanks();
        long long end = 0;
        if (in.peek() == ',') {
          end = last;
        } else if (!in.number(end)) {
          return false;
        }
        // Walk only the part of the range that can hold pages of the project.
        if (start <= end) {
          for (long long p = std::max(start, first); p <= std::min(end, last); ++p) add(p);
        } else {
          for (long long p = std::min(start, last); p >= std::max(end, first); --p) add(p);
        }
      } else {
        add(start);
      }
      in.skipBlanks();
      if (in.atEnd()) break;
      if (in.peek() != ',') return false;
      in.advance();
    }
  }

  pages.erase(std::remove_if(pages.begin(), pages.end(), [&](int p) { return (p % 2 != 0) ? !takeOdd : !takeEven; }),
              pages.end());
  if (pages.empty()) return false;
  if (checkOnly) pages.clear();
  return true;
}

}  // namespace tessaly

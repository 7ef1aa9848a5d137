// fmfwrite: packs bilevel pages (binary PBM files) into one fax file.
//   fmfwrite [--g3] OUT.fmf PAGE.pbm...
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imagelib/formats/fmf.h"

namespace {

bool ReadNumber(const std::vector<unsigned char>& d, size_t& i, long& v) {
  while (i < d.size() && (std::isspace(d[i]) || d[i] == '#')) {
    if (d[i] == '#')
      while (i < d.size() && d[i] != '\n') ++i;
    else
      ++i;
  }
  if (i >= d.size() || !std::isdigit(d[i])) return false;
  v = 0;
  while (i < d.size() && std::isdigit(d[i]) && v < 1000000) v = v * 10 + (d[i++] - '0');
  return true;
}

// A binary PBM (P4) as fax rows: PBM has 1 for black, the fax file 0.
bool ReadPbm(const std::string& path, lorimer::formats::FmfPage* page) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t i = 2;
  long w = 0, h = 0;
  if (d.size() < 3 || d[0] != 'P' || d[1] != '4' || !ReadNumber(d, i, w) || !ReadNumber(d, i, h)) return false;
  ++i;
  size_t stride = (static_cast<size_t>(w) + 7) / 8;
  if (w <= 0 || h <= 0 || w > lorimer::formats::kFmfMaxWidth || h > lorimer::formats::kFmfMaxHeight ||
      d.size() - i < stride * static_cast<size_t>(h))
    return false;
  page->width = static_cast<int>(w);
  page->height = static_cast<int>(h);
  page->rows.assign(d.begin() + static_cast<long>(i), d.begin() + static_cast<long>(i + stride * h));
  for (auto& b : page->rows) b = static_cast<unsigned char>(~b);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  bool g3 = false;
  if (argc > 1 && std::strcmp(argv[1], "--g3") == 0) {
    g3 = true;
    ++first;
  }
  if (argc - first < 2) {
    std::fputs("Usage: fmfwrite [--g3] OUT.fmf PAGE.pbm...\n", stderr);
    return 1;
  }
  std::vector<lorimer::formats::FmfPage> pages;
  for (int a = first + 1; a < argc; ++a) {
    lorimer::formats::FmfPage page;
    page.compression = g3 ? lorimer::formats::kFmfGroup3 : lorimer::formats::kFmfGroup4;
    if (!ReadPbm(argv[a], &page)) {
      std::fprintf(stderr, "fmfwrite: %s: not a binary PBM file\n", argv[a]);
      return 1;
    }
    pages.push_back(std::move(page));
  }
  if (!lorimer::formats::WriteFmf(argv[first], pages)) {
    std::fprintf(stderr, "fmfwrite: %s: cannot write\n", argv[first]);
    return 1;
  }
  return 0;
}

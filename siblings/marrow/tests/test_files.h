// Test-side builders for metafiles and BMP files, made from the file formats
// themselves (not from the code under test), plus temporary folders and a way to
// run a helper program the way the image library does.
#pragma once

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace testfiles {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, int v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, long long v) {
  Put16(b, static_cast<int>(v & 0xFFFF));
  Put16(b, static_cast<int>((v >> 16) & 0xFFFF));
}
inline int Get16(const Bytes& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
inline int GetS16(const Bytes& b, size_t at) { return static_cast<std::int16_t>(Get16(b, at)); }
inline std::uint32_t Get32(const Bytes& b, size_t at) {
  return static_cast<std::uint32_t>(Get16(b, at)) | (static_cast<std::uint32_t>(Get16(b, at + 2)) << 16);
}

// A WMF: records of 16-bit parameter words plus optional raw bytes.
class Wmf {
 public:
  Wmf& record(int function, const std::vector<int>& words, const Bytes& raw = {}) {
    Bytes r;
    Put32(r, 3 + static_cast<long long>(words.size()) + static_cast<long long>((raw.size() + 1) / 2));
    Put16(r, function);
    for (int w : words) Put16(r, w);
    r.insert(r.end(), raw.begin(), raw.end());
    if (r.size() % 2) r.push_back(0);
    body_.insert(body_.end(), r.begin(), r.end());
    return *this;
  }
  Bytes finish() const {
    Bytes out;
    Put16(out, 1);
    Put16(out, 9);
    Put16(out, 0x0300);
    Put32(out, static_cast<long long>((18 + body_.size() + 6) / 2));
    Put16(out, 0);
    Put32(out, 3);
    Put16(out, 0);
    out.insert(out.end(), body_.begin(), body_.end());
    Put32(out, 3);
    Put16(out, 0);  // META_EOF
    return out;
  }

 private:
  Bytes body_;
};

inline Bytes Placeable(int left, int top, int right, int bottom, int inch, const Bytes& wmf) {
  Bytes h;
  Put32(h, 0x9AC6CDD7);
  Put16(h, 0);
  Put16(h, left);
  Put16(h, top);
  Put16(h, right);
  Put16(h, bottom);
  Put16(h, inch);
  Put32(h, 0);
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= Get16(h, 2 * i);
  Put16(h, sum);
  h.insert(h.end(), wmf.begin(), wmf.end());
  return h;
}

// An EMF: a 108-byte header with the given bounds and frame, records, EMR_EOF.
class Emf {
 public:
  Emf& record(std::uint32_t type, const std::vector<long long>& dwords, const Bytes& raw = {}) {
    Bytes r;
    Put32(r, type);
    Put32(r, static_cast<long long>(8 + dwords.size() * 4 + (raw.size() + 3) / 4 * 4));
    for (long long d : dwords) Put32(r, d);
    r.insert(r.end(), raw.begin(), raw.end());
    while (r.size() % 4) r.push_back(0);
    body_.insert(body_.end(), r.begin(), r.end());
    ++count_;
    return *this;
  }
  Bytes finish(const std::vector<long long>& bounds, const std::vector<long long>& frame) const {
    Bytes out;
    Put32(out, 1);
    Put32(out, 108);
    for (long long v : bounds) Put32(out, v);
    for (long long v : frame) Put32(out, v);
    Put32(out, 0x464D4520);
    Put32(out, 0x10000);
    Put32(out, static_cast<long long>(108 + body_.size() + 20));
    Put32(out, count_ + 2);
    Put16(out, 1);
    Put16(out, 0);
    Put32(out, 0);  // no description
    Put32(out, 0);
    Put32(out, 0);
    for (long long v : {1024, 768, 320, 240}) Put32(out, v);
    for (int i = 0; i < 3; ++i) Put32(out, 0);
    Put32(out, 320000);
    Put32(out, 240000);
    out.insert(out.end(), body_.begin(), body_.end());
    Put32(out, 14);
    Put32(out, 20);
    Put32(out, 0);
    Put32(out, 16);
    Put32(out, 20);
    return out;
  }

 private:
  Bytes body_;
  long long count_ = 0;
};

// A packed DIB (40-byte header, palette, rows padded to 4 bytes) with a pattern.
inline Bytes PackedDib(int width, int height, int bits, int paletteEntries = -1, long long pelsPerMeter = 0) {
  const int entries = paletteEntries >= 0 ? paletteEntries : (bits <= 8 ? 1 << bits : 0);
  Bytes d;
  Put32(d, 40);
  Put32(d, width);
  Put32(d, height);
  Put16(d, 1);
  Put16(d, bits);
  Put32(d, 0);
  const long long stride = (static_cast<long long>(width) * bits + 31) / 32 * 4;
  Put32(d, stride * (height < 0 ? -height : height));
  Put32(d, pelsPerMeter);
  Put32(d, pelsPerMeter);
  Put32(d, paletteEntries >= 0 ? paletteEntries : 0);
  Put32(d, 0);
  for (int i = 0; i < entries; ++i) {
    d.push_back(static_cast<std::uint8_t>(i * 37));
    d.push_back(static_cast<std::uint8_t>(255 - i));
    d.push_back(static_cast<std::uint8_t>(i * 11));
    d.push_back(0);
  }
  const long long rows = height < 0 ? -height : height;
  for (long long i = 0; i < stride * rows; ++i) d.push_back(static_cast<std::uint8_t>((i * 29 + 7) & 0xFF));
  return d;
}

// A BMP file: file header, then the packed DIB, with `gap` bytes between the
// colour table and the bits.
inline Bytes BmpFile(const Bytes& packed, int bits, size_t gap = 0) {
  const size_t table = (bits <= 8 ? Get32(packed, 32) ? Get32(packed, 32) : (1u << bits) : Get32(packed, 32)) * 4;
  const size_t headerEnd = 14 + 40 + table;
  Bytes f;
  f.push_back('B');
  f.push_back('M');
  Put32(f, static_cast<long long>(14 + packed.size() + gap));
  Put32(f, 0);
  Put32(f, static_cast<long long>(headerEnd + gap));
  f.insert(f.end(), packed.begin(), packed.begin() + static_cast<long>(40 + table));
  f.insert(f.end(), gap, 0xAB);
  f.insert(f.end(), packed.begin() + static_cast<long>(40 + table), packed.end());
  return f;
}

class TempDir {
 public:
  explicit TempDir(const char* name = "helpertest") {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + ".XXXXXX")).string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  size_t entries() const { return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path_), {})); }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
inline void WriteText(const std::string& path, const std::string& text) {
  WriteFile(path, Bytes(text.begin(), text.end()));
}
inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Runs a program with exactly these arguments (no shell); extra "NAME=value"
// entries override the environment. The exit status, or -1.
inline int RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string entry(*e);
    bool overridden = false;
    for (const std::string& x : extraEnv)
      if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) overridden = true;
    if (!overridden) env.push_back(entry);
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool OnPath(const std::string& tool) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (::access((dirs.substr(start, end - start) + "/" + tool).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// A small EPS: a filled rectangle inside the given bounding box.
inline std::string SmallEps(int llx, int lly, int urx, int ury) {
  return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: " + std::to_string(llx) + " " + std::to_string(lly) + " " +
         std::to_string(urx) + " " + std::to_string(ury) + "\n%%EndComments\n0.2 0.4 0.8 setrgbcolor\n" +
         std::to_string(llx + 10) + " " + std::to_string(lly + 10) + " " + std::to_string(urx - llx - 20) + " " +
         std::to_string(ury - lly - 20) + " rectfill\nshowpage\n%%EOF\n";
}

}  // namespace testfiles

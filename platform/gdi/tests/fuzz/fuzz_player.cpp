// Feeds arbitrary bytes to the EMF player's record walk (a dry run: no drawing, no Qt),
// as an EMF and as the EMF a WMF turns into. The sink checks what the walker hands
// over: coordinates within the device range, point counts that add up, bitmaps whose
// bits are where they say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"
#include "platform/gdi/player_walk.h"

namespace {

using namespace vel::gdi::emfplay;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}
void CheckPoint(POINT p) {
  Check(std::abs(static_cast<double>(p.x)) <= kMaxDeviceCoordinate &&
        std::abs(static_cast<double>(p.y)) <= kMaxDeviceCoordinate);
}
void CheckRect(const RECT& r) {
  CheckPoint(POINT{r.left, r.top});
  CheckPoint(POINT{r.right, r.bottom});
  Check(r.left <= r.right && r.top <= r.bottom);
}

class CheckingSink : public Sink {
 public:
  void rectangle(const State& s, const RECT& r) override { CheckRect(r), state(s); }
  void roundRect(const State& s, const RECT& r, int, int) override { CheckRect(r), state(s); }
  void ellipse(const State& s, const RECT& r) override { CheckRect(r), state(s); }
  void arc(const State& s, ArcKind, const RECT& r, POINT a, POINT b) override {
    CheckRect(r);
    CheckPoint(a);
    CheckPoint(b);
    state(s);
  }
  void poly(const State& s, const std::vector<POINT>& pts, const std::vector<INT>& counts, bool) override {
    size_t sum = 0;
    for (INT c : counts) {
      Check(c >= 2);
      sum += static_cast<size_t>(c);
    }
    Check(sum == pts.size());
    for (POINT p : pts) CheckPoint(p);
    state(s);
  }
  void polyBezier(const State& s, const std::vector<POINT>& pts) override {
    Check(pts.size() >= 4 && (pts.size() - 1) % 3 == 0);
    state(s);
  }
  void polyBezierTo(const State& s, const std::vector<POINT>& pts) override {
    Check(!pts.empty() && pts.size() % 3 == 0);
    state(s);
  }
  void text(const State& s, POINT at, UINT, const std::optional<RECT>& rect, const std::string&, int) override {
    CheckPoint(at);
    if (rect) CheckRect(*rect);
    state(s);
  }
  void dib(const State& s, int, int, int wd, int hd, int, int, int, int, const BITMAPINFO* info, const BYTE* bits,
           size_t bitsSize, UINT, DWORD) override {
    Check(info && wd != 0 && hd != 0);
    Check(info->bmiHeader.biSize >= sizeof(BITMAPINFOHEADER));
    // Every byte the walker promises must be readable.
    volatile BYTE sum = 0;
    for (size_t i = 0; i < bitsSize; i += 4096) sum = sum + bits[i];
    if (bitsSize) sum = sum + bits[bitsSize - 1];
    state(s);
  }
  void patBlt(const State& s, const RECT& r, DWORD) override { CheckRect(r), state(s); }

 private:
  static void state(const State& s) {
    if (s.clip) CheckRect(*s.clip);
    Check(s.polyFillMode == ALTERNATE || s.polyFillMode == WINDING);
    Check(s.rop2 >= R2_BLACK && s.rop2 <= R2_WHITE);
  }
};

void WalkAll(const BYTE* data, size_t size, const RECT& dest) {
  CheckingSink sink;
  Stats stats;
  Walk(data, size, &dest, sink, &stats);
  Walk(data, size, nullptr, sink, &stats);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first bytes choose the destination, mirrored and empty ones included.
  RECT dest{0, 0, 640, 480};
  if (size >= 4) {
    dest = RECT{static_cast<int8_t>(data[0]), static_cast<int8_t>(data[1]), static_cast<int8_t>(data[2]) * 8,
                static_cast<int8_t>(data[3]) * 8};
  }
  WalkAll(data, size, dest);
  if (size >= 4) WalkAll(data + 4, size - 4, dest);
  // A WMF is played through its EMF translation.
  if (size < 0x7FFFFFFF) {
    if (HENHMETAFILE emf = SetWinMetaFileBits(static_cast<UINT>(size), data, nullptr, nullptr)) {
      if (const std::vector<BYTE>* bits = vel::gdi::emf::Bits(emf)) WalkAll(bits->data(), bits->size(), dest);
      DeleteEnhMetaFile(emf);
    }
  }
  return 0;
}

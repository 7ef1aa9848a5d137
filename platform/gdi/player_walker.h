// The EMF walker's internals, shared by its two halves: player_walk.cpp (mapping,
// state, objects) and player_walk_draw.cpp (shapes, text, bitmaps, clipping).
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/metafile_records.h"
#include "platform/gdi/player_walk.h"

namespace vel::gdi::emfplay::detail {

using namespace vel::gdi::emf;

constexpr DWORD RGN_AND = 1;
constexpr DWORD RGN_OR = 2;
constexpr DWORD RGN_COPY = 5;

inline bool Finite(const Affine& a) {
  for (double v : {a.m11, a.m12, a.m21, a.m22, a.dx, a.dy})
    if (!std::isfinite(v) || std::abs(v) > 1e12) return false;
  return true;
}

inline LONG Clamp(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<LONG>(std::lround(std::clamp(v, -kMaxDeviceCoordinate, kMaxDeviceCoordinate)));
}

inline RECT Normalized(RECT r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

inline std::optional<RECT> Intersect(const std::optional<RECT>& a, const RECT& b) {
  if (!a) return b;
  RECT r{std::max(a->left, b.left), std::max(a->top, b.top), std::min(a->right, b.right),
         std::min(a->bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
  return r;
}

std::string Utf8FromUtf16(const std::u16string& s);

class Walker {
 public:
  Walker(Sink& sink, const RECT* dest) : sink_(sink), dest_(dest ? std::optional<RECT>(*dest) : std::nullopt) {}
  bool header(const Record& r);
  // False when the record was skipped.
  bool play(const Record& r);

 private:
  // Record groups; nullopt for records of another group, else whether it played.
  std::optional<bool> mapping(const Record& r);
  std::optional<bool> attributes(const Record& r);
  std::optional<bool> objectRecord(const Record& r);
  std::optional<bool> clipping(const Record& r);
  std::optional<bool> drawing(const Record& r);
  void updateTransform();
  void setMapMode(int mode);
  POINT dev(double x, double y) const { return POINT{Clamp(st_.toDevice.mapX(x, y)), Clamp(st_.toDevice.mapY(x, y))}; }
  RECT devRect(const RECTL& r) const;
  bool devBox(const RECTL& r, RECT& out) const;
  bool points(vel::ByteReader& in, bool small, std::vector<POINT>& out);
  bool polyRecord(const Record& r, bool small);
  bool polyPolyRecord(const Record& r, bool small, bool closed);
  bool createObject(const Record& r);
  bool putObject(DWORD index, Object&& object);
  bool selectObject(DWORD index);
  bool text(const Record& r, bool wide);
  bool bitmapRecord(const Record& r);
  bool clipRegion(const Record& r);
  void trackPath(POINT p);
  void trackPath(const RECT& r) {
    trackPath(POINT{r.left, r.top});
    trackPath(POINT{r.right, r.bottom});
  }

  Sink& sink_;
  std::optional<RECT> dest_;
  Affine playback_;
  double refPixelsPerMmX_ = 1, refPixelsPerMmY_ = 1;
  State st_;
  std::vector<State> saved_;
  std::vector<ObjectRef> objects_;
  // The bounds of the path being recorded, for SELECTCLIPPATH.
  bool inPath_ = false;
  std::optional<RECT> pathBox_;
};

}  // namespace vel::gdi::emfplay::detail

// The recording DC, shared by the drawing code that has to hand it shapes and text.
#pragma once

#include <QPainterPath>
#include <QRect>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/gdi/font.h"
#include "platform/gdi/metafile_internal.h"

namespace vel::gdi {

class RecorderDC : public DrawingDevice {
 public:
  RecorderDC(HDC reference, const RECT* frame, std::string file);

  int caps(int index) const override { return caps_[index >= 0 && index < 128 ? index : 0]; }
  bool drawPixels(int xd, int yd, int wd, int hd, const PixelSource& src, int xs, int ys, int ws, int hs,
                  DWORD rop) override;
  bool fillRect(const RECT& rect, COLORREF color) override;
  bool strokeLine(int x0, int y0, int x1, int y1, const Pen& pen) override;
  bool setPixel(int x, int y, COLORREF color) override;

  // A shape in pixel coordinates, drawn with the selected pen and (closed) brush.
  bool recordShape(const QPainterPath& shape, bool closed);
  // One line of text whose cell starts at (left, top), in the selected font.
  bool recordText(const QString& text, int left, int top, const std::optional<QRect>& clip,
                  const std::optional<QRect>& fill);

  HENHMETAFILE finish();

 private:
  DWORD newHandle();
  void freeHandle(DWORD handle);
  DWORD createPen(const Pen* pen);  // kStock... for none
  DWORD createBrush(const Brush* brush);
  void select(DWORD handle) { record(emf::EMR_SELECTOBJECT, meta::Params().u32(handle)); }
  void release(DWORD handle);
  void record(DWORD type, const meta::Params& params) { writer_.record(type, params); }
  void grow(long long left, long long top, long long right, long long bottom);
  meta::Params boundsOf(long long left, long long top, long long right, long long bottom) const;

  meta::EmfWriter writer_;
  std::vector<bool> used_{true};  // handle 0 is the metafile itself
  std::optional<RECTL> frame_;
  std::string file_;
  int caps_[128] = {};
  bool any_ = false;
  long long left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

// The DC as a recorder, or null.
RecorderDC* AsRecorder(DeviceContext& dc);

}  // namespace vel::gdi

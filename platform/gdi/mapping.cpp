// Mapping modes and the text state of a device context.
//
// Drawing always takes device coordinates; the mapping mode only drives LPtoDP and
// DPtoLP, which the callers use to turn their measurements into device pixels.
#include <cmath>

#include "platform/gdi/dc.h"

namespace vel::gdi {
namespace {

// Device pixels per logical unit of MM_LOMETRIC (0.1 mm) on each axis, from the DC's
// own size in pixels and millimetres.
bool LometricScale(const DeviceContext& dc, double* sx, double* sy) {
  int hres = dc.caps(HORZRES), vres = dc.caps(VERTRES);
  int hsize = dc.caps(HORZSIZE), vsize = dc.caps(VERTSIZE);
  if (hres <= 0 || vres <= 0 || hsize <= 0 || vsize <= 0) return false;
  *sx = static_cast<double>(hres) / (hsize * 10.0);
  *sy = static_cast<double>(vres) / (vsize * 10.0);
  return true;
}

// Rounds half away from zero and keeps the answer a LONG; false when it does not fit.
bool RoundToLong(double v, LONG* out) {
  if (!std::isfinite(v) || std::abs(v) > 2147483647.0) return false;
  *out = static_cast<LONG>(std::lround(v));
  return true;
}

BOOL Convert(HDC dc, POINT* points, int count, bool toDevice) {
  DeviceContext* d = Live(dc);
  if (!d || count < 0 || (count > 0 && !points)) return FALSE;
  if (d->mapMode == MM_TEXT) return TRUE;
  double sx, sy;
  if (!LometricScale(*d, &sx, &sy)) return FALSE;
  if (!toDevice) {
    sx = 1.0 / sx;
    sy = 1.0 / sy;
  }
  for (int i = 0; i < count; ++i) {
    LONG x, y;
    // The logical y axis points up: both directions flip the sign after rounding.
    if (!RoundToLong(points[i].x * sx, &x) || !RoundToLong(points[i].y * sy, &y)) return FALSE;
    points[i].x = x;
    points[i].y = -y;
  }
  return TRUE;
}

}  // namespace
}  // namespace vel::gdi

using namespace vel::gdi;

int SetMapMode(HDC dc, int mode) {
  return ExchangeAttribute(dc, &DeviceContext::mapMode, mode, mode == MM_TEXT || mode == MM_LOMETRIC, 0);
}

int GetMapMode(HDC dc) { return ReadAttribute(dc, &DeviceContext::mapMode, 0); }

BOOL LPtoDP(HDC dc, POINT* points, int count) { return Convert(dc, points, count, true); }
BOOL DPtoLP(HDC dc, POINT* points, int count) { return Convert(dc, points, count, false); }

COLORREF SetTextColor(HDC dc, COLORREF color) {
  return ExchangeAttribute(dc, &DeviceContext::textColor, color & 0xFFFFFF, true, CLR_INVALID);
}

COLORREF GetTextColor(HDC dc) { return ReadAttribute(dc, &DeviceContext::textColor, CLR_INVALID); }

int SetBkMode(HDC dc, int mode) {
  return ExchangeAttribute(dc, &DeviceContext::bkMode, mode, mode == TRANSPARENT || mode == OPAQUE, 0);
}

int GetBkMode(HDC dc) { return ReadAttribute(dc, &DeviceContext::bkMode, 0); }

COLORREF SetBkColor(HDC dc, COLORREF color) {
  return ExchangeAttribute(dc, &DeviceContext::bkColor, color & 0xFFFFFF, true, CLR_INVALID);
}

COLORREF GetBkColor(HDC dc) { return ReadAttribute(dc, &DeviceContext::bkColor, CLR_INVALID); }

UINT SetTextAlign(HDC dc, UINT align) {
  return ExchangeAttribute<UINT>(dc, &DeviceContext::textAlign, align, true, GDI_ERROR);
}

UINT GetTextAlign(HDC dc) { return ReadAttribute<UINT>(dc, &DeviceContext::textAlign, GDI_ERROR); }

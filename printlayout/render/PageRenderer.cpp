#include "printlayout/render/PageRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/text.h"
#include "printlayout/macros/Macros.h"
#include "printlayout/model/Arithmetic.h"
#include "printlayout/model/BorderLines.h"
#include "printlayout/render/PictureCache.h"

namespace tessaly {

namespace {

// Through the device's 0.1-mm mapping mode, then the zoom.
POINT Lometric(HDC dc, std::int32_t x, std::int32_t y, double zoom) {
  POINT p{x, y};
  const int previous = SetMapMode(dc, MM_LOMETRIC);
  LPtoDP(dc, &p, 1);
  if (previous) SetMapMode(dc, previous);
  const double px = std::trunc(std::abs(static_cast<double>(p.x)) * zoom);
  const double py = std::trunc(std::abs(static_cast<double>(p.y)) * zoom);
  const double limit = 1 << 30;  // far beyond any device; keeps the ints valid
  POINT out;
  out.x = static_cast<LONG>(std::copysign(std::min(px, limit), x));
  out.y = static_cast<LONG>(std::copysign(std::min(py, limit), y));
  return out;
}

RECT Moved(RECT r, int dx, int dy) {
  r.left -= dx;
  r.right -= dx;
  r.top -= dy;
  r.bottom -= dy;
  return r;
}

// The three header or footer cells across the content.
RECT Cell(const RECT& content, int i, bool splitsSet, int split1, int split2) {
  RECT cell = content;
  if (splitsSet) {
    if (i == 0) cell.right = split1;
    if (i == 1) {
      cell.left = split1;
      cell.right = split2;
    }
    if (i == 2) cell.left = split2;
  }
  return cell;
}

constexpr UINT kCellAlign[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};

// The header or the footer: three cells of text that hang from the header line or
// stand on the footer line.
struct Band {
  bool footer;
  std::int32_t line;  // 0.1 mm from the top of the paper
  std::int32_t split1, split2;
  bool splitsSet;
  bool multiline;
  const std::array<TextFont, 3>& fonts;
  const std::array<std::string, 3>& texts;
  const vel::gdi::OwnedFont* deviceFonts;
};

Band HeaderBand(const Project& project, const RenderFonts& fonts) {
  return Band{false,
              project.headerDistance,
              project.headerSplit1,
              project.headerSplit2,
              project.headerSplitsSet != 0,
              project.headerMultiline != 0,
              project.headerFonts,
              project.headerTexts,
              fonts.header};
}

Band FooterBand(const Project& project, const RenderFonts& fonts) {
  return Band{true,
              project.pageHeight - project.footerDistance,
              project.footerSplit1,
              project.footerSplit2,
              project.footerSplitsSet != 0,
              project.footerMultiline != 0,
              project.footerFonts,
              project.footerTexts,
              fonts.footer};
}

void DrawBand(Project& project, const RenderRequest& r, const ProjectPage* page, const Band& band) {
  const int line = DeviceY(r.dc, band.line, r.zoom);
  const int split1 = DeviceX(r.dc, band.split1, r.zoom);
  const int split2 = DeviceX(r.dc, band.split2, r.zoom);
  const UINT vertical = band.footer ? DT_BOTTOM : DT_TOP;
  const UINT lines = band.multiline ? DT_WORDBREAK : DT_SINGLELINE;
  for (int i = 0; i < 3; ++i) {
    RECT cell = Cell(r.content, i, band.splitsSet, split1, split2);
    if (band.footer)
      cell.bottom = line;
    else
      cell.top = line;
    cell = Moved(cell, r.dx, r.dy);
    SelectObject(r.dc, band.deviceFonts[i].get());
    SetTextColor(r.dc, band.fonts[static_cast<size_t>(i)].colour);
    SetBkMode(r.dc, TRANSPARENT);
    const std::string text = expandMacros(project, band.texts[static_cast<size_t>(i)], page, nullptr);
    if (text.empty()) continue;
    const int n = static_cast<int>(text.size());
    if (band.footer && band.multiline) {
      // Wrapped footers grow upwards from their bottom line.
      RECT measure = cell;
      DrawTextA(r.dc, text.c_str(), n, &measure, kCellAlign[i] | DT_WORDBREAK | DT_CALCRECT);
      cell.top = cell.bottom - (measure.bottom - measure.top);
    }
    DrawTextA(r.dc, text.c_str(), n, &cell, kCellAlign[i] | vertical | lines);
  }
}

// One border line from (x0, y0) to (x1, y1) in the style of `code`.
void BorderLine(HDC dc, int code, int baseWidth, COLORREF colour, int x0, int y0, int x1, int y1) {
  const BorderLineStyle& style = BorderStyle(code);
  if (style.widthFactor == 0) return;
  DWORD dashes[8];
  for (int i = 0; i < style.dashCount; ++i) dashes[i] = static_cast<DWORD>(style.dashes[i] * baseWidth);
  const LOGBRUSH brush{BS_SOLID, colour, 0};
  const DWORD type = PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER | (style.dashCount ? PS_USERSTYLE : PS_SOLID);
  const vel::gdi::OwnedPen pen(ExtCreatePen(type, static_cast<DWORD>(baseWidth * style.widthFactor), &brush,
                                            static_cast<DWORD>(style.dashCount), style.dashCount ? dashes : nullptr));
  if (!pen) return;
  const vel::gdi::ScopedSelect select(dc, pen.get());
  if (style.doubleLine) {
    // Two strokes lying one base width on either side of the line.
    const int ox = (y0 == y1) ? 0 : baseWidth;
    const int oy = (y0 == y1) ? baseWidth : 0;
    for (int side : {-1, 1}) {
      MoveToEx(dc, x0 + side * ox, y0 + side * oy, nullptr);
      LineTo(dc, x1 + side * ox, y1 + side * oy);
    }
  } else {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
  }
}

bool Cancelled(const RenderRequest& r) { return r.progress && r.progress->cancelled(); }

bool DrawPlacement(Project& project, const RenderRequest& r, const ProjectPage* page, ImagePlacement& image,
                   int penWidth) {
  HDC dc = r.dc;
  const std::uint32_t lines = project.borderLines;
  // Stored boxes may hold any values; their far edges must not overflow.
  const auto edge = [](std::int32_t start, std::int32_t extent) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{start} + extent, INT32_MIN, INT32_MAX));
  };
  RECT box{DeviceX(dc, image.x, r.zoom), DeviceY(dc, image.y, r.zoom), DeviceX(dc, edge(image.x, image.width), r.zoom),
           DeviceY(dc, edge(image.y, image.height), r.zoom)};
  box = Moved(box, r.dx, r.dy);
  const int sx = DeviceX(dc, project.borderSpaceH, r.zoom);
  const int sy = DeviceY(dc, project.borderSpaceV, r.zoom);
  const int sdx = DeviceX(dc, project.shadowDx, r.zoom);
  const int sdy = DeviceY(dc, project.shadowDy, r.zoom);

  // The comment, one line centred under the picture; a blank keeps its height.
  std::string comment = expandMacros(project, image.comment, page, &image);
  if (comment.empty()) comment = " ";
  SelectObject(dc, r.fonts->images.get());
  SIZE extent{};
  GetTextExtentPoint32A(dc, comment.c_str(), static_cast<int>(comment.size()), &extent);
  RECT commentArea = box;
  if (BorderDrawn(lines, kEdgeLeftComment)) commentArea.left += sx;
  if (BorderDrawn(lines, kEdgeRightComment)) commentArea.right -= sx;
  if (BorderDrawn(lines, kEdgeUnderComment)) commentArea.bottom -= sy;
  commentArea.top = commentArea.bottom - extent.cy;
  SetTextColor(dc, project.imagesFont.colour);
  SetBkMode(dc, TRANSPARENT);
  const UINT oldAlign = SetTextAlign(dc, TA_CENTER | TA_TOP);
  ExtTextOutA(dc, (commentArea.left + commentArea.right) / 2, commentArea.top, ETO_CLIPPED, &box, comment.c_str(),
              static_cast<UINT>(comment.size()), nullptr);
  SetTextAlign(dc, oldAlign);

  // The picture area: the box less the border spaces, the comment and the shadow.
  RECT area = box;
  if (BorderDrawn(lines, kEdgeLeft)) area.left += sx;
  if (BorderDrawn(lines, kEdgeRight)) area.right -= sx;
  if (BorderDrawn(lines, kEdgeTop)) area.top += sy;
  area.bottom = commentArea.top - (BorderDrawn(lines, kEdgeUnderImage) ? sy : sy / 2);
  const int lineUnderPicture = area.bottom;
  if (sdx > 0)
    area.right -= sdx;
  else
    area.left -= sdx;
  if (sdy > 0)
    area.bottom -= sdy;
  else
    area.top -= sdy;

  // Fit the picture into the area, centred.
  const int a = area.right - area.left;
  const int b = area.bottom - area.top;
  const std::int64_t pw = image.pixelWidth;
  const std::int64_t ph = image.pixelHeight;
  RECT picture{};
  const bool drawable = a > 0 && b > 0 && pw > 0 && ph > 0;
  if (drawable) {
    int w, h;
    if (static_cast<std::int64_t>(a) * ph <= static_cast<std::int64_t>(b) * pw) {
      w = a;
      h = MulDiv(static_cast<std::int32_t>(ph), a, static_cast<std::int32_t>(pw));
    } else {
      w = MulDiv(static_cast<std::int32_t>(pw), b, static_cast<std::int32_t>(ph));
      h = b;
    }
    picture.left = area.left + (a - w) / 2;
    picture.top = area.top + (b - h) / 2;
    picture.right = picture.left + w;
    picture.bottom = picture.top + h;

    // The shadow, under the picture drawn next.
    if (sdx != 0 || sdy != 0) {
      RECT shadow{picture.left + sdx, picture.top + sdy, picture.right + sdx, picture.bottom + sdy};
      const vel::gdi::OwnedBrush brush(CreateSolidBrush(project.shadowColour));
      FillRect(dc, &shadow, brush.get());
    }
  }

  // Loading the picture is the slow part: a cancel stops before it.
  if (Cancelled(r)) return false;

  // The picture, loaded for this drawing only.
  if (drawable && r.pictures && !r.printer) {
    r.pictures->drawPicture(dc, picture, image);
  } else if (drawable) {
    CImageInterface picturefile;
    picturefile.Load(image.path.c_str(), 0);
    if (picturefile.IsLoaded()) {
      if (r.printer) {
        picturefile.PrintImage(dc, &picture, nullptr, image.plane);
      } else {
        picturefile.DrawImage(dc, &picture, nullptr, image.plane);
      }
    }
    picturefile.CloseHandle();
  }

  // Border lines, over the picture.
  const COLORREF colour = project.borderColour;
  BorderLine(dc, BorderCode(lines, kEdgeTop), penWidth, colour, box.left, box.top, box.right, box.top);
  BorderLine(dc, BorderCode(lines, kEdgeUnderImage), penWidth, colour, box.left, lineUnderPicture, box.right,
             lineUnderPicture);
  BorderLine(dc, BorderCode(lines, kEdgeUnderComment), penWidth, colour, box.left, box.bottom, box.right, box.bottom);
  BorderLine(dc, BorderCode(lines, kEdgeLeft), penWidth, colour, box.left, box.top, box.left, lineUnderPicture);
  BorderLine(dc, BorderCode(lines, kEdgeLeftComment), penWidth, colour, box.left, lineUnderPicture, box.left,
             box.bottom);
  BorderLine(dc, BorderCode(lines, kEdgeRight), penWidth, colour, box.right, box.top, box.right, lineUnderPicture);
  BorderLine(dc, BorderCode(lines, kEdgeRightComment), penWidth, colour, box.right, lineUnderPicture, box.right,
             box.bottom);

  if (r.progress) r.progress->step();
  return !Cancelled(r);
}

}  // namespace

RenderFonts::RenderFonts(const Project& project, int dpiY, double zoom) {
  for (size_t i = 0; i < 3; ++i) {
    LOGFONTA h = ToLogFont(project.headerFonts[i], dpiY, zoom);
    header[i].reset(CreateFontIndirectA(&h));
    LOGFONTA f = ToLogFont(project.footerFonts[i], dpiY, zoom);
    footer[i].reset(CreateFontIndirectA(&f));
  }
  LOGFONTA lf = ToLogFont(project.imagesFont, dpiY, zoom);
  images.reset(CreateFontIndirectA(&lf));
}

int DeviceX(HDC dc, std::int32_t tenthsMm, double zoom) { return Lometric(dc, tenthsMm, 0, zoom).x; }
int DeviceY(HDC dc, std::int32_t tenthsMm, double zoom) { return Lometric(dc, 0, tenthsMm, zoom).y; }

RECT ContentRect(const Project& project, HDC dc, double zoom) {
  return RECT{DeviceX(dc, project.marginLeft, zoom), DeviceY(dc, project.marginTop, zoom),
              DeviceX(dc, project.pageWidth - project.marginRight, zoom),
              DeviceY(dc, project.pageHeight - project.marginBottom, zoom)};
}

bool renderPage(Project& project, const RenderRequest& r) {
  if (!r.dc || !r.fonts || r.pageIndex < 0 || r.pageIndex >= static_cast<int>(project.pages.size())) return true;
  ProjectPage* page = project.pages[static_cast<size_t>(r.pageIndex)].get();
  const int saved = SaveDC(r.dc);
  DrawBand(project, r, page, HeaderBand(project, *r.fonts));
  DrawBand(project, r, page, FooterBand(project, *r.fonts));
  const int penWidth =
      std::max({DeviceX(r.dc, project.borderWidth, r.zoom), DeviceY(r.dc, project.borderWidth, r.zoom), 1});
  bool finished = true;
  // The list may not change while drawing; iterate by index all the same.
  for (size_t i = 0; i < page->placements.size(); ++i) {
    if (!DrawPlacement(project, r, page, *page->placements[i], penWidth)) {
      finished = false;
      break;
    }
  }
  RestoreDC(r.dc, saved);
  return finished;
}

}  // namespace tessaly

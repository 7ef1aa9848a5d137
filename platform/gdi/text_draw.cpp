// Drawing and measuring text on device contexts.
//
// Text is laid out here (prefixes, tabs, line breaks, word wrap, alignment) and then
// painted with Qt: straight onto a painter DC's painter, or, on a memory DC, onto a
// copy of just the rectangle the text touches, which is written back through the
// bitmap code so every depth and palette is handled the same way as blits are.
// Pages are large (2480 x 3508 at 300 dpi), so nothing outside that rectangle moves.
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <algorithm>
#include <limits>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/bitmap_painting.h"
#include "platform/gdi/painter_device.h"
#include "platform/gdi/recorder_device.h"
#include "platform/gdi/text.h"

namespace vel::gdi {
namespace {

// Longer texts come from bad input; they would only make layout slow.
constexpr size_t kMaxTextBytes = 1 << 20;
constexpr int kTabColumns = 8;

// ---- decoding -----------------------------------------------------------------------

bool IsUtf8(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else
      return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    // No overlong forms, surrogates or code points past U+10FFFF.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

// Windows-1252's characters for 0x80..0x9F; the rest of the range is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString Decode(const char* text, size_t n) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  if (IsUtf8(s, n)) return QString::fromUtf8(text, static_cast<qsizetype>(n));
  QString out;
  out.reserve(static_cast<qsizetype>(n));
  for (size_t i = 0; i < n; ++i)
    out.append(QChar(s[i] >= 0x80 && s[i] < 0xA0 ? kCp1252High[s[i] - 0x80] : static_cast<char16_t>(s[i])));
  return out;
}

// ---- fonts --------------------------------------------------------------------------

struct FontInfo {
  QFont font;
  TEXTMETRICA tm;
};

// Faces that only come as bitmaps (wine's "System", "MS Sans Serif", "Courier") do
// not scale to printer resolutions and cannot be embedded in PDF files; text in them
// is measured and drawn in the metric-compatible outline face of the same pitch.
LOGFONTA Scalable(const LOGFONTA& lf, const QString& family) {
  if (QFontDatabase::isSmoothlyScalable(family)) return lf;
  LOGFONTA out = lf;
  const bool fixed = QFontInfo(QFont(family)).fixedPitch();
  std::memset(out.lfFaceName, 0, sizeof out.lfFaceName);
  std::strcpy(out.lfFaceName, fixed ? "Courier New" : "Arial");
  return out;
}

// The Qt font for a logical font, sized so its em matches GetFontMetrics'.
std::optional<FontInfo> FontFor(const LOGFONTA& requested) {
  static std::mutex mutex;
  static std::map<std::string, FontInfo> cache;
  const std::string key(reinterpret_cast<const char*>(&requested), sizeof requested);
  {
    std::lock_guard lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
  }
  const std::string requestedFace(requested.lfFaceName, strnlen(requested.lfFaceName, LF_FACESIZE));
  const LOGFONTA lf = Scalable(requested, QString::fromStdString(ResolveFace(requestedFace)));
  FontInfo info;
  if (!GetFontMetrics(lf, &info.tm)) return std::nullopt;
  const std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  QFont font(QString::fromStdString(ResolveFace(face)));
  font.setPixelSize(std::max<LONG>(1, info.tm.tmHeight - info.tm.tmInternalLeading));
  const LONG weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<LONG>(lf.lfWeight, 1, 1000);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(lf.lfItalic != 0);
  font.setUnderline(lf.lfUnderline != 0);
  font.setStrikeOut(lf.lfStrikeOut != 0);
  // The metrics are design metrics; GDI does not kern unless asked.
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(false);
  info.font = font;
  std::lock_guard lock(mutex);
  if (cache.size() > 256) cache.clear();
  cache.emplace(key, info);
  return info;
}

std::optional<FontInfo> SelectedFont(const DeviceContext& dc) {
  const Font* f = dc.font ? dc.font : static_cast<Font*>(GetStockObject(SYSTEM_FONT));
  return FontFor(f->logFont);
}

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// A RECT as a QRect, kept inside a range where Qt's int arithmetic cannot overflow
// (no device is anywhere near that large).
QRect ToQRect(const RECT& r) {
  static constexpr long long kLimit = 1 << 28;
  auto c = [](LONG v) { return static_cast<int>(std::clamp<long long>(v, -kLimit, kLimit)); };
  return QRect(QPoint(c(r.left), c(r.top)), QPoint(c(r.right) - 1, c(r.bottom) - 1));
}

// Lines placed further out than this cannot be on any device; they are left out so
// the rectangle arithmetic below stays inside int.
constexpr double kFarAway = 1 << 28;
bool Reachable(double x, double top) { return std::abs(x) < kFarAway && std::abs(top) < kFarAway; }

// ---- layout ---------------------------------------------------------------------------

// A line as it is measured and drawn: tab-separated segments when tabs are expanded.
struct Measurer {
  QFontMetricsF metrics;
  bool expandTabs;
  double tabWidth;
  double width(const QString& s) const {
    if (!expandTabs || !s.contains(u'\t')) return metrics.horizontalAdvance(s);
    double x = 0;
    const QStringList parts = s.split(u'\t');
    for (qsizetype i = 0; i < parts.size(); ++i) {
      if (i > 0) x = nextTab(x);
      x += metrics.horizontalAdvance(parts[i]);
    }
    return x;
  }
  double nextTab(double x) const { return tabWidth > 0 ? (std::floor(x / tabWidth) + 1) * tabWidth : x; }
};

struct Line {
  QString text;
  std::vector<int> underlined;  // indices into text
};

// "&x" underlines x, "&&" is one "&", a lone "&" at the end vanishes.
Line StripPrefixes(const QString& s, bool prefixes) {
  Line line;
  if (!prefixes) {
    line.text = s;
    return line;
  }
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] != u'&') {
      line.text.append(s[i]);
      continue;
    }
    if (i + 1 >= s.size()) break;
    ++i;
    if (s[i] != u'&') line.underlined.push_back(static_cast<int>(line.text.size()));
    line.text.append(s[i]);
  }
  return line;
}

Line Slice(const Line& line, qsizetype from, qsizetype to) {
  Line out;
  out.text = line.text.mid(from, to - from);
  for (int u : line.underlined)
    if (u >= from && u < to) out.underlined.push_back(static_cast<int>(u - from));
  return out;
}

// Breaks a paragraph into lines no wider than `width`: at blanks where it can, inside
// a word that alone is too wide. Widths add up per character (no kerning), so the
// whole paragraph is measured once.
void Wrap(const Line& para, double width, const Measurer& m, std::vector<Line>& out) {
  const QString& s = para.text;
  const qsizetype n = s.size();
  if (n == 0) {
    out.push_back(para);
    return;
  }
  std::vector<double> x(static_cast<size_t>(n) + 1, 0.0);
  for (qsizetype i = 0; i < n; ++i) {
    double w = s[i] == u'\t' && m.expandTabs ? m.nextTab(x[i]) - x[i] : m.metrics.horizontalAdvance(s[i]);
    x[static_cast<size_t>(i) + 1] = x[static_cast<size_t>(i)] + w;
  }
  auto span = [&](qsizetype a, qsizetype b) { return x[static_cast<size_t>(b)] - x[static_cast<size_t>(a)]; };
  qsizetype pos = 0;
  while (pos < n) {
    qsizetype lineEnd = pos, i = pos;
    bool rest = false;  // only blanks remain
    while (true) {
      qsizetype k = i;
      while (k < n && s[k] == u' ') ++k;
      qsizetype j = k;
      while (j < n && s[j] != u' ') ++j;
      if (j == k) {
        rest = true;
        break;
      }
      if (span(pos, j) > width + 1e-9) break;
      lineEnd = j;
      i = j;
    }
    qsizetype next;
    if (rest && lineEnd == pos) {
      // Nothing but blanks left: they make no line of their own after a break.
      if (!out.empty() && pos > 0) break;
      lineEnd = n;
      next = n;
    } else if (lineEnd == pos) {
      // The first word alone is too wide: as many characters as fit, at least one.
      qsizetype m2 = pos + 1;
      while (m2 < n && span(pos, m2 + 1) <= width + 1e-9) ++m2;
      lineEnd = m2;
      next = m2;
    } else {
      next = lineEnd;
      while (next < n && s[next] == u' ') ++next;
    }
    out.push_back(Slice(para, pos, lineEnd));
    pos = next;
  }
}

// ---- drawing --------------------------------------------------------------------------

struct Segment {
  double dx;
  QString text;
};

struct PlacedLine {
  double x = 0;  // left end
  int top = 0;   // top of the cell
  double width = 0;
  std::vector<Segment> segments;
  std::vector<std::pair<double, double>> underlines;  // start (from x), width
};

struct TextJob {
  FontInfo font;
  COLORREF color = 0;
  bool opaque = false;
  COLORREF background = RGB(255, 255, 255);
  std::vector<PlacedLine> lines;
  std::optional<QRect> clip;
  std::optional<QRect> fill;  // ETO_OPAQUE's rectangle, drawn before the clip applies
};

PlacedLine Place(const Line& line, double x, int top, const Measurer& m) {
  PlacedLine p;
  p.x = x;
  p.top = top;
  p.width = m.width(line.text);
  if (m.expandTabs && line.text.contains(u'\t')) {
    double at = 0;
    const QStringList parts = line.text.split(u'\t');
    for (qsizetype i = 0; i < parts.size(); ++i) {
      if (i > 0) at = m.nextTab(at);
      p.segments.push_back({at, parts[i]});
      at += m.metrics.horizontalAdvance(parts[i]);
    }
  } else {
    p.segments.push_back({0, line.text});
  }
  for (int u : line.underlined) {
    double from = m.width(line.text.left(u));
    double w = m.metrics.horizontalAdvance(line.text[u]);
    p.underlines.emplace_back(from, w);
  }
  return p;
}

QRect Bounds(const TextJob& job) {
  QRect r;
  const int height = job.font.tm.tmHeight;
  // Italic and overhanging glyphs reach past their advance; a margin keeps them whole.
  const int margin = std::max(2, height / 2);
  for (const PlacedLine& l : job.lines) {
    r |= QRect(static_cast<int>(std::floor(l.x)) - margin, l.top - margin / 2,
               static_cast<int>(std::ceil(l.width)) + 2 * margin, height + margin);
  }
  if (job.clip) r &= *job.clip;
  if (job.fill) r |= *job.fill;
  return r;
}

void Paint(QPainter* p, const TextJob& job) {
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setRenderHint(QPainter::TextAntialiasing, true);
  if (job.fill) p->fillRect(*job.fill, ToQColor(job.background));
  if (job.clip) p->setClipRect(*job.clip, p->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  const TEXTMETRICA& tm = job.font.tm;
  QFontMetricsF metrics(job.font.font);
  const double underlinePos = std::max(1.0, metrics.underlinePos());
  const double underlineWidth = std::max(1.0, std::round(metrics.lineWidth()));
  p->setFont(job.font.font);
  p->setPen(ToQColor(job.color));
  for (const PlacedLine& l : job.lines) {
    if (job.opaque && l.width > 0)
      p->fillRect(QRectF(l.x, l.top, std::round(l.width), tm.tmHeight), ToQColor(job.background));
    const double baseline = l.top + tm.tmAscent;
    for (const Segment& s : l.segments)
      if (!s.text.isEmpty()) p->drawText(QPointF(l.x + s.dx, baseline), s.text);
    for (const auto& [from, w] : l.underlines)
      p->fillRect(QRectF(std::round(l.x + from), std::round(baseline + underlinePos), std::max(1.0, std::round(w)),
                         underlineWidth),
                  ToQColor(job.color));
  }
}

// Paints onto the bitmap of a memory DC through a copy of the touched rectangle;
// only pixels the painting changed are written back.
bool PaintOnBitmap(Bitmap& bitmap, const TextJob& job) {
  const BitmapView view = bitmap.view();
  QRect area = Bounds(job) & QRect(0, 0, view.width, view.height);
  return PaintBitmapArea(view, area, [&](QPainter& painter) { Paint(&painter, job); });
}

bool Render(DeviceContext& dc, const TextJob& job) {
  if (RecorderDC* recorder = AsRecorder(dc)) {
    bool first = true;
    for (const PlacedLine& line : job.lines) {
      QString text;
      for (const Segment& segment : line.segments) text += segment.text;
      if (!recorder->recordText(text, static_cast<int>(std::floor(line.x)), line.top, job.clip,
                                first ? job.fill : std::nullopt))
        return false;
      first = false;
    }
    return true;
  }
  if (auto* pdc = dynamic_cast<PainterDC*>(&dc)) {
    if (!pdc->painter) return true;
    pdc->painter->save();
    Paint(pdc->painter, job);
    pdc->painter->restore();
    return true;
  }
  // A DC without a bitmap to draw on (the screen DC) measures only.
  if (!dc.isMemory() || !dc.bitmap) return true;
  return PaintOnBitmap(*dc.bitmap, job);
}

bool TextBytes(LPCSTR text, int count, size_t* n) {
  if (!text) return count == 0 ? (*n = 0, true) : false;
  size_t len = count < 0 ? strnlen(text, kMaxTextBytes + 1) : static_cast<size_t>(count);
  if (len > kMaxTextBytes) return false;
  *n = len;
  return true;
}

// The one-line text of TextOut and ExtTextOut, placed by the DC's alignment.
bool OutputLine(DeviceContext& dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, size_t n) {
  auto font = SelectedFont(dc);
  if (!font) return false;
  TextJob job;
  job.font = *font;
  job.color = dc.textColor;
  job.opaque = dc.bkMode == OPAQUE;
  job.background = dc.bkColor;
  if (rect && (options & ETO_OPAQUE) && rect->left < rect->right && rect->top < rect->bottom) job.fill = ToQRect(*rect);
  if (rect && (options & ETO_CLIPPED)) job.clip = ToQRect(*rect);
  const QString s = Decode(text, n);
  Measurer m{QFontMetricsF(font->font), false, 0};
  const double width = m.width(s);
  const UINT align = dc.textAlign;
  double left = x;
  if ((align & TA_CENTER) == TA_CENTER)
    left = x - std::round(width) / 2;
  else if (align & TA_RIGHT)
    left = x - std::round(width);
  long long top = y;
  if ((align & TA_BASELINE) == TA_BASELINE)
    top = y - font->tm.tmAscent;
  else if (align & TA_BOTTOM)
    top = y - font->tm.tmHeight;
  if (!s.isEmpty() && Reachable(left, static_cast<double>(top)))
    job.lines.push_back(Place(Line{s, {}}, std::floor(left), static_cast<int>(top), m));
  return Render(dc, job);
}

}  // namespace
}  // namespace vel::gdi

using namespace vel::gdi;

int DrawTextA(HDC dc, LPCSTR text, int count, RECT* rect, UINT format) {
  DeviceContext* d = Live(dc);
  size_t n = 0;
  if (!d || !rect || !TextBytes(text, count, &n)) return 0;
  try {
    auto font = SelectedFont(*d);
    if (!font) return 0;
    const TEXTMETRICA& tm = font->tm;
    const bool single = format & DT_SINGLELINE;
    if (n == 0) {
      if (format & DT_CALCRECT) {
        rect->right = rect->left;
        rect->bottom = single ? rect->top + tm.tmHeight : rect->top;
      }
      return 0;
    }
    Measurer m{QFontMetricsF(font->font), (format & DT_EXPANDTABS) != 0,
               static_cast<double>(kTabColumns) * std::max<LONG>(1, tm.tmAveCharWidth)};
    const bool prefixes = !(format & DT_NOPREFIX);
    QString s = Decode(text, n);
    std::vector<Line> lines;
    if (single) {
      s.replace(u'\r', u' ').replace(u'\n', u' ');
      lines.push_back(StripPrefixes(s, prefixes));
    } else {
      const double width = static_cast<double>(rect->right) - rect->left;
      s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
      for (const QString& para : s.split(u'\n')) {
        Line l = StripPrefixes(para, prefixes);
        if (format & DT_WORDBREAK)
          Wrap(l, width, m, lines);
        else
          lines.push_back(std::move(l));
      }
    }
    const int height = static_cast<int>(std::min<size_t>(lines.size() * static_cast<size_t>(tm.tmHeight), 1 << 30));
    if (format & DT_CALCRECT) {
      double widest = 0;
      for (const Line& l : lines) widest = std::max(widest, m.width(l.text));
      if (!(format & DT_WORDBREAK) || single) rect->right = rect->left + static_cast<LONG>(std::lround(widest));
      rect->bottom = rect->top + height;
      return height;
    }
    int top = rect->top;
    int result = height;
    // Extreme rectangles must not overflow: the distances are taken in 64 bits.
    const auto clampInt = [](long long v) {
      return static_cast<int>(
          std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    if (single && (format & DT_VCENTER)) {
      top = clampInt((static_cast<long long>(rect->top) + rect->bottom - tm.tmHeight) / 2);
      result = clampInt(static_cast<long long>(top) - rect->top + tm.tmHeight);
    } else if (single && (format & DT_BOTTOM)) {
      top = clampInt(static_cast<long long>(rect->bottom) - tm.tmHeight);
      result = clampInt(static_cast<long long>(rect->bottom) - rect->top);
    }
    TextJob job;
    job.font = *font;
    job.color = d->textColor;
    job.opaque = d->bkMode == OPAQUE;
    job.background = d->bkColor;
    if (!(format & DT_NOCLIP)) {
      if (rect->left >= rect->right || rect->top >= rect->bottom) return result;
      job.clip = ToQRect(*rect);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
      const long long lineTop = static_cast<long long>(top) + static_cast<long long>(i) * tm.tmHeight;
      // Lines wholly below a clipped rectangle are not laid out at all.
      if (job.clip && lineTop > rect->bottom) break;
      const double w = std::round(m.width(lines[i].text));
      double x = rect->left;
      if (format & DT_CENTER)
        x = std::floor((static_cast<double>(rect->left) + rect->right - w) / 2);
      else if (format & DT_RIGHT)
        x = rect->right - w;
      if (Reachable(x, static_cast<double>(lineTop)))
        job.lines.push_back(Place(lines[i], x, static_cast<int>(lineTop), m));
    }
    return Render(*d, job) ? result : 0;
  } catch (...) {
    return 0;
  }
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count) {
  return ExtTextOutA(dc, x, y, 0, nullptr, text, count < 0 ? 0u : static_cast<UINT>(count), nullptr) && count >= 0;
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT*) {
  DeviceContext* d = Live(dc);
  size_t n = 0;
  if (!d || count > kMaxTextBytes || !TextBytes(text, static_cast<int>(count), &n)) return FALSE;
  try {
    return OutputLine(*d, x, y, options, rect, text, n) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE* size) {
  DeviceContext* d = Live(dc);
  size_t n = 0;
  if (!d || !size || count < 0 || !TextBytes(text, count, &n)) return FALSE;
  try {
    auto font = SelectedFont(*d);
    if (!font) return FALSE;
    QFontMetricsF metrics(font->font);
    size->cx = static_cast<LONG>(std::lround(metrics.horizontalAdvance(Decode(text, n))));
    size->cy = font->tm.tmHeight;
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  DeviceContext* d = Live(dc);
  if (!d || !metrics) return FALSE;
  try {
    auto font = SelectedFont(*d);
    if (!font) return FALSE;
    *metrics = font->tm;
    return TRUE;
  } catch (...) {
    return FALSE;
  }
}

// Text metrics of logical fonts, measured through Qt's font engine.
//
// Heights follow GDI, which takes a TrueType face's vertical extent from the
// OS/2 table's Windows ascent and descent (not the typographic values Qt's own
// metrics may prefer): reading those tables keeps line heights the same as the
// layouts were designed with. Measuring happens once at a large pixel size and
// is scaled, so a 1-unit font keeps the proportions of a 1000-unit one.
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QRawFont>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/gdi/font.h"
#include "platform/ui/ui.h"

namespace vel::gdi {
namespace {

constexpr double kReferenceEm = 1000.0;  // pixel size the faces are measured at
// Logical heights beyond this come from bad input; their metrics would not fit a LONG.
constexpr double kMaxHeight = 1e8;

constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE TMPF_FIXED_PITCH = 0x01;  // set for proportional faces, as in GDI
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

// A face's measurements at kReferenceEm pixels per em.
struct Reference {
  double ascent = 0;
  double descent = 0;
  double externalLeading = 0;
  double aveCharWidth = 0;
  double maxCharWidth = 0;
  bool fixedPitch = false;
};

int BigEndian16(const QByteArray& table, int offset, bool isSigned) {
  auto hi = static_cast<unsigned char>(table[offset]);
  auto lo = static_cast<unsigned char>(table[offset + 1]);
  int v = (hi << 8) | lo;
  return isSigned && v >= 0x8000 ? v - 0x10000 : v;
}

// Replaces Qt's ascent, descent, leading and average width by the values GDI derives from the
// OS/2 and hhea tables, when the face has them.
void ApplyWindowsMetrics(const QFont& font, Reference& ref) {
  QRawFont raw = QRawFont::fromFont(font);
  if (!raw.isValid()) return;
  const double unitsPerEm = raw.unitsPerEm();
  const QByteArray os2 = raw.fontTable("OS/2");
  if (unitsPerEm <= 0 || os2.size() < 78) return;
  const int winAscent = BigEndian16(os2, 74, false);
  const int winDescent = BigEndian16(os2, 76, false);
  if (winAscent + winDescent <= 0) return;
  const double scale = kReferenceEm / unitsPerEm;
  ref.ascent = winAscent * scale;
  ref.descent = winDescent * scale;
  // GDI's average width is the table's, not an average Qt works out over some glyphs.
  const int avgCharWidth = BigEndian16(os2, 2, true);
  if (avgCharWidth > 0) ref.aveCharWidth = avgCharWidth * scale;
  const QByteArray hhea = raw.fontTable("hhea");
  if (hhea.size() >= 10) {
    const int ascender = BigEndian16(hhea, 4, true);
    const int descender = BigEndian16(hhea, 6, true);
    const int lineGap = BigEndian16(hhea, 8, true);
    // GDI's external leading: the line gap less what the Windows extent already adds.
    const int gap = lineGap - ((winAscent + winDescent) - (ascender - descender));
    ref.externalLeading = std::max(0, gap) * scale;
  } else {
    ref.externalLeading = 0;
  }
}

bool Measure(const LOGFONTA& lf, Reference& ref) {
  const std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
  QFont font(QString::fromStdString(ResolveFace(face)));
  font.setPixelSize(static_cast<int>(kReferenceEm));
  font.setHintingPreference(QFont::PreferNoHinting);
  const LONG weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<LONG>(lf.lfWeight, 1, 1000);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(lf.lfItalic != 0);
  QFontMetricsF metrics(font);
  ref.ascent = metrics.ascent();
  ref.descent = metrics.descent();
  ref.externalLeading = std::max(0.0, metrics.leading());
  ref.aveCharWidth = metrics.averageCharWidth();
  ref.maxCharWidth = metrics.maxWidth();
  ref.fixedPitch = QFontInfo(font).fixedPitch();
  ApplyWindowsMetrics(font, ref);
  return ref.ascent + ref.descent > 0;
}

LONG Round(double v) { return static_cast<LONG>(std::lround(v)); }

}  // namespace

std::string ResolveFace(const std::string& face) {
  vel::ui::EnsureApplication();
  QFont font(QString::fromStdString(face.empty() ? std::string("Arial") : face));
  return QFontInfo(font).family().toStdString();
}

bool GetFontMetrics(const LOGFONTA& font, TEXTMETRICA* out) {
  if (!out || font.lfHeight == 0) return false;
  const double height = std::abs(static_cast<double>(font.lfHeight));
  if (height > kMaxHeight) return false;
  try {
    Reference ref;
    if (!Measure(font, ref)) return false;
    const double cell = ref.ascent + ref.descent;
    // Negative: the em is given. Positive: the cell is given, the em follows from it.
    const double scale = font.lfHeight < 0 ? height / kReferenceEm : height / cell;
    TEXTMETRICA tm;
    tm.tmHeight = Round(cell * scale);
    tm.tmAscent = Round(ref.ascent * scale);
    tm.tmDescent = tm.tmHeight - tm.tmAscent;
    tm.tmInternalLeading = tm.tmHeight - Round(kReferenceEm * scale);
    tm.tmExternalLeading = Round(ref.externalLeading * scale);
    tm.tmAveCharWidth = font.lfWidth > 0 ? font.lfWidth : Round(ref.aveCharWidth * scale);
    const double widthScale = font.lfWidth > 0 && ref.aveCharWidth > 0 ? font.lfWidth / (ref.aveCharWidth * scale) : 1;
    tm.tmMaxCharWidth = Round(ref.maxCharWidth * scale * widthScale);
    tm.tmWeight = font.lfWeight == FW_DONTCARE ? FW_NORMAL : font.lfWeight;
    tm.tmItalic = font.lfItalic ? 1 : 0;
    tm.tmUnderlined = font.lfUnderline ? 1 : 0;
    tm.tmStruckOut = font.lfStrikeOut ? 1 : 0;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmPitchAndFamily = TMPF_VECTOR | TMPF_TRUETYPE | (ref.fixedPitch ? 0 : TMPF_FIXED_PITCH);
    tm.tmCharSet = font.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : font.lfCharSet;
    *out = tm;
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vel::gdi

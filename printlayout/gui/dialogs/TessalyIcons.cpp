// Tool-bar and menu icons of the print-layout window.
#include "printlayout/gui/dialogs/TessalyIcons.h"

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "platform/ui/icons.h"

namespace tessaly {
namespace {

// Tool bars use 22 or 24 pixels, menus 16, large tool bars 32 or 48; each size
// is drawn on its own so that edges fall on whole pixels.
constexpr int kSizes[] = {16, 22, 24, 32, 48};
constexpr double kGrid = 24.0;  // the design grid every drawing is laid out on
constexpr int kTintAlpha = 56;  // interior of a box, so boxes read as solid shapes

// One pixmap of one icon. Shapes are laid out on a 24-unit grid, snapped to
// whole pixels, and drawn for the "left / horizontal" design; `mirror` flips
// them left-to-right and `transpose` swaps the axes, which gives the right,
// top and bottom variants from the same drawing with identical pixels.
class Canvas {
 public:
  Canvas(QPainter& painter, int size, const QColor& ink, bool transpose, bool mirror)
      : size(size), t(std::max(1, size / 16)), ink(ink), p_(painter), transpose_(transpose), mirror_(mirror) {
    tint = ink;
    tint.setAlpha(kTintAlpha);
  }

  const int size;
  const int t;  // stroke width in pixels
  const QColor ink;
  QColor tint;

  int g(double v) const { return static_cast<int>(std::lround(v * size / kGrid)); }
  // The grid rectangle from (x0, y0) to (x1, y1), in pixels.
  QRect rect(double x0, double y0, double x1, double y1) const {
    return QRect(g(x0), g(y0), std::max(g(x1) - g(x0), 1), std::max(g(y1) - g(y0), 1));
  }
  // A line through the exact middle: one pixel wider than the stroke where
  // the stroke alone cannot be centred on an even number of pixels.
  int midWidth() const { return t + ((size - t) & 1); }
  int mid() const { return (size - midWidth()) / 2; }

  void fill(const QRect& r, const QColor& colour) { p_.fillRect(place(r), colour); }
  void solid(const QRect& r) { fill(r, ink); }
  void outline(const QRect& r) {
    solid(QRect(r.left(), r.top(), r.width(), t));
    solid(QRect(r.left(), r.top() + r.height() - t, r.width(), t));
    solid(QRect(r.left(), r.top(), t, r.height()));
    solid(QRect(r.left() + r.width() - t, r.top(), t, r.height()));
  }
  // An outlined box with a tinted interior.
  void box(const QRect& r) {
    fill(r.adjusted(t, t, -t, -t), tint);
    outline(r);
  }
  void polygon(const QPolygonF& points, const QColor& colour) {
    QPolygonF placed;
    for (const QPointF& pt : points) placed << place(pt);
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing);
    p_.setPen(Qt::NoPen);
    p_.setBrush(colour);
    p_.drawPolygon(placed);
    p_.restore();
  }
  // A two-headed arrow from pixel x0 to x1 on the t-wide row starting at y.
  void arrowAcross(int x0, int x1, int y) {
    const double head = std::max(2.5, size / 7.0);
    const double c = y + t / 2.0;
    solid(QRect(x0 + static_cast<int>(head) - 1, y, x1 - x0 - 2 * static_cast<int>(head) + 2, t));
    polygon({QPointF(x0, c), QPointF(x0 + head, c - head), QPointF(x0 + head, c + head)}, ink);
    polygon({QPointF(x1, c), QPointF(x1 - head, c - head), QPointF(x1 - head, c + head)}, ink);
  }
  // An arrow line from a to b (pixels) with its head at b.
  void arrowTo(QPointF a, QPointF b) {
    const QPointF d = b - a;
    const double length = std::hypot(d.x(), d.y());
    if (length <= 0) return;
    const QPointF u = d / length, n(-u.y(), u.x());
    const double head = std::max(3.0, size / 5.0);
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing);
    p_.setPen(QPen(ink, t, Qt::SolidLine, Qt::FlatCap));
    p_.drawLine(place(a), place(b - u * head * 0.8));
    p_.restore();
    polygon({b, b - u * head + n * head * 0.6, b - u * head - n * head * 0.6}, ink);
  }
  QPainter& painter() { return p_; }

 private:
  QRect place(QRect r) const {
    if (mirror_) r.moveLeft(size - r.left() - r.width());
    if (transpose_) r = QRect(r.top(), r.left(), r.height(), r.width());
    return r;
  }
  QPointF place(QPointF pt) const {
    if (mirror_) pt.setX(size - pt.x());
    if (transpose_) pt = QPointF(pt.y(), pt.x());
    return pt;
  }

  QPainter& p_;
  const bool transpose_, mirror_;
};

using Drawing = std::function<void(Canvas&)>;

// ---- the layout commands ----------------------------------------------------

// A guide line on the left with two boxes against it.
void AlignEdge(Canvas& c) {
  c.solid(QRect(c.g(3), c.g(2), c.t, c.g(22) - c.g(2)));
  c.box(c.rect(5.5, 4, 20.5, 10));
  c.box(c.rect(5.5, 14, 14.5, 20));
}

// A guide line through the middle with two boxes centred on it.
void AlignCentre(Canvas& c) {
  c.solid(QRect(c.mid(), c.g(2), c.midWidth(), c.g(22) - c.g(2)));
  const auto centred = [&c](double half, double y0, double y1) {
    const int h = c.g(half);
    c.box(QRect(c.mid() - h, c.g(y0), 2 * h + c.midWidth(), c.g(y1) - c.g(y0)));
  };
  centred(8, 4, 10);
  centred(5, 14, 20);
}

// Three boxes of different widths with equal gaps between the two guides.
void SpaceEvenly(Canvas& c) {
  const int a = c.g(2) + c.t, b = c.size - c.g(2) - c.t;
  c.solid(QRect(c.g(2), c.g(3), c.t, c.g(21) - c.g(3)));
  c.solid(QRect(b, c.g(3), c.t, c.g(21) - c.g(3)));
  const int w1 = c.g(4), w2 = c.g(3), w3 = c.g(4), s = c.t;
  const int gap = (b - a - 2 * s - w1 - w2 - w3) / 2;
  const int x1 = a + s, x2 = x1 + w1 + gap, x3 = b - s - w3;
  c.box(QRect(x1, c.g(7), w1, c.g(17) - c.g(7)));
  c.box(QRect(x2, c.g(5), w2, c.g(19) - c.g(5)));
  c.box(QRect(x3, c.g(9), w3, c.g(15) - c.g(9)));
}

// Two boxes of one width under a measuring arrow.
void SameWidth(Canvas& c) {
  c.arrowAcross(c.g(3), c.g(21), c.g(4));
  c.box(c.rect(3, 9, 21, 14));
  c.box(c.rect(3, 17, 21, 21));
}

void SameBoth(Canvas& c) {
  c.arrowAcross(c.g(8), c.g(21), c.g(3));
  Canvas down(c.painter(), c.size, c.ink, true, false);
  down.arrowAcross(c.g(8), c.g(21), c.g(3));
  c.box(c.rect(8, 8, 21, 21));
}

// Four corner brackets of `arm` pixels around the square from lo to hi.
void Corners(Canvas& c, int lo, int hi, int arm) {
  for (int x : {lo, hi - arm}) {
    c.solid(QRect(x, lo, arm, c.t));
    c.solid(QRect(x, hi - c.t, arm, c.t));
  }
  for (int y : {lo, hi - arm}) {
    c.solid(QRect(lo, y, c.t, arm));
    c.solid(QRect(hi - c.t, y, c.t, arm));
  }
}

// A picture with the box's corners drawn in close around it.
void SizeToContent(Canvas& c) {
  Corners(c, c.g(2), c.size - c.g(2), c.g(5));
  const QRect picture = c.rect(6.5, 6.5, 17.5, 17.5);
  c.outline(picture);
  const double l = picture.left() + c.t, r = picture.right() + 1 - c.t, b = picture.bottom() + 1 - c.t;
  const double w = r - l;
  c.polygon({QPointF(l, b), QPointF(l + w * 0.4, b - w * 0.55), QPointF(l + w * 0.65, b - w * 0.25),
             QPointF(l + w * 0.8, b - w * 0.4), QPointF(r, b - w * 0.1), QPointF(r, b)},
            c.ink);
}

void Grid(Canvas& c) {
  for (double y : {3.0, 13.0})
    for (double x : {3.0, 13.0}) c.box(c.rect(x, y, x + 8, y + 8));
}

// The grid with its last cell turning over: it arranges itself.
void AutoArrange(Canvas& c) {
  c.box(c.rect(3, 3, 11, 11));
  c.box(c.rect(13, 3, 21, 11));
  c.box(c.rect(3, 13, 11, 21));
  const QRectF circle(c.g(13.5), c.g(13.5), c.g(7), c.g(7));
  QPainterPath arc;
  arc.arcMoveTo(circle, 90);
  arc.arcTo(circle, 90, 270);
  QPainter& p = c.painter();
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(c.ink, c.t, Qt::SolidLine, Qt::FlatCap));
  p.drawPath(arc);
  p.restore();
  const double head = std::max(2.5, c.size / 8.0);
  const QPointF top(circle.center().x(), circle.top());
  c.polygon({top + QPointF(head, 0), top + QPointF(-head * 0.3, -head), top + QPointF(-head * 0.3, head)}, c.ink);
}

// Aligned to the left guide and spaced evenly down.
void AlignDistribute(Canvas& c) {
  c.solid(QRect(c.g(3), c.g(2), c.t, c.g(22) - c.g(2)));
  c.box(c.rect(5.5, 3, 19, 8));
  c.box(c.rect(5.5, 10, 15, 15));
  c.box(c.rect(5.5, 17, 21, 22));
}

// A small box growing into the outline of a large one.
void SynchronizeSize(Canvas& c) {
  c.outline(c.rect(3, 3, 21, 21));
  const QRect small = c.rect(3, 13, 11, 21);
  QColor strong = c.ink;
  strong.setAlpha(2 * kTintAlpha);
  c.fill(small.adjusted(c.t, c.t, -c.t, -c.t), strong);
  c.outline(small);
  c.arrowTo(QPointF(c.g(11.5), c.g(12.5)), QPointF(c.g(18.5), c.g(5.5)));
}

void Shadow(Canvas& c) {
  const QRect b = c.rect(3, 3, 16, 16);
  const int o = c.g(4);
  QColor shade = c.ink;
  shade.setAlpha(150);
  c.fill(QRect(b.left() + b.width(), b.top() + o, o, b.height()), shade);
  c.fill(QRect(b.left() + o, b.top() + b.height(), b.width() - o, o), shade);
  c.box(b);
}

// A page with the arrow of its width across it.
void PageWidth(Canvas& c) {
  const QRect page = c.rect(4, 2, 20, 22);
  c.outline(page);
  c.arrowAcross(page.left() + c.t + 1, page.left() + page.width() - c.t - 1, c.mid());
}

// `n` pages side by side, as the view shows them.
Drawing Pages(int n) {
  return [n](Canvas& c) {
    const int gap = std::max(1, c.size / 16);
    const int margin = n >= 4 ? 0 : c.size / 16;
    const int w = (c.size - 2 * margin - (n - 1) * gap) / n;
    const int h = std::min(static_cast<int>(std::lround(w * 1.41)), c.size - 2 * c.t);
    const int x0 = (c.size - (n * w + (n - 1) * gap)) / 2, y0 = (c.size - h) / 2;
    for (int i = 0; i < n; ++i) c.box(QRect(x0 + i * (w + gap), y0, w, h));
  };
}

// ---- fallbacks for commands the desktop theme usually has ----------------------

void WholePage(Canvas& c) {
  c.box(c.rect(6, 3, 18, 21));
  for (int i = 0; i < 4; ++i) {
    const bool right = i & 1, bottom = i & 2;
    const int x = right ? c.size - c.g(1) - c.t : c.g(1), y = bottom ? c.size - c.g(1) - c.t : c.g(1);
    const int arm = c.g(3);
    c.solid(QRect(right ? x - arm + c.t : x, y, arm, c.t));
    c.solid(QRect(x, bottom ? y - arm + c.t : y, c.t, arm));
  }
}

void FullScreen(Canvas& c) {
  Corners(c, c.g(3), c.size - c.g(3), c.g(6));
  c.box(c.rect(8, 8, 16, 16));
}

// A page with its margins marked.
void PageSetup(Canvas& c) {
  const QRect page = c.rect(4, 2, 20, 22);
  c.outline(page);
  QColor guide = c.ink;
  guide.setAlpha(140);
  c.fill(QRect(c.g(7), page.top() + c.t, c.t, page.height() - 2 * c.t), guide);
  c.fill(QRect(page.left() + c.t, c.g(5.5), page.width() - 2 * c.t, c.t), guide);
  c.fill(QRect(page.left() + c.t, c.g(18.5), page.width() - 2 * c.t, c.t), guide);
}

void Export(Canvas& c) {
  c.box(c.rect(3, 2, 15, 22));
  c.arrowTo(QPointF(c.g(9), c.g(12)), QPointF(c.g(22.5), c.g(12)));
}

void GotoPage(Canvas& c) {
  c.outline(c.rect(12, 3, 22, 21));
  c.arrowTo(QPointF(c.g(2), c.g(12)), QPointF(c.g(17), c.g(12)));
}

// A box with lines of text under a picture.
void Comment(Canvas& c) {
  c.outline(c.rect(2, 3, 22, 21));
  c.fill(c.rect(5, 6, 19, 12), c.tint);
  c.solid(QRect(c.g(5), c.g(14), c.g(19) - c.g(5), c.t));
  c.solid(QRect(c.g(5), c.g(17), c.g(15) - c.g(5), c.t));
}

// A tree: two pages with their pictures.
void Inspector(Canvas& c) {
  for (double y : {3.0, 13.0}) {
    c.box(c.rect(2, y, 8, y + 4));
    c.solid(QRect(c.g(4.5), c.g(y + 4), c.t, c.g(y + 8) - c.g(y + 4)));
    c.solid(QRect(c.g(4.5), c.g(y + 7.5), c.g(3.5), c.t));
    c.solid(QRect(c.g(10), c.g(y + 7.5), c.g(22) - c.g(10), c.t));
    c.solid(QRect(c.g(10), c.g(y + 1.5), c.g(20) - c.g(10), c.t));
  }
}

// ---- the table -------------------------------------------------------------------

struct IconEntry {
  const char* name;
  std::vector<const char*> themeNames;  // tried first, in order
  Drawing draw;
  bool transpose = false;
  bool mirror = false;
};

const std::vector<IconEntry>& Entries() {
  static const std::vector<IconEntry> entries = {
      {"align-left", {}, AlignEdge},
      {"align-hcenter", {}, AlignCentre},
      {"align-right", {}, AlignEdge, false, true},
      {"align-top", {}, AlignEdge, true},
      {"align-vcenter", {}, AlignCentre, true},
      {"align-bottom", {}, AlignEdge, true, true},
      {"space-across", {}, SpaceEvenly},
      {"space-down", {}, SpaceEvenly, true},
      {"same-width", {}, SameWidth},
      {"same-height", {}, SameWidth, true},
      {"same-both", {}, SameBoth},
      {"size-to-content", {}, SizeToContent},
      {"arrange", {"view-grid"}, Grid},
      {"auto-arrange", {}, AutoArrange},
      {"align-distribute", {}, AlignDistribute},
      {"synchronize-size", {}, SynchronizeSize},
      {"shadow", {}, Shadow},
      {"page-width", {}, PageWidth},
      {"whole-page", {"zoom-fit-best"}, WholePage},
      {"two-pages", {}, Pages(2)},
      {"three-pages", {}, Pages(3)},
      {"four-pages", {}, Pages(4)},
      {"page-setup", {"document-page-setup"}, PageSetup},
      {"export", {"document-export", "document-save-as"}, Export},
      {"full-screen", {"view-fullscreen"}, FullScreen},
      {"goto-page", {"go-jump"}, GotoPage},
      {"comment", {"insert-text", "document-edit"}, Comment},
      {"inspector", {"view-list-tree", "view-list"}, Inspector},
  };
  return entries;
}

QIcon Draw(const IconEntry& entry, const QColor& ink) {
  QIcon icon;
  for (int size : kSizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    Canvas canvas(painter, size, ink, entry.transpose, entry.mirror);
    entry.draw(canvas);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// A glyph of one colour: a symbolic icon meant to take the text colour.
bool Monochrome(const QImage& image) {
  constexpr int kSpread = 24;
  bool first = true;
  QColor seen;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() < 128) continue;
      if (first) {
        seen = c;
        first = false;
      } else if (std::abs(c.red() - seen.red()) > kSpread || std::abs(c.green() - seen.green()) > kSpread ||
                 std::abs(c.blue() - seen.blue()) > kSpread) {
        return false;
      }
    }
  return !first;
}

// Symbolic theme icons come in a fixed dark grey that vanishes on a dark
// palette; they are redrawn in the text colour like our own drawings.
// Coloured theme icons are kept as they are.
QIcon Inked(const QIcon& icon, const QColor& ink) {
  QIcon out;
  for (int size : kSizes) {
    const QPixmap pixmap = icon.pixmap(size);
    if (pixmap.isNull()) continue;
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!Monochrome(image)) return icon;
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), ink);
    painter.end();
    out.addPixmap(QPixmap::fromImage(image));
  }
  return out.isNull() ? icon : out;
}

// A white sheet holding a 2 x 2 grid of small landscapes, in colour.
QIcon ProgramIcon() {
  return vel::ui::PaintedIcon(64.0, {16, 22, 24, 32, 48, 64}, [](QPainter& p) {
    p.setPen(QPen(QColor(0x55, 0x5a, 0x60), 2.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(9, 3, 46, 58), 3, 3);
    const QColor sky[] = {QColor(0x8e, 0xc9, 0xf0), QColor(0xf6, 0xc1, 0x77), QColor(0xa9, 0xd8, 0x9e),
                          QColor(0xc7, 0xb4, 0xe8)};
    for (int i = 0; i < 4; ++i) {
      const QRectF cell(15 + (i % 2) * 18, 9 + (i / 2) * 24, 16, 20);
      p.setPen(Qt::NoPen);
      p.setBrush(sky[i]);
      p.drawRect(cell);
      p.setBrush(QColor(0x3d, 0x8b, 0x3d));
      p.drawPolygon(QPolygonF({cell.bottomLeft(), QPointF(cell.left() + 6, cell.top() + 9),
                               QPointF(cell.left() + 10, cell.top() + 14), QPointF(cell.left() + 12, cell.top() + 11),
                               cell.bottomRight()}));
      p.setBrush(QColor(0xf5, 0xc2, 0x11));
      p.drawEllipse(QRectF(cell.right() - 6, cell.top() + 2, 4, 4));
    }
  });
}

}  // namespace

QStringList TessalyIconNames() {
  QStringList names;
  for (const IconEntry& entry : Entries()) names << QString::fromLatin1(entry.name);
  names << QStringLiteral("program");
  return names;
}

QIcon TessalyIcon(const QString& name) {
  // Drawings follow the text colour, so a palette change gets fresh ones.
  const QColor ink = QApplication::palette().color(QPalette::WindowText);
  static QHash<QString, QIcon> cache;
  const QString key = name + QLatin1Char('|') + ink.name(QColor::HexArgb);
  if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;

  QIcon icon;
  if (name == QLatin1String("program")) {
    icon = QIcon::fromTheme(QStringLiteral("tessaly"));
    if (icon.isNull()) icon = ProgramIcon();
  } else {
    for (const IconEntry& entry : Entries()) {
      if (name != QLatin1String(entry.name)) continue;
      if (!entry.themeNames.empty()) icon = Inked(vel::ui::ThemedIcon(entry.themeNames), ink);
      if (icon.isNull()) icon = Draw(entry, ink);
      break;
    }
  }
  if (!icon.isNull()) cache.insert(key, icon);
  return icon;
}

QIcon ThemeIcon(const std::vector<const char*>& names) {
  return Inked(vel::ui::ThemedIcon(names), QApplication::palette().color(QPalette::WindowText));
}

}  // namespace tessaly

#include "tray/Pictures.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

#include <vector>

#include "platform/ui/icons.h"
#include "tray/CMainFrame.h"

namespace pennock {
namespace {

// A photograph (sky, sun, hill) with a turning arrow: pictures being converted.
void DrawProgramIcon(QPainter& p) {
  p.setPen(QPen(QColor(0x2e, 0x34, 0x36), 1.2));
  p.setBrush(QColor(0x72, 0x9f, 0xcf));
  p.drawRoundedRect(QRectF(2, 4, 22, 18), 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xfc, 0xe9, 0x4f));
  p.drawEllipse(QPointF(8, 10), 2.6, 2.6);
  p.setBrush(QColor(0x4e, 0x9a, 0x06));
  p.drawPolygon(QPolygonF({QPointF(3, 21), QPointF(11, 12), QPointF(17, 18), QPointF(23, 21)}));
  p.setPen(QPen(QColor(0xce, 0x5c, 0x00), 2.4, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(16, 16, 12, 12), 90 * 16, 270 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xce, 0x5c, 0x00));
  p.drawPolygon(QPolygonF({QPointF(22, 13), QPointF(26, 16.5), QPointF(22, 20)}));
}

// Theme names for each entry's picture, best first.
std::vector<const char*> ThemeNames(int command) {
  switch (command) {
    case ID_LAUNCH_MALVITO: return {"image-viewer", "eog", "image-x-generic"};
    case ID_SETTINGS: return {"preferences-system", "emblem-system", "preferences-other"};
    case ID_ABOUT: return {"help-about", "dialog-information"};
    case ID_REMOVE_ICON: return {"window-close", "edit-delete", "process-stop"};
    default: return {};
  }
}

// The entry's picture recoloured in `ink`, keeping its shape: the themes' menu
// pictures are single-colour, and the highlighted entry's text changes colour too.
QPixmap Inked(const QPixmap& picture, const QColor& ink) {
  QPixmap out = picture;
  QPainter p(&out);
  p.setCompositionMode(QPainter::CompositionMode_SourceIn);
  p.fillRect(out.rect(), ink);
  return out;
}

}  // namespace

QIcon ProgramIcon() {
  const QIcon themed = vel::ui::ThemedIcon({"velmark-corbanix"});
  if (!themed.isNull()) return themed;
  return vel::ui::PaintedIcon(30.0, {16, 22, 24, 32, 48, 64}, DrawProgramIcon);
}

QPixmap ItemBitmap(int command, bool highlighted, int size) {
  const std::vector<const char*> names = ThemeNames(command);
  if (names.empty() || size <= 0) return {};
  QIcon icon = vel::ui::ThemedIcon(names);
  QPixmap picture;
  if (!icon.isNull()) {
    picture = icon.pixmap(size);
  } else {
    // No theme at all: the program's own picture keeps every entry marked.
    picture = ProgramIcon().pixmap(size);
  }
  const QPalette palette = QApplication::palette();
  if (highlighted) return Inked(picture, palette.color(QPalette::HighlightedText));
  return picture;
}

QPixmap BannerBitmap(int height) {
  QPixmap banner(8, height > 0 ? height : 1);
  QPainter p(&banner);
  const QColor highlight = QApplication::palette().color(QPalette::Highlight);
  QLinearGradient gradient(0, 0, 0, banner.height());
  gradient.setColorAt(0, highlight.lighter(130));
  gradient.setColorAt(1, highlight.darker(160));
  p.fillRect(banner.rect(), gradient);
  p.end();
  return banner;
}

}  // namespace pennock

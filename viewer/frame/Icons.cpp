#include "viewer/frame/Icons.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <functional>
#include <map>
#include <vector>

#include "platform/ui/icons.h"
#include "viewer/core/Commands.h"

namespace orvenna {
namespace {

using Drawing = vel::ui::IconDrawing;

using vel::ui::DrawnIcon;
using vel::ui::PaintedIcon;
using vel::ui::ThemedIcon;

void DrawHand(QPainter& p) {
  // Four fingers, a thumb and the palm.
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(7 + 3 * i, 11), QPointF(7 + 3 * i, i == 0 || i == 3 ? 5 : 3));
  p.drawLine(QPointF(5, 14), QPointF(3, 11));
  QPainterPath palm;
  palm.moveTo(5, 14);
  palm.cubicTo(6, 20, 16, 21, 16, 14);
  palm.lineTo(16, 11);
  p.drawPath(palm);
  p.drawLine(QPointF(6.5, 11), QPointF(16, 11));
}

void DrawStretch(QPainter& p) {
  p.drawRect(QRectF(7, 7, 8, 8));
  p.drawLine(QPointF(2, 11), QPointF(6, 11));
  p.drawLine(QPointF(16, 11), QPointF(20, 11));
  p.drawPolyline(QPolygonF({QPointF(4, 9), QPointF(2, 11), QPointF(4, 13)}));
  p.drawPolyline(QPolygonF({QPointF(18, 9), QPointF(20, 11), QPointF(18, 13)}));
}

void DrawContrast(QPainter& p) {
  p.drawEllipse(QRectF(3, 3, 16, 16));
  QPainterPath half;
  half.moveTo(11, 3);
  half.arcTo(QRectF(3, 3, 16, 16), 90, 180);
  half.closeSubpath();
  p.fillPath(half, p.pen().color());
}

void DrawFilter(QPainter& p) {
  p.drawPolygon(
      QPolygonF({QPointF(3, 4), QPointF(19, 4), QPointF(13, 11), QPointF(13, 18), QPointF(9, 16), QPointF(9, 11)}));
}

void DrawPlugins(QPainter& p) {
  p.drawRect(QRectF(4, 8, 14, 10));
  p.drawLine(QPointF(8, 8), QPointF(8, 4));
  p.drawLine(QPointF(14, 8), QPointF(14, 4));
}

void DrawDepth(QPainter& p) {
  const QColor colours[] = {QColor(220, 50, 50), QColor(60, 170, 60), QColor(50, 90, 220)};
  for (int i = 0; i < 3; ++i) {
    p.setBrush(colours[i]);
    p.drawEllipse(QRectF(i == 1 ? 3 : (i == 0 ? 7 : 11), i == 1 ? 9 : 3, 9, 9));
  }
}

void DrawBatch(QPainter& p) {
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(3 + 3 * i, 3 + 3 * i, 10, 10));
}

const std::map<int, std::vector<const char*>>& ThemeNames() {
  static const std::map<int, std::vector<const char*>> names = {
      {ID_FILE_OPEN, {"document-open"}},
      {ID_SAVE_AS_DROPDOWN, {"document-save-as"}},
      {ID_FILE_SAVE, {"document-save"}},
      {ID_FILE_CLOSE, {"window-close"}},
      {ID_APP_EXIT, {"application-exit"}},
      {ID_EDIT_COPY, {"edit-copy"}},
      {ID_EDIT_PASTE_NEW, {"edit-paste"}},
      {ID_EDIT_UNDO, {"edit-undo"}},
      {ID_EDIT_REDO, {"edit-redo"}},
      {ID_FILE_PRINT, {"document-print"}},
      {ID_PRINT_ALL, {"document-print"}},
      {ID_ZOOM_DROPDOWN, {"zoom-in"}},
      {ID_ZOOM_IN, {"zoom-in"}},
      {ID_ZOOM_OUT, {"zoom-out"}},
      {ID_ZOOM_FIT, {"zoom-fit-best"}},
      {ID_ZOOM_100, {"zoom-original"}},
      {ID_AREA_DROPDOWN, {"color-select", "color-management", "preferences-color"}},
      {ID_ADVANCED_DROPDOWN, {"view-fullscreen"}},
      {ID_FULL_SCREEN, {"view-fullscreen"}},
      {ID_LENS_MODE, {"edit-find", "zoom-in"}},
      {ID_MIRROR_DROPDOWN, {"object-flip-horizontal"}},
      {ID_MIRROR_HORZ, {"object-flip-horizontal"}},
      {ID_MIRROR_VERT, {"object-flip-vertical"}},
      {ID_ROTATE_DROPDOWN, {"object-rotate-right"}},
      {ID_ROTATE_CUSTOM, {"object-rotate-right"}},
      {ID_BRIGHTNESS, {"display-brightness", "brightness-high"}},
      {ID_APP_ABOUT, {"help-about"}},
      {ID_HELP_CONTENTS, {"help-browser", "help-contents"}},
      {ID_WEB_SITE, {"web-browser", "applications-internet"}},
      {ID_PAGE_FIRST, {"go-first"}},
      {ID_PAGE_PREV, {"go-previous"}},
      {ID_PAGE_NEXT, {"go-next"}},
      {ID_PAGE_LAST, {"go-last"}},
  };
  return names;
}

// Commands the themes have no fitting icon for; a themed name is still tried
// first, since some desktops do have one.
const std::map<int, std::pair<const char*, Drawing>>& OwnDrawings() {
  static const std::map<int, std::pair<const char*, Drawing>> drawings = {
      {ID_HAND_MODE, {"transform-move", DrawHand}},
      {ID_STRETCH, {"transform-scale", DrawStretch}},
      {ID_CONTRAST, {"contrast", DrawContrast}},
      {ID_FILTER_DROPDOWN, {"view-filter", DrawFilter}},
      {ID_PLUGINS, {"application-x-addon", DrawPlugins}},
      {ID_DEPTH_DROPDOWN, {"color-management", DrawDepth}},
      {ID_BATCH, {"system-run", DrawBatch}},
  };
  return drawings;
}

}  // namespace

void SetUpIconTheme() { vel::ui::SetUpIconTheme(); }

QIcon CommandIcon(int id) {
  static std::map<int, QIcon> cache;
  if (auto it = cache.find(id); it != cache.end()) return it->second;
  QIcon icon;
  if (auto it = ThemeNames().find(id); it != ThemeNames().end()) icon = ThemedIcon(it->second);
  if (auto it = OwnDrawings().find(id); it != OwnDrawings().end()) {
    icon = ThemedIcon({it->second.first});
    if (icon.isNull()) icon = DrawnIcon(it->second.second);
  }
  cache[id] = icon;
  return icon;
}

QIcon ProgramIcon() {
  QIcon themed = QIcon::fromTheme(QStringLiteral("orvenna"));
  if (!themed.isNull()) return themed;
  // A framed landscape with a sun, as the desktop file's icon shows.
  return PaintedIcon(64.0, {16, 32, 48, 64}, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8a, 0x5a, 0x2b));
    p.drawRoundedRect(QRectF(4, 8, 56, 48), 4, 4);
    p.setBrush(QColor(0xbf, 0xe3, 0xf7));
    p.drawRect(QRectF(10, 14, 44, 36));
    p.setBrush(QColor(0xf5, 0xc2, 0x11));
    p.drawEllipse(QRectF(38, 18, 10, 10));
    p.setBrush(QColor(0x3d, 0x8b, 0x3d));
    p.drawPolygon(QPolygonF({QPointF(10, 50), QPointF(26, 28), QPointF(36, 40), QPointF(42, 34), QPointF(54, 50)}));
  });
}

}  // namespace orvenna

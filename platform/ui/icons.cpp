#include "platform/ui/icons.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace vel::ui {

namespace {

// Themes that ship only symbolic icons (Adwaita since 42) name their PNG
// renderings "<name>-symbolic.symbolic.png", which Qt's theme loader does not
// look for when it has no SVG support; those files are picked up directly.
QIcon SymbolicPngs(const QString& name) {
  QIcon icon;
  const QString theme = QIcon::fallbackThemeName();
  if (theme.isEmpty()) return icon;
  for (const char* size : {"16x16", "24x24", "32x32", "48x48"}) {
    QDir dir(QStringLiteral("/usr/share/icons/%1/%2").arg(theme, QLatin1String(size)));
    for (const QString& context : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      const QString file = dir.filePath(context + "/" + name + "-symbolic.symbolic.png");
      if (QFile::exists(file)) {
        icon.addFile(file);
        break;
      }
    }
  }
  return icon;
}

}  // namespace

void SetUpIconTheme() {
  for (const char* theme : {"Adwaita", "breeze"}) {
    if (QDir(QStringLiteral("/usr/share/icons/") + theme).exists()) {
      QIcon::setFallbackThemeName(QString::fromLatin1(theme));
      if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QString::fromLatin1(theme));
      return;
    }
  }
}

QIcon ThemedIcon(const std::vector<const char*>& names) {
  for (const char* name : names) {
    const QString base = QString::fromLatin1(name);
    for (const QString& candidate : {base, base + "-symbolic"}) {
      QIcon icon = QIcon::fromTheme(candidate);
      if (!icon.isNull() && !icon.pixmap(22).isNull()) return icon;
    }
    QIcon icon = SymbolicPngs(base);
    if (!icon.availableSizes().isEmpty()) return icon;
  }
  return {};
}

QIcon PaintedIcon(double grid, std::initializer_list<int> sizes, const IconDrawing& draw) {
  QIcon icon;
  for (int size : sizes) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / grid, size / grid);
    draw(p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon DrawnIcon(const IconDrawing& draw) {
  return PaintedIcon(22.0, {16, 22, 32, 48}, [&draw](QPainter& p) {
    const QColor ink = QApplication::palette().color(QPalette::WindowText);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    draw(p);
  });
}

}  // namespace vel::ui

// "About": the program's icon, the product logo (a click opens the maker's web
// page) and the version of this build.
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"

#ifndef CORBANIX_VERSION_MAJOR
#error "the build gives the version: CORBANIX_VERSION_MAJOR and CORBANIX_VERSION_MINOR"
#endif

namespace converter {
namespace {

// The program icon: a sheet of paper with an arrow, the converter's mark.
QPixmap ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4.5, 2.5, 18, 24));
  p.setBrush(QColor(0, 120, 200));
  const QPointF arrow[] = {{12, 14}, {22, 14}, {22, 9}, {30, 18}, {22, 27}, {22, 22}, {12, 22}};
  p.drawPolygon(arrow, 7);
  return pixmap;
}

// The product logo (bitmap 155 of the resources).
QPixmap ProductLogo() {
  QPixmap pixmap(220, 64);
  QPainter p(&pixmap);
  QLinearGradient gradient(0, 0, 220, 64);
  gradient.setColorAt(0, QColor(0, 60, 130));
  gradient.setColorAt(1, QColor(0, 150, 210));
  p.fillRect(pixmap.rect(), gradient);
  QFont font = p.font();
  font.setPixelSize(30);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Corbanix"));
  return pixmap;
}

}  // namespace

QString AboutVersionText() {
  return QString::asprintf("Corbanix version %d.%d", CORBANIX_VERSION_MAJOR, CORBANIX_VERSION_MINOR);
}

CSettingsAbout::CSettingsAbout(std::function<void()> opener) : CSheetPage("About"), opener_(std::move(opener)) {
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setObjectName(QStringLiteral("aboutIcon"));
  icon->setPixmap(ProgramIcon());
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* version = new QLabel(AboutVersionText());
  version->setObjectName(QStringLiteral("aboutVersion"));
  top->addWidget(version, 1);
  layout->addLayout(top);
  logo_ = new QLabel;
  logo_->setObjectName(QStringLiteral("aboutLogo"));
  logo_->setPixmap(ProductLogo());
  logo_->setCursor(Qt::PointingHandCursor);
  logo_->setToolTip(QStringLiteral("Visit the Velmark web site"));
  logo_->installEventFilter(this);
  layout->addWidget(logo_, 0, Qt::AlignHCenter);
  layout->addStretch(1);
}

bool CSettingsAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == logo_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (opener_) opener_();
    return true;
  }
  return CSheetPage::eventFilter(watched, event);
}

}  // namespace converter

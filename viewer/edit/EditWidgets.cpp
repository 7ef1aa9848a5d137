#include "viewer/edit/EditWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>

#include <algorithm>

#include "platform/gdi/owned.h"
#include "platform/gdi/painter_dc.h"
#include "platform/ui/ui.h"

namespace orvenna {

QColor FromColorref(COLORREF color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

COLORREF ToColorref(const QColor& color) {
  return static_cast<COLORREF>(color.red()) | (static_cast<COLORREF>(color.green()) << 8) |
         (static_cast<COLORREF>(color.blue()) << 16);
}

QWidget* MakeSizeBox(const QString& title, const char* widthLabel, const char* heightLabel, const char* prefix,
                     int width, int height) {
  auto* box = new QGroupBox(title);
  auto* grid = new QGridLayout(box);
  const char* const labels[2] = {widthLabel, heightLabel};
  const char* const sides[2] = {"Width", "Height"};
  const int values[2] = {width, height};
  for (int row = 0; row < 2; ++row) {
    auto* edit = new QLineEdit(QString::number(values[row]));
    edit->setObjectName(QString::fromLatin1(prefix) + QString::fromLatin1(sides[row]));
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);  // shown, not edited: the first field to type in is the new width
    grid->addWidget(new QLabel(QString::fromLatin1(labels[row])), row, 0);
    grid->addWidget(edit, row, 1);
  }
  grid->setColumnStretch(1, 1);
  return box;
}

void AddOkCancel(QDialog* dialog, QLayout* layout) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

// ---- colour swatch ----------------------------------------------------------------

CColorSwatch::CColorSwatch(COLORREF color, QWidget* parent) : QPushButton(parent) {
  setMinimumSize(56, 24);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  SetColor(color);
  connect(this, &QPushButton::clicked, this, [this] { Choose(); });
}

void CColorSwatch::SetColor(COLORREF color) {
  color_ = color & 0xFFFFFF;
  setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid palette(dark); border-radius: 2px;")
                    .arg(FromColorref(color_).name()));
  emit ColorChanged(color_);
}

void CColorSwatch::Choose() {
  const QColor chosen = QColorDialog::getColor(FromColorref(color_), this);
  if (chosen.isValid()) SetColor(ToColorref(chosen));
}

// ---- size fields ------------------------------------------------------------------

CSizeFields::CSizeFields(QGridLayout* grid, int row, const QString& widthLabel, const QString& heightLabel,
                         int sourceWidth, int sourceHeight, bool constrain, QWidget* owner)
    : QObject(owner), sourceWidth_(sourceWidth), sourceHeight_(sourceHeight) {
  // Digits only, as a number field of the framework accepts; the range is checked
  // when the dialog closes.
  auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), this);
  auto makeEdit = [&](const char* name, int value) {
    auto* edit = new QLineEdit(QString::number(value));
    edit->setObjectName(QString::fromLatin1(name));
    edit->setValidator(digits);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 12);
    return edit;
  };
  width_ = makeEdit("newWidth", sourceWidth);
  height_ = makeEdit("newHeight", sourceHeight);
  auto* wl = new QLabel(widthLabel);
  auto* hl = new QLabel(heightLabel);
  wl->setBuddy(width_);
  hl->setBuddy(height_);
  grid->addWidget(wl, row, 0);
  grid->addWidget(width_, row, 1);
  grid->addWidget(hl, row + 1, 0);
  grid->addWidget(height_, row + 1, 1);
  constrain_ = new QCheckBox(QStringLiteral("Constrain proportions"));
  constrain_->setObjectName(QStringLiteral("constrain"));
  constrain_->setChecked(constrain);
  grid->addWidget(constrain_, row + 2, 0, 1, 2);

  connect(width_, &QLineEdit::textEdited, this, [this] { WidthEdited(); });
  connect(height_, &QLineEdit::textEdited, this, [this] { HeightEdited(); });
  connect(constrain_, &QCheckBox::toggled, this, [this](bool on) {
    if (!on) return;
    if (heightEditedLast_)
      HeightEdited();
    else
      WidthEdited();
  });
}

int CSizeFields::Proportional(long long side, long long to, long long from) {
  if (from == 0) from = 1;
  const long long other = side * to / from;
  // Beyond the field's range the range check refuses it anyway; keep it printable.
  return static_cast<int>(std::clamp<long long>(other, 1, 999999999));
}

void CSizeFields::WidthEdited() {
  heightEditedLast_ = false;
  if (!constrain_->isChecked()) return;
  bool ok = false;
  const long long w = width_->text().toLongLong(&ok);
  if (ok) height_->setText(QString::number(Proportional(w, sourceHeight_, sourceWidth_)));
}

void CSizeFields::HeightEdited() {
  heightEditedLast_ = true;
  if (!constrain_->isChecked()) return;
  bool ok = false;
  const long long h = height_->text().toLongLong(&ok);
  if (ok) width_->setText(QString::number(Proportional(h, sourceWidth_, sourceHeight_)));
}

void CSizeFields::EditWidth(const QString& text) {
  width_->setText(text);
  WidthEdited();
}

void CSizeFields::EditHeight(const QString& text) {
  height_->setText(text);
  HeightEdited();
}

void CSizeFields::SetConstrain(bool constrain) { constrain_->setChecked(constrain); }
bool CSizeFields::Constrain() const { return constrain_->isChecked(); }

bool CSizeFields::ReadField(QLineEdit* edit, int* value) {
  bool ok = false;
  const long long number = edit->text().trimmed().toLongLong(&ok);
  const char* problem = nullptr;
  if (!ok)
    problem = "Please enter an integer.";
  else if (number < kMinSide || number > kMaxSide)
    problem = "Please enter an integer between 1 and 1500000.";
  if (problem) {
    vel::ui::MessageBox(kDialogMessageTitle, problem, MB_OK | MB_ICONEXCLAMATION);
    edit->setFocus();
    edit->selectAll();
    return false;
  }
  *value = static_cast<int>(number);
  return true;
}

bool CSizeFields::Validate(int* width, int* height) { return ReadField(width_, width) && ReadField(height_, height); }

// ---- picture pane -----------------------------------------------------------------

CImagePane::CImagePane(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setMinimumSize(220, 165);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CImagePane::SetImage(CImageInterface* image, int page) {
  image_ = image;
  page_ = page;
  update();
}

void CImagePane::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  const QRect area = contentsRect();
  painter.fillRect(area, palette().color(QPalette::Button));
  if (!image_ || !image_->IsLoaded()) return;
  const int w = image_->GetWidth(page_), h = image_->GetHeight(page_);
  if (w <= 0 || h <= 0) return;
  // Fitted both ways: small pictures grow to the pane as large ones shrink to it.
  const double scale = std::min(static_cast<double>(area.width()) / w, static_cast<double>(area.height()) / h);
  const int dw = std::max(1, static_cast<int>(w * scale)), dh = std::max(1, static_cast<int>(h * scale));
  RECT dest{area.left() + (area.width() - dw) / 2, area.top() + (area.height() - dh) / 2, 0, 0};
  dest.right = dest.left + dw;
  dest.bottom = dest.top + dh;
  vel::gdi::PainterCaps caps;
  caps.width = width();
  caps.height = height();
  const vel::gdi::OwnedDC dc(vel::gdi::CreatePainterDC(&painter, caps));
  if (dc) image_->DrawImage(dc.get(), &dest, nullptr, page_);
}

}  // namespace orvenna

// Shared controls of the option pages and the export dialog.
#include "printlayout/print/ProjectOptionsWidgets.h"

#include <QAction>
#include <QColorDialog>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <vector>

#include "printlayout/file/Colours.h"
#include "printlayout/macros/Macros.h"
#include "printlayout/model/BorderLines.h"

namespace tessaly {
namespace {

constexpr const char* kCustomColourText = "Custom...";
constexpr int kSwatchSize = 14;
constexpr int kSampleWidth = 96, kSampleHeight = 16, kSampleBaseWidth = 2;

QPixmap Swatch(Colour colour) {
  QPixmap pixmap(kSwatchSize, kSwatchSize);
  pixmap.fill(ToQColor(colour));
  QPainter painter(&pixmap);
  painter.setPen(Qt::gray);
  painter.drawRect(0, 0, kSwatchSize - 1, kSwatchSize - 1);
  return pixmap;
}

}  // namespace

QColor ToQColor(Colour c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

Colour FromQColor(const QColor& c) {
  const QColor rgb = c.toRgb();
  return static_cast<Colour>(rgb.red()) | (static_cast<Colour>(rgb.green()) << 8) |
         (static_cast<Colour>(rgb.blue()) << 16);
}

QFont ToQFont(const TextFont& font) {
  QFont f(QString::fromStdString(font.face.empty() ? std::string("Arial") : font.face));
  f.setPointSizeF(std::max(font.size, kMinFontSize) / 10.0);
  f.setBold(font.bold != 0);
  f.setItalic(font.italic != 0);
  return f;
}

TextFont FromQFont(const QFont& font, Colour colour) {
  TextFont t;
  t.face = font.family().toStdString();
  if (t.face.empty()) t.face = "Arial";
  const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 9.0;
  t.size = std::max(static_cast<std::int32_t>(std::lround(points * 10.0)), kMinFontSize);
  t.bold = font.bold() ? 1 : 0;
  t.italic = font.italic() ? 1 : 0;
  t.colour = colour;
  return t;
}

// ---- MacroButton -----------------------------------------------------------

MacroButton::MacroButton(QLineEdit* target, QWidget* parent)
    : QPushButton(QString::fromLatin1(kMacroButtonText), parent), target_(target) {
  auto* menu = new QMenu(this);
  for (const MacroMenuItem& item : kMacroMenu) {
    QAction* action = menu->addAction(QString::fromLatin1(item.menuText));
    const QString macro = QString::fromLatin1(item.macro);
    connect(action, &QAction::triggered, this, [this, macro] {
      target_->insert(macro);
      target_->setFocus();
    });
  }
  setMenu(menu);
}

QMenu* MacroButton::macroMenu() const { return menu(); }

// ---- ColourPicker ----------------------------------------------------------

ColourPicker::ColourPicker(QWidget* parent) : QComboBox(parent) {
  std::size_t count = 0;
  const NamedColour* names = ColourNames(&count);
  for (std::size_t i = 0; i < count; ++i)
    addItem(QIcon(Swatch(names[i].value)), QString::fromLatin1(names[i].name), QVariant::fromValue(names[i].value));
  addItem(QString::fromLatin1(kCustomColourText));
  setCurrentIndex(0);
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (index != customIndex()) {
      current_ = index;
      return;
    }
    const QColor chosen = QColorDialog::getColor(ToQColor(itemData(current_).value<Colour>()), this);
    if (chosen.isValid())
      chooseCustom(chosen);
    else
      setCurrentIndex(current_);
  });
}

int ColourPicker::customIndex() const { return count() - 1; }

void ColourPicker::setColour(Colour colour) {
  colour &= 0x00FFFFFF;
  for (int i = 0; i < customIndex(); ++i) {
    if (itemData(i).value<Colour>() == colour) {
      setCurrentIndex(i);
      current_ = i;
      return;
    }
  }
  // Unnamed colours show their hexadecimal value, in the layout the files use.
  const QString text = QString::asprintf("0x%06X", static_cast<unsigned>(colour));
  insertItem(customIndex(), QIcon(Swatch(colour)), text, QVariant::fromValue(colour));
  current_ = customIndex() - 1;
  setCurrentIndex(current_);
}

Colour ColourPicker::colour() const { return itemData(current_).value<Colour>(); }

void ColourPicker::chooseCustom(const QColor& colour) { setColour(FromQColor(colour)); }

// ---- FontChooser -----------------------------------------------------------

FontChooser::FontChooser(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  button_ = new QPushButton(this);
  colour_ = new ColourPicker(this);
  layout->addWidget(button_, 1);
  layout->addWidget(colour_);
  connect(button_, &QPushButton::clicked, this, [this] {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, ToQFont(font_), this);
    if (ok) chooseFont(chosen);
  });
  updateText();
}

void FontChooser::setTextFont(const TextFont& font) {
  font_ = font;
  colour_->setColour(font.colour);
  updateText();
}

TextFont FontChooser::textFont() const {
  TextFont t = font_;
  t.colour = colour_->colour();
  return t;
}

void FontChooser::chooseFont(const QFont& font) {
  font_ = FromQFont(font, colour_->colour());
  updateText();
}

void FontChooser::updateText() {
  QString text = QStringLiteral("%1, %2 pt").arg(QString::fromStdString(font_.face)).arg(font_.size / 10.0);
  if (font_.bold) text += QStringLiteral(", bold");
  if (font_.italic) text += QStringLiteral(", italic");
  button_->setText(text);
  button_->setFont(ToQFont(font_));
}

// ---- Lines type ------------------------------------------------------------

QPixmap LineSample(int code, int width, int height, int baseWidth) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::white);
  const BorderLineStyle& style = BorderStyle(code);
  if (style.widthFactor <= 0) return pixmap;
  QPainter painter(&pixmap);
  QPen pen(Qt::black);
  pen.setWidthF(static_cast<qreal>(baseWidth) * style.widthFactor);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  if (style.dashCount > 0) {
    // Qt measures dashes in pen widths; the codes measure them in base widths.
    QList<qreal> pattern;
    for (int i = 0; i < style.dashCount; ++i) pattern.append(static_cast<qreal>(style.dashes[i]) / style.widthFactor);
    pen.setDashPattern(pattern);
  }
  painter.setPen(pen);
  const qreal y = height / 2.0;
  if (style.doubleLine) {
    painter.drawLine(QPointF(2, y - baseWidth), QPointF(width - 2, y - baseWidth));
    painter.drawLine(QPointF(2, y + baseWidth), QPointF(width - 2, y + baseWidth));
  } else {
    painter.drawLine(QPointF(2, y), QPointF(width - 2, y));
  }
  return pixmap;
}

LineTypeCombo::LineTypeCombo(QWidget* parent) : QComboBox(parent) {
  setIconSize(QSize(kSampleWidth, kSampleHeight));
  for (int code = 0; code <= kMaxBorderLineCode; ++code)
    addItem(QIcon(LineSample(code, kSampleWidth, kSampleHeight, kSampleBaseWidth)), QString(), code);
}

void LineTypeCombo::setCode(int code) {
  int index = findData(code);
  if (index < 0) {
    addItem(QIcon(LineSample(code, kSampleWidth, kSampleHeight, kSampleBaseWidth)), QString(), code);
    index = count() - 1;
  }
  setCurrentIndex(index);
}

int LineTypeCombo::code() const { return currentIndex() < 0 ? 0 : currentData().toInt(); }

}  // namespace tessaly

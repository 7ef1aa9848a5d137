// Small controls the option pages and the export dialog share: the "Macro"
// button, the font chooser, the colour picker and the "Lines type" list.
#pragma once

#include <QColor>
#include <QComboBox>
#include <QFont>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include "printlayout/model/TextFont.h"

class QLineEdit;
class QMenu;

namespace tessaly {

constexpr const char* kMacroButtonText = "Macro";

QColor ToQColor(Colour colour);
Colour FromQColor(const QColor& colour);

// A project font as a Qt font (size in points from tenths), and back; the colour
// is not part of a QFont and is passed separately. Sizes are rounded to tenths
// of a point and kept at 4 pt at least.
QFont ToQFont(const TextFont& font);
TextFont FromQFont(const QFont& font, Colour colour);

// "Macro": pops up the macro menu and inserts the chosen macro at the cursor of
// its line edit.
class MacroButton : public QPushButton {
 public:
  MacroButton(QLineEdit* target, QWidget* parent = nullptr);
  QMenu* macroMenu() const;

 private:
  QLineEdit* target_;
};

// The colour picker: the named colours in their order, and "Custom..." which
// opens the colour dialog. Colours without a name get an entry of their own.
class ColourPicker : public QComboBox {
 public:
  explicit ColourPicker(QWidget* parent = nullptr);
  void setColour(Colour colour);
  Colour colour() const;
  // Picks a colour as the colour dialog would return it.
  void chooseCustom(const QColor& colour);

 private:
  int customIndex() const;
  int current_ = 0;
};

// A font button (face, size, bold, italic through the font dialog) with a
// colour picker beside it.
class FontChooser : public QWidget {
 public:
  explicit FontChooser(QWidget* parent = nullptr);
  void setTextFont(const TextFont& font);
  TextFont textFont() const;
  // Takes a font as the font dialog would return it; the colour stays.
  void chooseFont(const QFont& font);
  QPushButton* fontButton() const { return button_; }
  ColourPicker* colourPicker() const { return colour_; }

 private:
  void updateText();
  TextFont font_;
  QPushButton* button_;
  ColourPicker* colour_;
};

// A sample of a border line code drawn the way the renderer draws it: width
// factor, dash pattern and double line, with `baseWidth` pixels as the base width.
QPixmap LineSample(int code, int width, int height, int baseWidth);

// "Lines type": the codes 0 ... 13 as drawn samples. A stored code beyond 13
// gets an entry of its own, so reading and writing keep it.
class LineTypeCombo : public QComboBox {
 public:
  explicit LineTypeCombo(QWidget* parent = nullptr);
  void setCode(int code);
  int code() const;
};

}  // namespace tessaly

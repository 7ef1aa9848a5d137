// "Images Look": the seven border lines, border and shadow colours, the spaces,
// shadow offsets and border width in millimetres, the images font and the
// default comment.
#pragma once

#include <QWidget>

#include <array>

#include "printlayout/model/BorderLines.h"
#include "printlayout/print/ProjectOptionsValues.h"

class QLineEdit;

namespace tessaly {

class ColourPicker;
class FontChooser;
class LineTypeCombo;
class MacroButton;

constexpr const char* kLinesTypeText = "Lines type";

class ImagesLookPage : public QWidget {
 public:
  enum Length { kSpaceH, kSpaceV, kShadowDx, kShadowDy, kBorderWidth, kLengthCount };

  ImagesLookPage(const ImagesLookValues& values, QWidget* parent = nullptr);
  // A length that cannot be read keeps the value the page started with.
  ImagesLookValues values() const;

  LineTypeCombo* lineType(int edge) const { return lines_[edge]; }
  ColourPicker* borderColour() const { return borderColour_; }
  ColourPicker* shadowColour() const { return shadowColour_; }
  QLineEdit* length(Length l) const { return lengths_[l]; }
  FontChooser* imagesFont() const { return font_; }
  QLineEdit* defaultComment() const { return comment_; }
  MacroButton* commentMacro() const { return macro_; }

 private:
  ImagesLookValues initial_;
  std::array<LineTypeCombo*, kBorderEdgeCount> lines_{};
  std::array<QLineEdit*, kLengthCount> lengths_{};
  ColourPicker* borderColour_;
  ColourPicker* shadowColour_;
  FontChooser* font_;
  QLineEdit* comment_;
  MacroButton* macro_;
};

}  // namespace tessaly

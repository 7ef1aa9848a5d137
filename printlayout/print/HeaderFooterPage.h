// "Header and Footer": three header and three footer cells, each a text with
// macros and a font, and the two multiline checks.
#pragma once

#include <QWidget>

#include <array>

#include "printlayout/print/ProjectOptionsValues.h"

class QCheckBox;
class QLineEdit;

namespace tessaly {

class FontChooser;
class MacroButton;

constexpr const char* kHeaderMultilineText = "Use Multilines for Headers";
constexpr const char* kFooterMultilineText = "Use Multilines for Footers";

class HeaderFooterPage : public QWidget {
 public:
  HeaderFooterPage(const HeaderFooterValues& values, QWidget* parent = nullptr);
  HeaderFooterValues values() const;

  QLineEdit* headerText(int cell) const { return headerTexts_[cell]; }
  QLineEdit* footerText(int cell) const { return footerTexts_[cell]; }
  MacroButton* headerMacro(int cell) const { return headerMacros_[cell]; }
  MacroButton* footerMacro(int cell) const { return footerMacros_[cell]; }
  FontChooser* headerFont(int cell) const { return headerFonts_[cell]; }
  FontChooser* footerFont(int cell) const { return footerFonts_[cell]; }
  QCheckBox* headerMultiline() const { return headerMultiline_; }
  QCheckBox* footerMultiline() const { return footerMultiline_; }

 private:
  std::array<QLineEdit*, 3> headerTexts_{}, footerTexts_{};
  std::array<MacroButton*, 3> headerMacros_{}, footerMacros_{};
  std::array<FontChooser*, 3> headerFonts_{}, footerFonts_{};
  QCheckBox* headerMultiline_;
  QCheckBox* footerMultiline_;
};

}  // namespace tessaly

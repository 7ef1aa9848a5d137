// "Header and Footer" page of the project options.
#include "printlayout/print/HeaderFooterPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "printlayout/print/ProjectOptionsWidgets.h"

namespace tessaly {
namespace {

// One group of three cells: text, "Macro" and font per row.
QGroupBox* CellGroup(const QString& title, const std::array<std::string, 3>& texts,
                     const std::array<TextFont, 3>& fonts, std::array<QLineEdit*, 3>& edits,
                     std::array<MacroButton*, 3>& macros, std::array<FontChooser*, 3>& choosers, QCheckBox* multiline,
                     QWidget* parent) {
  const char* cellNames[3] = {"Left:", "Center:", "Right:"};
  auto* box = new QGroupBox(title, parent);
  auto* grid = new QGridLayout(box);
  for (int i = 0; i < 3; ++i) {
    edits[i] = new QLineEdit(QString::fromStdString(texts[i]), box);
    macros[i] = new MacroButton(edits[i], box);
    choosers[i] = new FontChooser(box);
    choosers[i]->setTextFont(fonts[i]);
    grid->addWidget(new QLabel(QWidget::tr(cellNames[i]), box), i, 0);
    grid->addWidget(edits[i], i, 1);
    grid->addWidget(macros[i], i, 2);
    grid->addWidget(choosers[i], i, 3);
  }
  grid->addWidget(multiline, 3, 1, 1, 3);
  return box;
}

}  // namespace

HeaderFooterPage::HeaderFooterPage(const HeaderFooterValues& values, QWidget* parent) : QWidget(parent) {
  headerMultiline_ = new QCheckBox(QString::fromLatin1(kHeaderMultilineText), this);
  footerMultiline_ = new QCheckBox(QString::fromLatin1(kFooterMultilineText), this);
  headerMultiline_->setChecked(values.headerMultiline);
  footerMultiline_->setChecked(values.footerMultiline);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(CellGroup(tr("Header"), values.headerTexts, values.headerFonts, headerTexts_, headerMacros_,
                              headerFonts_, headerMultiline_, this));
  layout->addWidget(CellGroup(tr("Footer"), values.footerTexts, values.footerFonts, footerTexts_, footerMacros_,
                              footerFonts_, footerMultiline_, this));
  layout->addStretch(1);
}

HeaderFooterValues HeaderFooterPage::values() const {
  HeaderFooterValues v;
  for (int i = 0; i < 3; ++i) {
    v.headerTexts[i] = headerTexts_[i]->text().toStdString();
    v.footerTexts[i] = footerTexts_[i]->text().toStdString();
    v.headerFonts[i] = headerFonts_[i]->textFont();
    v.footerFonts[i] = footerFonts_[i]->textFont();
  }
  v.headerMultiline = headerMultiline_->isChecked();
  v.footerMultiline = footerMultiline_->isChecked();
  return v;
}

}  // namespace tessaly

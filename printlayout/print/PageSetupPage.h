// "Page setup": the project's printer, its paper, resolution and orientation,
// and the first page number.
#pragma once

#include <QPageLayout>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "platform/print/details.h"
#include "printlayout/print/ProjectOptionsValues.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tessaly {

constexpr const char* kPrinterSetupText = "&Setup...";

// What Qt's page setup dialog returned, taken into the values: paper (upright),
// its driver code and form name, orientation and resolution (when positive).
void TakePageLayout(const QPageLayout& layout, int resolution, PageSetupValues& values);

class PageSetupPage : public QWidget {
 public:
  using DetailsSource = PrinterDetailsSource;

  PageSetupPage(Environment& environment, const PageSetupValues& values, QWidget* parent = nullptr,
                DetailsSource details = vel::print::GetPrinterDetails);

  const PageSetupValues& values() const { return values_; }

  QListWidget* printerList() const { return printers_; }
  QLabel* missingPrinterLine() const { return missing_; }
  QLabel* statusLine() const { return status_; }
  QLabel* typeLine() const { return type_; }
  QLabel* commentLine() const { return comment_; }
  QComboBox* paperList() const { return paper_; }
  QComboBox* resolutionList() const { return resolution_; }
  QRadioButton* portraitButton() const { return portrait_; }
  QRadioButton* landscapeButton() const { return landscape_; }
  QSpinBox* firstPageNumber() const { return firstPage_; }
  QPushButton* setupButton() const { return setup_; }

 private:
  void choosePrinter(const std::string& name);
  void showDetails();
  void runSetupDialog();

  Environment& environment_;
  DetailsSource details_;
  PageSetupValues values_;
  QListWidget* printers_;
  QLabel* missing_;
  QLabel* status_;
  QLabel* type_;
  QLabel* comment_;
  QComboBox* paper_;
  QComboBox* resolution_;
  QRadioButton* portrait_;
  QRadioButton* landscape_;
  QSpinBox* firstPage_;
  QPushButton* setup_;
};

}  // namespace tessaly

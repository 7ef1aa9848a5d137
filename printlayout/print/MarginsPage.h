// "Page margins": the four margins and the header and footer distances, entered
// in centimetres with decimals.
#pragma once

#include <QWidget>

#include <array>

#include "printlayout/print/ProjectOptionsValues.h"

class QLineEdit;

namespace tessaly {

class MarginsPage : public QWidget {
 public:
  enum Field { kLeft, kTop, kRight, kBottom, kHeader, kFooter, kFieldCount };

  MarginsPage(const MarginValues& values, QWidget* parent = nullptr);

  // The entered distances; a field left empty counts as 0, one that cannot be
  // read keeps the value the page started with.
  MarginValues values() const;
  QLineEdit* field(Field f) const { return edits_[f]; }

 private:
  MarginValues initial_;
  std::array<QLineEdit*, kFieldCount> edits_{};
};

}  // namespace tessaly

// What every page of the settings sheet shares: its title, showing its part of
// the settings record, taking it back (with the checks the edits need), and
// telling the sheet that a control changed so that "Apply" lights up.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <string>

#include "converter/settings/ConverterSettings.h"

class QAbstractButton;
class QButtonGroup;
class QLayout;
class QLineEdit;
class QRadioButton;
class QSlider;

namespace converter {

// Title of the boxes that complain about what an edit holds.
inline constexpr const char* kMessageTitle = "Corbanix";
inline constexpr const char* kEnterInteger = "Please enter an integer.";

class CSheetPage : public QWidget {
 public:
  explicit CSheetPage(const char* title);

  const QString& Title() const { return title_; }

  // Shows the record's part of this page; what the page changes while it does so
  // (its enabling rules) is not a change made by the user.
  void Load(const ConverterSettings& settings);
  // Copies the controls into the record. False when a control holds something the
  // record cannot take: the user has been told and that control has the focus.
  virtual bool Store(ConverterSettings& settings) = 0;

  void SetOnModified(std::function<void()> modified) { modified_ = std::move(modified); }

 protected:
  virtual void DoLoad(const ConverterSettings& settings) = 0;
  bool Loading() const { return loading_; }
  // Lights "Apply" unless the page is loading.
  void Modified();

  // Every change of these counts as a change of the page.
  void Watch(QAbstractButton* button);
  void Watch(QLineEdit* edit);
  void Watch(QSlider* slider);

 private:
  QString title_;
  std::function<void()> modified_;
  bool loading_ = false;
};

// A radio button with its id in the group, named for tests.
QRadioButton* AddRadio(QButtonGroup* group, int id, const QString& text, const char* objectName);
// Checks the button with this id; an id the group does not have leaves none checked
// (a stored value out of range shows as no choice rather than a wrong one).
void CheckRadio(QButtonGroup* group, int id);
// The checked id, or fallback when none is checked.
int CheckedRadio(const QButtonGroup* group, int fallback);

// A line edit for a whole number, named for tests.
QLineEdit* MakeIntEdit(const char* objectName, QWidget* parent = nullptr);
void SetInt(QLineEdit* edit, int value);
// The number in the edit; otherwise says kEnterInteger, focuses the edit and
// returns false.
bool ReadInt(QLineEdit* edit, int* value);

// Registry strings are bytes; show them as UTF-8 when they are, else byte for
// byte, and give back the very bytes when the text was not changed.
QString ToQ(const std::string& text);
std::string FromQ(const QString& text, const std::string& original);

// Makes the box of a page: a titled group with a vertical layout.
QLayout* AddGroup(QLayout* parent, const QString& title, QWidget* owner);

}  // namespace converter

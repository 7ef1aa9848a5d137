// The converter's settings sheet: ten pages over one settings record, loaded
// when the sheet is made and saved on OK or Apply.
#pragma once

#include <QDialog>

#include <array>
#include <functional>
#include <string>

#include "converter/settings/ConverterSettings.h"

class QPushButton;
class QTabWidget;

namespace converter {

class CSheetPage;

class CSettings : public QDialog {
 public:
  // Other processes find the sheet by this title.
  static constexpr const char* kTitle = "Corbanix Settings";
  // The message that makes the About page active (WM_USER + 1001).
  static constexpr unsigned kShowAboutMessage = 0x7E9;
  static constexpr int kPageCount = 10;
  // Page indexes, in tab order.
  enum : int {
    kColorDepthPage = 0,
    kInetFormatesPage = 1,
    kOptionsPage = 2,
    kRenamePage = 3,
    kSizePage = 4,
    kThumbnailPage = 5,
    kTiffPage = 6,
    kAboutPage = 7,
    kCropPage = 8,
    kBriAndContrastPage = 9,
  };
  // The profile section and value that record the page last active.
  static constexpr const char* kOptionsSection = "OPTIONS";
  static constexpr const char* kActivePageValue = "ActivePage";

  // Loads the settings and opens at the About page, or else at the stored page.
  explicit CSettings(QWidget* parent = nullptr, bool aboutPage = false);
  ~CSettings() override;

  void ShowAboutPage();
  // Called where the running tray program must be closed.
  void SetTrayCloser(std::function<void()> closer);

  // The page on show, and switching pages as a click on a tab does (the page
  // left must hold valid input).
  int ActivePage() const;
  bool SetActivePage(int index);
  CSheetPage* Page(int index) const;
  const ConverterSettings& Settings() const { return settings_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* ApplyButton() const { return apply_; }

  // What Apply does (OK as well, before closing): false when a control holds
  // input the settings cannot take, or the settings could not be saved.
  bool Apply();
  // F1: the converter's help file in its own folder.
  void ShowHelp();
  static std::string HelpFilePath();

  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void PageActivated(int index);
  void RecordActivePage(int index);

  ConverterSettings settings_;
  std::array<CSheetPage*, kPageCount> pages_{};
  std::array<bool, kPageCount> visited_{};  // a page never shown has nothing to take back
  QTabWidget* tabs_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* apply_ = nullptr;
  std::function<void()> trayCloser_;
  int current_ = 0;
  bool switching_ = false;
};

}  // namespace converter

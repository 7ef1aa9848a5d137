// The ten pages of the converter's settings sheet. Controls carry object names
// so that tests (and anyone scripting the sheet) can find them.
#pragma once

#include <functional>
#include <string>

#include "converter/sheet/SheetPage.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace converter {

class CFolderButton;

class CColorDepthPage : public CSheetPage {
 public:
  CColorDepthPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  // With the grayscale palette only 8, 4 and 1 bits are possible.
  void ApplyGrayRule();
  QButtonGroup* depth_;
  QCheckBox* gray_;
  int stored_ = 1;
};

class CInetFormatesPage : public CSheetPage {
 public:
  CInetFormatesPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  QSlider* quality_;
  QLabel* qualityValue_;
  QCheckBox* compress_;
  QCheckBox* interlace_;
  QButtonGroup* filter_;
  int stored_ = 1;
};

class COptionsPage : public CSheetPage {
 public:
  COptionsPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  void UpdateEnabling();
  QCheckBox* overwrite_;
  QCheckBox* createLog_;
  QCheckBox* useAllPages_;
  QCheckBox* vectorize_;
  QCheckBox* closeAfter_;
  QCheckBox* showPennock_;
  QCheckBox* addToMultipage_;
  QLineEdit* multipageName_;
  QCheckBox* usePredefFolder_;
  CFolderButton* folder_;
  std::string storedName_;
};

class CRenamePage : public CSheetPage {
 public:
  CRenamePage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  QButtonGroup* mode_;
  QLineEdit* templates_[4];
  QCheckBox* askBefore_;
  QCheckBox* usePredefFolder_;
  CFolderButton* folder_;
  std::string storedTemplates_[4];
  int stored_ = 0;
};

class CSizePage : public CSheetPage {
 public:
  CSizePage();
  bool Store(ConverterSettings& s) override;
  // The background colour as 0x00BBGGRR.
  unsigned BackgroundColor() const { return background_; }

 private:
  void DoLoad(const ConverterSettings& s) override;
  void UpdateEnabling();
  void UpdateAngle();
  void SetBackground(unsigned colorref);
  void ChooseBackground();
  // Both edits times num / den in whole numbers.
  void Scale(int num, int den);
  QButtonGroup* mode_;
  QLineEdit* width_;
  QLineEdit* height_;
  QLineEdit* multiplier_;
  QPushButton* presets_[6];
  QButtonGroup* quality_;
  QPushButton* swatch_;
  QSlider* angle_;
  QLabel* angleValue_;
  unsigned background_ = 0xFFFFFF;
  int storedMode_ = 1, storedQuality_ = 3;
};

class CThumbnailPage : public CSheetPage {
 public:
  CThumbnailPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  void UpdateEnabling();
  void SizeModeChosen(int mode);
  QCheckBox* showThumbnail_;
  QCheckBox* showFileInfo_;
  QCheckBox* showImageInfo_;
  QButtonGroup* sizeMode_;
  QLineEdit* width_;
  QLineEdit* height_;
  QSlider* time_;
  QLabel* timeValue_;
  QButtonGroup* quality_;
  QWidget* rest_;  // everything below the three check boxes
  int storedMode_ = 0;
};

class CTIFFPage : public CSheetPage {
 public:
  CTIFFPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  QButtonGroup* compression_;
  QCheckBox* reverseFill_;
  QLineEdit* artist_;
  QLineEdit* copyright_;
  std::string storedArtist_, storedCopyright_;
  int stored_ = 1;
};

class CSettingsAbout : public CSheetPage {
 public:
  // opener opens the maker's web page.
  explicit CSettingsAbout(std::function<void()> opener);
  bool Store(ConverterSettings&) override { return true; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void DoLoad(const ConverterSettings&) override {}
  QLabel* logo_;
  std::function<void()> opener_;
};

class CCropPage : public CSheetPage {
 public:
  CCropPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  void UpdateMode();
  QButtonGroup* mode_;
  QLineEdit* x0_;
  QLineEdit* y0_;
  QWidget* sizePair_;    // width and height: the rectangle mode
  QWidget* marginPair_;  // right and bottom: the margins mode
  QLineEdit* width_;
  QLineEdit* height_;
  QLineEdit* x1_;
  QLineEdit* y1_;
  int stored_ = 0;
};

class CBriAndContrastPage : public CSheetPage {
 public:
  CBriAndContrastPage();
  bool Store(ConverterSettings& s) override;

 private:
  void DoLoad(const ConverterSettings& s) override;
  QSlider* sliders_[4];  // brightness, red, green, blue
};

// The text the About page shows for this build.
QString AboutVersionText();

}  // namespace converter

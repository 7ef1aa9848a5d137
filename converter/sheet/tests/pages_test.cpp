// Each page: its controls show the stored values, take them back, keep to their
// ranges and follow their enabling rules.
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <filesystem>

#include "converter/sheet/FolderButton.h"
#include "converter/sheet/tests/sheet_fixture.h"
#include "platform/gdi/gdi.h"
#include "siblings/corwen/CAdvBrovserDlg.h"

namespace converter::testing {
namespace {

using Pages = SheetTest;

// A sheet opened at one page.
struct OpenAt {
  explicit OpenAt(int page) { sheet.SetActivePage(page); }
  CSettings sheet;
};

TEST_F(Pages, ColorDepthLoadsStoresAndKeepsGrayToPaletteDepths) {
  Store([](ConverterSettings& s) { s.cdBpp = 3; });
  {
    OpenAt at(CSettings::kColorDepthPage);
    CSettings& sheet = at.sheet;
    EXPECT_TRUE(Find<QRadioButton>(sheet, "bpp3")->isChecked());
    auto* gray = Find<QCheckBox>(sheet, "cdGray");
    EXPECT_FALSE(gray->isChecked());
    Find<QRadioButton>(sheet, "bpp1")->click();
    gray->click();  // 24 bits cannot have a gray palette: 8 bits instead
    EXPECT_TRUE(Find<QRadioButton>(sheet, "bpp2")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(sheet, "bpp0")->isEnabled());
    EXPECT_FALSE(Find<QRadioButton>(sheet, "bpp1")->isEnabled());
    EXPECT_TRUE(Find<QRadioButton>(sheet, "bpp4")->isEnabled());
    Find<QRadioButton>(sheet, "bpp4")->click();
    ASSERT_TRUE(sheet.Apply());
    EXPECT_EQ(Stored().cdBpp, 4);
    EXPECT_EQ(Stored().cdGray, 1);
    gray->click();
    EXPECT_TRUE(Find<QRadioButton>(sheet, "bpp0")->isEnabled());
    EXPECT_TRUE(Find<QRadioButton>(sheet, "bpp4")->isChecked());  // switching off changes no depth
  }
  // Stored as gray 32 bits: the page shows 8 bits straight away.
  Store([](ConverterSettings& s) {
    s.cdBpp = 0;
    s.cdGray = 1;
    s.pageNumber = 0;
  });
  {
    CSettings sheet;
    EXPECT_TRUE(Find<QRadioButton>(sheet, "bpp2")->isChecked());
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
  }
  // A depth no button stands for is kept as it was.
  Store([](ConverterSettings& s) {
    s.cdBpp = 7;
    s.pageNumber = 0;
  });
  {
    CSettings sheet;
    for (const char* name : {"bpp0", "bpp1", "bpp2", "bpp3", "bpp4"})
      EXPECT_FALSE(Find<QRadioButton>(sheet, name)->isChecked()) << name;
    ASSERT_TRUE(sheet.Apply());
  }
  EXPECT_EQ(Stored().cdBpp, 7);
}

TEST_F(Pages, InetFormatsKeepQualityWithinItsSlider) {
  Store([](ConverterSettings& s) {
    s.inetJpegQual = 120;
    s.inetPngFilterMode = 4;
    s.inetInterlacing = 1;
    s.inetPngCompress = 0;
  });
  OpenAt at(CSettings::kInetFormatesPage);
  CSettings& sheet = at.sheet;
  auto* quality = Find<QSlider>(sheet, "jpegQuality");
  EXPECT_EQ(quality->minimum(), 0);
  EXPECT_EQ(quality->maximum(), 99);
  EXPECT_EQ(quality->value(), 99);
  EXPECT_EQ(Find<QLabel>(sheet, "jpegQualityValue")->text(), "99");
  EXPECT_TRUE(Find<QRadioButton>(sheet, "pngFilter4")->isChecked());
  EXPECT_EQ(Find<QRadioButton>(sheet, "pngFilter4")->text(), "Path");
  EXPECT_TRUE(Find<QCheckBox>(sheet, "gifInterlace")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(sheet, "pngCompress")->isChecked());
  quality->setValue(0);
  EXPECT_EQ(Find<QLabel>(sheet, "jpegQualityValue")->text(), "0");
  EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
  Find<QRadioButton>(sheet, "pngFilter0")->click();
  Find<QCheckBox>(sheet, "pngCompress")->click();
  ASSERT_TRUE(sheet.Apply());
  const ConverterSettings s = Stored();
  EXPECT_EQ(s.inetJpegQual, 0);
  EXPECT_EQ(s.inetPngFilterMode, 0);
  EXPECT_EQ(s.inetPngCompress, 1);
  EXPECT_EQ(s.inetInterlacing, 1);
}

TEST_F(Pages, MiscellaneousEnablesNameAndFolderWithTheirBoxes) {
  Store([](ConverterSettings& s) {
    s.optShowPennock = 0;
    s.optMultipageFileName = "All pages";
  });
  OpenAt at(CSettings::kOptionsPage);
  CSettings& sheet = at.sheet;
  auto* multipage = Find<QCheckBox>(sheet, "optAddToMultipage");
  auto* name = Find<QLineEdit>(sheet, "optMultipageName");
  auto* usePredef = Find<QCheckBox>(sheet, "optUsePredefFolder");
  auto* folder = Find<QPushButton>(sheet, "optFolder");
  EXPECT_EQ(name->text(), "All pages");
  EXPECT_FALSE(name->isEnabled());
  EXPECT_FALSE(folder->isEnabled());
  EXPECT_EQ(folder->text(), "Browse");
  multipage->click();
  EXPECT_TRUE(name->isEnabled());
  usePredef->click();
  EXPECT_TRUE(folder->isEnabled());
  multipage->click();
  EXPECT_FALSE(name->isEnabled());
  multipage->click();
  name->setText("Book");
  for (const char* check : {"optOverwrite", "optCreateLog", "optUseAllPages", "optVectorize", "optCloseAfter"})
    Find<QCheckBox>(sheet, check)->click();
  ASSERT_TRUE(sheet.Apply());
  const ConverterSettings s = Stored();
  EXPECT_EQ(s.optAddToMultipage, 1);
  EXPECT_EQ(s.optMultipageFileName, "Book");
  EXPECT_EQ(s.optUsePredefFolder, 1);
  EXPECT_EQ(s.optOverwriteExisting, 1);
  EXPECT_EQ(s.optCreateLog, 0);
  EXPECT_EQ(s.optUseAllPages, 0);
  EXPECT_EQ(s.optVectorize, 1);
  EXPECT_EQ(s.optCloseAfter, 1);
  EXPECT_EQ(s.optShowPennock, 0);
  EXPECT_EQ(s.optShowReport, 1);  // on no page, written back as it was
}

TEST_F(Pages, TheFolderButtonBrowsesWithCorwenAndShowsTheFolder) {
  const std::string chosen = TempPath("out");
  std::filesystem::create_directories(chosen + "/sub");
  Store([&](ConverterSettings& s) {
    s.optUsePredefFolder = 1;
    s.optFolderPath = chosen;
  });
  OpenAt at(CSettings::kOptionsPage);
  CSettings& sheet = at.sheet;
  auto* folder = Find<QPushButton>(sheet, "optFolder");
  EXPECT_EQ(folder->text().toStdString(), chosen);
  ASSERT_TRUE(folder->isEnabled());

  // The browser starts at the stored folder; cancelling changes nothing.
  std::string shownAtStart;
  WhenModal<CAdvBrovserDlg>([&](CAdvBrovserDlg* browser) {
    shownAtStart = browser->CurrentFolder();
    browser->reject();
  });
  folder->click();
  EXPECT_EQ(shownAtStart, chosen);
  EXPECT_EQ(folder->text().toStdString(), chosen);
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

  WhenModal<CAdvBrovserDlg>([&](CAdvBrovserDlg* browser) {
    browser->Browse(chosen + "/sub");
    browser->accept();
  });
  folder->click();
  EXPECT_EQ(folder->text().toStdString(), chosen + "/sub");
  EXPECT_TRUE(sheet.ApplyButton()->isEnabled());
  ASSERT_TRUE(sheet.Apply());
  EXPECT_EQ(Stored().optFolderPath, chosen + "/sub");
}

TEST_F(Pages, RenameMasksAndFolder) {
  Store([](ConverterSettings& s) {
    s.renTemplateMode = 4;
    s.renFolderPath = "/srv/renamed";
    s.renAskBefore = 0;
  });
  OpenAt at(CSettings::kRenamePage);
  CSettings& sheet = at.sheet;
  EXPECT_TRUE(Find<QRadioButton>(sheet, "renMode4")->isChecked());
  EXPECT_EQ(Find<QRadioButton>(sheet, "renMode0")->text(), "NAME+COUNTER.EXT");
  const char* defaults[] = {"Template1", "Template2", "Template3", "TP4"};
  for (int i = 0; i < 4; ++i) {
    const std::string name = "renTmpl" + std::to_string(i + 1);
    auto* edit = Find<QLineEdit>(sheet, name.c_str());
    EXPECT_EQ(edit->text().toStdString(), defaults[i]);
    EXPECT_EQ(edit->maxLength(), 200);
  }
  auto* folder = Find<QPushButton>(sheet, "renFolder");
  EXPECT_EQ(folder->text(), "/srv/renamed");
  EXPECT_FALSE(folder->isEnabled());
  Find<QCheckBox>(sheet, "renUsePredefFolder")->click();
  EXPECT_TRUE(folder->isEnabled());
  Find<QLineEdit>(sheet, "renTmpl2")->setText(QString(250, 'y'));  // cut to 200
  Find<QRadioButton>(sheet, "renMode2")->click();
  Find<QCheckBox>(sheet, "renAskBefore")->click();
  ASSERT_TRUE(sheet.Apply());
  const ConverterSettings s = Stored();
  EXPECT_EQ(s.renTemplateMode, 2);
  EXPECT_EQ(s.renTemplates[1], std::string(200, 'y'));
  EXPECT_EQ(s.renTemplates[3], "TP4");
  EXPECT_EQ(s.renAskBefore, 1);
  EXPECT_EQ(s.renUsePredefFolder, 1);
  EXPECT_EQ(s.renFolderPath, "/srv/renamed");
}

TEST_F(Pages, ZoomModesEnableTheirControls) {
  OpenAt at(CSettings::kSizePage);
  CSettings& sheet = at.sheet;
  const char* limits[] = {"newWidth", "newHeight",  "preset4",       "preset3",
                          "preset2",  "presetHalf", "presetQuarter", "presetTenth"};
  const struct {
    const char* mode;
    bool limits, multiplier;
  } cases[] = {
      {"zoomMode0", false, false}, {"zoomMode1", true, false}, {"zoomMode2", true, false}, {"zoomMode3", false, true}};
  for (const auto& c : cases) {
    Find<QRadioButton>(sheet, c.mode)->click();
    for (const char* name : limits) EXPECT_EQ(Find<QWidget>(sheet, name)->isEnabled(), c.limits) << c.mode << name;
    EXPECT_EQ(Find<QLineEdit>(sheet, "multiplier")->isEnabled(), c.multiplier) << c.mode;
  }
}

TEST_F(Pages, ZoomPresetsScaleBothEditsInWholeNumbers) {
  OpenAt at(CSettings::kSizePage);
  CSettings& sheet = at.sheet;
  auto* width = Find<QLineEdit>(sheet, "newWidth");
  auto* height = Find<QLineEdit>(sheet, "newHeight");
  EXPECT_EQ(Find<QPushButton>(sheet, "preset4")->text(), "x  4,0");
  EXPECT_EQ(Find<QPushButton>(sheet, "presetQuarter")->text(), "x 0,25");
  width->setText("1001");
  height->setText("75");
  const struct {
    const char* preset;
    const char* width;
    const char* height;
  } steps[] = {{"presetTenth", "100", "7"}, {"preset3", "300", "21"}, {"presetQuarter", "75", "5"},
               {"presetHalf", "37", "2"},   {"preset4", "148", "8"},  {"preset2", "296", "16"}};
  for (const auto& s : steps) {
    Find<QPushButton>(sheet, s.preset)->click();
    EXPECT_EQ(width->text(), s.width) << s.preset;
    EXPECT_EQ(height->text(), s.height) << s.preset;
  }
  // A result that would not fit leaves both edits as they are.
  width->setText("2000000000");
  Find<QPushButton>(sheet, "preset2")->click();
  EXPECT_EQ(width->text(), "2000000000");
  EXPECT_EQ(height->text(), "16");
  EXPECT_TRUE(messages_.empty());
  width->setText("");
  Find<QPushButton>(sheet, "preset2")->click();
  EXPECT_EQ(messages_, std::vector<std::string>{"Corbanix: Please enter an integer."});
  EXPECT_EQ(height->text(), "16");
}

TEST_F(Pages, TheMultiplierAcceptsOneHundredthToAThousand) {
  OpenAt at(CSettings::kSizePage);
  CSettings& sheet = at.sheet;
  auto* multiplier = Find<QLineEdit>(sheet, "multiplier");
  EXPECT_EQ(multiplier->text(), "1");
  const struct {
    const char* text;
    const char* message;  // null: accepted
  } cases[] = {{"0.009", "Corbanix: Please enter a number between 0.01 and 1000."},
               {"1000.5", "Corbanix: Please enter a number between 0.01 and 1000."},
               {"-3", "Corbanix: Please enter a number between 0.01 and 1000."},
               {"nan", "Corbanix: Please enter a number between 0.01 and 1000."},
               {"two", "Corbanix: Please enter a number."},
               {"", "Corbanix: Please enter a number."},
               {"0.01", nullptr},
               {"1000", nullptr},
               {"2.5", nullptr}};
  for (const auto& c : cases) {
    messages_.clear();
    multiplier->setText(c.text);
    EXPECT_EQ(sheet.Apply(), c.message == nullptr) << c.text;
    if (c.message) {
      ASSERT_EQ(messages_.size(), 1u) << c.text;
      EXPECT_EQ(messages_[0], c.message);
    } else {
      EXPECT_FLOAT_EQ(Stored().sizeMultiplier, std::stof(c.text));
    }
  }
}

TEST_F(Pages, RotationAndBackgroundColour) {
  Store([](ConverterSettings& s) {
    s.sizeRotAngle = -1234;
    s.sizeBkColor = 0x00336699;
    s.sizeZoomQual = 1;
  });
  OpenAt at(CSettings::kSizePage);
  CSettings& sheet = at.sheet;
  auto* angle = Find<QSlider>(sheet, "rotAngle");
  EXPECT_EQ(angle->minimum(), -36000);
  EXPECT_EQ(angle->maximum(), 36000);
  EXPECT_EQ(Find<QLabel>(sheet, "rotAngleValue")->text(), "-12.34 degree");
  angle->setValue(90000);
  EXPECT_EQ(Find<QLabel>(sheet, "rotAngleValue")->text(), "360.00 degree");
  EXPECT_TRUE(Find<QRadioButton>(sheet, "zoomQual1")->isChecked());

  QColor offered;
  WhenModal<QColorDialog>([&](QColorDialog* dialog) {
    offered = dialog->currentColor();
    dialog->setCurrentColor(QColor(10, 20, 30));
    dialog->accept();
  });
  Find<QPushButton>(sheet, "bkColor")->click();
  EXPECT_EQ(offered, QColor(0x99, 0x66, 0x33));
  ASSERT_TRUE(sheet.Apply());
  EXPECT_EQ(Stored().sizeBkColor, 0x001E140Au);
  EXPECT_EQ(Stored().sizeRotAngle, 36000);
}

TEST_F(Pages, ThumbnailSizeModesFollowTheScreen) {
  HDC screen = CreateCompatibleDC(nullptr);
  const int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
  DeleteDC(screen);
  ASSERT_GT(sw / 11, 0);
  OpenAt at(CSettings::kThumbnailPage);
  CSettings& sheet = at.sheet;
  auto* width = Find<QLineEdit>(sheet, "thumbWidth");
  auto* height = Find<QLineEdit>(sheet, "thumbHeight");
  EXPECT_EQ(width->text().toInt(), sw / 5);  // the stored default
  const struct {
    const char* mode;
    int divisor;
  } cases[] = {{"thumbSize1", 7}, {"thumbSize2", 11}, {"thumbSize0", 5}};
  for (const auto& c : cases) {
    Find<QRadioButton>(sheet, c.mode)->click();
    EXPECT_EQ(width->text().toInt(), sw / c.divisor) << c.mode;
    EXPECT_EQ(height->text().toInt(), sh / c.divisor) << c.mode;
    EXPECT_FALSE(width->isEnabled());
  }
  Find<QRadioButton>(sheet, "thumbSize3")->click();
  EXPECT_TRUE(width->isEnabled());
  EXPECT_EQ(width->text().toInt(), sw / 5);  // "Set limits:" keeps what is there
  width->setText("123");
  height->setText("45");
  ASSERT_TRUE(sheet.Apply());
  const ThumbnailSettings t = Stored().thumbnail;
  EXPECT_EQ(t.sizeMode, 3);
  EXPECT_EQ(t.width, 123);
  EXPECT_EQ(t.height, 45);
}

TEST_F(Pages, ThumbnailOffClearsAndDisablesTheRest) {
  Store([](ConverterSettings& s) {
    s.thumbnail.sizeMode = 3;
    s.thumbnail.time = 100;
    s.thumbnail.zoomQuality = 1;
  });
  OpenAt at(CSettings::kThumbnailPage);
  CSettings& sheet = at.sheet;
  auto* show = Find<QCheckBox>(sheet, "thumbShow");
  auto* fileInfo = Find<QCheckBox>(sheet, "thumbFileInfo");
  auto* imageInfo = Find<QCheckBox>(sheet, "thumbImageInfo");
  auto* time = Find<QSlider>(sheet, "thumbTime");
  EXPECT_EQ(time->value(), 60);
  EXPECT_EQ(Find<QLabel>(sheet, "thumbTimeValue")->text(), "60 sec");
  EXPECT_EQ(time->tickInterval(), 5);
  time->setValue(1);
  EXPECT_EQ(Find<QLabel>(sheet, "thumbTimeValue")->text(), "5 sec");
  EXPECT_TRUE(Find<QLineEdit>(sheet, "thumbWidth")->isEnabled());
  EXPECT_TRUE(Find<QRadioButton>(sheet, "thumbQuality1")->isChecked());

  show->click();
  EXPECT_FALSE(fileInfo->isChecked());
  EXPECT_FALSE(imageInfo->isChecked());
  for (const char* name : {"thumbFileInfo", "thumbImageInfo", "thumbSize0", "thumbSize3", "thumbWidth", "thumbHeight",
                           "thumbTime", "thumbQuality0"})
    EXPECT_FALSE(Find<QWidget>(sheet, name)->isEnabled()) << name;
  show->click();
  EXPECT_TRUE(fileInfo->isEnabled());
  EXPECT_FALSE(fileInfo->isChecked());  // switched back on, the lines stay off
  EXPECT_TRUE(Find<QLineEdit>(sheet, "thumbWidth")->isEnabled());
  imageInfo->click();
  ASSERT_TRUE(sheet.Apply());
  const ThumbnailSettings t = Stored().thumbnail;
  EXPECT_EQ(t.showThumbnail, 1);
  EXPECT_EQ(t.showFileNameAndLength, 0);
  EXPECT_EQ(t.showWidthAndHeight, 1);
  EXPECT_EQ(t.time, 5);
  EXPECT_EQ(t.zoomQuality, 1);
}

TEST_F(Pages, TiffTextsAreCutTo255Characters) {
  Store([](ConverterSettings& s) {
    s.tiffArtist = std::string(259, 'a');
    s.tiffCompressionMode = 5;
    s.tiffReverseFill = 1;
  });
  OpenAt at(CSettings::kTiffPage);
  CSettings& sheet = at.sheet;
  EXPECT_EQ(Find<QLineEdit>(sheet, "tiffArtist")->text().size(), 255);
  EXPECT_EQ(Find<QLineEdit>(sheet, "tiffCopyright")->maxLength(), 255);
  EXPECT_TRUE(Find<QRadioButton>(sheet, "tiffComp5")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(sheet, "tiffReverseFill")->isChecked());
  Find<QLineEdit>(sheet, "tiffCopyright")->setText(QString::fromUtf8("(c) 2026 Zoë"));
  Find<QRadioButton>(sheet, "tiffComp1")->click();
  ASSERT_TRUE(sheet.Apply());
  const ConverterSettings s = Stored();
  EXPECT_EQ(s.tiffArtist, std::string(255, 'a'));
  EXPECT_EQ(s.tiffCopyright, "(c) 2026 Zo\xc3\xab");
  EXPECT_EQ(s.tiffCompressionMode, 1);
}

TEST_F(Pages, TextsThatAreNotUtf8ComeBackByteForByte) {
  Store([](ConverterSettings& s) {
    s.optFolderPath = "/data/caf\xe9";
    s.optMultipageFileName = "M\xfcller";
  });
  OpenAt at(CSettings::kOptionsPage);
  ASSERT_TRUE(at.sheet.Apply());
  EXPECT_EQ(Stored().optFolderPath, "/data/caf\xe9");
  EXPECT_EQ(Stored().optMultipageFileName, "M\xfcller");
}

TEST_F(Pages, CropShowsThePairOfItsModeAndKeepsBoth) {
  Store([](ConverterSettings& s) {
    s.cropMode = 1;
    s.cropX0 = 1;
    s.cropY0 = 2;
    s.cropWidth = 30;
    s.cropHeight = 40;
    s.cropX1 = 5;
    s.cropY1 = 6;
  });
  OpenAt at(CSettings::kCropPage);
  CSettings& sheet = at.sheet;
  QWidget* page = sheet.Page(CSettings::kCropPage);
  auto* sizePair = Find<QWidget>(sheet, "cropSizePair");
  auto* marginPair = Find<QWidget>(sheet, "cropMarginPair");
  EXPECT_TRUE(sizePair->isVisibleTo(page));
  EXPECT_FALSE(marginPair->isVisibleTo(page));
  EXPECT_EQ(Find<QLineEdit>(sheet, "cropWidth")->text(), "30");
  bool sawWidthLabel = false;
  for (QLabel* label : sizePair->findChildren<QLabel*>()) sawWidthLabel |= label->text() == "New image width W:";
  EXPECT_TRUE(sawWidthLabel);

  Find<QRadioButton>(sheet, "cropMode2")->click();
  EXPECT_FALSE(sizePair->isVisibleTo(page));
  EXPECT_TRUE(marginPair->isVisibleTo(page));
  Find<QLineEdit>(sheet, "cropX1")->setText("7");
  Find<QRadioButton>(sheet, "cropMode0")->click();
  for (const char* name : {"cropX0", "cropY0", "cropWidth", "cropHeight", "cropX1", "cropY1"})
    EXPECT_FALSE(Find<QLineEdit>(sheet, name)->isEnabled()) << name;
  Find<QRadioButton>(sheet, "cropMode2")->click();
  EXPECT_TRUE(Find<QLineEdit>(sheet, "cropX1")->isEnabled());
  // An edit of the hidden pair that holds no number keeps the stored value.
  Find<QLineEdit>(sheet, "cropHeight")->setText("");
  ASSERT_TRUE(sheet.Apply());
  ConverterSettings s = Stored();
  EXPECT_EQ(s.cropMode, 2);
  EXPECT_EQ(s.cropX1, 7);
  EXPECT_EQ(s.cropY1, 6);
  EXPECT_EQ(s.cropWidth, 30);
  EXPECT_EQ(s.cropHeight, 40);
  // In the rectangle mode the same empty edit is refused.
  Find<QRadioButton>(sheet, "cropMode1")->click();
  EXPECT_FALSE(sheet.Apply());
  EXPECT_EQ(messages_, std::vector<std::string>{"Corbanix: Please enter an integer."});
}

TEST_F(Pages, BrightnessAndContrastSlidersKeepTheirRanges) {
  Store([](ConverterSettings& s) {
    s.briconBri = 300;
    s.briconRed = -150;
    s.briconGreen = 42;
    s.briconBlue = 0;
  });
  OpenAt at(CSettings::kBriAndContrastPage);
  CSettings& sheet = at.sheet;
  EXPECT_EQ(Find<QSlider>(sheet, "brightness")->value(), 255);
  EXPECT_EQ(Find<QSlider>(sheet, "brightness")->minimum(), -255);
  EXPECT_EQ(Find<QSlider>(sheet, "contrastRed")->value(), -100);
  EXPECT_EQ(Find<QSlider>(sheet, "contrastBlue")->maximum(), 100);
  EXPECT_EQ(Find<QLabel>(sheet, "brightnessValue")->text(), "255");
  EXPECT_EQ(Find<QLabel>(sheet, "contrastRedValue")->text(), "-100");
  EXPECT_EQ(Find<QLabel>(sheet, "contrastGreenValue")->text(), "42");
  Find<QSlider>(sheet, "contrastBlue")->setValue(-7);
  EXPECT_EQ(Find<QLabel>(sheet, "contrastBlueValue")->text(), "-7");
  ASSERT_TRUE(sheet.Apply());
  const ConverterSettings s = Stored();
  EXPECT_EQ(s.briconBri, 255);
  EXPECT_EQ(s.briconRed, -100);
  EXPECT_EQ(s.briconGreen, 42);
  EXPECT_EQ(s.briconBlue, -7);
}

TEST_F(Pages, EveryPageShownAndAppliedUnchangedKeepsTheRecord) {
  Store([](ConverterSettings& s) {
    s.cdBpp = 2;
    s.inetJpegQual = 33;
    s.optAddToMultipage = 1;
    s.optFolderPath = "/x";
    s.renTemplates[0] = "A";
    s.sizeNewWidth = 99;
    s.sizeMultiplier = 0.25f;
    s.sizeZoomMode = 3;
    s.sizeBkColor = 0x123456;
    s.thumbnail.sizeMode = 2;
    s.thumbnail.width = 77;
    s.thumbnail.height = 66;
    s.thumbnail.time = 35;
    s.tiffArtist = "me";
    s.cropMode = 2;
    s.cropY1 = -4;
    s.briconGreen = 9;
  });
  ConverterSettings before = Stored();
  CSettings sheet;
  for (int i = 0; i < CSettings::kPageCount; ++i) ASSERT_TRUE(sheet.SetActivePage(i));
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());  // showing a page changes nothing
  ASSERT_TRUE(sheet.Apply());
  ConverterSettings after = Stored();
  before.pageNumber = 9;
  EXPECT_EQ(after.cdBpp, before.cdBpp);
  EXPECT_EQ(after.inetJpegQual, before.inetJpegQual);
  EXPECT_EQ(after.optAddToMultipage, before.optAddToMultipage);
  EXPECT_EQ(after.optFolderPath, before.optFolderPath);
  EXPECT_EQ(after.renTemplates[0], before.renTemplates[0]);
  EXPECT_EQ(after.sizeNewWidth, before.sizeNewWidth);
  EXPECT_EQ(after.sizeMultiplier, before.sizeMultiplier);
  EXPECT_EQ(after.sizeZoomMode, before.sizeZoomMode);
  EXPECT_EQ(after.sizeBkColor, before.sizeBkColor);
  EXPECT_EQ(after.thumbnail.sizeMode, 2);
  EXPECT_EQ(after.thumbnail.width, 77);  // showing a mode never recomputes the limits
  EXPECT_EQ(after.thumbnail.height, 66);
  EXPECT_EQ(after.thumbnail.time, 35);
  EXPECT_EQ(after.tiffArtist, "me");
  EXPECT_EQ(after.cropMode, 2);
  EXPECT_EQ(after.cropY1, -4);
  EXPECT_EQ(after.briconGreen, 9);
  EXPECT_EQ(after.pageNumber, 9);
}

}  // namespace
}  // namespace converter::testing

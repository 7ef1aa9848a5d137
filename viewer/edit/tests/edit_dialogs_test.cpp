// The edit dialogs: their arithmetic, their checks and what they do to the document.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

#include "viewer/core/Commands.h"
#include "viewer/edit/CBrightnessDlg.h"
#include "viewer/edit/CContrastDlg.h"
#include "viewer/edit/CRasterizeDlg.h"
#include "viewer/edit/CRotateDlg.h"
#include "viewer/edit/CStretchDlg.h"
#include "viewer/edit/EditWidgets.h"
#include "viewer/edit/tests/edit_test_util.h"

namespace orvenna::testing {
namespace {

using EditDialogs = EditFixture;

TEST_F(EditDialogs, SizeFieldsKeepProportions) {
  struct Case {
    bool constrain;
    bool height;  // the height field is edited, else the width
    const char* typed;
    const char* otherAfter;
  };
  const Case cases[] = {{true, false, "200", "150"},         {true, false, "1", "1"},      {true, true, "150", "200"},
                        {true, false, "1500000", "1125000"}, {false, false, "200", "300"}, {true, true, "0", "1"}};
  for (const Case& c : cases) {
    CStretchDlg dialog(host.MainWindow(), 400, 300, c.constrain, 3);
    CSizeFields& f = dialog.Fields();
    if (c.height)
      f.EditHeight(QString::fromLatin1(c.typed));
    else
      f.EditWidth(QString::fromLatin1(c.typed));
    EXPECT_EQ((c.height ? f.WidthEdit() : f.HeightEdit())->text().toStdString(), c.otherAfter) << c.typed;
  }
  // Ticking the box recomputes from the field edited last.
  CRasterizeDlg dialog(host.MainWindow(), 100, 50, false, 0xFFFFFF);
  dialog.Fields().EditHeight(QStringLiteral("10"));
  EXPECT_EQ(dialog.Fields().WidthEdit()->text(), QStringLiteral("100"));
  dialog.Fields().SetConstrain(true);
  EXPECT_EQ(dialog.Fields().WidthEdit()->text(), QStringLiteral("20"));
}

TEST_F(EditDialogs, OutOfRangeSizesKeepTheDialogOpen) {
  struct Case {
    const char* width;
    const char* message;
  };
  for (const Case c : {Case{"0", "Malvito: Please enter an integer between 1 and 1500000."},
                       Case{"1500001", "Malvito: Please enter an integer between 1 and 1500000."},
                       Case{"", "Malvito: Please enter an integer."}, Case{"1500000", nullptr}}) {
    messages.clear();
    CStretchDlg dialog(host.MainWindow(), 400, 300, false, 0);
    dialog.Fields().EditWidth(QString::fromLatin1(c.width));
    dialog.accept();
    if (c.message) {
      EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.width;
      EXPECT_NE(dialog.result(), QDialog::Accepted);
    } else {
      EXPECT_TRUE(messages.empty());
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
      EXPECT_EQ(dialog.NewWidth(), 1500000);
      EXPECT_EQ(dialog.NewHeight(), 300);
    }
  }
}

TEST_F(EditDialogs, CustomRotationPassesTheAngleAndColour) {
  COrvennaDoc& doc = NewDocument(120, 80, 0x0000FF);
  CImageInterface expected(doc.m_imgCurrent);
  int page = 0;
  ASSERT_TRUE(expected.Rotate(-45.5f, 0xFF0000, page));

  host.settings.crRotationBackColor = 0x00FF00;
  WhenModal<CRotateDlg>([](CRotateDlg& dialog) {
    EXPECT_EQ(dialog.AngleText(), QStringLiteral("0 degree(s)"));
    EXPECT_EQ(dialog.Background(), 0x00FF00u);
    dialog.SetAngleHundredths(-4550);
    EXPECT_EQ(dialog.AngleText(), QStringLiteral("-45.50 degree(s)"));
    EXPECT_EQ(dialog.Angle(), -45.5f);
    dialog.Swatch().SetColor(0xFF0000);
    Shoot(dialog, "rotation");
    dialog.accept();
  });
  ASSERT_TRUE(host.commands.Execute(ID_ROTATE_CUSTOM));
  EXPECT_EQ(host.settings.crRotationBackColor, 0xFF0000u);
  EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), expected.GetWidth(0));
  EXPECT_EQ(doc.m_imgCurrent.GetHeight(0), expected.GetHeight(0));
  EXPECT_GT(expected.GetWidth(0), 120);
  EXPECT_EQ(Pixel(doc.m_imgCurrent, 0, 0), 0xFF0000u);
  EXPECT_EQ(Pixel(doc.m_imgCurrent, doc.m_imgCurrent.GetWidth(0) / 2, doc.m_imgCurrent.GetHeight(0) / 2),
            Pixel(expected, expected.GetWidth(0) / 2, expected.GetHeight(0) / 2));
  EXPECT_TRUE(doc.IsModified());
}

// The document follows every change while automatic application is on; Cancel
// gives back the picture and the flag it had.
TEST_F(EditDialogs, BrightnessAppliedAutomaticallyAndCancelled) {
  COrvennaDoc& doc = NewDocument(50, 40, 0x808080);
  const DWORD before = Pixel(doc.m_imgCurrent, 5, 5);
  struct Step {
    int value;
    bool brighter;
  };
  std::vector<DWORD> seen;
  WhenModal<CBrightnessDlg>([&](CBrightnessDlg& dialog) {
    dialog.SetAutoApply(true);
    for (const Step s : {Step{100, true}, Step{-60, false}}) {
      dialog.SetValue(s.value);
      dialog.Refresh();
      EXPECT_EQ(dialog.ValueText(), QString::number(s.value));
      const DWORD now = Pixel(doc.m_imgCurrent, 5, 5);
      EXPECT_EQ(now, Pixel(dialog.Preview(), 5, 5));
      EXPECT_EQ((now & 0xFF) > (before & 0xFF), s.brighter) << s.value;
      seen.push_back(now);
    }
    dialog.reject();
  });
  ASSERT_TRUE(host.commands.Execute(ID_BRIGHTNESS));
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(Pixel(doc.m_imgCurrent, 5, 5), before);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_TRUE(doc.CanUndo());
}

// "Apply to image" and then OK gives the value once, computed on the full picture
// although the panes show a reduced copy.
TEST_F(EditDialogs, BrightnessAppliedThenAcceptedOnALargePicture) {
  COrvennaDoc& doc = NewDocument(1600, 1200, 0x606060);
  CImageInterface expected(doc.m_imgCurrent);
  int page = 0;
  ASSERT_TRUE(expected.SetBrightness(40, page));
  WhenModal<CBrightnessDlg>([&](CBrightnessDlg& dialog) {
    EXPECT_LE(dialog.Preview().GetWidth(0), CAdjustDlg::kPaneImageWidth);
    dialog.SetValue(40);
    dialog.PressApply();
    EXPECT_EQ(Pixel(doc.m_imgCurrent, 800, 600), Pixel(expected, 800, 600));
    dialog.show();
    Shoot(dialog, "brightness");
    dialog.accept();
  });
  ASSERT_TRUE(host.commands.Execute(ID_BRIGHTNESS));
  EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), 1600);
  EXPECT_EQ(Pixel(doc.m_imgCurrent, 800, 600), Pixel(expected, 800, 600));
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(EditDialogs, ContrastRunsTheThreeChannelsInOrder) {
  COrvennaDoc& doc = NewDocument(60, 40, 0x3080C0);
  CImageInterface expected(doc.m_imgCurrent);
  int page = 0;
  ASSERT_TRUE(expected.SetContrast(50, 4, page, -1));
  ASSERT_TRUE(expected.SetContrast(-30, 2, page, -1));
  ASSERT_TRUE(expected.SetContrast(80, 1, page, -1));
  WhenModal<CContrastDlg>([&](CContrastDlg& dialog) {
    dialog.SetChannels(50, -30, 80);
    dialog.Refresh();
    EXPECT_EQ(dialog.ChannelText(0), QStringLiteral("50%"));
    EXPECT_EQ(dialog.ChannelText(1), QStringLiteral("-30%"));
    EXPECT_EQ(Pixel(dialog.Preview(), 3, 3), Pixel(expected, 3, 3));
    dialog.show();
    Shoot(dialog, "contrast");
    dialog.accept();
  });
  ASSERT_TRUE(host.commands.Execute(ID_CONTRAST));
  EXPECT_EQ(Pixel(doc.m_imgCurrent, 3, 3), Pixel(expected, 3, 3));
  EXPECT_NE(Pixel(doc.m_imgCurrent, 3, 3), 0x3080C0u);
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(EditDialogs, Screenshots) {
  CStretchDlg stretch(host.MainWindow(), 400, 300, true, 3);
  stretch.show();
  Shoot(stretch, "stretch");
  CRasterizeDlg rasterize(host.MainWindow(), 640, 480, true, 0xFFCC99);
  rasterize.show();
  Shoot(rasterize, "rasterize");
  for (QLabel* label : stretch.findChildren<QLabel*>())
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
}

}  // namespace
}  // namespace orvenna::testing

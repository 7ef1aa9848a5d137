// The save dialog: which options each format shows, what the choices leave in the
// option members, the default depth and the chosen path.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/ui/tests/qt_test_util.h"
#include "lorimer/ImageInterface.h"
#include "platform/ui/ui.h"
#include "siblings/bexley/CSaveDlg.h"

namespace {

using Png = _SAVEIMAGEINFO::_PNG;
using Tif = _SAVEIMAGEINFO::_TIF;

const char* const kOptionNames[] = {"depth",     "gray",           "quality",         "interlace", "append",
                                    "pngFilter", "pngCompression", "tiffCompression", "fillOrder", "artist",
                                    "copyright", "modeRecord",     "epsPreview"};

const char* FilterOf(IMGTYPE type) {
  static const char* const kFilters[] = {
      "Windows Bitmap Format (*.bmp)|*.bmp; *.rle; *.dib||",
      "Joint Photo Experts Group Format (*.jpg)|*.jpg; *.jpe; *.jpeg||",
      "Graphics Interchange Format (*.gif)|*.gif||",
      "Portable Network Graphics Format (*.png)|*.png||",
      "Tag Image File Format (*.tif)|*.tif; *.tiff||",
      "Targa Format (*.tga)|*.tga; *.targa||",
      "Paintbrush Format (*.pcx)|*.pcx||",
      "Multipage Paintbrush Format (*.dcx)|*.dcx||",
      "Encapsulated Postscript Format (*.eps)|*.eps; *.epsf||",
      "FaxMan Fax Format (*.fmf)|*.fmf||",
      "Windows Metafile Format (*.wmf)|*.wmf||",
      "Enhanced Metafile Format (*.emf)|*.emf||",
  };
  return kFilters[type];
}

std::string Tmp() { return QDir::tempPath().toStdString(); }

// A picture of the given depth, made the way the viewer's edits make one.
std::unique_ptr<CImageInterface> Picture(int bits) {
  auto image = std::make_unique<CImageInterface>();
  if (!image->InitFromHBITMAP(CImageInterface::CreateEmptyDIBSection(16, 8, 0x3080C0, 0))) return nullptr;
  if (bits != 24 && !image->SetColorDepth(bits, 0)) return nullptr;
  return image;
}

template <typename T>
T* Child(CSaveDlg& dlg, const char* name) {
  return dlg.findChild<T*>(name);
}

void Choose(QComboBox* box, int value) {
  ASSERT_NE(box, nullptr);
  const int index = box->findData(value);
  ASSERT_GE(index, 0) << value;
  box->setCurrentIndex(index);
}

TEST(BexleyTest, EachFormatShowsOnlyItsOptions) {
  struct Case {
    IMGTYPE type;
    std::set<std::string> shown;
  };
  const Case cases[] = {
      {IMGTYPE_BMP, {"depth", "gray"}},
      {IMGTYPE_JPEG, {"depth", "quality"}},
      {IMGTYPE_GIF, {"depth", "gray", "interlace", "append"}},
      {IMGTYPE_PNG, {"depth", "gray", "pngFilter", "pngCompression"}},
      {IMGTYPE_TIFF, {"depth", "gray", "tiffCompression", "fillOrder", "append", "artist", "copyright"}},
      {IMGTYPE_TGA, {"depth"}},
      {IMGTYPE_PCX, {"depth", "gray"}},
      {IMGTYPE_DCX, {"depth", "gray", "append"}},
      {IMGTYPE_EPS, {"epsPreview"}},
      {IMGTYPE_FMF, {}},
      {IMGTYPE_WMF, {"modeRecord"}},
      {IMGTYPE_EMF, {"modeRecord"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    CSaveDlg dlg(c.type, FilterOf(c.type), nullptr, Tmp() + "/Photo", 0);
    for (const char* name : kOptionNames)
      EXPECT_EQ(dlg.findChild<QWidget*>(name) != nullptr, c.shown.count(name) == 1) << name;
    EXPECT_EQ(dlg.findChild<QComboBox*>("fileType")->itemText(0).toStdString(),
              std::string(FilterOf(c.type)).substr(0, std::string(FilterOf(c.type)).find('|')));
  }
}

TEST(BexleyTest, ChoicesReachTheOptionMembers) {
  struct Case {
    const char* name;
    IMGTYPE type;
    int isVector;
    std::function<void(CSaveDlg&)> choose;
    std::function<void(const CSaveDlg&)> check;
  };
  const Case cases[] = {
      {"TIFF LZW", IMGTYPE_TIFF, 0,
       [](CSaveDlg& d) {
         Choose(Child<QComboBox>(d, "tiffCompression"), Tif::COMPRESS_LZW);
         Choose(Child<QComboBox>(d, "fillOrder"), 2);
         Choose(Child<QComboBox>(d, "depth"), 8);
         Child<QCheckBox>(d, "gray")->setChecked(true);
         Child<QCheckBox>(d, "append")->setChecked(true);
         Child<QLineEdit>(d, "artist")->setText("Ann");
         Child<QLineEdit>(d, "copyright")->setText(QString(2000, 'c'));
       },
       [](const CSaveDlg& d) {
         EXPECT_EQ(d.m_nTiffCompression, Tif::COMPRESS_LZW);
         EXPECT_EQ(d.m_nFillOrder, 2);
         EXPECT_EQ(d.m_nDepth, 8);
         EXPECT_EQ(d.m_bGray, 1);
         EXPECT_EQ(d.m_bAppend, 1);
         EXPECT_EQ(d.m_strArtist, "Ann");
         EXPECT_EQ(d.m_strCopyright.size(), 1023u);  // fits the record with its terminating zero
       }},
      {"TIFF fax is bilevel", IMGTYPE_TIFF, 0,
       [](CSaveDlg& d) {
         Child<QCheckBox>(d, "gray")->setChecked(true);
         Choose(Child<QComboBox>(d, "tiffCompression"), Tif::COMPRESS_GROUP4);
         EXPECT_FALSE(Child<QComboBox>(d, "depth")->isEnabled());
       },
       [](const CSaveDlg& d) {
         EXPECT_EQ(d.m_nTiffCompression, Tif::COMPRESS_GROUP4);
         EXPECT_EQ(d.m_nDepth, 1);
         EXPECT_EQ(d.m_bGray, 0);
         EXPECT_EQ(d.m_nFillOrder, 1);
       }},
      {"PNG Paeth maximum", IMGTYPE_PNG, 0,
       [](CSaveDlg& d) {
         Choose(Child<QComboBox>(d, "pngFilter"), Png::FILTER_PAETH);
         Choose(Child<QComboBox>(d, "pngCompression"), Png::COMPRESS_MAXIMUM);
       },
       [](const CSaveDlg& d) {
         EXPECT_EQ(d.m_nFilter, Png::FILTER_PAETH);
         EXPECT_EQ(d.m_nCompression, Png::COMPRESS_MAXIMUM);
       }},
      {"JPEG quality", IMGTYPE_JPEG, 0,
       [](CSaveDlg& d) {
         EXPECT_EQ(Child<QSpinBox>(d, "quality")->value(), 75);
         Child<QSpinBox>(d, "quality")->setValue(90);
       },
       [](const CSaveDlg& d) { EXPECT_EQ(d.m_nQuality, 90); }},
      {"GIF interlace", IMGTYPE_GIF, 0, [](CSaveDlg& d) { Child<QCheckBox>(d, "interlace")->setChecked(true); },
       [](const CSaveDlg& d) {
         EXPECT_EQ(d.m_bInterlace, 1);
         EXPECT_EQ(d.m_bAppend, 0);
       }},
      {"BMP gray needs a palette depth", IMGTYPE_BMP, 0,
       [](CSaveDlg& d) {
         Child<QCheckBox>(d, "gray")->setChecked(true);
         Choose(Child<QComboBox>(d, "depth"), 24);
         EXPECT_FALSE(Child<QCheckBox>(d, "gray")->isEnabled());
       },
       [](const CSaveDlg& d) {
         EXPECT_EQ(d.m_nDepth, 24);
         EXPECT_EQ(d.m_bGray, 0);
       }},
      {"WMF of a picture, wrapped", IMGTYPE_WMF, 0, [](CSaveDlg& d) { Child<QRadioButton>(d, "modeWrap")->click(); },
       [](const CSaveDlg& d) { EXPECT_EQ(d.m_nMetafileMode, 1); }},
      {"EMF of a drawing", IMGTYPE_EMF, 1,
       [](CSaveDlg& d) {
         EXPECT_FALSE(Child<QRadioButton>(d, "modeWrap")->isEnabled());
         Child<QRadioButton>(d, "modeWrap")->setChecked(true);
       },
       [](const CSaveDlg& d) { EXPECT_EQ(d.m_nMetafileMode, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSaveDlg dlg(c.type, FilterOf(c.type), nullptr, Tmp() + "/Photo", c.isVector);
    c.choose(dlg);
    ASSERT_TRUE(dlg.Accept());
    c.check(dlg);
  }
}

TEST(BexleyTest, DefaultDepthFollowsTheImage) {
  struct Case {
    int imageBits;  // 0: no image
    IMGTYPE type;
    int depth;
  };
  const Case cases[] = {
      {8, IMGTYPE_BMP, 8},    {4, IMGTYPE_TIFF, 4},  {1, IMGTYPE_PNG, 1},  {24, IMGTYPE_GIF, 8}, {1, IMGTYPE_GIF, 4},
      {24, IMGTYPE_JPEG, 24}, {8, IMGTYPE_JPEG, 24}, {1, IMGTYPE_JPEG, 8}, {8, IMGTYPE_TGA, 24}, {0, IMGTYPE_PCX, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.imageBits) + " bits as " + std::to_string(c.type));
    auto image = c.imageBits ? Picture(c.imageBits) : nullptr;
    if (c.imageBits) {
      ASSERT_NE(image, nullptr);
      ASSERT_EQ(image->GetColorDepth(), c.imageBits);
    }
    CSaveDlg dlg(c.type, FilterOf(c.type), image.get(), Tmp() + "/Photo", 0);
    EXPECT_EQ(Child<QComboBox>(dlg, "depth")->currentData().toInt(), c.depth);
    ASSERT_TRUE(dlg.Accept());
    EXPECT_EQ(dlg.m_nDepth, c.depth);
  }
}

TEST(BexleyTest, NameFieldAndPath) {
  std::vector<std::string> messages;
  vel::ui::SetMessageObserver([&](const std::string&, const std::string& text, unsigned) {
    messages.push_back(text);
    return IDOK;
  });
  struct Case {
    const char* name;  // typed into the name field; "" keeps the proposed one
    bool accepted;
    std::string path;  // relative to the temporary folder
    bool message;
  };
  const Case cases[] = {
      {"", true, "Photo", false},
      {"Other.tif", true, "Other.tif", false},
      {"   ", false, "", false},
      {"/no/such/folder/x", false, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    CSaveDlg dlg(IMGTYPE_TIFF, FilterOf(IMGTYPE_TIFF), nullptr, Tmp() + "/Photo", 0);
    EXPECT_EQ(Child<QLineEdit>(dlg, "folderPath")->text().toStdString(), Tmp());
    EXPECT_EQ(Child<QLineEdit>(dlg, "fileName")->text().toStdString(), "Photo");
    if (*c.name) dlg.SetFileName(c.name);
    EXPECT_EQ(dlg.Accept(), c.accepted);
    EXPECT_EQ(!messages.empty(), c.message);
    if (c.accepted) {
      EXPECT_EQ(dlg.GetPathName(), Tmp() + "/" + c.path);
    }
  }
  vel::ui::SetMessageObserver({});
}

// Every text fits its widget; with VELMARK_SHOTS set the dialogs are saved there too.
TEST(BexleyTest, NothingIsClipped) {
  if (QDir("/usr/share/icons/Adwaita").exists()) QIcon::setThemeName("Adwaita");
  const std::pair<IMGTYPE, const char*> shots[] = {
      {IMGTYPE_TIFF, "tiff"}, {IMGTYPE_PNG, "png"}, {IMGTYPE_JPEG, "jpeg"}, {IMGTYPE_WMF, "wmf"}};
  for (const auto& [type, name] : shots) {
    SCOPED_TRACE(name);
    CSaveDlg dlg(type, FilterOf(type), nullptr, Tmp() + "/Photo", 0);
    dlg.show();
    // The folder list fills in from a thread of the file-system model.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);
    vel::ui::testing::ExpectNothingClipped(dlg);
    vel::ui::testing::SaveShotIfAsked(dlg, std::string("bexley-") + name);
  }
}

}  // namespace

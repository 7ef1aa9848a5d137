// Saving: names and extensions, the replace question, metafiles read back, the
// close prompt and the format chooser.
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "viewer/doc/tests/doc_fixture.h"

namespace orvenna::testing {
namespace {

class DocSaveTest : public DocTest {};

TEST_F(DocSaveTest, NameRules) {
  struct Case {
    int command;
    std::string typed;     // the name typed in the save dialog
    std::string expected;  // the file written, relative to the test folder
    bool exists;           // a file of the expected name is there before
    int answer;            // the answer to the replace question
    int result;
    bool asked;
  };
  const Case cases[] = {
      {ID_SAVE_JPEG, "Photo", "Photo.jpg", false, IDNO, 1, false},
      {ID_SAVE_JPEG, "Photo", "Photo.jpg", true, IDNO, 0, true},
      {ID_SAVE_JPEG, "Photo", "Photo.jpg", true, IDYES, 1, true},
      {ID_SAVE_TGA, "photo.tga", "photo.tga", false, IDNO, 1, false},
      {ID_SAVE_TGA, "photo.tga", "photo.tga", true, IDNO, 1, false},  // the dialog already agreed
      {ID_SAVE_TGA, "photo", "photo.tga", false, IDNO, 1, false},
      {ID_SAVE_TGA, "PHOTO.TGA", "PHOTO.TGA", false, IDNO, 1, false},
      {ID_SAVE_TIFF, "Scan.TIFF", "Scan.TIFF", false, IDNO, 1, false},
      {ID_SAVE_JPEG, "x.jpg.d/a", "x.jpg.d/a", false, IDNO, 1, false},
      {ID_SAVE_PNG, "pic", "pic.png", false, IDNO, 1, false},
  };
  std::filesystem::create_directory(TempPath("x.jpg.d"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed + " -> " + c.expected);
    const std::string expected = TempPath(c.expected);
    std::filesystem::remove(expected);
    if (c.exists) std::ofstream(expected) << "old";
    COrvennaDoc* doc = host->Open(Make("src.png", "-size 16x12 xc:red"));
    ASSERT_NE(doc, nullptr);
    doc->SetModifiedFlag(true);
    messages.clear();
    answer = c.answer;
    TypeSaveName(c.typed);

    EXPECT_EQ(doc->SaveAsFormat(c.command), c.result);
    ASSERT_EQ(messages.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(messages[0].title, "Save As");
      EXPECT_EQ(messages[0].text, expected + " already exist.\nDo you want to replace it?");
      EXPECT_EQ(messages[0].type, MB_YESNO | MB_ICONEXCLAMATION);
    }
    if (c.result) {
      EXPECT_NE(Contents(expected), "old");
      EXPECT_EQ(doc->GetPathName(), expected);
      EXPECT_EQ(host->recent.back(), expected);
      EXPECT_FALSE(doc->IsModified());
      EXPECT_EQ(doc->GetTitle().back(), c.expected.back());  // no "*"
      EXPECT_TRUE(doc->CanUndo());                           // a raster save can be undone
      CImageInterface written;
      if (c.expected.find('.') != std::string::npos && c.expected != "x.jpg.d/a") {
        ASSERT_EQ(written.Load(expected.c_str(), 0), 1);
        EXPECT_EQ(written.GetWidth(0), 16);
      }
    } else {
      EXPECT_EQ(Contents(expected), "old");  // nothing written
      EXPECT_TRUE(doc->IsModified());
      EXPECT_EQ(doc->GetPathName(), TempPath("src.png"));
    }
    EXPECT_FALSE(std::filesystem::exists(expected + ".jpg"));
    EXPECT_FALSE(std::filesystem::exists(expected + ".tga"));
  }
}

TEST_F(DocSaveTest, MetafileFormatsReopenTheWrittenFile) {
  struct Case {
    int command;
    const char* name;
    FORMAT format;
  } cases[] = {
      {ID_SAVE_WMF, "drawing.wmf", FORMAT_WMF},
      {ID_SAVE_EMF, "drawing.emf", FORMAT_EMF},
      {ID_SAVE_EPS, "drawing.eps", FORMAT_EPS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    COrvennaDoc* doc = host->Open(Make("src.png", "-size 24x18 xc:blue"));
    ASSERT_NE(doc, nullptr);
    int metafileMode = -1;
    COrvennaDoc::s_saveDialogHook = [&](CSaveDlg& dlg) {
      metafileMode = dlg.m_nMetafileMode;
      dlg.SetFileName(TempPath("drawing"));
      return dlg.Accept() ? IDOK : IDCANCEL;
    };
    ASSERT_EQ(doc->SaveAsFormat(c.command), 1);
    EXPECT_EQ(metafileMode, 0);
    EXPECT_TRUE(host->confirmVerbs.empty());
    EXPECT_EQ(doc->GetPathName(), TempPath(c.name));
    EXPECT_TRUE(doc->m_imgCurrent.IsVectorImage());
    EXPECT_EQ(doc->m_imgCurrent.GetFormat(), c.format);
    EXPECT_EQ(doc->m_nPage, 0);
  }
}

TEST_F(DocSaveTest, VectorImageAsksBeforeRasterSave) {
  COrvennaDoc* doc = host->Open(Make("src.png", "-size 24x18 xc:blue"));
  ASSERT_NE(doc, nullptr);
  TypeSaveName("drawing");
  ASSERT_EQ(doc->SaveAsFormat(ID_SAVE_WMF), 1);
  ASSERT_TRUE(doc->m_imgCurrent.IsVectorImage());

  host->confirmAnswer = [](COrvennaDoc&) { return 0; };
  saveDialogs = 0;
  EXPECT_EQ(doc->SaveAsFormat(ID_SAVE_PNG), 0);
  EXPECT_EQ(host->confirmVerbs, std::vector<std::string>{"save"});
  EXPECT_EQ(saveDialogs, 0);

  // A drawing saved as a drawing is not asked about and takes no undo snapshot.
  doc->m_imgUndo.CloseHandle();
  EXPECT_EQ(doc->SaveAsFormat(ID_SAVE_EMF), 1);
  EXPECT_EQ(host->confirmVerbs.size(), 1u);
  EXPECT_FALSE(doc->CanUndo());
}

TEST_F(DocSaveTest, FailedSaveKeepsUndoAndResetsPage) {
  COrvennaDoc* doc = host->Open(Make("two.tif", "-size 8x8 xc:red -size 9x9 xc:blue"));
  ASSERT_NE(doc, nullptr);
  doc->SelectPage(1);
  // A folder where the file should go: the write cannot succeed.
  std::filesystem::create_directory(TempPath("out.png"));
  answer = IDYES;
  TypeSaveName("out");
  EXPECT_EQ(doc->SaveAsFormat(ID_SAVE_PNG), 0);
  EXPECT_EQ(messages.size(), 1u);  // the replace question
  EXPECT_EQ(doc->m_nPage, 0);
  EXPECT_EQ(doc->GetPathName(), TempPath("two.tif"));
  ASSERT_TRUE(host->commands.Execute(ID_EDIT_UNDO));
  EXPECT_EQ(doc->m_imgCurrent.GetPageCount(), 2);
  EXPECT_EQ(doc->m_nPage, 1);
}

TEST_F(DocSaveTest, SecondPageOfTiffSavesThatPage) {
  COrvennaDoc* doc = host->Open(Make("two.tif", "-size 8x8 xc:red -size 13x7 xc:blue"));
  ASSERT_NE(doc, nullptr);
  doc->SelectPage(1);
  TypeSaveName("second");
  ASSERT_EQ(doc->SaveAsFormat(ID_SAVE_BMP), 1);
  CImageInterface written;
  ASSERT_EQ(written.Load(TempPath("second.bmp").c_str(), 0), 1);
  EXPECT_EQ(written.GetWidth(0), 13);
  EXPECT_EQ(written.GetHeight(0), 7);
}

TEST_F(DocSaveTest, ChooserPreselectsTheImageFormat) {
  struct Case {
    const char* name;
    int command;
  } cases[] = {
      {"a.jpg", ID_SAVE_JPEG}, {"a.gif", ID_SAVE_GIF}, {"a.png", ID_SAVE_PNG},
      {"a.tif", ID_SAVE_TIFF}, {"a.pcx", ID_SAVE_PCX}, {"a.bmp", ID_SAVE_BMP},
  };
  for (const Case& c : cases) {
    COrvennaDoc* doc = host->Open(Make(c.name, "-size 8x8 xc:red"));
    ASSERT_NE(doc, nullptr) << c.name;
    int preselected = 0;
    COrvennaDoc::s_chooseFormatHook = [&preselected](CSaveFormatDlg& dlg) {
      preselected = dlg.Selected();
      return static_cast<int>(QDialog::Rejected);
    };
    EXPECT_EQ(doc->ChooseSaveFormat(doc->GetPathName()), 0) << c.name;
    EXPECT_EQ(preselected, c.command) << c.name;
  }
}

TEST_F(DocSaveTest, ChooserDialogListsTheTwelveFormats) {
  COrvennaDoc* doc = host->Open(Make("a.gif", "-size 8x8 xc:red"));
  ASSERT_NE(doc, nullptr);
  QStringList texts;
  QString checked;
  QTimer::singleShot(0, [&] {
    QWidget* dlg = QApplication::activeModalWidget();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Save as..."));
    for (QRadioButton* b : dlg->findChildren<QRadioButton*>()) {
      texts << b->text();
      if (b->isChecked()) checked = b->text();
    }
    dlg->findChild<QRadioButton*>(QStringLiteral("format%1").arg(ID_SAVE_DCX))->click();
    dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  EXPECT_EQ(doc->ChooseSaveFormat(doc->GetPathName()), ID_SAVE_DCX);
  EXPECT_EQ(checked, QStringLiteral("Graphics Interchange Format (GIF)"));
  EXPECT_EQ(texts, (QStringList{"Windows Bitmap Format (BMP)", "Joint Photo Experts Group Format (JPEG)",
                                "Graphics Interchange Format (GIF)", "Portable Network Graphics Format (PNG)",
                                "Tag Image File Format (TIFF)", "Targa Format (TGA)", "Paintbrush Format (PCX)",
                                "Multipage Paintbrush Format (DCX)", "FaxMan Fax Format (FMF)",
                                "Windows Metafile Format (WMF)", "Enhanced Metafile Format (EMF)",
                                "Encapsulated Postscript Format (EPS)"}));
}

// The only test that makes untitled documents, so the numbering starts at 1 here.
TEST_F(DocSaveTest, UntitledClipboardImageCloseQuestion) {
  CImageInterface source;
  ASSERT_EQ(source.Load(Make("clip.png", "-size 10x6 xc:green").c_str(), 0), 1);
  ASSERT_EQ(source.CopyToClipboard(0), 1);

  COrvennaDoc doc(host.get());
  ASSERT_TRUE(doc.OnNewDocument());
  EXPECT_EQ(doc.GetTitle(), "Image1*");
  EXPECT_TRUE(doc.GetPathName().empty());
  EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), 10);

  int chooserShown = 0, preselected = 0, chosen = 0;
  COrvennaDoc::s_chooseFormatHook = [&](CSaveFormatDlg& dlg) {
    ++chooserShown;
    preselected = dlg.Selected();
    if (!chosen) return static_cast<int>(QDialog::Rejected);
    dlg.Select(chosen);
    return static_cast<int>(QDialog::Accepted);
  };
  const struct {
    int answer;
    bool mayClose;
    int chooser;
  } steps[] = {{IDCANCEL, false, 0}, {IDYES, false, 1}, {IDNO, true, 0}};
  for (const auto& s : steps) {
    messages.clear();
    chooserShown = 0;
    answer = s.answer;
    EXPECT_EQ(doc.SaveModified(), s.mayClose) << s.answer;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, kAppName);
    EXPECT_EQ(messages[0].text, "Save changes to Image1?");
    EXPECT_EQ(messages[0].type, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(chooserShown, s.chooser) << s.answer;
  }
  EXPECT_EQ(preselected, ID_SAVE_BMP);

  // Yes, BMP in the chooser, a name in the save dialog: saved, and the window may close.
  answer = IDYES;
  chosen = ID_SAVE_BMP;
  TypeSaveName("pasted");
  EXPECT_TRUE(doc.SaveModified());
  EXPECT_TRUE(std::filesystem::exists(TempPath("pasted.bmp")));
  EXPECT_EQ(doc.GetTitle(), "pasted.bmp");
  messages.clear();
  EXPECT_TRUE(doc.SaveModified());  // clean now: no question
  EXPECT_TRUE(messages.empty());

  COrvennaDoc next(host.get());
  ASSERT_TRUE(next.OnNewDocument());
  EXPECT_EQ(next.GetTitle(), "Image2*");
}

}  // namespace
}  // namespace orvenna::testing

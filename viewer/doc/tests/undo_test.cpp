// Opening, pages, undo and redo, the title's "*" and the work-area colour.
#include "viewer/doc/tests/doc_fixture.h"

namespace orvenna::testing {
namespace {

class DocUndoTest : public DocTest {};

TEST_F(DocUndoTest, RotatedPageOfThreePageTiffUndoesToAllPages) {
  // Three pages of different sizes, so the page shown can be told by its size.
  COrvennaDoc* doc = host->Open(Make("three.tif", "-size 40x30 xc:red -size 50x20 xc:green -size 60x10 xc:blue"));
  ASSERT_NE(doc, nullptr);
  ASSERT_EQ(doc->m_imgCurrent.GetPageCount(), 3);
  EXPECT_FALSE(host->commands.Query(ID_PAGE_FIRST).enabled);
  ASSERT_TRUE(host->commands.Execute(ID_PAGE_LAST));
  EXPECT_EQ(doc->m_nPage, 2);
  EXPECT_FALSE(host->commands.Query(ID_PAGE_NEXT).enabled);
  EXPECT_FALSE(host->commands.Query(ID_PAGE_LAST).enabled);
  EXPECT_TRUE(host->commands.Query(ID_PAGE_PREV).enabled);
  EXPECT_FALSE(host->commands.Query(ID_EDIT_UNDO).enabled);

  // The rotate edit: snapshot, processing call on the page shown, modified.
  doc->TakeUndoSnapshot();
  ASSERT_EQ(doc->m_imgCurrent.Rotate(90.0f, 0xFFFFFF, doc->m_nPage), 1);
  doc->SetModifiedFlag(true);
  EXPECT_EQ(doc->m_imgCurrent.GetPageCount(), 1);
  EXPECT_EQ(doc->m_nPage, 0);
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(0), 10);
  EXPECT_EQ(doc->m_imgCurrent.GetHeight(0), 60);
  EXPECT_EQ(doc->GetTitle(), "three.tif*");

  ASSERT_TRUE(host->commands.Execute(ID_EDIT_UNDO));
  EXPECT_EQ(doc->m_imgCurrent.GetPageCount(), 3);
  EXPECT_EQ(doc->m_nPage, 2);
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(2), 60);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ(doc->GetTitle(), "three.tif");
  EXPECT_FALSE(host->commands.Query(ID_EDIT_UNDO).enabled);

  ASSERT_TRUE(host->commands.Execute(ID_EDIT_REDO));
  EXPECT_EQ(doc->m_imgCurrent.GetPageCount(), 1);
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(0), 10);
  EXPECT_EQ(doc->m_nPage, 0);
  EXPECT_TRUE(doc->IsModified());
  EXPECT_FALSE(host->commands.Query(ID_EDIT_REDO).enabled);
  EXPECT_TRUE(host->commands.Query(ID_EDIT_UNDO).enabled);
}

TEST_F(DocUndoTest, UndoAfterTwoEditsRestoresOnlyTheSecond) {
  COrvennaDoc* doc = host->Open(Make("one.png", "-size 20x10 xc:red"));
  ASSERT_NE(doc, nullptr);
  doc->TakeUndoSnapshot();
  ASSERT_EQ(doc->m_imgCurrent.Rotate(90.0f, 0xFFFFFF, doc->m_nPage), 1);
  doc->SetModifiedFlag(true);
  doc->TakeUndoSnapshot();
  ASSERT_EQ(doc->m_imgCurrent.StretchImage(0, 33, 44, 0, 3, 0xFFFFFF, doc->m_nPage), 1);
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(0), 33);

  ASSERT_TRUE(host->commands.Execute(ID_EDIT_UNDO));
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(0), 10);
  EXPECT_EQ(doc->m_imgCurrent.GetHeight(0), 20);
  EXPECT_TRUE(doc->IsModified());  // the first edit is still there
  EXPECT_FALSE(host->commands.Query(ID_EDIT_UNDO).enabled);
  EXPECT_FALSE(host->commands.Execute(ID_EDIT_UNDO));
  EXPECT_TRUE(host->commands.Query(ID_EDIT_REDO).enabled);

  // A new edit drops the redo image.
  doc->TakeUndoSnapshot();
  EXPECT_FALSE(host->commands.Query(ID_EDIT_REDO).enabled);
}

TEST_F(DocUndoTest, OpenAsksForPageBarOnlyForSeveralPages) {
  struct Case {
    std::string name, args;
    int pageBars;
  };
  for (const Case& c :
       {Case{"multi.tif", "-size 8x8 xc:red -size 8x8 xc:blue", 1}, Case{"single.png", "-size 8x8 xc:red", 0}}) {
    auto doc = std::make_unique<COrvennaDoc>(host.get());
    int pageBars = 0;
    QObject::connect(doc.get(), &COrvennaDoc::PageBarWanted, [&pageBars] { ++pageBars; });
    int modes = host->modesChanged;
    std::string path = Make(c.name, c.args);
    ASSERT_TRUE(doc->OnOpenDocument(path)) << c.name;
    EXPECT_EQ(pageBars, c.pageBars) << c.name;
    EXPECT_EQ(host->modesChanged, modes + 1);
    EXPECT_EQ(doc->GetTitle(), c.name);
    EXPECT_EQ(doc->GetPathName(), path);
    EXPECT_EQ(host->recent.back(), path);
  }
  std::ofstream(TempPath("bad.png")) << "not a picture";
  COrvennaDoc bad(host.get());
  EXPECT_FALSE(bad.OnOpenDocument(TempPath("bad.png")));
  EXPECT_FALSE(bad.m_imgCurrent.IsLoaded());
}

TEST_F(DocUndoTest, TitleStarFollowsModifiedFlag) {
  COrvennaDoc* doc = host->Open(Make("a.png", "-size 8x8 xc:red"));
  ASSERT_NE(doc, nullptr);
  std::vector<QString> titles;
  QObject::connect(doc, &COrvennaDoc::TitleChanged, [&titles](const QString& t) { titles.push_back(t); });
  const struct {
    bool flag;
    const char* title;
  } steps[] = {{true, "a.png*"}, {true, "a.png*"}, {false, "a.png"}, {false, "a.png"}, {true, "a.png*"}};
  for (const auto& s : steps) {
    doc->SetModifiedFlag(s.flag);
    EXPECT_EQ(doc->GetTitle(), s.title);
    EXPECT_EQ(doc->IsModified(), s.flag);
  }
  // Only real changes are announced.
  EXPECT_EQ(titles, (std::vector<QString>{"a.png*", "a.png", "a.png*"}));
}

TEST_F(DocUndoTest, LastClosedWorkAreaColourStartsTheNextDocument) {
  auto first = std::make_unique<COrvennaDoc>(host.get());
  EXPECT_EQ(first->m_crWorkArea, SystemBtnShadowColor());
  auto second = std::make_unique<COrvennaDoc>(host.get());
  first->m_crWorkArea = 0x00112233;
  second->m_crWorkArea = 0x00445566;
  first->OnCloseDocument();
  EXPECT_EQ(COrvennaDoc(host.get()).m_crWorkArea, 0x00112233u);
  second->OnCloseDocument();
  EXPECT_EQ(COrvennaDoc(host.get()).m_crWorkArea, 0x00445566u);
  EXPECT_EQ(ReadWorkAreaColor(), 0x00445566u);
}

TEST_F(DocUndoTest, CommandsNeedAnActiveDocument) {
  ASSERT_NE(host->Open(Make("a.png", "-size 8x8 xc:red")), nullptr);
  EXPECT_TRUE(host->commands.Query(ID_SAVE_PNG).enabled);
  EXPECT_TRUE(host->commands.Query(ID_EDIT_COPY).enabled);
  host->active = nullptr;
  for (int id : {ID_EDIT_UNDO, ID_EDIT_REDO, ID_EDIT_COPY,  ID_FILE_SAVE, ID_SAVE_BMP,  ID_SAVE_JPEG, ID_SAVE_GIF,
                 ID_SAVE_PNG,  ID_SAVE_TIFF, ID_SAVE_TGA,   ID_SAVE_PCX,  ID_SAVE_DCX,  ID_SAVE_EPS,  ID_SAVE_FMF,
                 ID_SAVE_WMF,  ID_SAVE_EMF,  ID_PAGE_FIRST, ID_PAGE_PREV, ID_PAGE_NEXT, ID_PAGE_LAST}) {
    EXPECT_TRUE(host->commands.Has(id)) << id;
    EXPECT_FALSE(host->commands.Query(id).enabled) << id;
  }
}

TEST_F(DocUndoTest, CopyPutsThePageShownOnTheClipboard) {
  COrvennaDoc* doc = host->Open(Make("two.tif", "-size 8x8 xc:red -size 13x7 xc:blue"));
  ASSERT_NE(doc, nullptr);
  doc->SelectPage(1);
  ASSERT_TRUE(host->commands.Execute(ID_EDIT_COPY));
  CImageInterface pasted;
  ASSERT_EQ(pasted.PasteFromClipboard(), 1);
  EXPECT_EQ(pasted.GetWidth(0), 13);
  EXPECT_EQ(pasted.GetHeight(0), 7);
}

}  // namespace
}  // namespace orvenna::testing

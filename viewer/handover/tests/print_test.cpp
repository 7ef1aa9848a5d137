// Printing through the stand-in print program: which file goes over, with which
// switches, and what is left in the temporary folder afterwards.
#include <QTimer>

#include "platform/gdi/owned.h"
#include "viewer/core/Commands.h"
#include "viewer/handover/tests/handover_fixture.h"

namespace orvenna::testing {
namespace {

const std::string kName = "/N:Print Manager for Corbanix";
const std::string kCaption = "/C: ";
const std::string kModuleMissing = "Cannot find the print preview module.\nPrint preview creating canceled.";

// A vector picture: a tiny metafile with one rectangle.
void MakeVector(COrvennaDoc& doc) {
  const WORD words[] = {1, 9, 0x300,  19, 0,  0,  7,  0, 0,  // header: 19 words, largest record 7
                        7, 0, 0x041B, 80, 80, 10, 10,        // Rectangle(10, 10, 80, 80)
                        3, 0, 0};                            // end of file
  HMETAFILE metafile = SetMetaFileBitsEx(sizeof words, reinterpret_cast<const BYTE*>(words));
  ASSERT_NE(metafile, nullptr);
  RECT frame{0, 0, 100, 100};
  ASSERT_TRUE(doc.m_imgCurrent.InitImageFromHWMF(metafile, &frame));
  ASSERT_TRUE(doc.m_imgCurrent.IsVectorImage());
}

using PrintTest = HandOverTest;

TEST_F(PrintTest, UnchangedJpegGoesOverItselfWithTheMainWindowHidden) {
  const std::string jpeg = MakeImage("photo.jpg", 1);
  OpenDoc(jpeg);
  bool visibleWhileRunning = true;
  QTimer::singleShot(0, [&] { visibleWhileRunning = host.MainWindow()->isVisible(); });
  ASSERT_TRUE(host.Commands().Execute(ID_FILE_PRINT));

  EXPECT_EQ(Args(), (std::vector<std::string>{kName, kCaption, "/A:1,1", jpeg}));
  EXPECT_TRUE(TempFiles("lrmr_").empty());
  EXPECT_FALSE(visibleWhileRunning);
  EXPECT_TRUE(host.MainWindow()->isVisible());
  EXPECT_TRUE(messages.empty());
}

TEST_F(PrintTest, ChangedOrNewPicturesGoOverAsTemporaryTiffs) {
  struct Case {
    const char* what;
    const char* file;
    int pages;
    bool fromClipboard;
    int command;
  };
  for (const Case& c : {Case{"changed three-page TIFF", "multi.tif", 3, false, ID_FILE_PRINT_PREVIEW},
                        Case{"picture from the clipboard", "single.tif", 1, true, ID_FILE_PRINT}}) {
    SCOPED_TRACE(c.what);
    const std::string source = MakeImage(c.file, c.pages);
    COrvennaDoc* doc = OpenDoc(source);
    ASSERT_NE(doc, nullptr);
    if (c.fromClipboard) {
      ASSERT_TRUE(doc->m_imgCurrent.CopyToClipboard(0));
      auto pasted = std::make_unique<COrvennaDoc>(&host);
      ASSERT_TRUE(pasted->OnNewDocument());
      pasted->SetModifiedFlag(false);  // a clipboard picture has no file even when unchanged
      host.active = pasted.get();
      host.docs.push_back(std::move(pasted));
    } else {
      doc->SetModifiedFlag(true);
    }
    ASSERT_TRUE(host.Commands().Execute(c.command));

    const auto args = Args();
    ASSERT_EQ(args.size(), c.pages > 1 ? 3u : 4u);
    EXPECT_EQ(args[0], kName);
    const std::string& handed = args.back();
    EXPECT_EQ(handed.rfind(tmp + "/lrmr_", 0), 0u) << handed;
    EXPECT_EQ(handed.substr(handed.size() - 4), ".tmp");
    if (c.pages == 1) EXPECT_EQ(args[2], "/A:1,1");

    CImageInterface copy;
    ASSERT_TRUE(copy.Load((bin + "/file0").c_str(), 1));
    const std::string head = ReadText(bin + "/file0").substr(0, 4);
    EXPECT_TRUE(head == std::string("II*\0", 4) || head == std::string("MM\0*", 4)) << "not a TIFF";
    EXPECT_EQ(copy.GetPageCount(), c.pages);
    EXPECT_EQ(copy.GetColorDepth(), 24);
    EXPECT_TRUE(TempFiles("lrmr_").empty());
    EXPECT_TRUE(messages.empty());
  }
}

TEST_F(PrintTest, PrintAllPicksTheLayoutByTheNumberOfFiles) {
  const std::string jpeg = MakeImage("photo.jpg", 1);
  const std::vector<std::string> layouts = {"/A:1,1", "/A:1,2", "/A:1,3", "/A:2,2", "/A:3,2",
                                            "/A:3,2", "/A:3,3", "/A:3,3", "/A:3,3", ""};
  for (size_t count = 1; count <= layouts.size(); ++count) {
    SCOPED_TRACE(count);
    OpenDoc(jpeg);
    ASSERT_EQ(host.docs.size(), count);
    ASSERT_TRUE(host.Commands().Execute(ID_PRINT_ALL));

    auto args = Args();
    ASSERT_EQ(args.size(), layouts[count - 1].empty() ? 3u : 4u);
    EXPECT_EQ(args[0], kName);
    EXPECT_EQ(args[1], kCaption);
    if (!layouts[count - 1].empty()) EXPECT_EQ(args[2], layouts[count - 1]);
    EXPECT_EQ(args.back().rfind("@" + tmp + "/lrmr_", 0), 0u);
    EXPECT_EQ(ReadLines(bin + "/list.txt"), std::vector<std::string>(count, jpeg));
    EXPECT_TRUE(TempFiles("lrmr_").empty());
  }
  // The quotes and blanks the program's argument splitting takes away.
  EXPECT_EQ(PrintAllPrefix(5), "/N:\"Print Manager for Corbanix\" /C:\" \" /A:3,2 ");
  EXPECT_EQ(PrintParameters(2, "/a b.tif"), "/N:\"Print Manager for Corbanix\" /C:\" \" \"/a b.tif\"");
}

TEST_F(PrintTest, PrintAllSkipsAMetafileThatCannotBeCopied) {
  auto vector = std::make_unique<COrvennaDoc>(&host);
  MakeVector(*vector);
  host.docs.push_back(std::move(vector));
  const std::string jpeg = MakeImage("photo.jpg", 1);
  OpenDoc(jpeg);
  handover_testing::SetMetaFileCopier([](HMETAFILE, LPCSTR) -> HMETAFILE { return nullptr; });
  ASSERT_TRUE(host.Commands().Execute(ID_PRINT_ALL));

  const auto args = Args();
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[2], "/A:1,1");
  EXPECT_EQ(ReadLines(bin + "/list.txt"), std::vector<std::string>{jpeg});
  EXPECT_TRUE(TempFiles("lrmr_").empty());  // the reserved name went with the failed copy

  // Printed alone, the same picture stops with a message and leaves nothing behind.
  host.active = host.docs[0].get();
  ASSERT_TRUE(host.Commands().Execute(ID_FILE_PRINT));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Cannot create temporary file.\nPrint preview creating canceled.");
  EXPECT_TRUE(TempFiles("lrmr_").empty());

  // With a working copy the metafile itself goes over.
  handover_testing::SetMetaFileCopier(nullptr);
  ::remove((bin + "/file0").c_str());
  ASSERT_TRUE(host.Commands().Execute(ID_FILE_PRINT));
  EXPECT_EQ(Args().size(), 4u);
  EXPECT_TRUE(vel::gdi::OwnedMetaFile(GetMetaFileA((bin + "/file0").c_str())));
}

TEST_F(PrintTest, MissingPrintModuleStopsBeforeAnyTemporaryFile) {
  handover_testing::SetProgramFolder(TempPath("empty"));
  OpenDoc(MakeImage("multi.tif", 2))->SetModifiedFlag(true);
  for (int command : {ID_FILE_PRINT, ID_PRINT_ALL}) {
    messages.clear();
    ASSERT_TRUE(host.Commands().Execute(command));
    ASSERT_EQ(messages.size(), 1u) << command;
    EXPECT_EQ(messages[0].title, kPrintTitle);
    EXPECT_EQ(messages[0].text, kModuleMissing);
    EXPECT_EQ(messages[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_TRUE(TempFiles("lrmr_").empty());
    EXPECT_TRUE(host.MainWindow()->isVisible());
  }
}

TEST_F(PrintTest, PrintCommandsNeedDocuments) {
  for (int command : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_PRINT_ALL})
    EXPECT_FALSE(host.Commands().Query(command).enabled) << command;
  OpenDoc(MakeImage("photo.jpg", 1));
  for (int command : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_PRINT_ALL})
    EXPECT_TRUE(host.Commands().Query(command).enabled) << command;
  host.active = nullptr;
  EXPECT_FALSE(host.Commands().Query(ID_FILE_PRINT).enabled);
  EXPECT_TRUE(host.Commands().Query(ID_PRINT_ALL).enabled);
}

}  // namespace
}  // namespace orvenna::testing

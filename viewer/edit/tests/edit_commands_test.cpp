// The edit commands run by number on the active document.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "viewer/core/Commands.h"
#include "viewer/edit/CRasterizeDlg.h"
#include "viewer/edit/CStretchDlg.h"
#include "viewer/edit/EditWidgets.h"
#include "viewer/edit/tests/edit_test_util.h"

namespace orvenna::testing {
namespace {

using EditCommands = EditFixture;

const int kAllEdits[] = {ID_MIRROR_VERT,   ID_MIRROR_HORZ, ID_MIRROR_BOTH, ID_ROTATE_FIRST, ID_ROTATE_LAST,
                         ID_ROTATE_CUSTOM, ID_STRETCH,     ID_DEPTH_24,    ID_DEPTH_8,      ID_DEPTH_4,
                         ID_DEPTH_1,       ID_GRAYSCALE,   ID_BRIGHTNESS,  ID_CONTRAST,     ID_SHARPEN,
                         ID_BLUR,          ID_EMBOSS,      ID_EDGES_ALL,   ID_EDGES_ALL2,   ID_EDGES_VERT,
                         ID_EDGES_HORZ,    ID_LAPLACE,     ID_INVERT};

TEST_F(EditCommands, EveryEditIsDisabledWithoutADocument) {
  for (int id : kAllEdits) {
    EXPECT_FALSE(host.commands.Query(id).enabled) << id;
    EXPECT_FALSE(host.commands.Execute(id)) << id;
  }
  NewDocument(8, 8);
  for (int id : kAllEdits) EXPECT_TRUE(host.commands.Query(id).enabled) << id;
}

TEST_F(EditCommands, DepthCommandsMarkTheDepthAndSkipTheOneItHas) {
  COrvennaDoc& doc = NewDocument(40, 30);
  ASSERT_TRUE(host.commands.Execute(ID_DEPTH_8));
  ASSERT_EQ(doc.m_imgCurrent.GetColorDepth(), 8);
  ASSERT_EQ(doc.m_imgUndo.GetColorDepth(), 24);
  doc.SetModifiedFlag(false);

  // The depth it already has: no snapshot, no flag.
  host.commands.Execute(ID_DEPTH_8);
  EXPECT_EQ(doc.m_imgUndo.GetColorDepth(), 24);
  EXPECT_FALSE(doc.IsModified());

  struct Mark {
    int id, bits;
  };
  for (const Mark m : {Mark{ID_DEPTH_24, 24}, Mark{ID_DEPTH_8, 8}, Mark{ID_DEPTH_4, 4}, Mark{ID_DEPTH_1, 1}}) {
    const CmdUI ui = host.commands.Query(m.id);
    EXPECT_TRUE(ui.radio) << m.id;
    EXPECT_EQ(ui.checked, m.bits == 8) << m.id;
  }
  EXPECT_TRUE(host.commands.Query(ID_GRAYSCALE).enabled);
  ASSERT_TRUE(host.commands.Execute(ID_DEPTH_1));
  EXPECT_EQ(doc.m_imgCurrent.GetColorDepth(), 1);
  EXPECT_EQ(doc.m_imgUndo.GetColorDepth(), 8);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_TRUE(host.commands.Query(ID_DEPTH_1).checked);
  EXPECT_FALSE(host.commands.Query(ID_GRAYSCALE).enabled);
  EXPECT_FALSE(host.commands.Execute(ID_GRAYSCALE));
}

// Mirror and rotation keep the flag when the library fails; the filters, invert
// and grayscale set it regardless.
TEST_F(EditCommands, FailedCallsKeepTheFlagOnlyWhereTheyShould) {
  struct Case {
    int id;
    bool flagAfterFailure;
  };
  for (const Case c : {Case{ID_MIRROR_VERT, false}, Case{ID_MIRROR_BOTH, false}, Case{ID_ROTATE_FIRST + 2, false},
                       Case{ID_BLUR, true}, Case{ID_INVERT, true}, Case{ID_GRAYSCALE, true}}) {
    COrvennaDoc& doc = NewDocument(4, 4);
    doc.m_imgCurrent.CloseHandle();  // every library call on it fails
    ASSERT_TRUE(host.commands.Execute(c.id)) << c.id;
    EXPECT_EQ(doc.IsModified(), c.flagAfterFailure) << c.id;
  }
}

TEST_F(EditCommands, RotationsAndMirrorsChangeThePictureAndCanBeUndone) {
  struct Case {
    int id;
    int width, height;
  };
  for (const Case c : {Case{ID_ROTATE_FIRST + 2, 30, 40}, Case{ID_ROTATE_FIRST + 5, 40, 30},
                       Case{ID_ROTATE_FIRST + 8, 30, 40}, Case{ID_MIRROR_HORZ, 40, 30}}) {
    COrvennaDoc& doc = NewDocument(40, 30, 0x0000FF);
    ASSERT_TRUE(host.commands.Execute(c.id));
    EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), c.width) << c.id;
    EXPECT_EQ(doc.m_imgCurrent.GetHeight(0), c.height) << c.id;
    EXPECT_TRUE(doc.IsModified());
    doc.OnUndo();
    EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), 40);
    EXPECT_FALSE(doc.IsModified());
  }
  // 30 degrees uncovers corners in the stored colour.
  host.settings.crRotationBackColor = 0x00FF00;
  COrvennaDoc& doc = NewDocument(40, 30, 0x0000FF);
  ASSERT_TRUE(host.commands.Execute(ID_ROTATE_FIRST));
  EXPECT_EQ(Pixel(doc.m_imgCurrent, 0, 0), 0x00FF00u);
}

TEST_F(EditCommands, RotatingAMetafileRasterizesItFirst) {
  const std::string wmf = TempPath("drawing.wmf");
  {
    CImageInterface picture;
    ASSERT_TRUE(picture.InitFromHBITMAP(CImageInterface::CreateEmptyDIBSection(60, 20, 0x0000FF, 0)));
    _SAVEIMAGEINFO::_WMF record{};
    ASSERT_TRUE(picture.Save(wmf.c_str(), &record));
  }
  // No: nothing happens.
  COrvennaDoc* doc = host.Open(wmf);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->m_imgCurrent.IsVectorImage());
  answer = IDNO;
  host.commands.Execute(ID_ROTATE_FIRST + 2);
  ASSERT_EQ(messages, std::vector<std::string>{
                          "Image should be raster: You cannot rotate a vector image.\nDo you want to rasterize it?"});
  EXPECT_TRUE(doc->m_imgCurrent.IsVectorImage());
  EXPECT_FALSE(doc->IsModified());

  // Yes, then OK in the rasterization dialog showing the metafile's size.
  answer = IDYES;
  QString shownWidth, shownHeight;
  WhenModal<CRasterizeDlg>([&](CRasterizeDlg& dialog) {
    shownWidth = dialog.findChild<QLineEdit*>(QStringLiteral("vectorWidth"))->text();
    shownHeight = dialog.findChild<QLineEdit*>(QStringLiteral("vectorHeight"))->text();
    EXPECT_EQ(dialog.Fields().WidthEdit()->text(), shownWidth);
    dialog.accept();
  });
  host.commands.Execute(ID_ROTATE_FIRST + 2);
  EXPECT_EQ(shownWidth, QStringLiteral("60"));
  EXPECT_EQ(shownHeight, QStringLiteral("20"));
  EXPECT_FALSE(doc->m_imgCurrent.IsVectorImage());
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(0), 20);
  EXPECT_EQ(doc->m_imgCurrent.GetHeight(0), 60);
  EXPECT_TRUE(doc->IsModified());

  // Rasterizing and rotating are undone together: back to the drawing, nothing left.
  doc->OnUndo();
  EXPECT_TRUE(doc->m_imgCurrent.IsVectorImage());
  EXPECT_EQ(doc->m_imgCurrent.GetWidth(0), 60);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_FALSE(doc->CanUndo());
}

TEST_F(EditCommands, StretchUsesTheDialogsSizeAndStoresItsChoices) {
  COrvennaDoc& doc = NewDocument(400, 300);
  host.settings.nZoomMethod = 3;
  WhenModal<CStretchDlg>([](CStretchDlg& dialog) {
    EXPECT_EQ(dialog.MethodIndex(), 3);
    dialog.Fields().EditWidth(QStringLiteral("200"));
    dialog.SetMethodIndex(1);
    dialog.Fields().SetConstrain(false);
    dialog.accept();
  });
  ASSERT_TRUE(host.commands.Execute(ID_STRETCH));
  EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), 200);
  EXPECT_EQ(doc.m_imgCurrent.GetHeight(0), 150);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(host.settings.nZoomMethod, 1);
  EXPECT_EQ(host.settings.nPropStretch, 0);

  // Cancel changes nothing.
  WhenModal<CStretchDlg>([](CStretchDlg& dialog) {
    dialog.Fields().EditWidth(QStringLiteral("20"));
    dialog.reject();
  });
  host.commands.Execute(ID_STRETCH);
  EXPECT_EQ(doc.m_imgCurrent.GetWidth(0), 200);
  EXPECT_EQ(doc.m_imgUndo.GetWidth(0), 400);
}

TEST(StretchMethods, IndexGivesTheMethodNumber) {
  const int expected[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {4, 0}, {-1, 0}};
  for (const auto& e : expected) EXPECT_EQ(CStretchDlg::MethodNumber(e[0]), e[1]) << e[0];
}

}  // namespace
}  // namespace orvenna::testing

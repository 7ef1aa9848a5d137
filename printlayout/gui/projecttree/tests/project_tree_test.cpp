// The project inspector: its nodes, both context menus, drops and thumbnails,
// driven through the real tree and actions under the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QDragEnterEvent>
#include <QTimer>
#include <QTreeWidget>

#include <fstream>
#include <sstream>

#include "FakeEnvironment.h"
#include "platform/ui/tests/qt_test_util.h"
#include "printlayout/gui/projecttree/ProjectTree.h"
#include "printlayout/gui/projecttree/ProjectTreeDock.h"
#include "printlayout/gui/projecttree/ThumbnailLoader.h"
#include "printlayout/tests/gui_helpers.h"

namespace tessaly {
namespace {

using testing::TempFolder;
using vel::ui::testing::WaitFor;

constexpr const char* kNowhere = "/nonexistent-tessaly/";

std::string Stem(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.substr(0, name.find('.'));
}

// "n|a b|c|": entry 0 holds n, page 1 a and b, page 2 c, page 3 nothing.
void Build(Project& project, const std::string& layout) {
  project.pages.clear();
  size_t start = 0;
  for (size_t bar = 0; bar != std::string::npos; start = bar + 1) {
    bar = layout.find('|', start);
    project.appendPage();
    std::stringstream names(layout.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    for (std::string name; names >> name;)
      project.addImage(kNowhere + name, "", 100, 50, static_cast<int>(project.pages.size()) - 1, 0, 0);
  }
}

std::string Describe(const Project& project) {
  std::string out;
  for (size_t e = 0; e < project.pages.size(); ++e) {
    if (e) out += "|";
    for (size_t i = 0; i < project.pages[e]->placements.size(); ++i)
      out += (i ? " " : "") + Stem(project.pages[e]->placements[i]->path);
  }
  return out;
}

ImagePlacement* Named(const Project& project, const std::string& stem) {
  for (const auto& page : project.pages)
    for (const auto& image : page->placements)
      if (Stem(image->path) == stem) return image.get();
  return nullptr;
}

QAction* ActionOf(QMenu* menu, const char* text) {
  for (QAction* action : menu->actions())
    if (action->text() == QLatin1String(text)) return action;
  ADD_FAILURE() << "no menu item " << text;
  return nullptr;
}

// How often the inspector said it changed the project, since made.
struct EditCount {
  explicit EditCount(ProjectTreeDock& inspector) {
    QObject::connect(&inspector, &ProjectTreeDock::projectEdited, &context, [this] { ++count; });
  }
  QObject context;
  int count = 0;
};

class InspectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project.autoArrange = 0;
    project.firstPageNumber = 5;
    Build(project, "n|a b|c|");
    inspector = std::make_unique<ProjectTreeDock>(project);
    inspector->resize(300, 700);
    inspector->show();
  }
  QTreeWidget& tree() { return *inspector->tree(); }
  // A page node, or its image with that stem.
  QTreeWidgetItem* Node(int entry, const std::string& stem = "") {
    QTreeWidgetItem* page = tree().topLevelItem(entry);
    if (stem.empty() || !page) return page;
    for (int i = 0; i < page->childCount(); ++i)
      if (page->child(i)->text(0).startsWith(QString::fromStdString(stem))) return page->child(i);
    return nullptr;
  }
  void Select(const std::vector<QTreeWidgetItem*>& nodes) {
    tree().clearSelection();
    for (QTreeWidgetItem* node : nodes) node->setSelected(true);
    tree().setCurrentItem(nodes.front(), 0, QItemSelectionModel::NoUpdate);
  }
  QPoint GlobalOf(QTreeWidgetItem* node) {
    tree().scrollToItem(node);
    return tree().viewport()->mapToGlobal(tree().visualItemRect(node).center());
  }

  testing::FakeEnvironment env;
  Project project{env};
  std::unique_ptr<ProjectTreeDock> inspector;
};

TEST_F(InspectorTest, NodesNamePagesByNumberAndHoldTheirImages) {
  project.addImage(std::string(kNowhere) + "scan.tif", "", 10, 10, 3, 1, 0);
  inspector->refresh();
  EXPECT_EQ(inspector->objectName(), "ProjectTreeDock");
  EXPECT_EQ(inspector->windowTitle(), "Project Inspector");
  const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
      {" Not Arranged", {"n"}}, {" Page 5", {"a", "b"}}, {" Page 6", {"c"}}, {" Page 7", {"scan.tif (2)"}}};
  ASSERT_EQ(tree().topLevelItemCount(), 4);
  for (int e = 0; e < 4; ++e) {
    QTreeWidgetItem* page = tree().topLevelItem(e);
    EXPECT_EQ(page->text(0).toStdString(), expected[e].first);
    EXPECT_TRUE(page->isExpanded());
    ASSERT_EQ(page->childCount(), static_cast<int>(expected[e].second.size()));
    for (int i = 0; i < page->childCount(); ++i)
      EXPECT_EQ(page->child(i)->text(0).toStdString(), expected[e].second[i]);
  }
}

TEST_F(InspectorTest, RefreshAfterInsertKeepsExpansionAndSelection) {
  Node(1)->setExpanded(false);
  Select({Node(2, "c")});
  tree().setCurrentItem(Node(2), 0, QItemSelectionModel::Select);  // the page node too
  ActionOf(inspector->pageMenu(), "&Insert Page")->trigger();
  EXPECT_EQ(Describe(project), "n|a b||c|");
  EXPECT_FALSE(Node(1)->isExpanded());
  EXPECT_TRUE(Node(2)->isExpanded());
  EXPECT_TRUE(Node(3)->isExpanded());
  ASSERT_EQ(inspector->selectedImages().size(), 1u);
  EXPECT_EQ(inspector->selectedImages()[0], Named(project, "c"));
  EXPECT_EQ(inspector->selectedPage(), 3);
}

TEST_F(InspectorTest, MenuCommandsChangeTheProject) {
  TempFolder folder;
  const std::string picture = folder / "x.png";
  ASSERT_TRUE(testing::WritePicture(picture, 8, 8, 0x00FF00, kExportPNG));
  struct Case {
    const char* layout;
    bool imageMenu;
    int entry;
    const char* image;  // selected image node ("" the page node)
    const char* item;
    bool shift;
    const char* expected;
  };
  const Case cases[] = {
      {"n|a b|c|", false, 2, "", "&Insert Page", false, "n|a b||c|"},
      {"n|a b|c|", false, 0, "", "&Insert Page", false, "n|a b|c||"},
      {"n|a b|c|", false, 1, "", "&Delete Page", false, "n a b|c|"},
      {"n|a b|c|", false, 1, "", "&Delete Page", true, "n|c|"},
      {"n|a b", false, 1, "", "&Delete Page", true, "n|a b"},
      {"n|a b|c|", false, 0, "", "&Delete Page", false, "n|a b|c|"},
      {"n|a b|c|", false, 1, "", "Delete Empt&y Pages", false, "n|a b|c"},
      {"n||a b||c|", true, 2, "b", "Delete Empt&y Pages", false, "n|a b|c"},
      {"n|a b|c|", true, 1, "a", "Remove Image from Page", false, "n a|b|c|"},
      {"n|a b|c|", true, 1, "b", "Remove Image from Project", false, "n|a|c|"},
      {"n|a b|c|", true, 1, "b", "Insert Image", false, "n|a x b|c|"},
      {"n|a b|c|", true, 0, "n", "Insert Image", false, "x n|a b|c|"},
      {"n|a b|c|", false, 2, "", "I&nsert Image", false, "n|a b|c x|"},
  };
  inspector->setImageChooser([&] { return std::vector<std::string>{picture}; });
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.item) + " on " + c.layout + " entry " + std::to_string(c.entry) + " " + c.image);
    Build(project, c.layout);
    project.setModified(false);
    inspector->refresh();
    Select({Node(c.entry, c.image)});
    EditCount edited(*inspector);
    // Shift held is what the window's Edit menu passes on; the menu item reads the keyboard.
    if (c.shift)
      inspector->deleteSelectedPage(true);
    else
      ActionOf(c.imageMenu ? inspector->imageMenu() : inspector->pageMenu(), c.item)->trigger();
    EXPECT_EQ(Describe(project), c.expected);
    const bool changed = std::string(c.layout) != c.expected;
    EXPECT_EQ(edited.count, changed ? 1 : 0);
    EXPECT_EQ(project.modified, changed ? 1 : 0);
    EXPECT_EQ(tree().topLevelItemCount(), static_cast<int>(project.pages.size()));
  }
}

TEST_F(InspectorTest, AutoArrangeRunsAfterImagesAreRemoved) {
  project.autoArrange = 1;
  Build(project, "n|a b|c");
  inspector->refresh();
  Select({Node(2, "c")});
  ActionOf(inspector->imageMenu(), "Remove Image from Project")->trigger();
  // The arrangement took the waiting image onto the pages.
  EXPECT_EQ(Describe(project), "|a b n");
  EXPECT_EQ(Named(project, "n")->laidOut, 1);
}

TEST_F(InspectorTest, GotoSynchronizeAndCommentReportTheSelection) {
  std::vector<int> goTo;
  std::vector<Selection> reported;  // synchronizeRequested, then the comment editor's
  QObject::connect(inspector.get(), &ProjectTreeDock::goToPageRequested, [&](int page) { goTo.push_back(page); });
  QObject::connect(inspector.get(), &ProjectTreeDock::synchronizeRequested,
                   [&](const Selection& images) { reported.push_back(images); });
  inspector->setCommentEditor([&](const Selection& images) { reported.push_back(images); });
  struct Case {
    bool imageMenu;
    std::vector<std::pair<int, const char*>> nodes;
    const char* item;
    int page;                         // goToPageRequested, -1 none
    std::vector<const char*> images;  // synchronizeRequested / comment
  };
  const Case cases[] = {
      {false, {{2, ""}}, "&Goto Page", 2, {}},
      {true, {{1, "b"}}, "&Goto Page", 1, {}},
      {true, {{0, "n"}}, "&Goto Page", -1, {}},
      {false, {{1, ""}}, "&Synchronize", -1, {"a", "b"}},
      {true, {{1, "b"}, {2, "c"}}, "&Synchronize", -1, {"b", "c"}},
      {true, {{2, "c"}, {1, "a"}}, "Edit Comment", -1, {"a", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    goTo.clear();
    reported.clear();
    std::vector<QTreeWidgetItem*> nodes;
    for (const auto& [entry, image] : c.nodes) nodes.push_back(Node(entry, image));
    Select(nodes);
    ActionOf(c.imageMenu ? inspector->imageMenu() : inspector->pageMenu(), c.item)->trigger();
    EXPECT_EQ(goTo, c.page >= 0 ? std::vector<int>{c.page} : std::vector<int>{});
    Selection expected;
    for (const char* stem : c.images) expected.push_back(Named(project, stem));
    EXPECT_EQ(reported, c.images.empty() ? std::vector<Selection>{} : std::vector<Selection>{expected});
  }
}

TEST_F(InspectorTest, RightClickSelectsTheNodeAndShowsItsMenu) {
  for (const auto& [entry, image, menu] :
       {std::tuple{1, "a", inspector->imageMenu()}, std::tuple{2, "", inspector->pageMenu()}}) {
    QTreeWidgetItem* node = Node(entry, image);
    QMenu* shown = nullptr;
    QTimer::singleShot(0, [&] {
      shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (shown) shown->close();
    });
    const QPoint at = tree().visualItemRect(node).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree().viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree().viewport(), &event);
    EXPECT_EQ(shown, menu);
    EXPECT_EQ(tree().selectedItems(), QList<QTreeWidgetItem*>{node});
  }
}

TEST_F(InspectorTest, DroppedImagesMoveToTheNodeInTheirOrder) {
  struct Case {
    std::vector<const char*> images;
    int entry;
    const char* image;  // the image node dropped on ("" the page node)
    const char* expected;
  };
  const Case cases[] = {
      {{"c", "a"}, 1, "", "n|b c a|"}, {{"c", "n"}, 1, "b", "|a c n b|"}, {{"b"}, 1, "a", "n|b a|c"},
      {{"a", "b"}, 0, "", "n a b||c"}, {{"a", "c"}, 0, "n", "a c n|b|"},  {{"n", "a"}, 1, "a", "|n a b|c"},
      {{"a"}, 1, "a", "n|a b|c"},      {{"b"}, 1, "", "n|a b|c"},         {{"a", "b"}, 1, "a", "n|a b|c"},
  };
  const std::string layout = "n|a b|c";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Build(project, layout);
    inspector->refresh();
    Selection images;
    for (const char* stem : c.images) images.push_back(Named(project, stem));
    const QPoint global = GlobalOf(Node(c.entry, c.image));
    EditCount edited(*inspector);
    inspector->dragEnter(images);
    inspector->dragMove(global);
    EXPECT_NE(Node(c.entry, c.image)->background(0).style(), Qt::NoBrush);
    const bool changed = inspector->drop(images, global);
    EXPECT_EQ(Describe(project), c.expected);
    EXPECT_EQ(changed, layout != c.expected);
    EXPECT_EQ(edited.count, changed ? 1 : 0);
    for (const auto& page : project.pages)
      for (const auto& image : page->placements) EXPECT_EQ(project.pageOf(image.get()), image->pageIndex);
  }
  inspector->dragMove(GlobalOf(Node(1)));
  inspector->dragLeave();
  EXPECT_EQ(Node(1)->background(0).style(), Qt::NoBrush);
}

TEST_F(InspectorTest, DroppedFilesJoinAPageNodeOrWaitUnarranged) {
  TempFolder folder;
  ASSERT_TRUE(testing::WritePicture(folder / "x.png", 8, 8, 0x00FF00, kExportPNG));
  struct Case {
    int entry;
    const char* image;  // the image node dropped on ("" the page node)
    const char* expected;
  };
  for (const Case& c : {Case{2, "", "n|a b|c x"}, Case{1, "b", "n x|a b|c"}, Case{0, "", "n x|a b|c"}}) {
    Build(project, "n|a b|c");
    inspector->refresh();
    const QPoint at = tree().visualItemRect(Node(c.entry, c.image)).center();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder / "x.png"))});
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree().viewport(), &drop);
    EXPECT_EQ(Describe(project), c.expected);
  }
  // Image nodes dragged within the tree move like images from the page view.
  Build(project, "n|a b|c");
  inspector->refresh();
  Select({Node(1, "a"), Node(0, "n")});
  const QPoint at = tree().visualItemRect(Node(2)).center();
  QMimeData data;
  data.setData(kInspectorDragFormat, "images");
  QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree().viewport(), &enter);
  QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tree().viewport(), &drop);
  EXPECT_EQ(Describe(project), "|b|c n a");
}

TEST_F(InspectorTest, ThumbnailsArriveOffTheGuiThreadAndAreKept) {
  TempFolder folder;
  ASSERT_TRUE(testing::WritePicture(folder / "red.png", 40, 20, 0x0000FF, kExportPNG));
  std::ofstream(folder / "broken.png") << "not a picture";
  Build(project, "|");
  for (const char* name : {"red.png", "broken.png"}) project.addImage(folder / name, "", 40, 20, 1, 0, 0);
  project.addImage(std::string(kNowhere) + "gone.png", "", 40, 20, 1, 0, 0);
  inspector->refresh();
  auto state = [&](int i) { return Node(1)->child(i)->data(0, ProjectTreeDock::kThumbnailStateRole).toInt(); };
  EXPECT_EQ(state(2), ProjectTreeDock::kThumbnailMissing);
  ASSERT_TRUE(WaitFor([&] { return state(0) != ProjectTreeDock::kThumbnailPending && state(1) != 0; }));
  EXPECT_EQ(state(0), ProjectTreeDock::kThumbnailReady);
  EXPECT_EQ(state(1), ProjectTreeDock::kThumbnailMissing);
  // A rebuild shows the kept picture at once.
  inspector->refresh();
  EXPECT_EQ(state(0), ProjectTreeDock::kThumbnailReady);
  EXPECT_EQ(state(1), ProjectTreeDock::kThumbnailMissing);

  // The picture itself: red, fitted into the placement's box.
  const QImage thumb = MakeThumbnail({QString(), folder / "red.png", 0, 128, 64});
  ASSERT_FALSE(thumb.isNull());
  EXPECT_LE(thumb.width(), 128);
  EXPECT_EQ(thumb.width(), 2 * thumb.height());
  EXPECT_EQ(thumb.pixel(thumb.width() / 2, thumb.height() / 2), qRgb(255, 0, 0));
  EXPECT_TRUE(MakeThumbnail({QString(), folder / "red.png", 3, 128, 64}).isNull());  // no such plane
}

TEST_F(InspectorTest, Screenshot) {
  if (QDir("/usr/share/icons/Adwaita").exists()) QIcon::setThemeName("Adwaita");
  TempFolder folder;
  const std::pair<const char*, COLORREF> pictures[] = {
      {"sunset.png", 0x2080F0}, {"lake.png", 0xC08040}, {"forest.png", 0x308030}, {"portrait.png", 0x8080C0}};
  Build(project, "|");
  project.appendPage();
  int i = 0;
  for (const auto& [name, colour] : pictures) {
    ASSERT_TRUE(testing::WritePicture(folder / name, i % 2 ? 60 : 120, i % 2 ? 90 : 80, colour, kExportPNG));
    project.addImageFile(folder / name, i++ < 3 ? 1 : 0);
  }
  project.addImage(std::string(kNowhere) + "missing.jpg", "", 10, 10, 2, 0, 0);
  inspector->refresh();
  ASSERT_TRUE(WaitFor([&] {
    for (int p = 0; p < tree().topLevelItemCount(); ++p)
      for (int c = 0; c < Node(p)->childCount(); ++c)
        if (Node(p)->child(c)->data(0, ProjectTreeDock::kThumbnailStateRole).toInt() == 0) return false;
    return true;
  }));
  Select({Node(1)->child(1)});
  vel::ui::testing::SaveShotIfAsked(*inspector, "tessaly_projecttree");
}

}  // namespace
}  // namespace tessaly

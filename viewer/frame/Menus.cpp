#include "viewer/frame/Menus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <map>

#include "viewer/core/Commands.h"

namespace orvenna {
namespace {

const std::map<int, const char*>& Texts() {
  static const std::map<int, const char*> texts = {
      {ID_FILE_NEW, "New"},
      {ID_FILE_OPEN, "Open..."},
      {ID_FILE_CLOSE, "Close"},
      {ID_FILE_SAVE, "Save"},
      {ID_FILE_PRINT, "Print..."},
      {ID_FILE_PRINT_PREVIEW, "Print preview"},
      {ID_APP_EXIT, "Exit"},
      {ID_APP_ABOUT, "About..."},
      {ID_HELP_CONTENTS, "Help contents"},
      {ID_EDIT_COPY, "Copy to clipboard"},
      {ID_EDIT_CUT, "Cut"},
      {ID_EDIT_PASTE_NEW, "Create from clipboard"},
      {ID_EDIT_UNDO, "Undo"},
      {ID_EDIT_REDO, "Redo"},
      {ID_NEXT_PANE, "Next pane"},
      {ID_PREV_PANE, "Previous pane"},
      {ID_WINDOW_CASCADE, "Cascade"},
      {ID_WINDOW_TILE_HORZ, "Tile horizontally"},
      {ID_WINDOW_TILE_VERT, "Tile vertically"},
      {ID_VIEW_TOOLBAR, "Toolbar"},
      {ID_VIEW_STATUS_BAR, "Status Bar"},
      {ID_CLOSE_ALL, "Close All"},
      {ID_PRINT_ALL, "Print All..."},
      {ID_BATCH, "Batch convertion..."},
      {ID_TOOLBAR_CUSTOMIZE, "Customize..."},
      {ID_WEB_SITE, "Velmark &Software on Web"},
      {ID_WEB_SUPPORT, "S&upport Service"},
      {ID_WEB_UPDATE, "Check &for update"},
      {ID_SAVE_BMP, "&Bitmap..."},
      {ID_SAVE_JPEG, "&JPEG..."},
      {ID_SAVE_GIF, "&GIF..."},
      {ID_SAVE_PNG, "&PNG..."},
      {ID_SAVE_TIFF, "&TIFF..."},
      {ID_SAVE_TGA, "T&arga..."},
      {ID_SAVE_PCX, "P&CX..."},
      {ID_SAVE_DCX, "&DCX..."},
      {ID_SAVE_FMF, "&FaxMan..."},
      {ID_SAVE_WMF, "&WMF..."},
      {ID_SAVE_EMF, "E&MF..."},
      {ID_SAVE_EPS, "EP&SF..."},
      {ID_SAVE_AS_DROPDOWN, "Save As"},
      {ID_MIRROR_VERT, "Mirror vertically"},
      {ID_MIRROR_HORZ, "Mirror horizontally"},
      {ID_MIRROR_BOTH, "Mirror vertically and horizontally"},
      {ID_ROTATE_CUSTOM, "Custom..."},
      {ID_STRETCH, "Stretch image..."},
      {ID_DEPTH_24, "24 bpp"},
      {ID_DEPTH_8, "8 bpp"},
      {ID_DEPTH_4, "4 bpp"},
      {ID_DEPTH_1, "1 bpp"},
      {ID_GRAYSCALE, "Grayscale"},
      {ID_BRIGHTNESS, "Brightness..."},
      {ID_CONTRAST, "Contrast..."},
      {ID_SHARPEN, "Sharpen"},
      {ID_BLUR, "Blur"},
      {ID_EMBOSS, "Emboss"},
      {ID_EDGES_ALL, "All edges detection"},
      {ID_EDGES_ALL2, "All edges detection (second variant)"},
      {ID_EDGES_VERT, "Vertical edges detection"},
      {ID_EDGES_HORZ, "Horizontal edges detection"},
      {ID_LAPLACE, "Laplace Sharpen"},
      {ID_INVERT, "Invert"},
      {ID_MIRROR_DROPDOWN, "Mirror image"},
      {ID_ROTATE_DROPDOWN, "Rotate image"},
      {ID_DEPTH_DROPDOWN, "Modify color depth"},
      {ID_FILTER_DROPDOWN, "Filter"},
      {ID_PLUGINS, "Plugins"},
      {ID_ZOOM_100, "100 % (Original size)"},
      {ID_ZOOM_FIT, "Fit within work area"},
      {ID_ZOOM_FIT2, "Fit within work area"},
      {ID_ZOOM_IN, "Zoom In"},
      {ID_ZOOM_OUT, "Zoom Out"},
      {ID_ZOOM_DROPDOWN, "Zoom value"},
      {ID_AREA_WINDOWS, "Windows default"},
      {ID_AREA_DEFAULT, "Malvito default"},
      {ID_AREA_CUSTOM, "Custom..."},
      {ID_AREA_DROPDOWN, "Work area background color"},
      {ID_ADVANCED_DROPDOWN, "Advanced view"},
      {ID_HAND_MODE, "Hand mode"},
      {ID_LENS_MODE, "Lens mode"},
      {ID_LENS_SIZE, "Set lens size..."},
      {ID_FULL_SCREEN, "Full screen view"},
      {ID_END_FULL_SCREEN, "End full screen view"},
      {ID_PAGE_FIRST, "First page"},
      {ID_PAGE_PREV, "Previous page"},
      {ID_PAGE_NEXT, "Next page"},
      {ID_PAGE_LAST, "Last page"},
  };
  return texts;
}

// The zoom ladder's percentages and the lens magnifications, by command.
constexpr int kZoomPercent[] = {5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 150, 200, 300, 400};
constexpr int kLensCommands[] = {32854, 32855, 32856, 32857, 32858, 32859, 32861, 32862};
constexpr const char* kLensTexts[] = {"X 1,5", "X 2,0", "X 2,5", "X 3,0", "X 3,5", "X 4,0", "X 4,5", "X 5,0"};

void Add(QMenu* menu, const ActionSource& source, std::initializer_list<int> ids) {
  for (int id : ids) {
    if (id == 0)
      menu->addSeparator();
    else
      menu->addAction(source(id));
  }
}

QMenu* Sub(QMenu* menu, const char* title) { return menu->addMenu(QString::fromUtf8(title)); }

void FillSaveAs(QMenu* m, const ActionSource& s) {
  Add(m, s,
      {ID_SAVE_BMP, ID_SAVE_JPEG, ID_SAVE_GIF, ID_SAVE_PNG, ID_SAVE_TIFF, ID_SAVE_TGA, ID_SAVE_PCX, ID_SAVE_DCX,
       ID_SAVE_FMF, ID_SAVE_WMF, ID_SAVE_EMF, ID_SAVE_EPS});
}
void FillZoom(QMenu* m, const ActionSource& s) {
  for (int id = ID_ZOOM_FIRST; id <= ID_ZOOM_LAST; ++id) m->addAction(s(id));
}
void FillArea(QMenu* m, const ActionSource& s) { Add(m, s, {ID_AREA_WINDOWS, ID_AREA_DEFAULT, ID_AREA_CUSTOM}); }
void FillAdvanced(QMenu* m, const ActionSource& s) { Add(m, s, {ID_FULL_SCREEN, ID_ZOOM_FIT}); }
void FillMirror(QMenu* m, const ActionSource& s) { Add(m, s, {ID_MIRROR_VERT, ID_MIRROR_HORZ, ID_MIRROR_BOTH}); }
void FillRotate(QMenu* m, const ActionSource& s) {
  for (int id = ID_ROTATE_FIRST; id <= ID_ROTATE_LAST; ++id) m->addAction(s(id));
  Add(m, s, {0, ID_ROTATE_CUSTOM});
}
void FillDepth(QMenu* m, const ActionSource& s) {
  Add(m, s, {ID_DEPTH_24, ID_DEPTH_8, ID_DEPTH_4, ID_DEPTH_1, 0, ID_GRAYSCALE});
}
void FillFilter(QMenu* m, const ActionSource& s) { Add(m, s, {ID_EMBOSS, ID_SHARPEN, ID_BLUR, ID_INVERT}); }
void FillLens(QMenu* m, const ActionSource& s) {
  for (int id : kLensCommands) m->addAction(s(id));
  Add(m, s, {0, ID_LENS_SIZE});
}

void AddHelp(QMenuBar* bar, const ActionSource& s) {
  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  Add(help, s, {ID_APP_ABOUT, ID_HELP_CONTENTS, 0});
  Add(Sub(help, "Velmark &Online"), s, {ID_WEB_SITE, ID_WEB_SUPPORT, ID_WEB_UPDATE});
}

void AddRecentAndExit(QMenu* file, const ActionSource& s) {
  file->addSeparator()->setObjectName(QStringLiteral("recentFiles"));
  Add(file, s, {0, ID_APP_EXIT});
}

}  // namespace

QString CommandText(int id) {
  if (id >= ID_ZOOM_FIRST && id <= ID_ZOOM_LAST && id != ID_ZOOM_100)
    return QStringLiteral("%1 %").arg(kZoomPercent[id - ID_ZOOM_FIRST]);
  if (id >= ID_ROTATE_FIRST && id <= ID_ROTATE_LAST)
    return QStringLiteral("Rotate on %1 degrees").arg(30 * (id - ID_ROTATE_FIRST + 1));
  for (size_t i = 0; i < std::size(kLensCommands); ++i)
    if (kLensCommands[i] == id) return QString::fromUtf8(kLensTexts[i]);
  const auto it = Texts().find(id);
  return it == Texts().end() ? QString() : QString::fromUtf8(it->second);
}

const std::vector<int>& CustomizableCommands() {
  static const std::vector<int> ids = [] {
    std::vector<int> all = {ID_FILE_OPEN,      ID_FILE_SAVE, ID_FILE_CLOSE,  ID_FILE_PRINT,  ID_PRINT_ALL,
                            ID_BATCH,          ID_APP_EXIT,  ID_EDIT_UNDO,   ID_EDIT_REDO,   ID_EDIT_COPY,
                            ID_EDIT_PASTE_NEW, ID_STRETCH,   ID_MIRROR_VERT, ID_MIRROR_HORZ, ID_MIRROR_BOTH};
    for (int id = ID_ROTATE_FIRST; id <= ID_ROTATE_LAST; ++id) all.push_back(id);
    for (int id : {ID_ROTATE_CUSTOM, ID_DEPTH_24,   ID_DEPTH_8, ID_DEPTH_4, ID_DEPTH_1,  ID_GRAYSCALE, ID_BRIGHTNESS,
                   ID_CONTRAST,      ID_EMBOSS,     ID_SHARPEN, ID_BLUR,    ID_INVERT,   ID_EDGES_ALL, ID_EDGES_ALL2,
                   ID_EDGES_VERT,    ID_EDGES_HORZ, ID_LAPLACE, ID_ZOOM_IN, ID_ZOOM_OUT, ID_ZOOM_FIT})
      all.push_back(id);
    for (int id = ID_ZOOM_FIRST; id <= ID_ZOOM_LAST; ++id) all.push_back(id);
    for (int id : {ID_AREA_WINDOWS, ID_AREA_DEFAULT, ID_AREA_CUSTOM, ID_HAND_MODE}) all.push_back(id);
    for (int id : kLensCommands) all.push_back(id);
    for (int id :
         {ID_LENS_SIZE, ID_FULL_SCREEN, ID_END_FULL_SCREEN, ID_PAGE_FIRST, ID_PAGE_PREV, ID_PAGE_NEXT, ID_PAGE_LAST,
          ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_TILE_VERT, ID_CLOSE_ALL, ID_VIEW_TOOLBAR,
          ID_VIEW_STATUS_BAR, ID_APP_ABOUT, ID_HELP_CONTENTS, ID_FILE_NEW, ID_EDIT_CUT, ID_NEXT_PANE, ID_PREV_PANE})
      all.push_back(id);
    return all;
  }();
  return ids;
}

void BuildMenuBar(QMenuBar* bar, MenuBarKind kind, const ActionSource& s) {
  bar->clear();
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("fileMenu"));
  if (kind == MenuBarKind::Short) {
    Add(file, s, {ID_FILE_OPEN, ID_EDIT_PASTE_NEW, ID_BATCH});
    AddRecentAndExit(file, s);
    Add(bar->addMenu(QStringLiteral("&View")), s, {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR});
    AddHelp(bar, s);
    return;
  }
  Add(file, s, {ID_FILE_OPEN});
  FillSaveAs(Sub(file, "Save As"), s);
  Add(file, s, {ID_EDIT_PASTE_NEW, ID_BATCH, 0, ID_FILE_PRINT, ID_PRINT_ALL, 0, ID_FILE_CLOSE, ID_CLOSE_ALL});
  AddRecentAndExit(file, s);

  QMenu* actions = bar->addMenu(QStringLiteral("&Actions"));
  Add(actions, s, {ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_COPY, ID_EDIT_PASTE_NEW, 0, ID_STRETCH});
  FillMirror(Sub(actions, "Mirror image"), s);
  FillRotate(Sub(actions, "Rotate image"), s);
  FillDepth(Sub(actions, "Modify color depth"), s);
  Add(actions, s, {ID_BRIGHTNESS, ID_CONTRAST});
  FillFilter(Sub(actions, "Filter"), s);

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  Add(view, s, {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, 0});
  FillZoom(Sub(view, "Zoom"), s);
  FillArea(Sub(view, "Work area back color"), s);
  Add(view, s, {ID_HAND_MODE});
  FillLens(Sub(view, "Lens mode"), s);
  FillAdvanced(Sub(view, "Advanced view"), s);

  QMenu* window = bar->addMenu(QStringLiteral("&Window"));
  window->setObjectName(QStringLiteral("windowMenu"));
  Add(window, s, {ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_TILE_VERT, ID_CLOSE_ALL});
  AddHelp(bar, s);
}

bool BuildPopupMenu(QMenu* menu, int resource, const ActionSource& s) {
  switch (resource) {
    case IDR_MENU_ZOOM: FillZoom(menu, s); return true;
    case IDR_MENU_AREA: FillArea(menu, s); return true;
    case IDR_MENU_ADVANCED: FillAdvanced(menu, s); return true;
    case IDR_MENU_MIRROR: FillMirror(menu, s); return true;
    case IDR_MENU_ROTATE: FillRotate(menu, s); return true;
    case IDR_MENU_DEPTH: FillDepth(menu, s); return true;
    case IDR_MENU_FILTER: FillFilter(menu, s); return true;
    case IDR_MENU_LENS: FillLens(menu, s); return true;
    case IDR_MENU_SAVEAS: FillSaveAs(menu, s); return true;
    case IDR_MENU_CONTEXT:
      Add(menu, s, {ID_HAND_MODE});
      FillLens(Sub(menu, "Lens mode"), s);
      Add(menu, s, {0, ID_FULL_SCREEN, ID_ZOOM_FIT, 0, ID_ZOOM_IN, ID_ZOOM_OUT});
      return true;
    default: return false;
  }
}

}  // namespace orvenna

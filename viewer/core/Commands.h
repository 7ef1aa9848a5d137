// The viewer's command numbers. They identify menu entries, toolbar buttons,
// shortcuts and status texts alike, so a test can run any command by its number.
#pragma once

namespace orvenna {

// Application and files.
constexpr int ID_FILE_NEW = 57600;  // bound to Ctrl+N; nothing handles it
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_CLOSE = 57602;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_FILE_MRU_FIRST = 57616;  // nine recent files: 57616..57624
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_HELP_CONTENTS = 57670;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;          // bound to Ctrl+X; nothing handles it
constexpr int ID_EDIT_PASTE_NEW = 57637;    // "Create from clipboard"
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_EDIT_REDO = 57644;
constexpr int ID_NEXT_PANE = 57680;         // F6; nothing handles it
constexpr int ID_PREV_PANE = 57681;         // Shift+F6
constexpr int ID_WINDOW_CASCADE = 57650;
constexpr int ID_WINDOW_TILE_HORZ = 57651;
constexpr int ID_WINDOW_TILE_VERT = 57652;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;
constexpr int ID_CLOSE_ALL = 32825;
constexpr int ID_PRINT_ALL = 32889;
constexpr int ID_BATCH = 32836;
constexpr int ID_TOOLBAR_CUSTOMIZE = 32770;
constexpr int ID_WEB_SITE = 32884;
constexpr int ID_WEB_SUPPORT = 32883;
constexpr int ID_WEB_UPDATE = 32885;

// Save as one format.
constexpr int ID_SAVE_BMP = 32794;
constexpr int ID_SAVE_JPEG = 32799;
constexpr int ID_SAVE_GIF = 32798;
constexpr int ID_SAVE_PNG = 32801;
constexpr int ID_SAVE_TIFF = 32803;
constexpr int ID_SAVE_TGA = 32802;
constexpr int ID_SAVE_PCX = 32800;
constexpr int ID_SAVE_DCX = 32795;
constexpr int ID_SAVE_EPS = 32796;
constexpr int ID_SAVE_FMF = 32804;
constexpr int ID_SAVE_WMF = 32874;
constexpr int ID_SAVE_EMF = 32870;
constexpr int ID_SAVE_AS_DROPDOWN = 32797;  // the toolbar's Save As button

// Edits.
constexpr int ID_MIRROR_VERT = 32779;
constexpr int ID_MIRROR_HORZ = 32780;
constexpr int ID_MIRROR_BOTH = 32823;
constexpr int ID_ROTATE_FIRST = 32781;  // 30 degrees; 32781..32791 are 30..330
constexpr int ID_ROTATE_LAST = 32791;
constexpr int ID_ROTATE_CUSTOM = 32792;
constexpr int ID_STRETCH = 32772;
constexpr int ID_DEPTH_24 = 32774;
constexpr int ID_DEPTH_8 = 32775;
constexpr int ID_DEPTH_4 = 32776;
constexpr int ID_DEPTH_1 = 32777;
constexpr int ID_GRAYSCALE = 32778;
constexpr int ID_BRIGHTNESS = 32868;
constexpr int ID_CONTRAST = 32869;
constexpr int ID_SHARPEN = 32845;
constexpr int ID_BLUR = 32846;
constexpr int ID_EMBOSS = 32847;
constexpr int ID_EDGES_ALL = 32840;
constexpr int ID_EDGES_ALL2 = 32842;
constexpr int ID_EDGES_VERT = 32843;
constexpr int ID_EDGES_HORZ = 32844;
constexpr int ID_LAPLACE = 32841;
constexpr int ID_INVERT = 32848;
// Toolbar drop-down buttons of the edits.
constexpr int ID_MIRROR_DROPDOWN = 32821;
constexpr int ID_ROTATE_DROPDOWN = 32822;
constexpr int ID_DEPTH_DROPDOWN = 32773;
constexpr int ID_FILTER_DROPDOWN = 32849;
constexpr int ID_PLUGINS = 32890;  // hidden toolbar button, no behaviour

// View.
constexpr int ID_ZOOM_FIRST = 32806;  // 5 %; 32806..32815 are 5 % .. 90 %
constexpr int ID_ZOOM_100 = 32816;
constexpr int ID_ZOOM_150 = 32817;   // 32817..32820 are 150, 200, 300, 400 %
constexpr int ID_ZOOM_LAST = 32820;
constexpr int ID_ZOOM_FIT = 32805;
constexpr int ID_ZOOM_FIT2 = 32866;
constexpr int ID_ZOOM_IN = 32864;
constexpr int ID_ZOOM_OUT = 32865;
constexpr int ID_ZOOM_DROPDOWN = 32838;
constexpr int ID_AREA_WINDOWS = 32829;
constexpr int ID_AREA_DEFAULT = 32830;
constexpr int ID_AREA_CUSTOM = 32831;
constexpr int ID_AREA_DROPDOWN = 32839;
constexpr int ID_ADVANCED_DROPDOWN = 32867;
constexpr int ID_HAND_MODE = 32852;
constexpr int ID_LENS_MODE = 32853;      // drop-down
constexpr int ID_LENS_FIRST = 32854;     // X 1,5 .. X 5,0 (32860 unused)
constexpr int ID_LENS_LAST = 32862;
constexpr int ID_LENS_SIZE = 32863;
constexpr int ID_FULL_SCREEN = 32850;
constexpr int ID_END_FULL_SCREEN = 32851;

// Page bar of a multi-page image.
constexpr int ID_PAGE_FIRST = 1013;
constexpr int ID_PAGE_PREV = 1009;
constexpr int ID_PAGE_NEXT = 1010;
constexpr int ID_PAGE_LAST = 1014;

// Menus, by their resource numbers.
constexpr int IDR_MAINFRAME = 125;       // short menu, toolbar, shortcuts
constexpr int IDR_IMAGETYPE = 184;       // long menu of an image window
constexpr int IDR_MENU_ZOOM = 152;
constexpr int IDR_MENU_AREA = 153;
constexpr int IDR_MENU_CONTEXT = 154;
constexpr int IDR_MENU_ADVANCED = 177;
constexpr int IDR_MENU_MIRROR = 178;
constexpr int IDR_MENU_ROTATE = 179;
constexpr int IDR_MENU_DEPTH = 180;
constexpr int IDR_MENU_FILTER = 181;
constexpr int IDR_MENU_LENS = 182;
constexpr int IDR_MENU_SAVEAS = 183;

// Private window messages.
constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_PAGE_BAR = WM_USER + 2;  // document to child frame: make the page bar

// The program's names.
inline constexpr const char kAppName[] = "Malvito";
inline constexpr const char kMakerKey[] = "Velmark";

}  // namespace orvenna

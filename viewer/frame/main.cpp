// orvenna: the image viewer and editor.
#include <cstdio>
#include <cstring>

#include "viewer/frame/COrvennaApp.h"

namespace {

constexpr const char* kUsage =
    "usage: orvenna [FILE]\n"
    "       orvenna --help\n"
    "\n"
    "Opens FILE, a picture or drawing of any type Lorimer reads, in an image window\n"
    "of the viewer. When the viewer runs already, this start hands FILE over to it\n"
    "and ends.\n"
    "\n"
    "  FILE        the picture to open; the first argument, whatever it starts with\n"
    "  --help, -h  this text (only as the sole argument; open a file of that name\n"
    "              as ./--help)\n"
    "\n"
    "Environment:\n"
    "  VELMARK_REGISTRY_DIR  the registry folder (default $XDG_CONFIG_HOME/velmark,\n"
    "                        else ~/.config/velmark)\n"
    "  VELMARK_OPEN_COMMAND  opens help and web pages (default xdg-open)\n"
    "  VELMARK_PDF_DIR       where printing to \"Print to PDF\" writes its file\n"
    "  XDG_RUNTIME_DIR       holds the socket a second start hands its file to\n"
    "  DISPLAY, WAYLAND_DISPLAY  the display to show the window on\n"
    "\n"
    "Registry: HKEY_CURRENT_USER\\Software\\Velmark\\Malvito (view options; window,\n"
    "bars and keys in \"Settings\"; recent files in \"Recent File List\")\n"
    "Exit status: 0, also when FILE cannot be opened (the window says so).\n";

}  // namespace

int main(int argc, char** argv) {
  // Asked before anything starts: no display, registry or running viewer is
  // involved in reading the usage. The switch wins over a file of that name,
  // which a person can still open as ./--help.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  return orvenna::COrvennaApp::Main(argc, argv);
}

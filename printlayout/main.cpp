// tessaly: the print-layout program.
#include <cstdio>
#include <cstring>

#include "printlayout/gui/frame/TessalyApp.h"

namespace {

constexpr const char* kUsage =
    "usage: tessaly [SWITCH...] [PROJECT-FILE] [IMAGE | FOLDER | @LIST-FILE]...\n"
    "       tessaly --help\n"
    "\n"
    "Lays the images out on pages and shows them in the print-layout window.\n"
    "Lengths are millimetres unless marked 0.1 mm.\n"
    "\n"
    "  /p                        print every page on the project's printer and exit\n"
    "  /ps                       show the project options of PROJECT-FILE, save it\n"
    "  /A[:cols,rows,gapH,gapV]  arrange the images in a grid (auto-arrange mode)\n"
    "  /M:left,top,right,bottom,header,footer,headerLeft,headerRight,multiline\n"
    "                            margins, header and footer distances and positions\n"
    "  /B:lines,colour,width,spaceH,spaceV\n"
    "                            border lines (hex codes), colour, width (0.1 mm)\n"
    "                            and the spaces to the picture (0.1 mm)\n"
    "  /S:dx,dy,colour           shadow offset (0.1 mm, -50 to 50) and colour\n"
    "  /C:comment                comment of the images added (&[Image], &[Size] ...)\n"
    "  /H:left;centre;right      header texts (&[Page], &[Pages], &[Date] ...)\n"
    "  /F:left;centre;right      footer texts\n"
    "  /N:title                  the window's title\n"
    "  /def:settings-project     take the project settings from that project file\n"
    "  /nosplash                 accepted; there is no start-up picture to leave out\n"
    "  PROJECT-FILE              a project to open (known by its contents)\n"
    "  IMAGE | FOLDER | @LIST-FILE\n"
    "                            pictures to add: a file, every file below a folder,\n"
    "                            or the file named on each line of a list file\n"
    "  --help, -h                this text (only as the sole argument)\n"
    "\n"
    "A switch may also start with \"-\" (-p). A word starting with \"/\" is a switch\n"
    "only if it reads as one and no such file exists. A colour is a name (Red) or\n"
    "hex BBGGRR.\n"
    "\n"
    "Environment:\n"
    "  VELMARK_PDF_DIR       where \"Print to PDF\" writes <project name>.pdf\n"
    "                        (default: your Documents folder)\n"
    "  VELMARK_REGISTRY_DIR  the registry folder (default $XDG_CONFIG_HOME/velmark,\n"
    "                        else ~/.config/velmark)\n"
    "  DISPLAY, WAYLAND_DISPLAY  the display; without one /p still prints (and\n"
    "                        prints the PDF's path) but the window cannot open\n"
    "\n"
    "Registry: HKEY_CURRENT_USER\\Software\\Velmark\\Tessaly (settings in \"Settings\")\n"
    "Exit status: 0, or 1 when printing or saving failed or there is no display.\n";

}  // namespace

int main(int argc, char** argv) {
  // Asked before anything starts: no display, registry or printer is needed to
  // read the usage. The switch wins over a file of that name, which a person can
  // still pass as ./--help.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  return tessaly::RunTessaly(argc, argv);
}

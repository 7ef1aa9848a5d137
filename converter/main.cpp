// converter: one job per run, chosen by the command line: the settings sheet (at
// its About page with /ABOUT), converting one file or every file of a list,
// copying an image to the clipboard, making it the wallpaper, renaming the
// files of a list, or starting the page wizard.
#include <malloc.h>

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "converter/cli/CommandLine.h"
#include "converter/engine/ProcessDlg.h"
#include "converter/rename/RunRename.h"
#include "converter/sheet/CSettings.h"
#include "converter/wallpaper/Wallpaper.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/named_window.h"
#include "platform/shell/shell.h"
#include "platform/ui/progress.h"
#include "platform/ui/ui.h"

namespace converter {
namespace {

constexpr const char* kProfileKey = "Software\\Velmark\\CONVERTER";
constexpr const char* kAppPathName = "Converter.exe";
constexpr const char* kTrayWindow = "Ulverton";

constexpr const char* kUsage =
    "usage: converter [/SETTING]            the settings sheet (\"Corbanix Settings\")\n"
    "       converter /ABOUT                the settings sheet at its About page\n"
    "       converter FILE /TYPE            convert FILE to TYPE\n"
    "       converter LIST /BAT             convert the files of a list file\n"
    "       converter FILE /COPYTOCLIPBOARD the processed picture to the clipboard\n"
    "       converter FILE /SETASWALLPAPER  the processed picture as the wallpaper\n"
    "       converter LIST /RENAME          rename (or copy under new names) the\n"
    "                                       files of a list file\n"
    "       converter /BRAMWELL             start the page wizard Bramwell beside it\n"
    "       converter --register            make the App Paths entry Converter.exe\n"
    "                                       name this program, then end\n"
    "       converter --help                this text (also -h; only as the sole\n"
    "                                       argument)\n"
    "\n"
    "TYPE, written as that format:\n"
    "  /BMP /GIF /JPG /TIF /TGA /DCX /EPS /FMF /PCX /PNG /WMF /EMF\n"
    "other spellings: /JIF /JFIF /JPE /JPEG (JPEG), /TIFF, /TARGA, /EPSF\n"
    "read-only types, written as a bitmap under their extension:\n"
    "  /DIB /DXF /IMG /PCD /FPX /RLE /WPG /ICO /CUR /ANI\n"
    "\n"
    "A list file holds one path per line after its first line, which names the\n"
    "type for /BAT (JPG) and is skipped for /RENAME (RENAME).\n"
    "/HIDE, /WAITFINISH and /AUTOCLOSE are accepted and only recorded.\n"
    "Switches are upper case; a word with a second \"/\", or naming a file, is a\n"
    "path. Outputs go beside their source unless the settings name a folder, with\n"
    "the log Corbanix.log; they never replace their own source.\n"
    "\n"
    "Environment:\n"
    "  VELMARK_REGISTRY_DIR       the registry folder (default\n"
    "                             $XDG_CONFIG_HOME/velmark, else ~/.config/velmark)\n"
    "  VELMARK_WALLPAPER_COMMAND  a program to set the wallpaper, given its path\n"
    "                             (default: by XDG_CURRENT_DESKTOP)\n"
    "  VELMARK_CLIPBOARD_DIR      the clipboard's folder when there is no display\n"
    "  VELMARK_OPEN_COMMAND       opens help and web pages (default xdg-open)\n"
    "  DISPLAY, WAYLAND_DISPLAY   the display; without one a job prints a line\n"
    "                             per step on standard error\n"
    "\n"
    "Registry: HKEY_CURRENT_USER\\Software\\Velmark\\CONVERTER\n"
    "Exit status: 0 when every file converted (or renamed), else 1; 1 also for\n"
    "the settings sheet without a display.\n";

// The text after the program name, as it would have been typed: arguments with
// blanks (or nothing in them) in double quotes.
std::string RawCommandLine(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!text.empty()) text += ' ';
    const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
    text += quote ? "\"" + arg + "\"" : arg;
  }
  return text;
}

// Other programs find the converter through its App Paths entry; written at
// install time and again whenever it is missing or names another program.
bool RegisterAppPath() { return RegisterOwnAppPath(kAppPathName); }

void StoreSpecialCommand(unsigned flags) {
  vel::OwnedKey key;
  const std::string sub = std::string(kProfileKey) + "\\COMMAND";
  if (RegCreateKeyExA(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  const DWORD value = flags;
  RegSetValueExA(key.get(), "SpecialCommand", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

int ShowSettings(bool aboutPage) {
  // A sheet that is open already comes to the front instead of a second one.
  if (vel::shell::FindNamedWindow(CSettings::kTitle)) {
    if (aboutPage) vel::shell::PostNamedMessage(CSettings::kTitle, CSettings::kShowAboutMessage);
    vel::shell::PostNamedMessage(CSettings::kTitle, vel::shell::kNamedActivate);
    return 0;
  }
  if (!vel::ui::CanShowWindows()) {
    std::fprintf(stderr, "converter: the settings need a display\n");
    return 1;
  }
  CSettings sheet(nullptr, aboutPage);
  sheet.SetTrayCloser([] { vel::shell::PostNamedMessage(kTrayWindow, vel::shell::kWmClose); });
  vel::shell::NamedWindow name(&sheet, CSettings::kTitle, [&sheet](UINT message, WPARAM, LPARAM) {
    if (message == CSettings::kShowAboutMessage) sheet.ShowAboutPage();
  });
  sheet.exec();
  return 0;
}

int Convert(const std::string& file, int mode) {
  auto engine = std::make_unique<ConversionEngine>();
  engine->SetClipboardStep(
      [](CImageInterface& image, const ConverterSettings&) { return image.CopyToClipboard(0) == 1; });
  engine->SetWallpaperStep(
      [](CImageInterface& image, const ConverterSettings& settings) { return SetImageAsWallpaper(image, settings); });
  if (!vel::ui::CanShowWindows()) return RunHeadless(*engine, file, mode) ? 0 : 1;
  CProcessDlg dialog(std::move(engine), file, mode);
  dialog.exec();
  return dialog.Succeeded() ? 0 : 1;
}

}  // namespace
}  // namespace converter

int main(int argc, char** argv) {
  using namespace converter;
  // Asked before anything starts: no display, registry or App Paths entry is
  // touched to read the usage. The switch wins over a file of that name, which a
  // person can still pass as ./--help.
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  // A batch allocates and frees buffers of the same sizes for every picture
  // (compressed files, codec rows, tens of megabytes of pixels). Kept by the
  // allocator instead of going back to the kernel, they need no fresh pages,
  // which the kernel would clear first, when the next picture comes.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  const std::string raw = RawCommandLine(argc, argv);
  if (raw == "--register") return RegisterAppPath() ? 0 : 1;  // the install step
  RegisterAppPath();
  vel::ui::EnsureApplication();
  const int mode = DecodeRunMode(raw);
  StoreSpecialCommand(DecodeSpecialFlags(raw));
  // Outputs go next to their source, so a relative name is taken from where we stand.
  std::string file = FileArgument(raw);
  if (!file.empty() && file[0] != '/') {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(file, error);
    if (!error) file = absolute.lexically_normal().string();
  }
  switch (mode) {
    case kRunSettings: return ShowSettings(false);
    case kRunAbout: return ShowSettings(true);
    case kRunRename: return RunRename(file);
    case kRunBramwell: {
      const std::string wizard = ModuleDirectory() + "/Bramwell";
      ShellExecuteA(nullptr, "open", wizard.c_str(), "/BRAMWELL", nullptr, SW_SHOWNORMAL);
      return 0;
    }
    default: return Convert(file, mode);
  }
}

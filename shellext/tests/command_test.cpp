#include <string>
#include <vector>

#include "shellext/tests/ferrule_test_support.h"

namespace ferrule::testing {
namespace {

class CommandTest : public FerruleTest {
 protected:
  void SetUp() override {
    FerruleTest::SetUp();
    // Records its arguments (list files by name only), the list's lines and
    // the wallpaper layout as it is when the program starts.
    const std::string recorder = Script(
        "record.sh",
        std::string(R"(list=
{
for a in "$@"; do
  case "$a" in
    @*/Bat*.tmp) echo "ARG @<list>"; list=${a#@} ;;
    */Bat*.tmp) echo "ARG <list>"; list=$a ;;
    *) echo "ARG $a" ;;
  esac
done
[ -n "$list" ] && cat "$list"
)") + VELREG_TOOL +
            R"( query 'HKCU\Software\Velmark\CONVERTER\WALLPAPER' /v Layout 2>/dev/null | awk '/Layout/ {print "LAYOUT", $3}'
} > "$0.out.tmp"
mv "$0.out.tmp" "$0.out"
)");
    RegisterApp(kConverterAppPath, recorder);
    RegisterApp(kViewerAppPath, recorder);
    out_ = recorder + ".out";
  }

  // Invokes `offset` for the selection; what the started program recorded.
  std::string Invoke(const std::vector<std::string>& paths, UINT offset, int waitMs = 5000) {
    std::remove(out_.c_str());
    IContextMenu3* ext = Extension(paths);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    EXPECT_EQ(ext->InvokeCommand(&info), S_OK);
    ext->Release();
    std::string text = WaitForFile(out_, waitMs);
    for (size_t at = text.find(dir_); at != std::string::npos; at = text.find(dir_, at))
      text.replace(at, dir_.size(), "@");
    return text;
  }
  std::string out_;
};

TEST_F(CommandTest, StartsTheProgramsWithTheirCommandLines) {
  const std::string a = Touch("a.png"), b = Touch("b.GIF");
  const std::string pics = Folder("pics");
  Touch("pics/z.jpg");
  Touch("pics/notes.txt");
  Touch("pics/sub/deeper/c.tif");
  Touch("pics/sub/b.pcx");
  Folder("pics/empty.bmp");
  const struct {
    const char* name;
    std::vector<std::string> paths;
    UINT offset;
    const char* recorded;
  } cases[] = {
      {"convert folder to PNG",
       {pics},
       9,
       "ARG <list>\nARG /BAT\nPNG\n@/pics/sub/b.pcx\n@/pics/sub/deeper/c.tif\n@/pics/z.jpg\n"},
      {"convert images and folder to JPEG",
       {a, pics, b},
       2,
       "ARG <list>\nARG /BAT\nJPG\n@/a.png\n@/b.GIF\n@/pics/sub/b.pcx\n@/pics/sub/deeper/c.tif\n@/pics/z.jpg\n"},
      {"rename several", {a, b}, 13, "ARG <list>\nARG /RENAME\nRENAME\n@/a.png\n@/b.GIF\n"},
      {"rename one", {a}, 18, "ARG <list>\nARG /RENAME\nRENAME\n@/a.png\n"},
      {"copy", {a}, 13, "ARG @/a.png\nARG /COPYTOCLIPBOARD\n"},
      {"wallpaper tile", {a}, 15, "ARG @/a.png\nARG /SETASWALLPAPER\nLAYOUT 0x1\n"},
      {"wallpaper stretch", {a}, 17, "ARG @/a.png\nARG /SETASWALLPAPER\nLAYOUT 0x3\n"},
      {"settings, one image", {a}, 19, "ARG /SETTING\nLAYOUT 0x3\n"},
      {"settings, several", {a, b}, 14, "ARG /SETTING\nLAYOUT 0x3\n"},
      {"viewer", {a}, 20, "ARG @/a.png\nLAYOUT 0x3\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Invoke(c.paths, c.offset), c.recorded) << c.name;
}

TEST_F(CommandTest, PluginGetsItsTagAndAListWithoutTypeLine) {
  const std::string a = Touch("a.png"), b = Touch("b.jpg");
  SetText(HKEY_CURRENT_USER, kPluginsMultyKey, "plgname0", "Album");
  SetText(HKEY_CURRENT_USER, kPluginsMultyKey, "plgtag0", "/album");
  EXPECT_EQ(Invoke({a, b}, 12, 500), "(nothing written)");  // no path: nothing starts
  SetText(HKEY_CURRENT_USER, kPluginsMultyKey, "plgpath0", TempPath("record.sh"));
  EXPECT_EQ(Invoke({a, b}, 12), "ARG /album\nARG @<list>\n@/a.png\n@/b.jpg\n");
}

TEST_F(CommandTest, RefusesNamedVerbsAndDoesNothingForUnknownOffsets) {
  const std::string a = Touch("a.png"), b = Touch("b.jpg");
  IContextMenu3* ext = Extension({a, b});
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.lpVerb = "open";
  EXPECT_EQ(ext->InvokeCommand(&info), E_INVALIDARG);
  info.lpVerb = MAKEINTRESOURCEA(15);  // copy exists only for one image
  EXPECT_EQ(ext->InvokeCommand(&info), S_OK);
  ext->Release();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NE(_access(out_.c_str(), 0), 0);
}

TEST_F(CommandTest, HelpTexts) {
  const std::string a = Touch("a.png"), b = Touch("b.jpg");
  IContextMenu3* one = Extension({a});
  IContextMenu3* many = Extension({a, b});
  const struct {
    IContextMenu3* ext;
    UINT offset, type;
    HRESULT hr;
    const char* text;
  } cases[] = {
      {one, 2, GCS_HELPTEXTA, S_OK, "Convert selected image file to JPEG"},
      {many, 0, GCS_HELPTEXTA, S_OK, "Convert selected image files to Bitmap"},
      {one, 12, GCS_HELPTEXTA, S_OK, "Prepare selected image with plugin..."},
      {many, 12, GCS_HELPTEXTW, S_OK, "Prepare selected images with plugin..."},
      {one, 13, GCS_HELPTEXTA, S_OK, "Copy selected image to clipboard"},
      {one, 16, GCS_HELPTEXTA, S_OK, "Set selected image as desktop wallpaper"},
      {one, 18, GCS_HELPTEXTA, S_OK, "Rename selected file"},
      {many, 13, GCS_HELPTEXTA, S_OK, "Rename selected files"},
      {many, 14, GCS_HELPTEXTW, S_OK, "Launch settings panel"},
      {one, 20, GCS_HELPTEXTA, S_OK, "Selected image thumbnail. Click to open."},
      {many, 15, GCS_HELPTEXTA, E_INVALIDARG, ""},
      {one, 21, GCS_HELPTEXTA, E_INVALIDARG, ""},
      {one, 2, GCS_VERBA, E_INVALIDARG, ""},
      {one, 2, GCS_VALIDATEA, E_INVALIDARG, ""},
  };
  for (const auto& c : cases) {
    char16_t buffer[64] = {};
    EXPECT_EQ(c.ext->GetCommandString(c.offset, c.type, nullptr, reinterpret_cast<LPSTR>(buffer), 64), c.hr) << c.text;
    std::string text;
    if (c.type & GCS_UNICODE) {
      for (char16_t* p = buffer; *p; ++p) text += static_cast<char>(*p);
    } else {
      text = reinterpret_cast<const char*>(buffer);
    }
    if (c.hr == S_OK) {
      EXPECT_EQ(text, c.text);
    }
  }
  char small[8];
  EXPECT_EQ(one->GetCommandString(13, GCS_HELPTEXTA, nullptr, small, sizeof small), S_OK);
  EXPECT_STREQ(small, "Copy se");
  one->Release();
  many->Release();
}

}  // namespace
}  // namespace ferrule::testing

#include <string>

#include "shellext/ferrule/recognition.h"
#include "shellext/tests/ferrule_test_support.h"

namespace ferrule::testing {
namespace {

using RecognitionTest = FerruleTest;

TEST_F(RecognitionTest, TypesByTheTailOfTheName) {
  const std::string folder = Folder("pictures.bmp");
  const struct {
    std::string path;
    int type;
  } cases[] = {{"PHOTO.JPG", 12}, {"archive.jpg.zip", 0}, {folder, 0},       {"a.eps", 6},
               {"a.ps", 16},      {"photo.jpeg", 12},     {"scan.TIFF", 18}, {"notes.txt", 0},
               {"", 0},           {"x.wpg", 20},          {"cursor.ani", 1}};
  for (const auto& c : cases) EXPECT_EQ(Recognise(c.path.c_str()), c.type) << c.path;
}

TEST_F(RecognitionTest, SizeTextsAndInformationLines) {
  const struct {
    DWORD length;
    const char* text;
  } sizes[] = {{0, "0 Bytes"}, {1023, "1023 Bytes"}, {1024, "1.00 KB"}, {1048576, "1.00 MB"}, {1572864, "1.50 MB"}};
  for (const auto& s : sizes) EXPECT_EQ(SizeText(s.length), s.text) << s.length;

  EXPECT_EQ(ImageInfoLine(640, 480, 24, 1), "Image info: [640 X 480 pixels, 24 BPP]");
  EXPECT_EQ(ImageInfoLine(320, 200, 8, 12), "Image info: [320 X 200 pixels, 8 BPP, 12 frames]");
  EXPECT_EQ(FileInfoLine("cat.gif", "1.50 MB"), "File info: cat.gif; 1.50 MB");
  const std::string longName(300, 'n');
  const std::string cut = FileInfoLine(longName.c_str(), "1 Bytes");
  EXPECT_EQ(cut.size(), kInfoLineMax);
  EXPECT_EQ(cut.rfind("File info: nnn", 0), 0u);
}

TEST_F(RecognitionTest, ThumbnailSettingsAllOrNothing) {
  const ThumbSettings defaults = DefaultThumbSettings();
  EXPECT_EQ(LoadThumbSettings().time, 20);
  SetThumbValues(0, 7, 1);
  SetNumber("THMB_Time", 1);  // below the range: clamped
  ThumbSettings read = LoadThumbSettings();
  EXPECT_EQ(read.showFileNameAndLength, 0);
  EXPECT_EQ(read.showWidthAndHeight, 1);
  EXPECT_EQ(read.width, 120);
  EXPECT_EQ(read.height, 90);
  EXPECT_EQ(read.time, kThumbTimeMin);
  SetNumber("THMB_Time", 600);
  EXPECT_EQ(LoadThumbSettings().time, kThumbTimeMax);

  // Without "THMB_Time" every value falls back, even those read before it.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kConverterKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
  RegDeleteValueA(key, "THMB_Time");
  RegCloseKey(key);
  read = LoadThumbSettings();
  EXPECT_EQ(read.showFileNameAndLength, 1);
  EXPECT_EQ(read.width, defaults.width);
  EXPECT_EQ(read.time, 20);
}

}  // namespace
}  // namespace ferrule::testing

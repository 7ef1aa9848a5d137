// The processing steps and the save records: crop, zoom and rotation, colour
// depth, drawings kept as drawings, failures and their messages.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "converter/engine/tests/engine_helpers.h"
#include "lorimer/MetaFile.h"

namespace converter {
namespace {

using Engine = testing::EngineTest;

// Remembers every message of the job.
struct Recorder : EngineView {
  std::string messages;
  int fileSteps = 0;
  void Message(const std::string& text) override { messages += text + "\n"; }
  void FileStep() override { ++fileSteps; }
};

TEST_F(Engine, CropZoomAndRotation) {
  picture("wide.bmp", 300, 100);
  settings.cropMode = 1;
  settings.cropX0 = 10;
  settings.cropY0 = 10;
  settings.cropWidth = 200;
  settings.cropHeight = 50;
  settings.sizeZoomMode = 1;  // no more than 100 x 100
  settings.sizeNewWidth = settings.sizeNewHeight = 100;
  settings.sizeRotAngle = 9000;
  EXPECT_TRUE(run(file("wide.bmp"), ConverterType::Png));
  // 200 x 50 cropped, fitted into 100 x 100 as 100 x 25, then turned.
  EXPECT_EQ(size("wide.png"), (Size{25, 100, 1, 0}));

  settings.cropMode = 2;  // margins larger than the picture
  settings.cropX0 = 200;
  settings.cropX1 = 200;
  settings.optOverwriteExisting = 1;
  ASSERT_TRUE(settings.Save());
  Recorder view;
  ConversionEngine engine(&view);
  EXPECT_FALSE(engine.RunJob(file("wide.bmp"), ConverterType::Jpg));
  EXPECT_NE(view.messages.find("Crop failed"), std::string::npos);
  EXPECT_EQ(view.messages.find("Converting ..."), std::string::npos);
  EXPECT_FALSE(exists("wide.jpg"));
}

TEST_F(Engine, SizeModesAndSixStepsPerPage) {
  picture("p.bmp", 40, 20);
  settings.sizeZoomMode = 2;
  settings.sizeNewWidth = 30;
  settings.sizeNewHeight = 30;
  settings.briconBri = 40;
  settings.briconGreen = 10;
  ASSERT_TRUE(settings.Save());
  Recorder view;
  ConversionEngine engine(&view);
  EXPECT_TRUE(engine.RunJob(file("p.bmp"), ConverterType::Png));
  EXPECT_EQ(size("p.png"), (Size{30, 30, 1, 0}));
  EXPECT_EQ(view.fileSteps, 6);
  EXPECT_NE(view.messages.find("Brightness correction ...\nContrast correction ...\nConverting ...\nSuccess"),
            std::string::npos)
      << view.messages;

  settings.sizeZoomMode = 3;
  settings.sizeMultiplier = 0.55f;
  settings.briconBri = settings.briconGreen = 0;
  settings.optOverwriteExisting = 1;
  EXPECT_TRUE(run(file("p.bmp"), ConverterType::Png));
  EXPECT_EQ(size("p.png"), (Size{22, 11, 1, 0}));  // 40 x 0.55 and 20 x 0.55, truncated
}

TEST_F(Engine, DepthAndGrayFromTheSettings) {
  picture("c.bmp", 16, 16);
  settings.cdBpp = 2;  // 8 bits
  settings.cdGray = 1;
  EXPECT_TRUE(run(file("c.bmp"), ConverterType::Png));
  CImageInterface png;
  ASSERT_TRUE(png.Load(file("c.png").c_str(), 0));
  EXPECT_EQ(png.GetColorDepth(), 8);
  settings.cdBpp = 4;
  EXPECT_TRUE(run(file("c.bmp"), ConverterType::Bmp));  // to its own type: a new name beside it
  CImageInterface bmp;
  ASSERT_TRUE(bmp.Load(file("c(1).bmp").c_str(), 0));
  EXPECT_EQ(bmp.GetColorDepth(), 1);
}

TEST_F(Engine, DrawingsSavedAsTheyAreStayDrawings) {
  write("d.dxf",
        "  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\n0\n 10\n0\n 20\n0\n 11\n100\n 21\n50\n  0\nENDSEC\n  0\nEOF\n");
  const Size source = size("d.dxf");
  ASSERT_EQ(source.vector, 1);
  settings.sizeZoomMode = 0;     // "Save as is"
  settings.sizeRotAngle = 9000;  // not for drawings
  EXPECT_TRUE(run(file("d.dxf"), ConverterType::Emf));
  // Read back from its header the drawing may lose a pixel to the bounds' rounding.
  const Size emf = size("d.emf");
  EXPECT_EQ(emf.vector, 1);
  EXPECT_NEAR(emf.width, source.width, 1);
  EXPECT_NEAR(emf.height, source.height, 1);
  // Any other size mode renders the drawing like a picture, and it turns.
  settings.sizeZoomMode = 2;
  settings.sizeNewWidth = 50;
  settings.sizeNewHeight = 20;
  EXPECT_TRUE(run(file("d.dxf"), ConverterType::Png));
  EXPECT_EQ(size("d.png"), (Size{20, 50, 1, 0}));
}

TEST_F(Engine, FailuresAreLoggedAndCounted) {
  write("broken.png", "\x89PNG but not really");
  settings.optCreateLog = 1;
  EXPECT_FALSE(run(file("broken.png"), ConverterType::Jpg));
  EXPECT_NE(read("Corbanix.log").find("Loading failed"), std::string::npos);
  EXPECT_FALSE(exists("broken.jpg"));
  EXPECT_FALSE(run(file("nothing-here.png"), ConverterType::Jpg));
  EXPECT_NE(read("Corbanix.log").find("Error: file is not exist or read protected"), std::string::npos);
  // The hand-over targets fail cleanly when no step is set up.
  picture("p.bmp", 4, 4);
  EXPECT_FALSE(run(file("p.bmp"), kRunClipboard));
  // A hand-over step gets the processed image.
  ASSERT_TRUE(settings.Save());
  ConversionEngine engine;
  int width = 0;
  engine.SetWallpaperStep([&](CImageInterface& image, const ConverterSettings&) {
    width = image.GetWidth(0);
    return true;
  });
  EXPECT_TRUE(engine.RunJob(file("p.bmp"), kRunWallpaper));
  EXPECT_EQ(width, 4);
}

// Photo-like pixels, the same on every run: gradients, texture and hard edges,
// written as a plain 24-bit BMP.
void WriteTexture(const std::string& path, int w, int h) {
  const int stride = (w * 3 + 3) & ~3;
  std::string f(54 + static_cast<size_t>(stride) * h, '\0');
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, static_cast<std::uint32_t>(f.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(w));
  put32(22, static_cast<std::uint32_t>(h));
  f[26] = 1, f[28] = 24;
  std::uint32_t noise = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      noise = noise * 1103515245u + 12345u;
      const size_t at = 54 + static_cast<size_t>(y) * stride + 3 * static_cast<size_t>(x);
      f[at] = static_cast<char>((x * 255 / w + (noise >> 28)) & 0xFF);
      f[at + 1] = static_cast<char>(((x / 97 + y / 61) % 2 ? 200 : 40) + (noise >> 29));
      f[at + 2] = static_cast<char>((y * 255 / h) ^ ((x >> 3) & 0x1F));
    }
  std::ofstream(path, std::ios::binary) << f;
}

std::uint64_t Fnv1a(const std::string& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

// What the converter writes does not change with how fast it gets there: the
// default job (fit 2048 x 2048 with the library's scaler, JPEG quality 75) and
// each of the scaler's paths give the same bytes as they always have.
TEST_F(Engine, OutputsStayTheSameByteForByte) {
  WriteTexture(file("big.bmp"), 2600, 1500);
  WriteTexture(file("small.bmp"), 700, 500);
  const struct {
    const char* source;
    int target;
    int zoomMode, width, height;  // 0: the default settings
    const char* output;
    std::uint64_t fnv;
  } cases[] = {
      // the default job
      {"big.bmp", ConverterType::Jpg, 0, 0, 0, "big.jpg", 14580970328873534341ull},
      // box averaging
      {"big.bmp", ConverterType::Bmp, 0, 0, 0, "big(1).bmp", 17576938044147798585ull},
      // bilinear, both axes larger
      {"small.bmp", ConverterType::Bmp, 2, 1500, 1000, "small(1).bmp", 9494251378490082923ull},
      // wider and lower
      {"small.bmp", ConverterType::Bmp, 2, 1400, 300, "small(2).bmp", 8368941948444416527ull},
      // the whole picture in one box
      {"big.bmp", ConverterType::Bmp, 2, 1, 1, "big(2).bmp", 10047849851292241948ull},
  };
  std::string sums;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    settings = ConverterSettings::Defaults();
    if (c.zoomMode) {
      settings.sizeZoomMode = c.zoomMode;
      settings.sizeNewWidth = c.width;
      settings.sizeNewHeight = c.height;
    }
    EXPECT_TRUE(run(file(c.source), c.target));
    const std::uint64_t sum = Fnv1a(read(c.output));
    sums += " " + std::to_string(sum);
    EXPECT_EQ(sum, c.fnv);
  }
  if (HasFailure()) std::printf("checksums:%s\n", sums.c_str());
}

}  // namespace
}  // namespace converter

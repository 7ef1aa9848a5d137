// Helpers for the reader tests: run outside tools, read their output, compare pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imagelib/formats/reader.h"
#include "imagelib/formats/tests/raw_bytes.h"

namespace lorimer::testing {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;  // top row first
  const Rgb& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A scratch folder removed at exit of the test process.
std::string TempDir();
std::string WriteTempFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// Path of a program on PATH, or "" (tests skip with a message when it is missing).
std::string FindTool(const std::string& name);
// Runs a shell command; true when it exited 0.
bool Run(const std::string& command);

// Binary PPM (P6, maxval 255) or PGM/PBM converted to RGB.
std::optional<RgbImage> ReadPnm(const std::string& path);
// ImageMagick's own decode of a file (first frame unless frame >= 0), through PPM.
std::optional<RgbImage> ImageMagickDecode(const std::string& path, int frame = 0);

// Any decoded page bitmap (1/4/8/24 bits) as RGB.
std::optional<RgbImage> BitmapToRgb(HBITMAP bitmap);

// A shell command whose own redirections work (Run sends the rest to /dev/null).
bool Shell(const std::string& command);

// Bytes in memory through one reader: sniff, then open; null when either says no.
std::unique_ptr<formats::ImageReader> OpenBytes(const formats::FormatDescriptor& format,
                                                std::vector<std::uint8_t> bytes);
// The same, then the page decoded as RGB.
std::optional<RgbImage> DecodeBytes(const formats::FormatDescriptor& format, std::vector<std::uint8_t> bytes,
                                    int page = 0);

// Opens a file through one format descriptor and decodes the page as RGB.
std::optional<RgbImage> DecodeWith(const formats::FormatDescriptor& format, const std::string& path, int page = 0);

// Largest per-channel difference; -1 when the sizes differ.
int MaxDifference(const RgbImage& a, const RgbImage& b);

}  // namespace lorimer::testing

// A font as a project stores it: face, size in tenths of a point, bold,
// italic and colour.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/font.h"

namespace tessaly {

using Colour = std::uint32_t;                   // 0x00BBGGRR
constexpr Colour kMissingColour = 0xFF000000u;  // parsers replace it by the field's default

constexpr std::int32_t kMinFontSize = 40;

struct TextFont {
  std::string face = "Tahoma";
  std::int32_t size = 90;  // tenths of a point
  std::int32_t bold = 0;
  std::int32_t italic = 0;
  Colour colour = 0;

  bool operator==(const TextFont&) const = default;
};

// The system font for a device with `dpiY` vertical dots per inch at `zoom`:
// character height -(dpiY * size * zoom / 720), truncated, at least 1.
LOGFONTA ToLogFont(const TextFont& font, int dpiY, double zoom);

}  // namespace tessaly

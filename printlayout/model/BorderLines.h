// The seven border lines of an image box and their line styles.
//
// A project's borderLines packs seven 4-bit style codes, the least significant
// nibble first, in the order of BorderEdge. Code 0 draws nothing.
#pragma once

#include <cstdint>

namespace tessaly {

enum BorderEdge : int {
  kEdgeTop = 0,           // (left, top)-(right, top)
  kEdgeUnderImage = 1,    // (left, bottom)-(right, bottom)
  kEdgeUnderComment = 2,  // (left, commentBottom)-(right, commentBottom)
  kEdgeLeft = 3,          // left edge, top to bottom
  kEdgeLeftComment = 4,   // left edge of the comment band
  kEdgeRight = 5,         // right edge, top to bottom
  kEdgeRightComment = 6,  // right edge of the comment band
};
constexpr int kBorderEdgeCount = 7;
constexpr int kMaxBorderLineCode = 13;

struct BorderLineStyle {
  int widthFactor = 0;      // 0: nothing is drawn
  bool doubleLine = false;  // two strokes lying one base width on either side
  int dashCount = 0;        // 0: solid
  int dashes[8] = {};       // drawn, skipped, drawn ... in base widths
};

// The style of a code; codes outside 1 ... 13 draw nothing.
const BorderLineStyle& BorderStyle(int code);

inline int BorderCode(std::uint32_t borderLines, int edge) {
  return static_cast<int>((borderLines >> (4 * edge)) & 0xF);
}
inline std::uint32_t WithBorderCode(std::uint32_t borderLines, int edge, int code) {
  const std::uint32_t shift = 4u * static_cast<std::uint32_t>(edge);
  return (borderLines & ~(0xFu << shift)) | ((static_cast<std::uint32_t>(code) & 0xFu) << shift);
}
inline bool BorderDrawn(std::uint32_t borderLines, int edge) {
  return BorderStyle(BorderCode(borderLines, edge)).widthFactor > 0;
}

}  // namespace tessaly

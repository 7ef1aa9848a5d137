#include "printlayout/export/ExportTypes.h"

namespace tessaly {

namespace {

constexpr unsigned D(int depth) { return 1u << depth; }

struct DepthRule {
  unsigned colour;
  unsigned gray;
};

constexpr DepthRule kRules[kExportTypeCount] = {
    /* BMP  */ {D(kDepth1) | D(kDepth4) | D(kDepth8) | D(kDepth24), D(kDepth1) | D(kDepth4) | D(kDepth8)},
    /* GIF  */ {D(kDepth4) | D(kDepth8), D(kDepth4) | D(kDepth8)},
    /* JPEG */ {D(kDepth24), D(kDepth8)},
    /* TIFF */ {D(kDepth1) | D(kDepth4) | D(kDepth8) | D(kDepth24), D(kDepth1) | D(kDepth4) | D(kDepth8)},
    /* PCX  */ {D(kDepth1) | D(kDepth4) | D(kDepth8) | D(kDepth24), D(kDepth1) | D(kDepth4) | D(kDepth8)},
    /* EPS  */ {0, D(kDepth1) | D(kDepth4) | D(kDepth8)},
    /* PNG  */ {D(kDepth1) | D(kDepth4) | D(kDepth8) | D(kDepth24), D(kDepth1) | D(kDepth4) | D(kDepth8)},
    /* FMF  */ {D(kDepth1), D(kDepth1)},
    /* DCX  */ {D(kDepth1) | D(kDepth4) | D(kDepth8) | D(kDepth24), D(kDepth1) | D(kDepth4) | D(kDepth8)},
    /* TGA  */ {D(kDepth8) | D(kDepth24) | D(kDepth32), D(kDepth8)},
};

}  // namespace

unsigned AllowedDepths(int type, bool grayscale) {
  if (type < 0 || type >= kExportTypeCount) return 0;
  return grayscale ? kRules[type].gray : kRules[type].colour;
}

int ChooseDepth(int type, bool grayscale, int previous) {
  const unsigned allowed = AllowedDepths(type, grayscale);
  if (previous >= 0 && previous < kDepthCount && (allowed & D(previous))) return previous;
  for (int d = kDepthCount - 1; d >= 0; --d)
    if (allowed & D(d)) return d;
  return -1;
}

bool HasForbiddenCharacter(const std::string& name) {
  return name.find_first_of(kForbiddenNameCharacters) != std::string::npos;
}

}  // namespace tessaly

#include "printlayout/model/BorderLines.h"

namespace tessaly {

namespace {

// Indexed by code. Codes 14 and 15 are never offered by the options and draw
// nothing, like code 0.
const BorderLineStyle kStyles[16] = {
    /* 0 */ {0, false, 0, {}},
    /* 1 */ {1, false, 2, {1, 1}},
    /* 2 */ {1, false, 2, {2, 2}},
    /* 3 */ {1, false, 8, {3, 3, 9, 3, 3, 3, 3, 3}},
    /* 4 */ {1, false, 4, {3, 3, 9, 3}},
    /* 5 */ {1, false, 2, {3, 1}},
    /* 6 */ {1, false, 0, {}},
    /* 7 */ {2, false, 6, {3, 3, 3, 3, 9, 3}},
    /* 8 */ {2, false, 4, {10, 4, 5, 4}},
    /* 9 */ {2, false, 4, {9, 6, 3, 6}},
    /* 10 */ {2, false, 2, {9, 6}},
    /* 11 */ {2, false, 0, {}},
    /* 12 */ {3, false, 0, {}},
    /* 13 */ {1, true, 0, {}},
    /* 14 */ {0, false, 0, {}},
    /* 15 */ {0, false, 0, {}},
};

}  // namespace

const BorderLineStyle& BorderStyle(int code) {
  if (code < 0 || code > 15) return kStyles[0];
  return kStyles[code];
}

}  // namespace tessaly

// Colour values as the legacy project form and the command line write them:
// a name from the option pages' colour picker or a hexadecimal 0x00BBGGRR.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "printlayout/model/TextFont.h"

namespace tessaly {

struct NamedColour {
  const char* name;
  Colour value;
};

// The colour picker's names in its order, with their values.
const NamedColour* ColourNames(std::size_t* count);

// The colour a field names: first a colour name compared without regard to
// case (the whole field, blanks included, so "Pale green " needs its trailing
// blank), then a hexadecimal number as ParseHex reads it. An empty field, a
// field without a leading number, one with characters left after the number,
// and a number beyond 32 bits give kMissingColour, which the caller replaces
// by the field's default.
Colour ParseColour(const std::string& field);

}  // namespace tessaly

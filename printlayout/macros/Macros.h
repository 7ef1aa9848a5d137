// Text macros of header and footer cells, image comments and export names:
// "&[" name "]" is replaced by a value from the project, the page being drawn
// and the image being drawn.
#pragma once

#include <ctime>
#include <string>

#include "printlayout/model/Project.h"

namespace tessaly {

struct MacroMenuItem {
  const char* macro;     // the text the menu command inserts
  const char* menuText;  // its item in the "Macros" popup menu
};

// The "Macros" popup menu, in menu order.
constexpr MacroMenuItem kMacroMenu[] = {
    {"&[Page]", "&Page number"}, {"&[Pages]", "&Total pages"},    {"&[Image]", "&Image name"},
    {"&[Size]", "Image &size"},  {"&[Width]", "Image &width"},    {"&[Height]", "Image &height"},
    {"&[Type]", "Image &Type"},  {"&[Plane]", "Pl&ane"},          {"&[Date]", "&Date"},
    {"&[Time]", "T&ime"},        {"&[Project]", "Project &name"},
};

// Name of an image format code; codes outside 0 ... 17 are "Unknown".
const char* FormatName(int format);

// The value of one macro. `page` and `image` may be null. A format code out of
// range is first reset to 0 in the image itself.
std::string macroValue(const Project& project, const std::string& name, const ProjectPage* page, ImagePlacement* image);

// Expands every macro of `text`; values are not expanded again.
std::string expandMacros(const Project& project, const std::string& text, const ProjectPage* page,
                         ImagePlacement* image);

// The C runtime's date and time strings: "MM/DD/YY" and "HH:MM:SS".
std::string MacroDate(const std::tm& when);
std::string MacroTime(const std::tm& when);

}  // namespace tessaly

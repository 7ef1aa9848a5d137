// Page lists as the Print and Export dialogs take them: "1,3-5", "-2", "2-,1".
#pragma once

#include <string>
#include <vector>

#include "printlayout/model/Project.h"

namespace tessaly {

// Page numbers as printed (from firstPageNumber on), repetitions and order kept.
using PageList = std::vector<int>;

// Parses `text` against the project's page numbers. An empty text is every
// page. Pages outside the project are skipped; anything malformed makes the
// whole text invalid (false). takeOdd / takeEven false drop odd / even numbers.
// False when nothing remains; with checkOnly the output is cleared on success.
bool parsePageRange(const Project& project, const std::string& text, PageList& pages, bool checkOnly, bool takeOdd,
                    bool takeEven);

// The message the dialogs show for a text parsePageRange refuses.
constexpr const char* kIncorrectPageRange = "Specified Incorrect Page Range\nPlease Fix it.";

// Page entry (position in the project's list) of a printed page number.
inline int PageEntry(const Project& project, int pageNumber) { return pageNumber - project.firstPageNumber + 1; }

}  // namespace tessaly

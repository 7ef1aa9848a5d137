// Tallow: the about box of the suite's programs.
//
//   void* box = CreateAbout(icon, "Malvito", nullptr, -1.0f, 0, 0, true);
//   DoModal(box);
//   ReleaseAbout(box);
//
// icon is the program's icon (may be null), name the program's name, parent the
// window the box belongs to (may be null). value is the program's version when
// it is above 0 (shown as "Version %.2f"; 0 or less shows none). a and b are the
// build and the revision, shown after the version when either is non-zero. With
// flag the box also shows the maker's web address.
#pragma once

#include "platform/gdi/gdi.h"

class QWidget;

// Null when no box can be made (no name given).
void* CreateAbout(HICON icon, const char* name, QWidget* parent, float value, long a, long b, bool flag);
// Shows the box until it is closed: IDOK (1), or -1 for a handle that is not a
// live box.
int DoModal(void* handle);
// Frees the box; null and handles already released are ignored.
void ReleaseAbout(void* handle);

namespace tallow {
// For tests: the box behind a live handle, else null.
QWidget* AboutWidget(void* handle);
}  // namespace tallow

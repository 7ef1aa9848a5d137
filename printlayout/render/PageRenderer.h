// Draws one page of the project onto any device: the page view, a printer page
// or the bitmap of an export. Header and footer cells, then every placement
// with its shadow, picture, comment and border lines.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/gdi/owned.h"
#include "printlayout/model/Project.h"

namespace tessaly {

class PictureSource;

// The fonts of the three header cells, the three footer cells and the image
// comments, made for one device at one zoom.
struct RenderFonts {
  vel::gdi::OwnedFont header[3];
  vel::gdi::OwnedFont footer[3];
  vel::gdi::OwnedFont images;

  RenderFonts() = default;
  RenderFonts(const Project& project, int dpiY, double zoom);
};

// Told about every placement drawn; asked between steps whether the user
// cancelled (and handles pending window messages while asked).
class RenderProgress {
 public:
  virtual ~RenderProgress() = default;
  virtual void step() = 0;
  virtual bool cancelled() = 0;
};

struct RenderRequest {
  int pageIndex = 1;  // entry of the project's page list
  HDC dc = nullptr;
  RECT content{};  // the paper inside the margins, device units from the paper's corner
  double zoom = 1.0;
  int dx = 0;  // device offset subtracted from every position
  int dy = 0;
  const RenderFonts* fonts = nullptr;
  bool printer = false;  // pictures through the library's print call
  RenderProgress* progress = nullptr;
  // Screen drawing only: where the pictures come from instead of loading each
  // file for this drawing (the page view's cache of screen-sized copies).
  PictureSource* pictures = nullptr;
};

// A length or position in 0.1 mm in device units: through the device's 0.1-mm
// mapping mode, the sign dropped, times the zoom, truncated.
int DeviceX(HDC dc, std::int32_t tenthsMm, double zoom);
int DeviceY(HDC dc, std::int32_t tenthsMm, double zoom);

// The paper inside the margins in device units (not yet moved by any offset).
RECT ContentRect(const Project& project, HDC dc, double zoom);

// False when the user cancelled through the progress.
bool renderPage(Project& project, const RenderRequest& request);

}  // namespace tessaly

// The display's size, resolution and depth for the screen DC.
//
// When an X display is reachable we ask it once, through libX11 loaded at run time
// (so headless machines and programs without a display need no X libraries);
// otherwise the fixed defaults stand. Programs may still set the metrics themselves.
#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <mutex>

#include "platform/gdi/gdi.h"

namespace vel::gdi {
namespace {

struct XFunctions {
  void* (*openDisplay)(const char*);
  int (*closeDisplay)(void*);
  int (*defaultScreen)(void*);
  int (*displayWidth)(void*, int);
  int (*displayHeight)(void*, int);
  int (*displayWidthMM)(void*, int);
  int (*displayHeightMM)(void*, int);
  int (*defaultDepth)(void*, int);
};

bool QueryX(ScreenMetrics* out) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) return false;
  void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
  if (!lib) return false;
  XFunctions x{};
  x.openDisplay = reinterpret_cast<void* (*)(const char*)>(dlsym(lib, "XOpenDisplay"));
  x.closeDisplay = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XCloseDisplay"));
  x.defaultScreen = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XDefaultScreen"));
  x.displayWidth = reinterpret_cast<int (*)(void*, int)>(dlsym(lib, "XDisplayWidth"));
  x.displayHeight = reinterpret_cast<int (*)(void*, int)>(dlsym(lib, "XDisplayHeight"));
  x.displayWidthMM = reinterpret_cast<int (*)(void*, int)>(dlsym(lib, "XDisplayWidthMM"));
  x.displayHeightMM = reinterpret_cast<int (*)(void*, int)>(dlsym(lib, "XDisplayHeightMM"));
  x.defaultDepth = reinterpret_cast<int (*)(void*, int)>(dlsym(lib, "XDefaultDepth"));
  bool ok = false;
  if (x.openDisplay && x.closeDisplay && x.defaultScreen && x.displayWidth && x.displayHeight && x.displayWidthMM &&
      x.displayHeightMM && x.defaultDepth) {
    if (void* display = x.openDisplay(name)) {
      int screen = x.defaultScreen(display);
      int w = x.displayWidth(display, screen), h = x.displayHeight(display, screen);
      int wmm = x.displayWidthMM(display, screen), hmm = x.displayHeightMM(display, screen);
      int depth = x.defaultDepth(display, screen);
      x.closeDisplay(display);
      if (w > 0 && h > 0) {
        out->width = w;
        out->height = h;
        // A display that reports no physical size gets the usual 96 dpi.
        out->dpiX = wmm > 0 ? static_cast<int>(std::lround(w * 25.4 / wmm)) : 96;
        out->dpiY = hmm > 0 ? static_cast<int>(std::lround(h * 25.4 / hmm)) : 96;
        if (out->dpiX < 24 || out->dpiX > 1200) out->dpiX = 96;
        if (out->dpiY < 24 || out->dpiY > 1200) out->dpiY = 96;
        out->bitsPerPixel = depth >= 24 ? 24 : (depth > 0 ? depth : 24);
        ok = true;
      }
    }
  }
  dlclose(lib);
  return ok;
}

}  // namespace

// Called once, before the first answer about the screen.
ScreenMetrics DetectScreenMetrics() {
  ScreenMetrics m;
  QueryX(&m);
  return m;
}

}  // namespace vel::gdi

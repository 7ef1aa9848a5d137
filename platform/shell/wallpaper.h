// The desktop wallpaper through SystemParametersInfoA(SPI_SETDESKWALLPAPER).
//
// $VELMARK_WALLPAPER_COMMAND, when set, is run with the image path as its one
// argument (no shell). Otherwise the desktop is recognised from
// $XDG_CURRENT_DESKTOP (and the tools found on $PATH): GNOME and its
// derivatives (Cinnamon and MATE with schemas of their own) through gsettings, KDE Plasma through
// plasma-apply-wallpaperimage, XFCE through xfconf-query, anything else through feh. Every tool runs without a shell
// and with a time limit.
#pragma once

#include <string>
#include <vector>

#include "platform/base/wintypes.h"

constexpr UINT SPI_SETDESKWALLPAPER = 20;
constexpr UINT SPIF_UPDATEINIFILE = 0x0001;
constexpr UINT SPIF_SENDWININICHANGE = 0x0002;

// Only SPI_SETDESKWALLPAPER: pv is the image path (char*), param non-zero
// tiles it. TRUE when the desktop's tool reported success.
BOOL SystemParametersInfoA(UINT action, UINT param, void* pv, UINT flags);

namespace vel::shell {

// One program run the wallpaper needs: the program (looked up in $PATH) and
// its arguments.
struct ToolCall {
  std::vector<std::string> argv;
};

enum class Desktop { Override, Gnome, Cinnamon, Mate, Plasma, Xfce, Other };

// Which way the wallpaper would be set now.
Desktop DetectDesktop();

// The calls that set `path` as the wallpaper on that desktop, in order; each
// must succeed. XFCE needs the list of its backdrop properties, which
// `xfceProperties` gives (the output of "xfconf-query -c xfce4-desktop -l").
// GNOME before version 42 has no dark picture; darkPicture false leaves it out.
std::vector<ToolCall> WallpaperCalls(Desktop desktop, const std::string& path, bool tile,
                                     const std::string& xfceProperties = "", bool darkPicture = true);

// A path as a file:// URI (characters outside the unreserved set escaped).
std::string FileUri(const std::string& path);

}  // namespace vel::shell

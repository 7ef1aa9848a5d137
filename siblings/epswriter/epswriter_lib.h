// WMF (or EMF) -> EPS, for the epswriter helper. The metafile is played by our
// player into a PDF page of the picture's size (vector, through Qt's PDF writer)
// and Ghostscript's eps2write turns that page into an EPS file. With a preview,
// the EPS is wrapped in the DOS EPS binary form with a TIFF preview of the picture
// at 72 dpi.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace epswriter {

// The picture's size in points: a placeable WMF's box at its inch, an EMF's frame,
// a plain WMF's window (or drawn extent) taken as 96-dpi pixels. False when the
// file is not a metafile or has no area.
bool PictureSizePoints(const std::string& metafilePath, double& widthPt, double& heightPt);

// An uncompressed baseline RGB TIFF of `rgb` (rows top-down, 3 bytes a pixel).
std::vector<std::uint8_t> RgbTiff(int width, int height, const std::vector<std::uint8_t>& rgb);

// The DOS EPS binary form: 30-byte header, the PostScript, then the TIFF preview.
std::vector<std::uint8_t> DosEps(const std::vector<std::uint8_t>& postscript, const std::vector<std::uint8_t>& tiff);

// The whole job; needs a Qt GUI application object. False and no output file on
// any failure (the output is written under a temporary name and renamed).
bool WriteEps(const std::string& metafilePath, const std::string& epsPath, bool preview);

}  // namespace epswriter

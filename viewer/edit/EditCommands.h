// The edit commands of the viewer: mirror, rotations, stretch, colour depth,
// grayscale, brightness, contrast, filters and invert, with the question and the
// rasterization a vector picture needs first.
#pragma once

namespace orvenna {

class COrvennaDoc;
class IViewerHost;

void RegisterEditCommands(IViewerHost& host);

// 1 at once for a raster picture; for a vector one asks whether to rasterize it
// ("You cannot <verb> a vector image...") and rasterizes on Yes: 1 when that
// worked, else 0.
int ConfirmRaster(COrvennaDoc& doc, IViewerHost& host, const char* verb);
// The "Rasterization settings" dialog and the rasterization: the call's result, 0
// on Cancel.
int Rasterize(COrvennaDoc& doc, IViewerHost& host);

}  // namespace orvenna

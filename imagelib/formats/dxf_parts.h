// The parts of the DXF reader that stand on their own: the AutoCAD colour index,
// text escapes and MTEXT formatting, and the curves a SPLINE is drawn along.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/gdi.h"

namespace lorimer::formats::dxf {

using Points = std::vector<std::pair<double, double>>;

// The AutoCAD colour index: the nine named colours, then hue rows of ten shades
// (full and half saturation at falling brightness), then six greys. Colour 7 is
// black on white paper.
COLORREF AciColor(int index);

// DXF text escapes: %%d degree, %%p plus-minus, %%c diameter, %%% percent,
// %%u / %%o underline and overline toggles (dropped), \U+XXXX code points.
std::u16string PlainText(const std::string& raw);

// MTEXT without its formatting: \P breaks lines, {} groups and \X...; codes are
// dropped, \S stacks become a/b, \\ \{ \} stand for themselves.
std::vector<std::u16string> MTextLines(const std::u16string& in);

// A B-spline of `degree` over `knots` (one more than points + degree, not
// decreasing), rational when `weights` has one positive weight per point, sampled
// along every span of its domain.
Points DeBoor(const Points& ctrl, const std::vector<double>& knots, const std::vector<double>& weights, int degree);

// A curve through every fit point (Catmull-Rom), closed when asked.
Points ThroughFitPoints(const Points& fit, bool closed);

}  // namespace lorimer::formats::dxf

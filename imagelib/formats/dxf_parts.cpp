#include "imagelib/formats/dxf_parts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "imagelib/formats/vector_canvas.h"

namespace lorimer::formats::dxf {

// ---- colours ------------------------------------------------------------------

// The AutoCAD colour index: the nine named colours, then hue rows of ten shades
// (full and half saturation at falling brightness), then six greys. Colour 7 is
// black on white paper.
COLORREF AciColor(int index) {
  static const std::array<COLORREF, 10> named = {
      RGB(0, 0, 0),   RGB(255, 0, 0),   RGB(255, 255, 0), RGB(0, 255, 0),     RGB(0, 255, 255),
      RGB(0, 0, 255), RGB(255, 0, 255), RGB(0, 0, 0),     RGB(128, 128, 128), RGB(192, 192, 192)};
  if (index < 0 || index > 255) return RGB(0, 0, 0);
  if (index < 10) return named[index];
  if (index >= 250) {
    static const BYTE greys[6] = {51, 91, 132, 173, 214, 255};
    const BYTE v = greys[index - 250];
    return RGB(v, v, v);
  }
  static const double values[5] = {1.0, 0.65, 0.5, 0.3, 0.15};
  const double hue = (index / 10 - 1) * 15.0;
  const int shade = index % 10;
  const double v = values[shade / 2], s = (shade % 2) ? 0.5 : 1.0;
  const double c = v * s, h6 = hue / 60.0, x = c * (1 - std::abs(std::fmod(h6, 2.0) - 1)), m = v - c;
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h6) % 6) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
  }
  auto byte = [](double f) { return static_cast<BYTE>(std::clamp(std::lround(f * 255), 0L, 255L)); };
  return RGB(byte(r + m), byte(g + m), byte(b + m));
}

// ---- text ---------------------------------------------------------------------

// DXF text escapes: %%d degree, %%p plus-minus, %%c diameter, %%% percent,
// %%u / %%o underline and overline toggles (dropped), \U+XXXX code points.
std::u16string PlainText(const std::string& raw) {
  std::u16string in = vector_detail::DecodeText(raw), out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size() && in[i + 1] == '%') {
      const char16_t c = in[i + 2];
      const char16_t m = c == 'd' || c == 'D'   ? u'\u00B0'
                         : c == 'p' || c == 'P' ? u'\u00B1'
                         : c == 'c' || c == 'C' ? u'\u2300'
                         : c == '%'             ? u'%'
                                                : 0;
      if (m) out += m;
      if (m || c == 'u' || c == 'U' || c == 'o' || c == 'O') {
        i += 2;
        continue;
      }
    }
    if (in[i] == '\\' && i + 6 < in.size() && (in[i + 1] == 'U' || in[i + 1] == 'u') && in[i + 2] == '+') {
      unsigned v = 0;
      bool hex = true;
      for (size_t k = 3; k < 7; ++k) {
        const char16_t c = in[i + k];
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) hex = false;
        v = v * 16 + static_cast<unsigned>(std::max(d, 0));
      }
      if (hex) {
        out += static_cast<char16_t>(v);
        i += 6;
        continue;
      }
    }
    out += in[i];
  }
  return out;
}

// MTEXT without its formatting: \P breaks lines, {} groups and \X...; codes are
// dropped, \S stacks become a/b, \\ \{ \} stand for themselves.
std::vector<std::u16string> MTextLines(const std::u16string& in) {
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < in.size(); ++i) {
    const char16_t c = in[i];
    if (c == '{' || c == '}') continue;
    if (c != '\\' || i + 1 >= in.size()) {
      lines.back() += c;
      continue;
    }
    const char16_t k = in[++i];
    switch (k) {
      case 'P':
      case 'n':
        if (lines.size() < 10000) lines.emplace_back();
        break;
      case '~': lines.back() += u' '; break;
      case '\\':
      case '{':
      case '}': lines.back() += k; break;
      case 'L':
      case 'l':
      case 'O':
      case 'o':
      case 'K':
      case 'k': break;
      case 'S': {
        for (++i; i < in.size() && in[i] != ';'; ++i) lines.back() += (in[i] == '^' || in[i] == '#') ? u'/' : in[i];
        break;
      }
      case 'A':
      case 'C':
      case 'F':
      case 'f':
      case 'H':
      case 'Q':
      case 'T':
      case 'W':
      case 'p':
      case 'c':
        while (i < in.size() && in[i] != ';') ++i;
        break;
      default: lines.back() += k; break;
    }
  }
  return lines;
}

// A B-spline of `degree` over `knots` (one more than points + degree, not
// decreasing), rational when `weights` has one positive weight per point, sampled
// along every span of its domain.
Points DeBoor(const Points& ctrl, const std::vector<double>& knots, const std::vector<double>& weights, int degree) {
  Points out;
  const size_t m = ctrl.size(), p = static_cast<size_t>(degree);
  const bool rational = weights.size() == m;
  size_t spans = 0;
  for (size_t k = p; k < m; ++k) spans += knots[k] < knots[k + 1];
  const int steps = spans > 4096 ? 1 : 16;
  std::vector<std::array<double, 3>> d(p + 1);
  auto at = [&](size_t k, double u) {
    for (size_t j = 0; j <= p; ++j) {
      const auto& c = ctrl[j + k - p];
      const double w = rational ? weights[j + k - p] : 1.0;
      d[j] = {c.first * w, c.second * w, w};
    }
    for (size_t r = 1; r <= p; ++r)
      for (size_t j = p; j >= r; --j) {
        const double lo = knots[j + k - p], span = knots[j + 1 + k - r] - lo;
        const double alpha = span > 0 ? (u - lo) / span : 0;
        for (int c = 0; c < 3; ++c) d[j][c] = (1 - alpha) * d[j - 1][c] + alpha * d[j][c];
      }
    out.emplace_back(d[p][0] / d[p][2], d[p][1] / d[p][2]);
  };
  for (size_t k = p; k < m; ++k) {
    if (!(knots[k] < knots[k + 1])) continue;
    for (int s = out.empty() ? 0 : 1; s <= steps; ++s) at(k, knots[k] + (knots[k + 1] - knots[k]) * s / steps);
  }
  return out;
}

// A curve through every fit point (Catmull-Rom), closed when asked.
Points ThroughFitPoints(const Points& fit, bool closed) {
  Points out;
  const size_t n = fit.size();
  const int steps = n > 4096 ? 1 : 16;
  auto point = [&](long i) -> std::pair<double, double> {
    if (closed)
      return fit[static_cast<size_t>((i % static_cast<long>(n) + static_cast<long>(n)) % static_cast<long>(n))];
    if (i < 0) return {2 * fit[0].first - fit[1].first, 2 * fit[0].second - fit[1].second};
    if (i >= static_cast<long>(n))
      return {2 * fit[n - 1].first - fit[n - 2].first, 2 * fit[n - 1].second - fit[n - 2].second};
    return fit[static_cast<size_t>(i)];
  };
  const long segments = static_cast<long>(closed ? n : n - 1);
  out.push_back(fit[0]);
  for (long i = 0; i < segments; ++i) {
    const auto p0 = point(i - 1), p1 = point(i), p2 = point(i + 1), p3 = point(i + 2);
    for (int s = 1; s <= steps; ++s) {
      const double t = static_cast<double>(s) / steps, t2 = t * t, t3 = t2 * t;
      auto blend = [&](double a, double b, double c, double e) {
        return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - e) * t2 + (3 * b - a - 3 * c + e) * t3);
      };
      out.emplace_back(blend(p0.first, p1.first, p2.first, p3.first),
                       blend(p0.second, p1.second, p2.second, p3.second));
    }
  }
  return out;
}

}  // namespace lorimer::formats::dxf

#include <algorithm>

#include "printlayout/layout/Layout.h"
#include "printlayout/model/Arithmetic.h"

namespace tessaly {

namespace {

// One axis of a box: its start (x or y) and its extent (width or height).
struct Axis {
  std::int32_t ImagePlacement::*start;
  std::int32_t ImagePlacement::*extent;
};
constexpr Axis kHorizontal{&ImagePlacement::x, &ImagePlacement::width};
constexpr Axis kVertical{&ImagePlacement::y, &ImagePlacement::height};

// mode: 1 the low edge, 2 the centre, 4 the high edge.
void AlignAxis(const Selection& selection, const Axis& axis, std::uint32_t mode, std::uint32_t reference,
               std::int32_t paper) {
  const ImagePlacement& first = *selection.front();
  std::int32_t t = 0;
  if (reference == kAlignToPageCenter) {
    t = paper / 2;
  } else if (reference == kAlignToPageEdge) {
    t = mode == 1 ? 0 : mode == 2 ? paper / 2 : paper;
  } else {
    const std::int32_t start = first.*axis.start;
    const std::int32_t extent = first.*axis.extent;
    t = mode == 1 ? start : mode == 2 ? start + extent / 2 : start + extent;
  }
  // Move the target so that every image stays on the paper.
  for (const ImagePlacement* image : selection) {
    const std::int32_t extent = image->*axis.extent;
    if (mode == 1) {
      if (t + extent > paper) t = paper - extent;
    } else if (mode == 2) {
      if (t + extent / 2 > paper) t = paper - extent / 2;
      if (t - extent / 2 < 0) t = extent / 2;
    } else {
      if (t - extent < 0) t = extent;
    }
  }
  for (ImagePlacement* image : selection) {
    const std::int32_t extent = image->*axis.extent;
    image->*axis.start = mode == 1 ? t : mode == 2 ? t - extent / 2 : t - extent;
    image->laidOut = 1;
  }
}

// The single mode bit of a 4-bit group, or 0 when none or several are set.
std::uint32_t OneMode(std::uint32_t group) {
  switch (group) {
    case 1:
    case 2:
    case 4:
    case 8: return group;
    default: return 0;
  }
}

// mode: 1 low edges, 2 centres, 4 equal spacing, 8 high edges.
void DistributeAxis(Selection images, const Axis& axis, std::uint32_t mode, bool pageExtent, std::int32_t paper) {
  const size_t n = images.size();
  auto start = [&](const ImagePlacement* p) { return p->*axis.start; };
  auto extent = [&](const ImagePlacement* p) { return p->*axis.extent; };
  auto centre = [&](const ImagePlacement* p) { return start(p) + extent(p) / 2; };

  if (mode != 4) {
    auto key = [&](const ImagePlacement* p) {
      return mode == 1 ? start(p) : mode == 2 ? centre(p) : start(p) + extent(p);
    };
    std::stable_sort(images.begin(), images.end(),
                     [&](const ImagePlacement* a, const ImagePlacement* b) { return key(a) < key(b); });
    if (pageExtent) {
      images.front()->*axis.start = 0;
      images.back()->*axis.start = paper - extent(images.back());
      images.front()->laidOut = images.back()->laidOut = 1;
    }
    const std::int32_t k0 = key(images.front());
    const std::int32_t kLast = key(images.back());
    for (size_t i = 1; i + 1 < n; ++i) {
      const std::int32_t target =
          k0 + MulDiv(static_cast<std::int32_t>(i), kLast - k0, static_cast<std::int32_t>(n - 1));
      images[i]->*axis.start += target - key(images[i]);
      images[i]->laidOut = 1;
    }
    return;
  }

  // Equal spacing: the leftmost and the rightmost image stay, the others are
  // spread between them with equal gaps.
  size_t firstIndex = 0;
  for (size_t i = 1; i < n; ++i)
    if (start(images[i]) < start(images[firstIndex])) firstIndex = i;
  size_t lastIndex = firstIndex == 0 ? 1 : 0;
  for (size_t i = 0; i < n; ++i)
    if (i != firstIndex && start(images[i]) + extent(images[i]) > start(images[lastIndex]) + extent(images[lastIndex]))
      lastIndex = i;
  ImagePlacement* first = images[firstIndex];
  ImagePlacement* last = images[lastIndex];
  Selection middle;
  for (size_t i = 0; i < n; ++i)
    if (i != firstIndex && i != lastIndex) middle.push_back(images[i]);
  if (pageExtent) {
    first->*axis.start = 0;
    last->*axis.start = paper - extent(last);
    first->laidOut = last->laidOut = 1;
  }
  std::stable_sort(middle.begin(), middle.end(),
                   [&](const ImagePlacement* a, const ImagePlacement* b) { return centre(a) < centre(b); });
  std::int64_t widths = 0;
  for (const ImagePlacement* p : middle) widths += extent(p);
  const std::int64_t gap = (static_cast<std::int64_t>(start(last)) - widths - (start(first) + extent(first))) /
                           static_cast<std::int64_t>(middle.size() + 1);
  const ImagePlacement* previous = first;
  for (ImagePlacement* p : middle) {
    p->*axis.start = static_cast<std::int32_t>(start(previous) + extent(previous) + gap);
    p->laidOut = 1;
    previous = p;
  }
}

}  // namespace

void align(Project& project, const Selection& selection, std::uint32_t flags) {
  if (selection.empty()) return;
  if (const std::uint32_t mode = OneMode(flags & 0x7)) {
    AlignAxis(selection, kHorizontal, mode, (flags >> 8) & 3u, project.pageWidth);
  }
  if (const std::uint32_t mode = OneMode((flags >> 4) & 0x7)) {
    AlignAxis(selection, kVertical, mode, (flags >> 12) & 3u, project.pageHeight);
  }
  project.setModified(true);
}

void distribute(Project& project, const Selection& selection, std::uint32_t flags) {
  if (selection.size() < 2) return;
  const bool pageExtent = (flags & kDistributePageExtent) != 0;
  if (const std::uint32_t mode = OneMode((flags >> 16) & 0xF))
    DistributeAxis(selection, kHorizontal, mode, pageExtent, project.pageWidth);
  if (const std::uint32_t mode = OneMode((flags >> 20) & 0xF))
    DistributeAxis(selection, kVertical, mode, pageExtent, project.pageHeight);
  project.setModified(true);
}

std::uint32_t AlignDialogFlags(const AlignDialogFields& fields) {
  const std::uint32_t reference = fields.pageEdge     ? kAlignToPageEdge
                                  : fields.pageCenter ? kAlignToPageCenter
                                                      : kAlignToImage;
  std::uint32_t flags = (fields.horizontal & 0x7) | (fields.vertical & 0x70);
  if (fields.horizontal) flags |= AlignHorizontalReference(reference);
  if (fields.vertical) flags |= AlignVerticalReference(reference);
  return flags;
}

std::uint32_t DistributeDialogFlags(const DistributeDialogFields& fields) {
  std::uint32_t flags = (fields.horizontal & (0xFu << 16)) | (fields.vertical & (0xF0u << 16));
  if (fields.pageExtent) flags |= kDistributePageExtent;
  return flags;
}

}  // namespace tessaly

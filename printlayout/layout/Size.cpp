#include <algorithm>
#include <cstdlib>

#include "printlayout/layout/Layout.h"
#include "printlayout/model/Arithmetic.h"
#include "printlayout/model/BorderLines.h"

namespace tessaly {

void makeSameSize(Project& project, const Selection& selection, bool width, bool height) {
  if (selection.size() < 2) return;
  const ImagePlacement& reference = *selection.back();
  for (ImagePlacement* image : selection) {
    if (image == &reference) continue;
    if (width) image->width = reference.width;
    if (height) image->height = reference.height;
    // A box that now sticks out past the paper ends on its edge.
    if (image->x + image->width > project.pageWidth) image->x = project.pageWidth - image->width;
    if (image->y + image->height > project.pageHeight) image->y = project.pageHeight - image->height;
    image->laidOut = 1;
  }
  project.setModified(true);
}

void sizeToContent(Project& project, const Selection& selection) {
  if (selection.empty()) return;
  const std::int32_t c = project.environment().textHeight(project.imagesFont);
  const std::int32_t sH = project.borderSpaceH;
  const std::int32_t sV = project.borderSpaceV;
  const std::uint32_t lines = project.borderLines;
  const std::int32_t g = BorderDrawn(lines, kEdgeUnderImage) ? sV : sV / 2;
  for (ImagePlacement* image : selection) {
    std::int64_t bottom = static_cast<std::int64_t>(image->y) + image->height;
    if (BorderDrawn(lines, kEdgeUnderComment)) bottom -= sV;
    bottom -= c + 2LL * g;
    std::int64_t left = image->x;
    std::int64_t right = static_cast<std::int64_t>(image->x) + image->width;
    std::int64_t top = image->y;
    if (BorderDrawn(lines, kEdgeLeft)) left += sH;
    if (BorderDrawn(lines, kEdgeRight)) right -= sH;
    if (BorderDrawn(lines, kEdgeTop)) top += sV;
    const std::int64_t left0 = left, right0 = right, top0 = top, bottom0 = bottom;
    if (project.shadowDx >= 0)
      right -= project.shadowDx;
    else
      left -= project.shadowDx;
    if (project.shadowDy >= 0)
      bottom -= project.shadowDy;
    else
      top -= project.shadowDy;

    const std::int64_t pw = image->pixelWidth;
    const std::int64_t ph = image->pixelHeight;
    const std::int64_t w = right - left;
    const std::int64_t h = bottom - top;
    // Without a pixel size or room for the picture there is nothing to fit.
    if (pw <= 0 || ph <= 0 || w <= 0 || h <= 0) continue;
    std::int64_t fittedW = 0, fittedH = 0;
    if (w * ph <= h * pw) {  // w / pw <= h / ph
      fittedW = w;
      fittedH = MulDiv(static_cast<std::int32_t>(ph), static_cast<std::int32_t>(w), static_cast<std::int32_t>(pw));
    } else {
      fittedW = MulDiv(static_cast<std::int32_t>(pw), static_cast<std::int32_t>(h), static_cast<std::int32_t>(ph));
      fittedH = h;
    }
    fittedW += std::abs(project.shadowDx);
    fittedH += std::abs(project.shadowDy);
    const std::int64_t slackH = (right0 - left0) - fittedW;
    const std::int64_t slackV = (bottom0 - top0) - fittedH;
    image->x = static_cast<std::int32_t>(image->x + slackH / 2);
    image->width = static_cast<std::int32_t>(std::max<std::int64_t>(image->width - slackH, 0));
    image->y = static_cast<std::int32_t>(image->y + slackV / 2);
    image->height = static_cast<std::int32_t>(std::max<std::int64_t>(image->height - slackV, 0));
    image->laidOut = 1;
  }
  project.setModified(true);
}

namespace {

// Moves and, when it must, shrinks a box into the area, keeping its aspect.
void FitIntoArea(ImagePlacement& image, std::int32_t areaLeft, std::int32_t areaTop, std::int32_t areaRight,
                 std::int32_t areaBottom) {
  if (image.x + image.width > areaRight) image.x = areaRight - image.width;
  if (image.y + image.height > areaBottom) image.y = areaBottom - image.height;
  if (image.x < areaLeft) image.x = areaLeft;
  if (image.y < areaTop) image.y = areaTop;
  const std::int64_t roomW = std::max(areaRight - image.x, 0);
  const std::int64_t roomH = std::max(areaBottom - image.y, 0);
  if (image.width > roomW || image.height > roomH) {
    // Scale by the smaller of the two ratios; both sides shrink together.
    std::int64_t w = image.width;
    std::int64_t h = image.height;
    if (w > 0 && h > 0) {
      if (roomW * h <= roomH * w) {
        h = h * roomW / w;
        w = roomW;
      } else {
        w = w * roomH / h;
        h = roomH;
      }
    } else {
      w = std::min(w, roomW);
      h = std::min(h, roomH);
    }
    image.width = static_cast<std::int32_t>(w);
    image.height = static_cast<std::int32_t>(h);
  }
}

}  // namespace

void synchronizeSize(Project& project, const Selection& selection, std::uint32_t flags) {
  if (selection.empty()) return;
  std::int32_t narrowest = selection.front()->width, widest = narrowest;
  std::int32_t lowest = selection.front()->height, highest = lowest;
  for (const ImagePlacement* image : selection) {
    narrowest = std::min(narrowest, image->width);
    widest = std::max(widest, image->width);
    lowest = std::min(lowest, image->height);
    highest = std::max(highest, image->height);
  }
  const std::int32_t sameWidth = selection.back()->width;
  const std::int32_t sameHeight = selection.back()->height;

  std::int32_t areaLeft = 0, areaTop = 0, areaRight = project.pageWidth, areaBottom = project.pageHeight;
  if (flags & kSyncUsePageMargins) {
    areaLeft = project.marginLeft;
    areaTop = project.marginTop;
    areaRight = project.pageWidth - project.marginRight;
    areaBottom = project.pageHeight - project.marginBottom;
  }
  for (ImagePlacement* image : selection) {
    switch (flags & 0xF0) {
      case kSyncWidthNarrowest: image->width = narrowest; break;
      case kSyncWidthOriginal: image->width = 0; break;
      case kSyncWidthSame: image->width = sameWidth; break;
      case kSyncWidthWidest: image->width = widest; break;
      default: break;
    }
    switch (flags & 0x0F) {
      case kSyncHeightLowest: image->height = lowest; break;
      case kSyncHeightOriginal: image->height = 0; break;
      case kSyncHeightSame: image->height = sameHeight; break;
      case kSyncHeightHighest: image->height = highest; break;
      default: break;
    }
    image->laidOut = 1;
    // The picture's size at 300 dots per inch.
    if (image->width == 0) image->width = std::max(MulDiv(image->pixelWidth, 254, 300), 0);
    if (image->height == 0) image->height = std::max(MulDiv(image->pixelHeight, 254, 300), 0);
    if (image->x < 0 || image->y < 0) {
      image->x = project.marginLeft;
      image->y = project.marginTop;
    }
    FitIntoArea(*image, areaLeft, areaTop, areaRight, areaBottom);
  }
  project.setModified(true);
}

void setShadow(Project& project, std::int32_t dx, std::int32_t dy) {
  project.shadowDx = std::clamp(dx, -50, 50);
  project.shadowDy = std::clamp(dy, -50, 50);
  project.environment().settings.shadowImagesCX = project.shadowDx;
  project.environment().settings.shadowImagesCY = project.shadowDy;
  project.setModified(true);
}

int CheckedShadowPreset(const Project& project) {
  for (size_t i = 0; i < std::size(kShadowPresets); ++i)
    if (project.shadowDx == kShadowPresets[i].offset && project.shadowDy == kShadowPresets[i].offset)
      return static_cast<int>(i);
  return -1;
}

}  // namespace tessaly

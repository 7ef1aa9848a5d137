#include <algorithm>

#include "printlayout/layout/Layout.h"

namespace tessaly {

std::int32_t ArrangeCellWidth(const Project& project, int columns, std::int32_t spacingH) {
  columns = std::max(columns, 1);
  const std::int64_t extent = static_cast<std::int64_t>(project.pageWidth) - project.marginRight -
                              static_cast<std::int64_t>(columns - 1) * spacingH - project.marginLeft;
  return static_cast<std::int32_t>(extent / columns);
}

std::int32_t ArrangeCellHeight(const Project& project, int rows, std::int32_t spacingV) {
  rows = std::max(rows, 1);
  const std::int64_t extent = static_cast<std::int64_t>(project.pageHeight) - project.marginBottom -
                              static_cast<std::int64_t>(rows - 1) * spacingV - project.marginTop;
  return static_cast<std::int32_t>(extent / rows);
}

void arrange(Project& project, int fromPage, int toPage, int columns, int rows, std::int32_t spacingH,
             std::int32_t spacingV, int mode) {
  // A grid of no columns or rows (possible in stored projects) is one cell wide.
  columns = std::max(columns, 1);
  rows = std::max(rows, 1);
  const std::int32_t cellW = ArrangeCellWidth(project, columns, spacingH);
  const std::int32_t cellH = ArrangeCellHeight(project, rows, spacingV);
  auto& pages = project.pages;
  const int last = static_cast<int>(pages.size()) - 1;

  std::vector<std::unique_ptr<ImagePlacement>> work;
  auto collect = [&](int index) {
    auto& list = pages[static_cast<size_t>(index)]->placements;
    for (auto& p : list) work.push_back(std::move(p));
    list.clear();
  };
  if (mode == kArrangeAllPages) {
    for (int i = 1; i <= last; ++i) collect(i);
    collect(0);
    fromPage = toPage = 1;
  } else {
    fromPage = std::max(fromPage, 1);
    toPage = std::min(toPage, last);
    for (int i = fromPage; i <= toPage; ++i) collect(i);
  }

  size_t next = 0;
  int page = fromPage;
  while (next < work.size()) {
    if (page > toPage) {
      if (mode == kArrangeGivenPages) {
        for (; next < work.size(); ++next) {
          auto& p = work[next];
          p->x = p->y = -1;
          p->width = p->height = 0;
          p->laidOut = 1;
          p->pageIndex = 0;
          pages[0]->placements.push_back(std::move(p));
        }
        break;
      }
      const bool reusable =
          page < static_cast<int>(pages.size()) && pages[static_cast<size_t>(page)]->placements.empty();
      if (!reusable) project.insertPage(page);
    }
    auto& target = pages[static_cast<size_t>(page)]->placements;
    for (int row = 0; row < rows && next < work.size(); ++row) {
      for (int column = 0; column < columns && next < work.size(); ++column) {
        auto& p = work[next++];
        p->x = static_cast<std::int32_t>(project.marginLeft + static_cast<std::int64_t>(column) *
                                                                  (static_cast<std::int64_t>(cellW) + spacingH));
        p->y = static_cast<std::int32_t>(project.marginTop + static_cast<std::int64_t>(row) *
                                                                 (static_cast<std::int64_t>(cellH) + spacingV));
        p->width = std::max(cellW, 0);
        p->height = std::max(cellH, 0);
        p->laidOut = 1;
        p->pageIndex = page;
        target.push_back(std::move(p));
      }
    }
    ++page;
  }

  if (mode == kArrangeAllPages) project.deleteEmptyPages();
  project.renumber();
  project.setModified(true);
}

void applyAutoArrange(Project& project) {
  if (!project.autoArrange) return;
  arrange(project, 1, project.pageCount(), project.arrangeColumns, project.arrangeRows, project.arrangeSpacingH,
          project.arrangeSpacingV, kArrangeAllPages);
}

void applyStartupArrange(Project& project, bool pageSetupMode) {
  if (!project.autoArrange || pageSetupMode) return;
  arrange(project, 1, 1, project.arrangeColumns, project.arrangeRows, project.arrangeSpacingH, project.arrangeSpacingV,
          kArrangeAllPages);
}

ArrangeDialogFields ArrangeDialogDefaults(const Project& project) {
  ArrangeDialogFields fields;
  fields.fromPage = 1;
  fields.toPage = project.pageCount();
  fields.columns = std::clamp(project.arrangeColumns, 1, 15);
  fields.rows = std::clamp(project.arrangeRows, 1, 15);
  fields.spacingHmm = std::clamp(project.arrangeSpacingH / 10, 1, 50);
  fields.spacingVmm = std::clamp(project.arrangeSpacingV / 10, 1, 50);
  return fields;
}

void applyArrangeDialog(Project& project, const ArrangeDialogFields& fields) {
  int from = fields.fromPage;
  int to = fields.toPage;
  if (fields.allPages) {
    from = 1;
    to = project.pageCount();
  }
  // The spin controls keep the values in their ranges.
  project.arrangeColumns = std::clamp(fields.columns, 1, 15);
  project.arrangeRows = std::clamp(fields.rows, 1, 15);
  project.arrangeSpacingH = std::clamp(fields.spacingHmm, 1, 50) * 10;
  project.arrangeSpacingV = std::clamp(fields.spacingVmm, 1, 50) * 10;
  int mode = kArrangeGivenPages;
  if (fields.insertPages) mode = fields.allPages ? kArrangeAllPages : kArrangeInsertPages;
  arrange(project, from, to, project.arrangeColumns, project.arrangeRows, project.arrangeSpacingH,
          project.arrangeSpacingV, mode);
}

}  // namespace tessaly

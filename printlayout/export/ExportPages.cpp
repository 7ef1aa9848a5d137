#include "printlayout/export/ExportPages.h"

#include <sys/stat.h>

#include <cstring>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"
#include "platform/ui/progress.h"
#include "printlayout/export/ExportTypes.h"
#include "printlayout/export/OverwriteDialog.h"
#include "printlayout/macros/Macros.h"
#include "printlayout/model/Arithmetic.h"
#include "printlayout/print/Printing.h"
#include "printlayout/render/DialogProgress.h"
#include "printlayout/render/PageRenderer.h"

namespace tessaly {

namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The head every export record starts with.
template <typename Record>
void FillHead(Record& record, int width, int height) {
  std::memset(static_cast<void*>(&record), 0, sizeof(Record));
  record.width = width;
  record.height = height;
  record.method = 4;
  record.page = 0;
  record.proportional = 0;
  record.reserved = 1;
  record.angle = 0;
  record.crop = RECT{0, 0, 0, 0};
}

// BMP, PCX and Targa take the same two fields after the head.
template <typename Record>
bool SaveGrayAndDepth(CImageInterface& image, const char* file, int width, int height, int gray, int depthBits) {
  Record r;
  FillHead(r, width, height);
  r.gray = gray;
  r.depth = depthBits;
  return image.Save(file, &r) != 0;
}

}  // namespace

int ExportPixels(std::int32_t tenthsMm, int dpi) { return MulDiv(tenthsMm, dpi, 254); }

bool SaveExportImage(CImageInterface& image, const std::string& path, int type, int width, int height, int depthBits,
                     bool grayscale) {
  const char* file = path.c_str();
  const int gray = grayscale ? 1 : 0;
  switch (type) {
    case kExportBMP: return SaveGrayAndDepth<_SAVEIMAGEINFO::_BMP>(image, file, width, height, gray, depthBits);
    case kExportPCX: return SaveGrayAndDepth<_SAVEIMAGEINFO::_PCX>(image, file, width, height, gray, depthBits);
    case kExportTGA: return SaveGrayAndDepth<_SAVEIMAGEINFO::_TGA>(image, file, width, height, gray, depthBits);
    case kExportDCX: {
      _SAVEIMAGEINFO::_DCX r;
      FillHead(r, width, height);
      r.gray = gray;
      r.depth = depthBits;
      r.append = 0;
      return image.Save(file, &r) != 0;
    }
    case kExportGIF: {
      _SAVEIMAGEINFO::_GIF r;
      FillHead(r, width, height);
      r.gray = gray;
      r.depth = depthBits;
      r.interlace = 0;
      r.append = 0;
      return image.Save(file, &r) != 0;
    }
    case kExportJPEG: {
      _SAVEIMAGEINFO::_JPG r;
      FillHead(r, width, height);
      r.depth = depthBits;
      r.quality = 75;
      return image.Save(file, &r) != 0;
    }
    case kExportTIFF: {
      _SAVEIMAGEINFO::_TIF r;
      FillHead(r, width, height);
      r.depth = depthBits;
      r.colour = grayscale ? 0 : 1;
      r.compression = _SAVEIMAGEINFO::_TIF::COMPRESS_LZW;
      r.fillOrder = 0;
      r.append = 0;
      r.artist[0] = '\0';
      r.copyright[0] = '\0';
      return image.Save(file, &r) != 0;
    }
    case kExportPNG: {
      _SAVEIMAGEINFO::_PNG r;
      FillHead(r, width, height);
      r.filter = _SAVEIMAGEINFO::_PNG::FILTER_UP;
      r.compression = _SAVEIMAGEINFO::_PNG::COMPRESS_MAXIMUM;
      r.depth = depthBits;
      r.gray = gray;
      return image.Save(file, &r) != 0;
    }
    case kExportFMF: {
      _SAVEIMAGEINFO::_FMF r;
      FillHead(r, width, height);
      return image.Save(file, &r) != 0;
    }
    case kExportEPS: {
      _SAVEIMAGEINFO::_EPS r;
      FillHead(r, width, height);
      r.preview = 0;
      return image.Save(file, &r) != 0;
    }
    default: return false;
  }
}

bool exportPages(Project& project, const PageList& pages, const std::string& folderIn, const std::string& nameTemplate,
                 int type, int dpi, int depth, bool grayscale, bool crop, QWidget* parent, ExportResult* resultOut) {
  ExportResult result;
  std::string folder = folderIn;
  if (folder.empty() || folder.back() != '/') folder += '/';
  const int width = ExportPixels(project.pageWidth, dpi);
  const int height = ExportPixels(project.pageHeight, dpi);
  const int depthBits = depth >= 0 && depth < kDepthCount ? kDepthBits[depth] : 24;
  const char* extension = type >= 0 && type < kExportTypeCount ? kTypeExtensions[type] : "";

  // Fonts for the output resolution: the memory DC measures like the screen,
  // the zoom takes the page from the screen's size to the output's.
  const vel::gdi::OwnedDC canvas(CreateCompatibleDC(nullptr));
  const HDC dc = canvas.get();
  const int screenWidth = DeviceX(dc, project.pageWidth, 1.0);
  const double zoom = screenWidth > 0 ? static_cast<double>(width) / screenWidth : 1.0;
  vel::ui::ProgressDialog progress(kExportTitle, kExportingLine, parent);
  progress.setRange(PlacementsOnPages(project, pages));
  progress.setStep(1);
  DialogProgress renderProgress(progress);
  const RenderFonts fonts(project, GetDeviceCaps(dc, LOGPIXELSY), zoom);

  bool overwriteAll = false;
  const int count = static_cast<int>(pages.size());
  for (int k = 1; k <= count; ++k) {
    const int entry = PageEntry(project, pages[static_cast<size_t>(k - 1)]);
    if (entry < 1 || entry >= static_cast<int>(project.pages.size())) continue;
    ProjectPage* page = project.pages[static_cast<size_t>(entry)].get();
    progress.setLine(PageOfPages(k, count));

    const std::string path = folder + expandMacros(project, nameTemplate, page, nullptr) + extension;
    if (!overwriteAll && FileExists(path)) {
      const OverwriteAnswer answer = AskOverwrite(parent, path);
      if (answer == OverwriteAnswer::SkipAll) {
        result.cancelled = true;
        break;
      }
      if (answer == OverwriteAnswer::Skip) {
        ++result.skipped;
        for (size_t i = 0; i < page->placements.size(); ++i) progress.stepIt();
        continue;
      }
      if (answer == OverwriteAnswer::OverwriteAll) overwriteAll = true;
    }

    // Render into a white page.
    progress.setLine(kExportingLine);
    CImageInterface image;
    HBITMAP bitmap = CImageInterface::CreateEmptyDIBSection(width, height, 0xFFFFFF, 0);
    if (!bitmap || !image.InitFromHBITMAP(bitmap)) {
      ++result.failed;
      continue;
    }
    RenderRequest request;
    bool finished;
    {
      const vel::gdi::ScopedSelect onPage(dc, image.GetHBITMAP(0, 0));
      request.pageIndex = entry;
      request.dc = dc;
      request.content = ContentRect(project, dc, zoom);
      request.zoom = zoom;
      request.fonts = &fonts;
      request.printer = false;
      request.progress = &renderProgress;
      finished = renderPage(project, request);
    }
    if (!finished) {
      result.cancelled = true;
      break;
    }

    progress.setLine(kSavingLine);
    int savedWidth = width;
    int savedHeight = height;
    if (crop) {
      RECT content = request.content;
      HBITMAP cropped = image.CropImage(content);
      if (cropped) {
        image.CloseHandle();
        image.InitFromHBITMAP(cropped);
        // A cropped page keeps its cropped size rather than being stretched
        // back to the whole sheet.
        savedWidth = image.GetWidth(0);
        savedHeight = image.GetHeight(0);
      }
    }
    if (SaveExportImage(image, path, type, savedWidth, savedHeight, depthBits, grayscale)) {
      ++result.written;
    } else {
      ++result.failed;
    }
    image.CloseHandle();

    // A cancel pressed while the page was saved stops before the next one.
    progress.pump();
    if (progress.cancelled()) {
      result.cancelled = true;
      break;
    }
  }
  if (resultOut) *resultOut = result;
  return !result.cancelled;
}

}  // namespace tessaly

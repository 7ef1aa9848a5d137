// EPS and PostScript through helper programs: epsrender turns a PostScript file
// into a WMF that we read as a drawing; epswriter turns a WMF into an EPS file.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "imagelib/core/Common.h"
#include "imagelib/core/ImageMan.h"
#include "lorimer/MetaFile.h"
#include "platform/base/file.h"
#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"

namespace {

// An EPS conversion that wrote no more than this wrote no picture.
constexpr long long kSmallestWmf = 140;

long long FileSize(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : -1;
}

bool Exists(const char* path) { return path && _access(path, 0) == 0; }

// Removes the temporary file and frees its name when the scope ends.
class TempWmf {
 public:
  TempWmf() : path_(CMetaFile::GetTempWMFPath()) {}
  ~TempWmf() {
    if (!path_) return;
    ::unlink(path_);
    delete[] path_;
  }
  TempWmf(const TempWmf&) = delete;
  TempWmf& operator=(const TempWmf&) = delete;
  char* get() const { return path_; }

 private:
  char* path_;
};

}  // namespace

int CEpsKeeper::_EPS2WMF_Proc(char* epsPath, char* wmfPath) {
  if (!epsPath || !wmfPath) return 0;
  const std::string params = std::string("\"") + epsPath + "\" \"" + wmfPath + "\"";
  return lorimer::RunHelper("epsrender", params) && Exists(wmfPath) ? 1 : 0;
}

int CEpsKeeper::_WMF2EPS_Proc(char* wmfPath, char* epsPath, int preview, long first, long second) {
  if (!wmfPath || !epsPath) return 0;
  char tail[80];
  std::snprintf(tail, sizeof tail, " %d %ld %ld", preview ? 1 : 0, first, second);
  const std::string params = std::string("\"") + wmfPath + "\" \"" + epsPath + "\"" + tail;
  return lorimer::RunHelper("epswriter", params) && Exists(epsPath) ? 1 : 0;
}

HIMG CEpsKeeper::LoadEPS(const char* path, _SRCIMAGEINFO* info) {
  if (!path || !info) return nullptr;
  TempWmf wmf;
  if (!wmf.get()) return nullptr;
  std::string eps = path;
  _EPS2WMF_Proc(eps.data(), wmf.get());
  if (FileSize(wmf.get()) <= kSmallestWmf) return nullptr;
  const METAFILEINFO size = CMetaFile::_GETWMFINFO_Proc(wmf.get());
  if (size.width <= 0 || size.height <= 0) return nullptr;

  vel::gdi::OwnedMetaFile metafile;
  {
    CMetaFile reader;
    if (!reader.Read(wmf.get())) return nullptr;
    ::unlink(wmf.get());
    metafile.reset(reader.GetHandle(info));
  }
  if (!metafile) return nullptr;
  // The helper's proportions at the height the metafile reports.
  const double x = static_cast<double>(info->nHeight) / size.height;
  const double width = std::floor(x * size.width), height = std::floor(size.height * x);
  if (!(width >= 1 && height >= 1 && width < 2147483647.0 && height < 2147483647.0)) return nullptr;
  info->nWidth = static_cast<int>(width);
  info->nHeight = static_cast<int>(height);
  info->nColorDepth = static_cast<short>(size.depth);
  const RECT frame{0, 0, info->nWidth, info->nHeight};
  HIMG image = CImageMan::InitImageFromHWMF(metafile.get(), &frame);
  if (!image) return nullptr;
  (void)metafile.release();  // the image took it over
  info->nFormat = FORMAT_EPS;
  return image;
}

int CEpsKeeper::SaveToEPS(HIMG image, const char* path, int preview, long first, long second) {
  if (!image || !path) return 0;
  TempWmf wmf;
  if (!wmf.get()) return 0;
  HIMG handle = image;
  int written = 0;
  if (CImageMan::IsVectorImage(&handle)) {
    const vel::gdi::OwnedMetaFile metafile(CImageMan::GetHWMF(&handle));
    written = metafile && CopyWMFOnDisk(metafile.get(), wmf.get());
  } else {
    written = CMetaFile::_BMP2WMF_Proc(CImageMan::GetHBITMAP(&handle), wmf.get());
  }
  if (!written) return 0;
  // The writer is another program, whose failure can leave no trace but a missing
  // file: it writes a fresh temporary, and only a complete one replaces the target,
  // so an older file of that name neither passes for the result nor gets lost.
  TempWmf eps;
  if (!eps.get()) return 0;
  ::unlink(eps.get());
  if (!_WMF2EPS_Proc(wmf.get(), eps.get(), preview, first, second)) return 0;
  std::vector<std::uint8_t> bytes;
  if (!vel::ReadWholeFile(eps.get(), bytes, std::uint64_t{1} << 31) || bytes.empty()) return 0;
  return vel::ReplaceFileContents(path, bytes, "lrmr") ? 1 : 0;
}

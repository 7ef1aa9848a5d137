#include "platform/shell/clipboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QThread>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/file.h"
#include "platform/shell/named_window.h"
#include "platform/shell/process.h"
#include "platform/shell/shell.h"

namespace vel::shell {
namespace {

constexpr char kContainerTag[4] = {'V', 'C', 'L', 'P'};
constexpr size_t kMaxItems = 16;
// An image that large would not come through a clipboard of ours anyway; the
// bound keeps a damaged file from making us allocate without limit.
constexpr std::uint64_t kMaxContainerBytes = std::uint64_t(1) << 30;
constexpr const char* kClipboardFileName = "clipboard";
constexpr const char* kOwnerHelper = "velclipboard";
// How long we wait for the owner helper to take the data over.
constexpr auto kHelperStartLimit = std::chrono::seconds(5);

constexpr const char* kMimeBmp = "image/bmp";
constexpr const char* kMimePng = "image/png";
constexpr const char* kMimeEmf = "image/x-emf";
constexpr const char* kMimeWmf = "image/x-wmf";
constexpr const char* kMimePict = "application/x-velmark-metafilepict";

constexpr LONG kMmAnisotropic = 8;

using DibHeader = BITMAPINFOHEADER;

bool KnownFormat(UINT format) { return format == CF_DIB || format == CF_ENHMETAFILE || format == CF_METAFILEPICT; }

template <typename T>
void Put(std::vector<BYTE>& out, T value) {
  const BYTE* p = reinterpret_cast<const BYTE*>(&value);
  out.insert(out.end(), p, p + sizeof value);
}
template <typename T>
bool Take(const std::vector<BYTE>& in, size_t& at, T* value) {
  if (at > in.size() || in.size() - at < sizeof(T)) return false;
  std::memcpy(value, in.data() + at, sizeof(T));
  at += sizeof(T);
  return true;
}

// --- the clipboard's state in this process -----------------------------------

struct State {
  std::mutex mu;
  bool open = false;
  bool emptied = false;  // EmptyClipboard was called: CloseClipboard publishes
  std::vector<ClipboardItem> pending;
  std::vector<HGLOBAL> blocks;  // handed in or out while open; freed on close
};

State& Clip() {
  static State* state = new State;  // used from static destructors of programs
  return *state;
}

bool UseSystemClipboard() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal";
}

// Writes the container under a temporary name in the folder and renames it to
// `name`, so a reader sees the old clipboard or the new one, never half of one.
// The temporary comes from mkstemp rather than vel::ReplaceFileContents because
// clipboard contents stay readable by their owner alone (0600), whatever the
// umask and the folder allow.
bool WriteContainer(const std::string& folder, const std::string& name, const std::vector<ClipboardItem>& items) {
  std::vector<BYTE> bytes;
  if (folder.empty() || !EncodeClipboardItems(items, &bytes)) return false;
  std::string temp = folder + "/." + name + "-XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = vel::WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), (folder + "/" + name).c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// --- DIBs and the picture formats of other programs ---------------------------

// The file header a packed DIB needs to become a BMP file; false for blocks
// too short to hold the header they claim.
bool BmpFromDib(const std::vector<BYTE>& dib, QByteArray* bmp) {
  if (dib.size() < sizeof(DibHeader)) return false;
  DibHeader h;
  std::memcpy(&h, dib.data(), sizeof h);
  if (h.biSize < 40 || h.biSize > dib.size()) return false;
  std::uint64_t colours = h.biClrUsed ? h.biClrUsed : (h.biBitCount <= 8 ? (1u << h.biBitCount) : 0);
  if (colours > 256) colours = 256;
  std::uint64_t offset = 14 + h.biSize + colours * 4 + (h.biCompression == 3 && h.biSize == 40 ? 12 : 0);
  if (offset - 14 > dib.size()) return false;
  std::vector<BYTE> head;
  head.push_back('B');
  head.push_back('M');
  Put<std::uint32_t>(head, static_cast<std::uint32_t>(14 + dib.size()));
  Put<std::uint32_t>(head, 0);
  Put<std::uint32_t>(head, static_cast<std::uint32_t>(offset));
  *bmp = QByteArray(reinterpret_cast<const char*>(head.data()), static_cast<int>(head.size()));
  bmp->append(reinterpret_cast<const char*>(dib.data()), static_cast<qsizetype>(dib.size()));
  return true;
}

// A 24-bit bottom-up packed DIB of any picture Qt can hold.
std::vector<BYTE> DibFromImage(const QImage& source) {
  std::vector<BYTE> dib;
  if (source.isNull()) return dib;
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  const int width = image.width(), height = image.height();
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
  DibHeader h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biSizeImage = static_cast<DWORD>(stride * height);
  try {
    dib.resize(sizeof h + stride * height);
  } catch (...) {
    return {};
  }
  std::memcpy(dib.data(), &h, sizeof h);
  for (int y = 0; y < height; ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    BYTE* out = dib.data() + sizeof h + stride * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      out[3 * x] = static_cast<BYTE>(qBlue(in[x]));
      out[3 * x + 1] = static_cast<BYTE>(qGreen(in[x]));
      out[3 * x + 2] = static_cast<BYTE>(qRed(in[x]));
    }
  }
  return dib;
}

QMimeData* MimeFromItems(const std::vector<ClipboardItem>& items) {
  auto* mime = new QMimeData;
  for (const ClipboardItem& item : items) {
    const QByteArray raw(reinterpret_cast<const char*>(item.bytes.data()), static_cast<qsizetype>(item.bytes.size()));
    if (item.format == CF_DIB) {
      QByteArray bmp;
      if (!BmpFromDib(item.bytes, &bmp)) continue;
      mime->setData(kMimeBmp, bmp);
      // Most programs take PNG rather than BMP.
      QImage image;
      if (image.loadFromData(bmp, "BMP")) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (image.save(&buffer, "PNG")) mime->setData(kMimePng, png);
      }
    } else if (item.format == CF_ENHMETAFILE) {
      mime->setData(kMimeEmf, raw);
    } else if (item.format == CF_METAFILEPICT && item.bytes.size() > sizeof(ClipboardMetafilePict)) {
      mime->setData(kMimePict, raw);
      mime->setData(kMimeWmf, raw.mid(sizeof(ClipboardMetafilePict)));
    }
  }
  return mime;
}

// Qt's clipboard belongs to the application's thread; the converter copies
// from its worker thread, while its dialog keeps that thread's loop running.
template <typename Function>
auto OnGuiThread(Function function) -> decltype(function()) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return function();
  decltype(function()) result{};
  QMetaObject::invokeMethod(
      app, [&] { result = function(); }, Qt::BlockingQueuedConnection);
  return result;
}

bool SystemHas(UINT format) {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return false;
  switch (format) {
    case CF_DIB: return mime->hasFormat(kMimeBmp) || mime->hasImage();
    case CF_ENHMETAFILE: return mime->hasFormat(kMimeEmf);
    case CF_METAFILEPICT: return mime->hasFormat(kMimePict) || mime->hasFormat(kMimeWmf);
    default: return false;
  }
}

std::vector<BYTE> Bytes(const QByteArray& a) { return std::vector<BYTE>(a.begin(), a.end()); }

bool SystemGet(UINT format, std::vector<BYTE>* out) {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return false;
  if (format == CF_DIB) {
    const QByteArray bmp = mime->data(kMimeBmp);
    if (bmp.size() > 14 + 40 && bmp.startsWith("BM")) {
      *out = Bytes(bmp.mid(14));
    } else {
      *out = DibFromImage(qvariant_cast<QImage>(mime->imageData()));
    }
  } else if (format == CF_ENHMETAFILE) {
    *out = Bytes(mime->data(kMimeEmf));
  } else if (format == CF_METAFILEPICT) {
    if (mime->hasFormat(kMimePict)) {
      *out = Bytes(mime->data(kMimePict));
    } else {
      // Another program's WMF: no size known, the receiver takes the picture's own.
      const QByteArray wmf = mime->data(kMimeWmf);
      out->clear();
      Put<LONG>(*out, kMmAnisotropic);
      Put<LONG>(*out, 0);
      Put<LONG>(*out, 0);
      out->insert(out->end(), wmf.begin(), wmf.end());
      if (wmf.isEmpty()) out->clear();
    }
  }
  return !out->empty();
}

// Hands the items to the owner helper, which keeps offering them after we end.
// Without the helper this process offers them for as long as it lives.
bool SystemPublish(const std::vector<ClipboardItem>& items) {
  const std::string folder = RuntimeFolder();
  const std::string helper = ModuleDirectory() + "/" + kOwnerHelper;
  if (!folder.empty() && ::access(helper.c_str(), X_OK) == 0) {
    char unique[64];
    std::snprintf(unique, sizeof unique, "velmark-clip-%d-%lld", static_cast<int>(getpid()),
                  static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::string path = folder + "/" + unique;
    if (WriteContainer(folder, unique, items)) {
      StartRequest request;
      request.program = helper;
      request.args = {path};
      request.hidden = true;
      if (StartProcess(request, nullptr) == 0) {
        // The helper deletes the file once it owns the clipboard.
        const auto end = std::chrono::steady_clock::now() + kHelperStartLimit;
        while (::access(path.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < end)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::access(path.c_str(), F_OK) != 0) return true;
      }
      ::unlink(path.c_str());
    }
  }
  return OnGuiThread([&items] {
    QGuiApplication::clipboard()->setMimeData(MimeFromItems(items));
    return true;
  });
}

// --- the file-backed clipboard --------------------------------------------------

bool FileItems(std::vector<ClipboardItem>* items) {
  const std::string folder = ClipboardFolder();
  return !folder.empty() && ReadClipboardFile(folder + "/" + kClipboardFileName, items);
}

bool Available(UINT format) {
  if (!KnownFormat(format)) return false;
  if (UseSystemClipboard()) return OnGuiThread([format] { return SystemHas(format); });
  std::vector<ClipboardItem> items;
  if (!FileItems(&items)) return false;
  for (const ClipboardItem& item : items)
    if (item.format == format) return true;
  return false;
}

bool Fetch(UINT format, std::vector<BYTE>* out) {
  if (UseSystemClipboard()) return OnGuiThread([format, out] { return SystemGet(format, out); });
  std::vector<ClipboardItem> items;
  if (!FileItems(&items)) return false;
  for (ClipboardItem& item : items) {
    if (item.format == format) {
      *out = std::move(item.bytes);
      return true;
    }
  }
  return false;
}

bool Publish(const std::vector<ClipboardItem>& items) {
  if (UseSystemClipboard()) return SystemPublish(items);
  const std::string folder = ClipboardFolder();
  return WriteContainer(folder, kClipboardFileName, items);
}

}  // namespace

std::string ClipboardFolder() {
  const char* own = std::getenv("VELMARK_CLIPBOARD_DIR");
  std::string folder = own && *own ? own : RuntimeFolder();
  if (folder.empty()) return "";
  if (own && *own) ::mkdir(folder.c_str(), 0700);
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? folder : "";
}

// Container: "VCLP", item count (u32), then per item the format (u32), the
// byte count (u64) and the bytes.
bool EncodeClipboardItems(const std::vector<ClipboardItem>& items, std::vector<BYTE>* out) {
  if (items.size() > kMaxItems) return false;
  std::uint64_t total = 8;
  for (const ClipboardItem& item : items) total += 12 + item.bytes.size();
  if (total > kMaxContainerBytes) return false;
  out->clear();
  try {
    out->reserve(static_cast<size_t>(total));
    for (char c : kContainerTag) out->push_back(static_cast<BYTE>(c));
    Put<std::uint32_t>(*out, static_cast<std::uint32_t>(items.size()));
    for (const ClipboardItem& item : items) {
      Put<std::uint32_t>(*out, item.format);
      Put<std::uint64_t>(*out, item.bytes.size());
      out->insert(out->end(), item.bytes.begin(), item.bytes.end());
    }
  } catch (...) {
    return false;
  }
  return true;
}

bool DecodeClipboardItems(const std::vector<BYTE>& bytes, std::vector<ClipboardItem>* items) {
  items->clear();
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kContainerTag, 4) != 0) return false;
  size_t at = 4;
  std::uint32_t count = 0;
  if (!Take(bytes, at, &count) || count > kMaxItems) return false;
  try {
    for (std::uint32_t i = 0; i < count; ++i) {
      ClipboardItem item;
      std::uint64_t size = 0;
      if (!Take(bytes, at, &item.format) || !Take(bytes, at, &size) || size > bytes.size() - at) {
        items->clear();
        return false;
      }
      item.bytes.assign(bytes.begin() + at, bytes.begin() + at + size);
      at += size;
      items->push_back(std::move(item));
    }
  } catch (...) {
    items->clear();
    return false;
  }
  // Bytes after the last item: not a container we wrote.
  if (at != bytes.size()) {
    items->clear();
    return false;
  }
  return true;
}

bool ReadClipboardFile(const std::string& path, std::vector<ClipboardItem>* items) {
  std::vector<BYTE> bytes;
  return vel::ReadWholeFile(path.c_str(), bytes, kMaxContainerBytes) && DecodeClipboardItems(bytes, items);
}

int ServeClipboardFile(const std::string& path) {
  std::vector<ClipboardItem> items;
  if (!ReadClipboardFile(path, &items) || !UseSystemClipboard()) {
    ::unlink(path.c_str());
    return 1;
  }
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->setMimeData(MimeFromItems(items));
  // Only now may the program that copied go on: a paste right after the copy
  // must find the new data.
  ::unlink(path.c_str());
  // Another program took the clipboard: nothing of ours is on it any more.
  QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [clipboard] {
    if (!clipboard->ownsClipboard()) QCoreApplication::quit();
  });
  if (!clipboard->ownsClipboard()) return 1;
  return QCoreApplication::exec();
}

}  // namespace vel::shell

using vel::shell::ClipboardItem;

BOOL OpenClipboard(void*) {
  auto& clip = vel::shell::Clip();
  std::lock_guard lock(clip.mu);
  if (clip.open) return FALSE;
  clip.open = true;
  clip.emptied = false;
  clip.pending.clear();
  return TRUE;
}

BOOL CloseClipboard() {
  auto& clip = vel::shell::Clip();
  std::lock_guard lock(clip.mu);
  if (!clip.open) return FALSE;
  BOOL ok = TRUE;
  if (clip.emptied) {
    try {
      ok = vel::shell::Publish(clip.pending) ? TRUE : FALSE;
    } catch (...) {
      ok = FALSE;
    }
  }
  for (HGLOBAL block : clip.blocks) GlobalFree(block);
  clip.blocks.clear();
  clip.pending.clear();
  clip.open = false;
  clip.emptied = false;
  return ok;
}

BOOL EmptyClipboard() {
  auto& clip = vel::shell::Clip();
  std::lock_guard lock(clip.mu);
  if (!clip.open) return FALSE;
  clip.emptied = true;
  clip.pending.clear();
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  auto& clip = vel::shell::Clip();
  std::lock_guard lock(clip.mu);
  HGLOBAL block = static_cast<HGLOBAL>(data);
  if (!clip.open || !clip.emptied || !vel::shell::KnownFormat(format) || !block) return nullptr;
  const BYTE* p = static_cast<const BYTE*>(GlobalLock(block));
  if (!p) return nullptr;
  ClipboardItem item;
  item.format = format;
  try {
    item.bytes.assign(p, p + GlobalSize(block));
  } catch (...) {
    GlobalUnlock(block);
    return nullptr;
  }
  GlobalUnlock(block);
  // A format set twice keeps the later data, as on Windows.
  std::erase_if(clip.pending, [format](const ClipboardItem& i) { return i.format == format; });
  clip.pending.push_back(std::move(item));
  clip.blocks.push_back(block);
  return data;
}

HANDLE GetClipboardData(UINT format) {
  auto& clip = vel::shell::Clip();
  std::lock_guard lock(clip.mu);
  if (!clip.open || !vel::shell::KnownFormat(format)) return nullptr;
  std::vector<BYTE> bytes;
  try {
    if (!vel::shell::Fetch(format, &bytes) || bytes.empty()) return nullptr;
  } catch (...) {
    return nullptr;
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!block) return nullptr;
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  clip.blocks.push_back(block);
  return block;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  try {
    return vel::shell::Available(format) ? TRUE : FALSE;
  } catch (...) {
    return FALSE;
  }
}

// The hand-over commands: print, print all, batch, help, about and the maker's
// web pages.
#include "viewer/handover/HandOver.h"

#include <QIcon>
#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <cstring>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"
#include "siblings/tallow/tallow.h"
#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/handover/CBatchDlg.h"
#include "viewer/handover/PrintHandOver.h"

namespace orvenna {
namespace {

constexpr const char kHelpFile[] = "CONVERTER.hlp";
// The maker's pages know the product they are asked about by this name.
constexpr const char kProductName[] = "Corbanix";
constexpr int kIconSize = 32;

// The library's page calls take a writable text.
struct ProductName {
  ProductName() { std::memcpy(text, kProductName, sizeof text); }
  char text[sizeof kProductName];
};

// The program's icon (the main window's) as an icon handle for the about box;
// null when the window has none.
HICON ProgramIcon(IViewerHost& host) {
  QWidget* window = host.MainWindow();
  const QIcon icon = window ? window->windowIcon() : QIcon();
  if (icon.isNull()) return nullptr;
  const QImage image =
      icon.pixmap(kIconSize, kIconSize).toImage().scaled(kIconSize, kIconSize).convertToFormat(QImage::Format_ARGB32);
  // Colour pixels as 0x00RRGGBB; the AND mask keeps the background where the
  // picture is transparent (rows of 32 bits, one bit a pixel).
  std::array<uint32_t, kIconSize * kIconSize> colour{};
  std::array<uint8_t, kIconSize * kIconSize / 8> mask{};
  for (int y = 0; y < kIconSize; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < kIconSize; ++x) {
      const bool opaque = qAlpha(row[x]) >= 128;
      colour[static_cast<size_t>(y * kIconSize + x)] = opaque ? (row[x] & 0xFFFFFF) : 0;
      if (!opaque) mask[static_cast<size_t>(y * kIconSize + x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
  const vel::gdi::OwnedBitmap colourBitmap(CreateBitmap(kIconSize, kIconSize, 1, 32, colour.data()));
  const vel::gdi::OwnedBitmap maskBitmap(CreateBitmap(kIconSize, kIconSize, 1, 1, mask.data()));
  if (!colourBitmap || !maskBitmap) return nullptr;
  return CreateIconFromBitmaps(colourBitmap.get(), maskBitmap.get(), TRUE, 0, 0);
}

void OnHelpContents() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return;
  const std::string help = folder + (folder.back() == '/' ? "" : "/") + kHelpFile;
  ShellExecuteA(nullptr, "open", help.c_str(), nullptr, nullptr, SW_SHOW);
}

void OnAbout(IViewerHost& host) {
  const vel::gdi::OwnedIcon icon(ProgramIcon(host));
  void* box = CreateAbout(icon.get(), kAppName, nullptr, -1.0f, 0, 0, true);
  DoModal(box);
  ReleaseAbout(box);
}

}  // namespace

void RegisterHandOverCommands(IViewerHost& host) {
  CommandMap& commands = host.Commands();
  auto needsDocument = [&host](CmdUI& ui) { ui.enabled = host.ActiveDocument() != nullptr; };
  commands.On(
      ID_FILE_PRINT, [&host] { PrintActiveDocument(host); }, needsDocument);
  commands.On(
      ID_FILE_PRINT_PREVIEW, [&host] { PrintActiveDocument(host); }, needsDocument);
  commands.On(
      ID_PRINT_ALL, [&host] { PrintAllDocuments(host); },
      [&host](CmdUI& ui) { ui.enabled = !host.Documents().empty(); });
  commands.On(ID_BATCH, [&host] { RunBatchDialog(host); });
  commands.On(ID_HELP_CONTENTS, [] { OnHelpContents(); });
  commands.On(ID_APP_ABOUT, [&host] { OnAbout(host); });
  commands.On(ID_WEB_SITE, [] { CImageInterface::OpenVelmarkPage(); });
  commands.On(ID_WEB_SUPPORT, [] {
    ProductName product;
    CImageInterface::GetSupport(product.text);
  });
  commands.On(ID_WEB_UPDATE, [] {
    ProductName product;
    CImageInterface::GetUpdate(product.text);
  });
}

}  // namespace orvenna

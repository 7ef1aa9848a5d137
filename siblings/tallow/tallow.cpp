#include "siblings/tallow/tallow.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>
#include <mutex>
#include <set>

#include "platform/gdi/owned.h"
#include "platform/ui/ui.h"

namespace {

constexpr int kIconSize = 32;
// The maker's page, the address the image library opens.
constexpr const char* kMakerAddress = "https://velmark.org/";

// Handles are checked against the boxes alive, so a stale one is refused, not used.
std::mutex g_mutex;
std::set<QDialog*>& LiveBoxes() {
  static auto* boxes = new std::set<QDialog*>;
  return *boxes;
}

QDialog* Live(void* handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto* box = static_cast<QDialog*>(handle);
  return LiveBoxes().count(box) ? box : nullptr;
}

// The icon drawn over the dialog's face colour, as a picture Qt can show.
QPixmap IconPixmap(HICON icon) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kIconSize;
  info.bmiHeader.biHeight = -kIconSize;  // top-down, rows in QImage order
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const vel::gdi::OwnedDC dc(CreateCompatibleDC(nullptr));
  const vel::gdi::OwnedBitmap bitmap(dc ? CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                                        : nullptr);
  QPixmap pixmap;
  if (bitmap && bits) {
    const DWORD face = GetSysColor(COLOR_BTNFACE);
    auto* pixels = static_cast<uint32_t*>(bits);
    // COLORREF is 0x00BBGGRR; a 32-bit DIB pixel is 0x00RRGGBB.
    const uint32_t fill = ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF);
    for (int i = 0; i < kIconSize * kIconSize; ++i) pixels[i] = fill;
    const vel::gdi::ScopedSelect select(dc.get(), bitmap.get());
    if (DrawIconEx(dc.get(), 0, 0, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL)) {
      QImage image(kIconSize, kIconSize, QImage::Format_RGB32);
      for (int y = 0; y < kIconSize; ++y) std::memcpy(image.scanLine(y), pixels + y * kIconSize, kIconSize * 4);
      pixmap = QPixmap::fromImage(image);
    }
  }
  return pixmap;
}

QDialog* MakeBox(HICON icon, const char* name, QWidget* parent, float value, long a, long b, bool flag) {
  auto* box = new QDialog(parent);
  const QString program = QString::fromUtf8(name);
  box->setWindowTitle(QStringLiteral("About %1").arg(program));
  auto* layout = new QHBoxLayout(box);
  auto* iconLabel = new QLabel;
  iconLabel->setObjectName(QStringLiteral("aboutIcon"));
  if (icon) iconLabel->setPixmap(IconPixmap(icon));
  layout->addWidget(iconLabel, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout;
  auto* nameLabel = new QLabel(program);
  nameLabel->setObjectName(QStringLiteral("aboutName"));
  QFont bold = nameLabel->font();
  bold.setBold(true);
  nameLabel->setFont(bold);
  column->addWidget(nameLabel);
  if (value > 0) {
    QString version = QStringLiteral("Version %1").arg(static_cast<double>(value), 0, 'f', 2);
    if (a != 0 || b != 0) version += QStringLiteral(" (build %1.%2)").arg(a).arg(b);
    auto* versionLabel = new QLabel(version);
    versionLabel->setObjectName(QStringLiteral("aboutVersion"));
    column->addWidget(versionLabel);
  }
  column->addWidget(new QLabel(QStringLiteral("Velmark image tools")));
  if (flag) {
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(kMakerAddress)));
    link->setObjectName(QStringLiteral("aboutLink"));
    link->setOpenExternalLinks(true);
    column->addWidget(link);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
  column->addWidget(buttons);
  layout->addLayout(column, 1);
  return box;
}

}  // namespace

void* CreateAbout(HICON icon, const char* name, QWidget* parent, float value, long a, long b, bool flag) {
  if (!name) return nullptr;
  vel::ui::EnsureApplication();
  QDialog* box = MakeBox(icon, name, parent, value, a, b, flag);
  // A parent that goes first takes the box with it; the handle dies then too.
  QObject::connect(box, &QObject::destroyed, [box] {
    std::lock_guard<std::mutex> lock(g_mutex);
    LiveBoxes().erase(box);
  });
  std::lock_guard<std::mutex> lock(g_mutex);
  LiveBoxes().insert(box);
  return box;
}

int DoModal(void* handle) {
  QDialog* box = Live(handle);
  if (!box) return -1;
  box->exec();
  return IDOK;  // the box has only an OK button; closing it any way means OK
}

void ReleaseAbout(void* handle) {
  QDialog* box = Live(handle);
  if (!box) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    LiveBoxes().erase(box);
  }
  delete box;
}

namespace tallow {
QWidget* AboutWidget(void* handle) { return Live(handle); }
}  // namespace tallow

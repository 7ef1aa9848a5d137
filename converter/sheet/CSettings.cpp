#include "converter/sheet/CSettings.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "converter/sheet/Pages.h"
#include "lorimer/ImageInterface.h"
#include "converter/sheet/TrayStartup.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"

namespace converter {
namespace {
constexpr const char* kHelpFile = "CONVERTER.hlp";
constexpr const char* kSaveFailed = "The settings could not be saved.";
}  // namespace

CSettings::CSettings(QWidget* parent, bool aboutPage) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kTitle));
  setObjectName(QStringLiteral("CSettings"));
  settings_.Load();

  pages_ = {new CColorDepthPage, new CInetFormatesPage,
            new COptionsPage,    new CRenamePage,
            new CSizePage,       new CThumbnailPage,
            new CTIFFPage,       new CSettingsAbout(&CImageInterface::OpenVelmarkPage),
            new CCropPage,       new CBriAndContrastPage};
  tabs_ = new QTabWidget;
  tabs_->setObjectName(QStringLiteral("pages"));
  tabs_->setUsesScrollButtons(true);
  for (CSheetPage* page : pages_) {
    page->Load(settings_);
    page->SetOnModified([this] { apply_->setEnabled(true); });
    tabs_->addTab(page, page->Title());
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  cancel_ = buttons->button(QDialogButtonBox::Cancel);
  apply_ = buttons->button(QDialogButtonBox::Apply);
  ok_->setObjectName(QStringLiteral("ok"));
  cancel_->setObjectName(QStringLiteral("cancel"));
  apply_->setObjectName(QStringLiteral("apply"));
  apply_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSettings::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);

  const int stored = settings_.pageNumber;
  current_ = aboutPage ? kAboutPage : (stored >= 0 && stored < kPageCount ? stored : 0);
  tabs_->setCurrentIndex(current_);
  visited_[current_] = true;
  RecordActivePage(current_);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { PageActivated(index); });
}

CSettings::~CSettings() = default;

void CSettings::SetTrayCloser(std::function<void()> closer) { trayCloser_ = std::move(closer); }

int CSettings::ActivePage() const { return current_; }

CSheetPage* CSettings::Page(int index) const {
  return index >= 0 && index < kPageCount ? pages_[static_cast<size_t>(index)] : nullptr;
}

bool CSettings::SetActivePage(int index) {
  if (index < 0 || index >= kPageCount) return false;
  tabs_->setCurrentIndex(index);
  return current_ == index;
}

void CSettings::ShowAboutPage() { SetActivePage(kAboutPage); }

// A page is left only when its controls hold what the settings can take; the
// page that refuses stays on show.
void CSettings::PageActivated(int index) {
  if (switching_ || index == current_ || index < 0 || index >= kPageCount) return;
  ConverterSettings check = settings_;
  if (!pages_[static_cast<size_t>(current_)]->Store(check)) {
    switching_ = true;
    tabs_->setCurrentIndex(current_);
    switching_ = false;
    return;
  }
  current_ = index;
  visited_[static_cast<size_t>(index)] = true;
  RecordActivePage(index);
}

void CSettings::RecordActivePage(int index) {
  HKEY created = nullptr;
  const std::string section = std::string(kSettingsKey) + "\\" + kOptionsSection;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, section.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr) !=
      ERROR_SUCCESS)
    return;
  const vel::OwnedKey key(created);
  const DWORD value = static_cast<DWORD>(index);
  RegSetValueExA(key.get(), kActivePageValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool CSettings::Apply() {
  // The page on show first, so that its complaint comes before any other.
  ConverterSettings next = settings_;
  if (!pages_[static_cast<size_t>(current_)]->Store(next)) return false;
  for (int i = 0; i < kPageCount; ++i) {
    if (i == current_ || !visited_[static_cast<size_t>(i)]) continue;
    if (!pages_[static_cast<size_t>(i)]->Store(next)) {
      SetActivePage(i);
      return false;
    }
  }
  next.pageNumber = current_;
  settings_ = next;
  if (!settings_.Save()) {
    vel::ui::MessageBox(kMessageTitle, kSaveFailed, MB_OK | MB_ICONERROR);
    return false;
  }
  if (visited_[kOptionsPage]) MaintainTray(settings_.optShowPennock != 0, trayCloser_);
  apply_->setEnabled(false);
  return true;
}

void CSettings::accept() {
  if (Apply()) QDialog::accept();
}

std::string CSettings::HelpFilePath() { return ModuleDirectory() + "/" + kHelpFile; }

void CSettings::ShowHelp() {
  const std::string path = HelpFilePath();
  ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CSettings::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    ShowHelp();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace converter

#include "converter/sheet/FolderButton.h"

#include "converter/sheet/SheetPage.h"
#include "platform/ui/ui.h"
#include "siblings/corwen/CAdvBrovserDlg.h"

namespace converter {

CFolderButton::CFolderButton(const char* objectName) {
  setObjectName(QString::fromLatin1(objectName));
  setText(QString::fromLatin1(kBrowseCaption));
  connect(this, &QPushButton::clicked, this, [this] { BrowseForFolder(); });
}

void CFolderButton::SetFolder(const std::string& folder) {
  folder_ = folder;
  setText(folder.empty() ? QString::fromLatin1(kBrowseCaption) : ToQ(folder));
  setToolTip(folder.empty() ? QString() : ToQ(folder));
}

void CFolderButton::BrowseForFolder() {
  // The browser has no parent: it is a window of its own, as the converter has
  // always opened it.
  CAdvBrovserDlg browser(nullptr);
  browser.m_strPath = folder_;
  if (browser.DoModal() != IDOK || browser.m_strPath == folder_) return;
  SetFolder(browser.m_strPath);
  if (changed_) changed_();
}

}  // namespace converter

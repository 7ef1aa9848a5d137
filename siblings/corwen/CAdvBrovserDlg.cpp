#include "siblings/corwen/CAdvBrovserDlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <sys/stat.h>

#include "platform/ui/ui.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "/a/b/" and "/a/./b" name "/a/b"; the root stays "/".
std::string Clean(const std::string& path) {
  return QDir::cleanPath(QString::fromLocal8Bit(path.c_str())).toLocal8Bit().toStdString();
}

}  // namespace

CAdvBrovserDlg::CAdvBrovserDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Browse for Folder"));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("Folder:")));
  path_ = new QLineEdit;
  path_->setObjectName(QStringLiteral("folderPath"));
  top->addWidget(path_, 1);
  up_ = new QPushButton(QStringLiteral("Up"));
  up_->setObjectName(QStringLiteral("folderUp"));
  top->addWidget(up_);
  layout->addLayout(top);
  list_ = new QListWidget;
  list_->setObjectName(QStringLiteral("folderList"));
  layout->addWidget(list_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setObjectName(QStringLiteral("ok"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
  layout->addWidget(buttons);
  resize(420, 360);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(up_, &QPushButton::clicked, this, [this] {
    const size_t slash = current_.find_last_of('/');
    if (slash != std::string::npos) Browse(slash == 0 ? "/" : current_.substr(0, slash));
  });
  connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { Enter(list_->row(item)); });
  connect(path_, &QLineEdit::textEdited, this, [this] { EditChanged(); });
}

int CAdvBrovserDlg::DoModal() {
  if (!Browse(m_strPath) && !Browse(QDir::homePath().toLocal8Bit().toStdString())) Browse("/");
  if (exec() != QDialog::Accepted) return IDCANCEL;
  m_strPath = CurrentFolder();
  return IDOK;
}

bool CAdvBrovserDlg::Browse(const std::string& folder) {
  if (!IsFolder(folder)) return false;
  current_ = Clean(folder);
  path_->setText(QString::fromLocal8Bit(current_.c_str()));
  Refresh();
  return true;
}

std::string CAdvBrovserDlg::CurrentFolder() const { return current_; }

void CAdvBrovserDlg::Refresh() {
  m_arrFolders.RemoveAll();
  list_->clear();
  const QDir dir(QString::fromLocal8Bit(current_.c_str()));
  // Unreadable folders list nothing; the user can still choose them or go up.
  for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
    m_arrFolders.Add(name.toLocal8Bit().toStdString());
    list_->addItem(name);
  }
  up_->setEnabled(current_ != "/");
  ok_->setEnabled(true);
}

// A typed path takes effect as soon as it names a folder; until then OK waits.
void CAdvBrovserDlg::EditChanged() {
  const std::string typed = path_->text().toLocal8Bit().toStdString();
  if (IsFolder(typed)) {
    current_ = Clean(typed);
    const int cursor = path_->cursorPosition();
    Refresh();
    path_->setCursorPosition(cursor);
  } else {
    ok_->setEnabled(false);
  }
}

void CAdvBrovserDlg::Enter(int row) {
  if (row < 0 || row >= m_arrFolders.GetSize()) return;
  Browse(current_ == "/" ? "/" + m_arrFolders.GetAt(row) : current_ + "/" + m_arrFolders.GetAt(row));
}

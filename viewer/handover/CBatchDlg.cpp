#include "viewer/handover/CBatchDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "lorimer/ImageInterface.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "siblings/ardent/COpenImageDlg.h"
#include "siblings/corwen/CAdvBrovserDlg.h"
#include "viewer/core/Host.h"
#include "viewer/handover/PrintHandOver.h"

namespace orvenna {
namespace {

constexpr const char kDialogTitle[] = "Batch Convertion Manager";
constexpr const char kConverterExe[] = "Converter.exe";
constexpr const char kListPrefix[] = "icp";
constexpr const char kRecycled[] = "recycled";
constexpr unsigned long kAddImageFlags = 0x101A84;
constexpr const char kAddImageProgram[] = "Corbanix";
constexpr int kFolderRole = Qt::UserRole;

QString FromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

// The extensions an entry of the "from:" list names: "*.tif, *.tiff" gives
// ".tif" and ".tiff".
std::vector<std::string> FilterExtensions(const char* text) {
  std::vector<std::string> extensions;
  std::string entry = text;
  size_t pos = 0;
  while ((pos = entry.find("*.", pos)) != std::string::npos) {
    size_t end = entry.find_first_of(", )", pos + 1);
    std::string extension = entry.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    if (extension != ".*") extensions.push_back(extension);
    pos = pos + 2;
  }
  return extensions;
}

bool IsFolderItem(const QTreeWidgetItem* item) { return item->data(0, kFolderRole).toBool(); }

}  // namespace

const std::vector<const char*>& SourceFilterTexts() {
  static const std::vector<const char*> texts = {"*.jpg, *.jpe, *.jfif, *.jpeg",
                                                 "*.tif, *.tiff",
                                                 "*.gif",
                                                 "*.bmp, *.rle, *.dib",
                                                 "*.pcx, *.dcx",
                                                 "*.eps, *.epsf",
                                                 "*.tga, *.targa",
                                                 "*.dxf",
                                                 "*.png",
                                                 "*.fpx",
                                                 "*.wmf",
                                                 "*.emf",
                                                 "*.img",
                                                 "*.wpg",
                                                 "*.pcd",
                                                 "*.fmf",
                                                 "All files (*.*)"};
  return texts;
}

const std::vector<const char*>& TargetTypeTexts() {
  static const std::vector<const char*> texts = {"JPG", "TIF", "GIF", "BMP", "PCX", "DCX",
                                                 "EPS", "TGA", "PNG", "EMF", "WMF", "FMF"};
  return texts;
}

bool MatchesSourceFilter(int index, const std::string& fileName) {
  const auto& texts = SourceFilterTexts();
  if (index < 0 || index >= static_cast<int>(texts.size())) return false;
  if (index == static_cast<int>(texts.size()) - 1) return true;
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = Lower(fileName.substr(dot));
  for (const std::string& wanted : FilterExtensions(texts[static_cast<size_t>(index)]))
    if (extension == wanted) return true;
  return false;
}

CBatchDlg::CBatchDlg(int srcExtNumber, int destFormatNumber, QWidget* parent)
    : QDialog(parent), m_nBatchSrcExtNumber(srcExtNumber), m_nBatchDestFormatNumber(destFormatNumber) {
  setWindowTitle(QString::fromLatin1(kDialogTitle));
  setObjectName(QStringLiteral("batchDialog"));

  tree_ = new QTreeWidget;
  tree_->setObjectName(QStringLiteral("batchTree"));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setMinimumSize(380, 220);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->header()->setStretchLastSection(true);
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });

  auto* buttons = new QVBoxLayout;
  QToolButton* addFolder = SmallButton("folder-new", "Add new folder", "addFolder");
  QToolButton* addImage = SmallButton("list-add", "Add new image", "addImage");
  remove_ = SmallButton("list-remove", "Remove item from list", "removeItem");
  up_ = SmallButton("go-up", "Move image top", "moveUp");
  down_ = SmallButton("go-down", "Move image down", "moveDown");
  for (QToolButton* button : {addFolder, addImage, remove_, up_, down_}) buttons->addWidget(button);
  buttons->addStretch();
  connect(addFolder, &QToolButton::clicked, this, [this] { OnAddFolder(); });
  connect(addImage, &QToolButton::clicked, this, [this] { OnAddImage(); });
  connect(remove_, &QToolButton::clicked, this, [this] { OnRemove(); });
  connect(up_, &QToolButton::clicked, this, [this] { OnMove(-1); });
  connect(down_, &QToolButton::clicked, this, [this] { OnMove(1); });

  auto* top = new QHBoxLayout;
  top->addWidget(tree_, 1);
  top->addLayout(buttons);

  from_ = new QComboBox;
  from_->setObjectName(QStringLiteral("fromList"));
  for (const char* text : SourceFilterTexts()) from_->addItem(QString::fromLatin1(text));
  from_->setCurrentIndex(std::clamp(m_nBatchSrcExtNumber, 0, from_->count() - 1));
  to_ = new QComboBox;
  to_->setObjectName(QStringLiteral("toList"));
  for (const char* text : TargetTypeTexts()) to_->addItem(QString::fromLatin1(text));
  to_->setCurrentIndex(std::clamp(m_nBatchDestFormatNumber, 0, to_->count() - 1));

  auto* settings = new QPushButton(QStringLiteral("Settings..."));
  settings->setObjectName(QStringLiteral("settingsButton"));
  settings->setAutoDefault(false);
  connect(settings, &QPushButton::clicked, this, [this] { OnSettings(); });

  auto* lists = new QGridLayout;
  auto* fromLabel = new QLabel(QStringLiteral("from:"));
  fromLabel->setBuddy(from_);
  auto* toLabel = new QLabel(QStringLiteral("to:"));
  toLabel->setBuddy(to_);
  lists->addWidget(fromLabel, 0, 0);
  lists->addWidget(from_, 0, 1);
  lists->addWidget(toLabel, 1, 0);
  lists->addWidget(to_, 1, 1);
  lists->setColumnStretch(1, 1);

  auto* start = new QPushButton(QStringLiteral("Start"));
  start->setObjectName(QStringLiteral("startButton"));
  start->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setAutoDefault(false);
  connect(start, &QPushButton::clicked, this, [this] { OnStart(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(settings);
  bottom->addStretch();
  bottom->addWidget(start);
  bottom->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(lists);
  layout->addSpacing(4);
  layout->addLayout(bottom);
  UpdateButtons();
}

int CBatchDlg::DoModal() { return exec() == QDialog::Accepted ? IDOK : IDCANCEL; }

QToolButton* CBatchDlg::SmallButton(const char* icon, const char* tip, const char* name) {
  auto* button = new QToolButton;
  button->setObjectName(QString::fromLatin1(name));
  button->setIcon(QIcon::fromTheme(QString::fromLatin1(icon)));
  button->setToolTip(QString::fromLatin1(tip));
  button->setAutoRaise(false);
  return button;
}

QTreeWidgetItem* CBatchDlg::NewEntry(QTreeWidgetItem* parent, const std::string& name, bool folder) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, FromPath(name));
  item->setIcon(0, QIcon::fromTheme(folder ? QStringLiteral("folder") : QStringLiteral("image-x-generic")));
  item->setData(0, kFolderRole, folder);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Checked);
  return item;
}

QTreeWidgetItem* CBatchDlg::AddImage(const std::string& path) {
  if (path.empty()) return nullptr;
  QTreeWidgetItem* item = NewEntry(nullptr, path, false);
  tree_->setCurrentItem(item);
  return item;
}

QTreeWidgetItem* CBatchDlg::AddFolder(const std::string& path) {
  if (path.empty()) return nullptr;
  QTreeWidgetItem* item = NewEntry(nullptr, path, true);
  tree_->setCurrentItem(item);
  lastFolder_ = path;
  return item;
}

std::string CBatchDlg::ItemPath(const QTreeWidgetItem* item) {
  std::string path;
  for (; item; item = item->parent()) {
    std::string name = ToPath(item->text(0));
    if (path.empty())
      path = name;
    else
      path = (!name.empty() && name.back() == '/' ? name : name + "/") + path;
  }
  return path;
}

void CBatchDlg::OnAddImage() {
  COpenImageDlg dlg(1, nullptr, nullptr, kAddImageFlags, CImageInterface::GetOpenAllFilesFilter(), nullptr,
                    kAddImageProgram);
  if (dlg.DoModal() != IDOK) return;
  for (POSITION pos = dlg.GetStartPosition(); pos;) AddImage(dlg.GetNextPathName(pos));
}

void CBatchDlg::OnAddFolder() {
  CAdvBrovserDlg browser(nullptr);
  browser.m_strPath = lastFolder_;
  if (browser.DoModal() != IDOK) return;
  AddFolder(browser.m_strPath);
}

void CBatchDlg::OnRemove() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!item) return;
  // The next entry takes the selection, else the one before, else the folder above.
  QTreeWidgetItem* parent = item->parent();
  const int index = parent ? parent->indexOfChild(item) : tree_->indexOfTopLevelItem(item);
  const int count = parent ? parent->childCount() : tree_->topLevelItemCount();
  auto sibling = [&](int i) { return parent ? parent->child(i) : tree_->topLevelItem(i); };
  QTreeWidgetItem* next = index + 1 < count ? sibling(index + 1) : index > 0 ? sibling(index - 1) : parent;
  delete item;
  tree_->setCurrentItem(next);
  UpdateButtons();
}

void CBatchDlg::OnMove(int step) {
  QTreeWidgetItem* item = tree_->currentItem();
  if (!item) return;
  QTreeWidgetItem* parent = item->parent();
  const int index = parent ? parent->indexOfChild(item) : tree_->indexOfTopLevelItem(item);
  const int count = parent ? parent->childCount() : tree_->topLevelItemCount();
  const int target = index + step;
  if (target < 0 || target >= count) return;
  const bool expanded = item->isExpanded();
  if (parent) {
    parent->takeChild(index);
    parent->insertChild(target, item);
  } else {
    tree_->takeTopLevelItem(index);
    tree_->insertTopLevelItem(target, item);
  }
  item->setExpanded(expanded);
  tree_->setCurrentItem(item);
  UpdateButtons();
}

void CBatchDlg::UpdateButtons() {
  QTreeWidgetItem* item = tree_->currentItem();
  QTreeWidgetItem* parent = item ? item->parent() : nullptr;
  const int index = !item ? -1 : parent ? parent->indexOfChild(item) : tree_->indexOfTopLevelItem(item);
  const int count = parent ? parent->childCount() : tree_->topLevelItemCount();
  remove_->setEnabled(item != nullptr);
  up_->setEnabled(item && index > 0);
  down_->setEnabled(item && index + 1 < count);
}

void CBatchDlg::OnSettings() {
  const std::string converter = FindAppPath(kConverterExe);
  if (!converter.empty()) ShellExecuteA(nullptr, "open", converter.c_str(), nullptr, nullptr, SW_SHOW);
}

// Lists the folder below its entry, subfolders again expanded. A folder reached a
// second time (through a link) is not walked again, so a link loop ends.
void CBatchDlg::ExpandFolder(QTreeWidgetItem* item, std::set<std::string>& seen) {
  const QString folder = FromPath(ItemPath(item));
  const std::string canonical = ToPath(QFileInfo(folder).canonicalFilePath());
  if (canonical.empty() || !seen.insert(canonical).second) return;
  qDeleteAll(item->takeChildren());
  const QDir dir(folder);
  const QFileInfoList entries =
      dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name | QDir::DirsFirst);
  for (const QFileInfo& entry : entries) {
    const std::string name = ToPath(entry.fileName());
    if (Lower(name) == kRecycled) continue;
    QTreeWidgetItem* child = NewEntry(item, name, entry.isDir());
    if (entry.isDir()) ExpandFolder(child, seen);
  }
}

void CBatchDlg::CollectFiles(QTreeWidgetItem* item, bool topLevel, std::vector<std::string>& out,
                             std::set<std::string>& written) {
  if (item->checkState(0) != Qt::Checked) return;
  if (IsFolderItem(item)) {
    for (int i = 0; i < item->childCount(); ++i) CollectFiles(item->child(i), false, out, written);
    return;
  }
  const std::string path = ItemPath(item);
  if (!topLevel && !MatchesSourceFilter(m_nBatchSrcExtNumber, ToPath(item->text(0)))) return;
  if (written.insert(path).second) out.push_back(path);
}

void CBatchDlg::OnStart() {
  m_nBatchSrcExtNumber = from_->currentIndex();
  m_nBatchDestFormatNumber = to_->currentIndex();
  listFile_.clear();
  if (tree_->topLevelItemCount() == 0) {
    accept();
    return;
  }

  std::vector<std::string> files;
  {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    std::set<std::string> seen, written;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = tree_->topLevelItem(i);
      if (IsFolderItem(item) && item->checkState(0) == Qt::Checked) ExpandFolder(item, seen);
      CollectFiles(item, true, files, written);
    }
    QGuiApplication::restoreOverrideCursor();
  }

  const std::string name = NewTempFile(kListPrefix);
  FILE* list = name.empty() ? nullptr : std::fopen(name.c_str(), "w+");
  if (!list) {
    accept();
    return;
  }
  std::fprintf(list, "%s\n", to_->currentText().toLatin1().constData());
  for (const std::string& file : files) std::fprintf(list, "%s\n", file.c_str());
  std::fclose(list);
  listFile_ = name;

  const std::string converter = FindAppPath(kConverterExe);
  const std::string params = "\"" + listFile_ + "\" /BAT";
  if (!converter.empty()) ShellExecuteA(nullptr, "open", converter.c_str(), params.c_str(), nullptr, SW_SHOW);
  accept();
}

void RunBatchDialog(IViewerHost& host) {
  CViewerSettings& settings = host.Settings();
  CBatchDlg dlg(settings.m_nBatchSrcExtNumber, settings.m_nBatchDestFormatNumber, host.MainWindow());
  if (dlg.DoModal() != IDOK) return;
  settings.m_nBatchSrcExtNumber = dlg.m_nBatchSrcExtNumber;
  settings.m_nBatchDestFormatNumber = dlg.m_nBatchDestFormatNumber;
}

}  // namespace orvenna

#include "siblings/ardent/COpenImageDlg.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <QStyle>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"
#include "platform/registry/owned_key.h"
#include "platform/ui/bitmap_image.h"
#include "platform/ui/ui.h"
#include "platform/ui/file_dialog_text.h"

namespace {

constexpr char kTitle[] = "Open";
constexpr char kFolderValue[] = "OpenFolder";
constexpr int kPreviewSide = 200;
// A remembered folder longer than this is not a folder anyone typed.
constexpr DWORD kMaxFolderBytes = 16384;

QString Q(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
std::string S(const QString& s) { return s.toLocal8Bit().toStdString(); }
std::string Clean(const std::string& path) { return S(QDir::cleanPath(Q(path))); }

std::string ProgramKey(const std::string& programName) { return "Software\\Velmark\\" + programName; }

std::string ReadRememberedFolder(const std::string& programName) {
  if (programName.empty()) return {};
  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ProgramKey(programName).c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return {};
  const vel::OwnedKey key(raw);
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(raw, kFolderValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
      size == 0 || size > kMaxFolderBytes)
    return {};
  std::string folder(size, '\0');
  if (RegQueryValueExA(raw, kFolderValue, nullptr, &type, reinterpret_cast<BYTE*>(folder.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  folder.resize(std::min<size_t>(size, folder.size()));
  while (!folder.empty() && folder.back() == '\0') folder.pop_back();
  return folder;
}

void RememberFolder(const std::string& programName, const std::string& folder) {
  if (programName.empty() || folder.empty()) return;
  HKEY raw = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, ProgramKey(programName).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
    return;
  const vel::OwnedKey key(raw);
  RegSetValueExA(raw, kFolderValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
}

// The names typed into the name field: several in double quotes, or one as typed.
std::vector<std::string> ParseTypedNames(const QString& text) {
  std::vector<std::string> names;
  if (text.contains('"')) {
    const QStringList parts = text.split('"');
    for (int i = 1; i < parts.size(); i += 2)
      if (!parts[i].trimmed().isEmpty()) names.push_back(S(parts[i]));
  } else if (!text.trimmed().isEmpty()) {
    names.push_back(S(text.trimmed()));
  }
  return names;
}

QString NamesText(const std::vector<std::string>& names) {
  if (names.size() == 1) return Q(names[0]);
  QStringList quoted;
  for (const auto& n : names) quoted << '"' + Q(n) + '"';
  return quoted.join(' ');
}

bool HasExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

// ---- preview ------------------------------------------------------------------------

struct Preview {
  QImage picture;
  QString info;
};

Preview MakePreview(const std::string& path, int side) {
  Preview preview;
  CImageInterface image;
  if (!image.Load(path.c_str(), 0) || !image.IsLoaded()) {
    preview.info = QStringLiteral("No preview");
    return preview;
  }
  // A picture smaller than the pane is shown at its own size, not blown up.
  const int fitWidth = std::clamp(image.GetWidth(0), 1, side), fitHeight = std::clamp(image.GetHeight(0), 1, side);
  int width = 0, height = 0;
  const vel::gdi::OwnedBitmap thumb(
      image.CreateThumbnailHBITMAPEx(fitWidth, fitHeight, QUALITY_HIGH, 0, 0xFFFFFF, 0, 24, &width, &height, 0));
  preview.picture = vel::ui::ImageFromBitmap(thumb.get());
  preview.info = QStringLiteral("%1 x %2").arg(image.GetWidth(0)).arg(image.GetHeight(0));
  if (image.IsVectorImage())
    preview.info += QStringLiteral("\nDrawing");
  else
    preview.info += QStringLiteral("\n%1 bits per pixel").arg(image.GetColorDepth());
  if (image.GetPageCount() > 1) preview.info += QStringLiteral(", %1 pages").arg(image.GetPageCount());
  return preview;
}

// Loads previews on a thread of its own so a large picture never stalls the dialog.
// Only the newest request counts; the answer goes to `deliver` on the worker thread.
class PreviewLoader {
 public:
  using Deliver = std::function<void(std::uint64_t id, Preview preview)>;
  explicit PreviewLoader(Deliver deliver) : deliver_(std::move(deliver)), thread_([this] { Run(); }) {}
  ~PreviewLoader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  void Request(std::uint64_t id, const std::string& path, int side) {
    {
      std::lock_guard lock(mutex_);
      id_ = id;
      path_ = path;
      side_ = side;
      pending_ = true;
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    for (;;) {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return pending_ || stop_; });
      if (stop_) return;
      pending_ = false;
      const std::uint64_t id = id_;
      const std::string path = path_;
      const int side = side_;
      lock.unlock();
      deliver_(id, MakePreview(path, side));
    }
  }

  Deliver deliver_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool pending_ = false;
  bool stop_ = false;
  std::uint64_t id_ = 0;
  std::string path_;
  int side_ = 0;
  std::thread thread_;  // last: it starts once everything above exists
};

class PreviewPane : public QWidget {
 public:
  PreviewPane() {
    setObjectName(QStringLiteral("preview"));
    setMinimumSize(kPreviewSide, kPreviewSide);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }
  void SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
  }
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (picture_.isNull()) return;
    const QSize room = rect().adjusted(4, 4, -4, -4).size();
    const QSize shown = picture_.size().boundedTo(room * devicePixelRatioF()).scaled(room, Qt::KeepAspectRatio);
    const QSize size = picture_.width() <= room.width() && picture_.height() <= room.height() ? picture_.size() : shown;
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, picture_);
  }

 private:
  QImage picture_;
};

}  // namespace

struct COpenImageDlg::Impl {
  COpenImageDlg* dlg = nullptr;
  unsigned long flags = 0;
  std::string programName;
  std::string defaultExtension;
  std::vector<vel::ui::FilterEntry> filters;
  std::string folder;
  std::vector<std::string> chosen;  // the names picked, relative to the folder or full
  bool syncing = false;             // the view is being set from `chosen`

  QFileSystemModel* model = nullptr;
  QTreeView* view = nullptr;
  QLineEdit* folderEdit = nullptr;
  QToolButton* up = nullptr;
  QLineEdit* nameEdit = nullptr;
  QComboBox* types = nullptr;
  PreviewPane* pane = nullptr;
  QLabel* info = nullptr;
  std::uint64_t previewId = 0;
  std::unique_ptr<PreviewLoader> loader;

  bool Multi() const { return (flags & OFN_ALLOWMULTISELECT) != 0; }
  void Build();
  void ApplyFilter(int index);
  void SelectionChanged();
  void RequestPreview(const std::string& path);
  void ShowPreview(std::uint64_t id, const Preview& preview);
  void Activated(const QModelIndex& index);
};

void COpenImageDlg::Impl::Build() {
  auto* layout = new QVBoxLayout(dlg);

  auto* top = new QHBoxLayout;
  auto* lookIn = new QLabel(QStringLiteral("Look &in:"));
  folderEdit = new QLineEdit;
  folderEdit->setObjectName(QStringLiteral("folderPath"));
  lookIn->setBuddy(folderEdit);
  up = new QToolButton;
  up->setObjectName(QStringLiteral("folderUp"));
  up->setIcon(QIcon::fromTheme(QStringLiteral("go-up"), dlg->style()->standardIcon(QStyle::SP_FileDialogToParent)));
  up->setToolTip(QStringLiteral("Up one level"));
  auto* home = new QToolButton;
  home->setIcon(QIcon::fromTheme(QStringLiteral("go-home"), dlg->style()->standardIcon(QStyle::SP_DirHomeIcon)));
  home->setToolTip(QStringLiteral("Home folder"));
  top->addWidget(lookIn);
  top->addWidget(folderEdit, 1);
  top->addWidget(up);
  top->addWidget(home);
  layout->addLayout(top);

  model = new QFileSystemModel(dlg);
  model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  model->setNameFilterDisables(false);
  view = new QTreeView;
  view->setObjectName(QStringLiteral("files"));
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setSortingEnabled(true);
  view->sortByColumn(0, Qt::AscendingOrder);
  view->setSelectionMode(Multi() ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  view->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  view->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
  view->header()->setStretchLastSection(false);
  view->setColumnHidden(2, true);  // the type column only repeats the extension

  auto* previewBox = new QGroupBox(QStringLiteral("Preview"));
  auto* previewLayout = new QVBoxLayout(previewBox);
  pane = new PreviewPane;
  info = new QLabel;
  info->setObjectName(QStringLiteral("previewInfo"));
  info->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  info->setMinimumHeight(info->fontMetrics().lineSpacing() * 2);
  previewLayout->addWidget(pane, 1);
  previewLayout->addWidget(info);

  auto* split = new QSplitter;
  split->addWidget(view);
  split->addWidget(previewBox);
  split->setStretchFactor(0, 1);
  split->setCollapsible(0, false);
  layout->addWidget(split, 1);

  auto* bottom = new QGridLayout;
  auto* nameLabel = new QLabel(QStringLiteral("File &name:"));
  nameEdit = new QLineEdit;
  nameEdit->setObjectName(QStringLiteral("fileName"));
  nameLabel->setBuddy(nameEdit);
  auto* typeLabel = new QLabel(QStringLiteral("Files of &type:"));
  types = new QComboBox;
  types->setObjectName(QStringLiteral("fileTypes"));
  types->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  types->setMinimumContentsLength(24);
  typeLabel->setBuddy(types);
  auto* open = new QPushButton(QIcon::fromTheme(QStringLiteral("document-open")), QStringLiteral("&Open"));
  open->setObjectName(QStringLiteral("ok"));
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("cancel"));
  // Enter in the folder field moves the folder; only the name field's Enter opens.
  open->setAutoDefault(false);
  cancel->setAutoDefault(false);
  bottom->addWidget(nameLabel, 0, 0);
  bottom->addWidget(nameEdit, 0, 1);
  bottom->addWidget(open, 0, 2);
  bottom->addWidget(typeLabel, 1, 0);
  bottom->addWidget(types, 1, 1);
  bottom->addWidget(cancel, 1, 2);
  bottom->setColumnStretch(1, 1);
  layout->addLayout(bottom);

  for (const auto& f : filters) types->addItem(Q(f.text));
  if (filters.empty()) types->addItem(QStringLiteral("All Files"));

  QObject::connect(types, &QComboBox::currentIndexChanged, dlg, [this](int i) { ApplyFilter(i); });
  QObject::connect(folderEdit, &QLineEdit::returnPressed, dlg, [this] { dlg->SetFolder(S(folderEdit->text())); });
  QObject::connect(up, &QToolButton::clicked, dlg, [this] { dlg->SetFolder(vel::ui::FolderOf(folder)); });
  QObject::connect(home, &QToolButton::clicked, dlg, [this] { dlg->SetFolder(S(QDir::homePath())); });
  QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, dlg, [this] { SelectionChanged(); });
  QObject::connect(view, &QTreeView::activated, dlg, [this](const QModelIndex& i) { Activated(i); });
  QObject::connect(nameEdit, &QLineEdit::textEdited, dlg, [this](const QString& t) { chosen = ParseTypedNames(t); });
  QObject::connect(nameEdit, &QLineEdit::returnPressed, dlg, [this] { dlg->Accept(); });
  QObject::connect(open, &QPushButton::clicked, dlg, [this] { dlg->Accept(); });
  QObject::connect(cancel, &QPushButton::clicked, dlg, &QDialog::reject);
  ApplyFilter(0);
}

void COpenImageDlg::Impl::ApplyFilter(int index) {
  QStringList patterns;
  if (index >= 0 && index < static_cast<int>(filters.size()))
    for (const auto& p : filters[static_cast<size_t>(index)].patterns) patterns << Q(p);
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  model->setNameFilters(patterns);
}

void COpenImageDlg::Impl::SelectionChanged() {
  if (syncing) return;
  std::vector<std::string> names;
  for (const QModelIndex& row : view->selectionModel()->selectedRows())
    if (!model->isDir(row)) names.push_back(S(model->fileName(row)));
  if (names.empty()) return;  // a folder: the typed name stays
  chosen = names;
  nameEdit->setText(NamesText(names));
  const QModelIndex current = view->currentIndex();
  RequestPreview(current.isValid() && !model->isDir(current) ? S(model->filePath(current))
                                                             : vel::ui::JoinPath(folder, names.back()));
}

void COpenImageDlg::Impl::RequestPreview(const std::string& path) {
  ++previewId;
  pane->SetPicture({});
  if (!vel::ui::IsFile(path)) {
    info->clear();
    return;
  }
  info->setText(QStringLiteral("Loading..."));
  if (!loader) {
    // The answer crosses to the window thread; the pane as context drops it once
    // the dialog is gone.
    PreviewPane* context = pane;
    loader = std::make_unique<PreviewLoader>([this, context](std::uint64_t id, Preview preview) {
      QMetaObject::invokeMethod(
          context, [this, id, preview = std::move(preview)] { ShowPreview(id, preview); }, Qt::QueuedConnection);
    });
  }
  loader->Request(previewId, path, static_cast<int>(kPreviewSide * pane->devicePixelRatioF()));
}

void COpenImageDlg::Impl::ShowPreview(std::uint64_t id, const Preview& preview) {
  if (id != previewId) return;  // the user has moved on
  pane->SetPicture(preview.picture);
  info->setText(preview.info);
}

void COpenImageDlg::Impl::Activated(const QModelIndex& index) {
  if (model->isDir(index)) {
    dlg->SetFolder(S(model->filePath(index)));
    return;
  }
  dlg->Accept();
}

// ---- the dialog ---------------------------------------------------------------------

COpenImageDlg::COpenImageDlg(int, const char* defaultExtension, const char* fileName, unsigned long flags,
                             const char* filter, QWidget* parent, const std::string& programName)
    : QDialog(parent), d_(new Impl) {
  d_->dlg = this;
  d_->flags = flags;
  d_->programName = programName;
  d_->defaultExtension = defaultExtension ? defaultExtension : "";
  while (!d_->defaultExtension.empty() && d_->defaultExtension.front() == '.') d_->defaultExtension.erase(0, 1);
  d_->filters = vel::ui::ParseFilter(filter);
  setWindowTitle(QString::fromLatin1(kTitle));
  d_->Build();
  resize(780, 480);

  // A given name starts in its own folder; otherwise the folder used last time.
  const std::string given = fileName ? fileName : "";
  std::string start = vel::ui::FolderOf(given);
  if (!vel::ui::IsFolder(start)) start = ReadRememberedFolder(programName);
  if (!vel::ui::IsFolder(start)) start = S(QDir::currentPath());
  SetFolder(start);
  if (!given.empty() && given.back() != '/') {
    const size_t slash = given.find_last_of('/');
    d_->chosen = {slash == std::string::npos ? given : given.substr(slash + 1)};
    d_->nameEdit->setText(Q(d_->chosen[0]));
  }
}

COpenImageDlg::~COpenImageDlg() { delete d_; }

int COpenImageDlg::DoModal() {
  d_->nameEdit->setFocus();
  return exec() == QDialog::Accepted && !paths_.empty() ? IDOK : IDCANCEL;
}

POSITION COpenImageDlg::GetStartPosition() const {
  return paths_.empty() ? nullptr : reinterpret_cast<POSITION>(std::uintptr_t{1});
}

std::string COpenImageDlg::GetNextPathName(POSITION& pos) const {
  const auto index = reinterpret_cast<std::uintptr_t>(pos);
  if (index == 0 || index > paths_.size()) {
    pos = nullptr;
    return {};
  }
  pos = index < paths_.size() ? reinterpret_cast<POSITION>(index + 1) : nullptr;
  return paths_[index - 1];
}

void COpenImageDlg::SetFolder(const std::string& folder) {
  if (!vel::ui::IsFolder(folder)) {
    d_->folderEdit->setText(Q(d_->folder));
    return;
  }
  d_->folder = Clean(folder);
  d_->folderEdit->setText(Q(d_->folder));
  d_->view->setRootIndex(d_->model->setRootPath(Q(d_->folder)));
  d_->view->clearSelection();
  d_->up->setEnabled(d_->folder != "/");
  d_->RequestPreview({});
}

void COpenImageDlg::SelectFiles(const std::vector<std::string>& names) {
  d_->chosen = names;
  d_->nameEdit->setText(NamesText(names));
  d_->syncing = true;
  d_->view->clearSelection();
  for (const auto& name : names) {
    const QModelIndex index = d_->model->index(Q(vel::ui::JoinPath(d_->folder, name)));
    if (index.isValid())
      d_->view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  d_->syncing = false;
  d_->RequestPreview(names.empty() ? std::string() : vel::ui::JoinPath(d_->folder, names.back()));
}

bool COpenImageDlg::Accept() {
  const auto& names = d_->chosen;
  if (names.empty()) return false;
  if (names.size() > 1 && !d_->Multi()) {
    vel::ui::MessageBox(kTitle, "Please choose one file only.", MB_OK | MB_ICONWARNING);
    return false;
  }
  std::vector<std::string> paths;
  for (const auto& name : names) {
    std::string path = Clean(vel::ui::JoinPath(d_->folder, name));
    if (names.size() == 1) {
      // A typed folder is entered and a typed pattern becomes the filter, as in
      // every file dialog.
      if (vel::ui::IsFolder(path)) {
        SetFolder(path);
        d_->chosen.clear();
        d_->nameEdit->clear();
        return false;
      }
      if (name.find_first_of("*?") != std::string::npos && name.find('/') == std::string::npos) {
        d_->model->setNameFilters(QStringList{Q(name)});
        return false;
      }
    }
    if (!d_->defaultExtension.empty() && !HasExtension(path) && !vel::ui::IsFile(path))
      path += "." + d_->defaultExtension;
    if ((d_->flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !vel::ui::IsFolder(vel::ui::FolderOf(path))) {
      vel::ui::MessageBox(kTitle, path + "\nThe folder does not exist.\nCheck the path and try again.",
                          MB_OK | MB_ICONWARNING);
      return false;
    }
    if ((d_->flags & OFN_FILEMUSTEXIST) && !vel::ui::IsFile(path)) {
      vel::ui::MessageBox(kTitle, path + "\nFile not found.\nCheck the file name and try again.",
                          MB_OK | MB_ICONWARNING);
      return false;
    }
    paths.push_back(path);
  }
  paths_ = std::move(paths);
  RememberFolder(d_->programName, vel::ui::FolderOf(paths_.front()));
  QDialog::accept();
  return true;
}

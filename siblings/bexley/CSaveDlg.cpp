#include "siblings/bexley/CSaveDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdlib>
#include <vector>

#include "lorimer/ImageInterface.h"
#include "platform/ui/ui.h"
#include "platform/ui/file_dialog_text.h"

namespace {

constexpr char kTitle[] = "Save As";
// The record's texts hold this many characters before their terminating zero.
constexpr int kMaxTextChars = 1023;
// Any value but COMPRESS_MAXIMUM leaves the PNG writer at its usual level.
constexpr int kPngCompressNormal = 0;
constexpr int kFillMsbFirst = 1;
constexpr int kFillLsbFirst = 2;

using Png = _SAVEIMAGEINFO::_PNG;
using Tif = _SAVEIMAGEINFO::_TIF;

// The options each format's save record takes, and the depths its saver writes.
enum Option : unsigned {
  kDepth = 1u << 0,
  kGray = 1u << 1,
  kQuality = 1u << 2,
  kAppend = 1u << 3,
  kInterlace = 1u << 4,
  kPngOptions = 1u << 5,
  kTiffOptions = 1u << 6,
  kMetafileMode = 1u << 7,
  kEpsPreview = 1u << 8,
  kFaxNote = 1u << 9,
};

struct FormatOptions {
  unsigned options;
  std::vector<int> depths;
};

// Indexed by IMGTYPE. GIF pages are 4 or 8 bits; JPEG 8 bits is its grayscale form;
// Targa as the viewer saves it (never gray) is always true colour.
const FormatOptions kFormats[] = {
    {kDepth | kGray, {1, 4, 8, 24}},                           // BMP
    {kDepth | kQuality, {8, 24}},                              // JPEG
    {kDepth | kGray | kInterlace | kAppend, {4, 8}},           // GIF
    {kDepth | kGray | kPngOptions, {1, 4, 8, 24}},             // PNG
    {kDepth | kGray | kTiffOptions | kAppend, {1, 4, 8, 24}},  // TIFF
    {kDepth, {24}},                                            // TGA
    {kDepth | kGray, {1, 4, 8, 24}},                           // PCX
    {kDepth | kGray | kAppend, {1, 4, 8, 24}},                 // DCX
    {kEpsPreview, {}},                                         // EPS
    {kFaxNote, {}},                                            // FMF
    {kMetafileMode, {}},                                       // WMF
    {kMetafileMode, {}},                                       // EMF
};

const FormatOptions& OptionsOf(IMGTYPE type) {
  static const FormatOptions kNone{0, {}};
  return type >= IMGTYPE_BMP && type <= IMGTYPE_EMF ? kFormats[type] : kNone;
}

QString DepthText(IMGTYPE type, int bits) {
  switch (bits) {
    case 1: return QStringLiteral("1 bit (black and white)");
    case 4: return QStringLiteral("4 bits (16 colors)");
    case 8: return type == IMGTYPE_JPEG ? QStringLiteral("8 bits (256 grays)") : QStringLiteral("8 bits (256 colors)");
    default: return QStringLiteral("24 bits (True Color)");
  }
}

// The image's own depth when the format writes it, else the nearest it does (ties
// go to the richer depth). A colour picture never defaults to gray JPEG.
int DefaultDepth(IMGTYPE type, const std::vector<int>& depths, CImageInterface* image) {
  int own = 24;
  bool gray = false;
  if (image && image->IsLoaded() && !image->IsVectorImage()) {
    own = image->GetColorDepth();
    gray = image->GetSourceInfo().bGray != 0;
  }
  if (type == IMGTYPE_JPEG) return own <= 8 && (gray || own == 1) ? 8 : 24;
  int best = depths.empty() ? 24 : depths.front();
  for (int d : depths)
    if (std::abs(d - own) <= std::abs(best - own)) best = d;
  return best;
}

bool IsFaxCompression(int compression) {
  return compression == Tif::COMPRESS_MODCCITT || compression == Tif::COMPRESS_GROUP3 ||
         compression == Tif::COMPRESS_GROUP4;
}

QString Q(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
std::string S(const QString& s) { return s.toLocal8Bit().toStdString(); }

QLabel* Note(const QString& text) {
  auto* label = new QLabel(text);
  label->setWordWrap(true);
  label->setObjectName(QStringLiteral("note"));
  return label;
}

void SelectData(QComboBox* box, int value) {
  const int index = box->findData(value);
  if (index >= 0) box->setCurrentIndex(index);
}

}  // namespace

struct CSaveDlg::Impl {
  CSaveDlg* dlg = nullptr;
  IMGTYPE type = IMGTYPE_BMP;
  bool vector = false;
  std::string folder;

  QLineEdit* folderEdit = nullptr;
  QFileSystemModel* model = nullptr;
  QListView* files = nullptr;
  QLineEdit* nameEdit = nullptr;
  // Option controls; null when the format has no such option.
  QComboBox* depth = nullptr;
  QCheckBox* gray = nullptr;
  QSpinBox* quality = nullptr;
  QCheckBox* interlace = nullptr;
  QCheckBox* append = nullptr;
  QComboBox* pngFilter = nullptr;
  QComboBox* pngCompression = nullptr;
  QComboBox* tiffCompression = nullptr;
  QComboBox* fillOrder = nullptr;
  QLineEdit* artist = nullptr;
  QLineEdit* copyright = nullptr;
  QButtonGroup* mode = nullptr;
  QCheckBox* epsPreview = nullptr;

  void Build(const char* filter);
  QGroupBox* BuildOptions();
  void AddQuality(QFormLayout* form);
  void AddPng(QFormLayout* form);
  void AddTiff(QFormLayout* form);
  void AddMetafileMode(QFormLayout* form);
  void SetFolder(const std::string& path);
  void UpdateEnabled();
  void ShowMembers();
  void TakeMembers();
};

void CSaveDlg::Impl::Build(const char* filter) {
  auto* layout = new QVBoxLayout(dlg);
  auto* top = new QHBoxLayout;
  auto* saveIn = new QLabel(QStringLiteral("Save &in:"));
  folderEdit = new QLineEdit;
  folderEdit->setObjectName(QStringLiteral("folderPath"));
  saveIn->setBuddy(folderEdit);
  auto* browse = new QPushButton(QIcon::fromTheme(QStringLiteral("folder-open")), QStringLiteral("&Browse..."));
  browse->setAutoDefault(false);
  top->addWidget(saveIn);
  top->addWidget(folderEdit, 1);
  top->addWidget(browse);
  layout->addLayout(top);

  // The files of this type already in the folder, so the user sees what a name
  // would replace; a click takes a name over, a double click enters a folder.
  const auto entries = vel::ui::ParseFilter(filter);
  QStringList patterns;
  if (!entries.empty())
    for (const auto& p : entries.front().patterns) patterns << Q(p);
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  model = new QFileSystemModel(dlg);
  model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  model->setNameFilters(patterns);
  model->setNameFilterDisables(false);
  files = new QListView;
  files->setObjectName(QStringLiteral("files"));
  files->setModel(model);
  files->setTextElideMode(Qt::ElideMiddle);
  files->setMinimumHeight(140);
  layout->addWidget(files, 1);

  auto* names = new QFormLayout;
  nameEdit = new QLineEdit;
  nameEdit->setObjectName(QStringLiteral("fileName"));
  auto* type = new QComboBox;
  type->setObjectName(QStringLiteral("fileType"));
  for (const auto& e : entries) type->addItem(Q(e.text));
  if (entries.empty()) type->addItem(QStringLiteral("All Files"));
  type->setEnabled(type->count() > 1);
  names->addRow(QStringLiteral("File &name:"), nameEdit);
  names->addRow(QStringLiteral("Save as &type:"), type);
  layout->addLayout(names);

  layout->addWidget(BuildOptions());

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Save)->setObjectName(QStringLiteral("ok"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
  layout->addWidget(buttons);

  QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, [this] { dlg->Accept(); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
  QObject::connect(browse, &QPushButton::clicked, dlg, [this] {
    const QString chosen = QFileDialog::getExistingDirectory(
        dlg, QStringLiteral("Save in"), Q(folder), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty()) SetFolder(S(chosen));
  });
  QObject::connect(folderEdit, &QLineEdit::editingFinished, dlg, [this] {
    if (vel::ui::IsFolder(S(folderEdit->text()))) SetFolder(S(folderEdit->text()));
  });
  QObject::connect(files, &QListView::clicked, dlg, [this](const QModelIndex& i) {
    if (!model->isDir(i)) nameEdit->setText(model->fileName(i));
  });
  QObject::connect(files, &QListView::doubleClicked, dlg, [this](const QModelIndex& i) {
    if (model->isDir(i)) SetFolder(S(model->filePath(i)));
  });
}

QGroupBox* CSaveDlg::Impl::BuildOptions() {
  const FormatOptions& f = OptionsOf(type);
  auto* box = new QGroupBox(QStringLiteral("Options"));
  box->setObjectName(QStringLiteral("options"));
  auto* form = new QFormLayout(box);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  if (f.options & kDepth) {
    depth = new QComboBox;
    depth->setObjectName(QStringLiteral("depth"));
    for (int bits : f.depths) depth->addItem(DepthText(type, bits), bits);
    form->addRow(QStringLiteral("Color &depth:"), depth);
    QObject::connect(depth, &QComboBox::currentIndexChanged, dlg, [this] { UpdateEnabled(); });
  }
  if (f.options & kGray) {
    gray = new QCheckBox(QStringLiteral("&Grayscale (4 and 8 bits)"));
    gray->setObjectName(QStringLiteral("gray"));
    form->addRow(gray);
  }
  if (f.options & kQuality) AddQuality(form);
  if (f.options & kPngOptions) AddPng(form);
  if (f.options & kTiffOptions) AddTiff(form);
  if (f.options & kInterlace) {
    interlace = new QCheckBox(QStringLiteral("&Interlaced (appears gradually while loading)"));
    interlace->setObjectName(QStringLiteral("interlace"));
    form->addRow(interlace);
  }
  if (f.options & kAppend) {
    append = new QCheckBox(QStringLiteral("&Append as a new page to an existing file"));
    append->setObjectName(QStringLiteral("append"));
    form->addRow(append);
  }
  if (f.options & kMetafileMode) AddMetafileMode(form);
  if (f.options & kEpsPreview) {
    // The library always writes the preview; the box says so rather than offering a
    // choice it would not honour.
    epsPreview = new QCheckBox(QStringLiteral("Include a &preview picture"));
    epsPreview->setObjectName(QStringLiteral("epsPreview"));
    epsPreview->setChecked(true);
    epsPreview->setEnabled(false);
    form->addRow(epsPreview);
    form->addRow(Note(vector ? QStringLiteral("The drawing is stored as PostScript.")
                             : QStringLiteral("The PostScript file holds the picture as a bitmap.")));
  }
  if (f.options & kFaxNote)
    form->addRow(Note(QStringLiteral("Fax files hold black and white pages: the picture is stored at 1 bit.")));
  return box;
}

void CSaveDlg::Impl::AddQuality(QFormLayout* form) {
  quality = new QSpinBox;
  quality->setObjectName(QStringLiteral("quality"));
  quality->setRange(1, 100);
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(1, 100);
  QObject::connect(slider, &QSlider::valueChanged, quality, &QSpinBox::setValue);
  QObject::connect(quality, &QSpinBox::valueChanged, slider, &QSlider::setValue);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Smaller file")));
  row->addWidget(slider, 1);
  row->addWidget(new QLabel(QStringLiteral("Better picture")));
  row->addWidget(quality);
  auto* label = new QLabel(QStringLiteral("&Quality:"));
  label->setBuddy(quality);
  form->addRow(label, row);
}

void CSaveDlg::Impl::AddPng(QFormLayout* form) {
  pngFilter = new QComboBox;
  pngFilter->setObjectName(QStringLiteral("pngFilter"));
  pngFilter->addItem(QStringLiteral("None"), Png::FILTER_NONE);
  pngFilter->addItem(QStringLiteral("Sub"), Png::FILTER_SUB);
  pngFilter->addItem(QStringLiteral("Up"), Png::FILTER_UP);
  pngFilter->addItem(QStringLiteral("Average"), Png::FILTER_AVERAGE);
  pngFilter->addItem(QStringLiteral("Paeth"), Png::FILTER_PAETH);
  form->addRow(QStringLiteral("&Filter:"), pngFilter);
  pngCompression = new QComboBox;
  pngCompression->setObjectName(QStringLiteral("pngCompression"));
  pngCompression->addItem(QStringLiteral("Normal"), kPngCompressNormal);
  pngCompression->addItem(QStringLiteral("Maximum (slower)"), Png::COMPRESS_MAXIMUM);
  form->addRow(QStringLiteral("&Compression:"), pngCompression);
}

void CSaveDlg::Impl::AddTiff(QFormLayout* form) {
  tiffCompression = new QComboBox;
  tiffCompression->setObjectName(QStringLiteral("tiffCompression"));
  tiffCompression->addItem(QStringLiteral("None"), Tif::COMPRESS_NONE);
  tiffCompression->addItem(QStringLiteral("LZW"), Tif::COMPRESS_LZW);
  tiffCompression->addItem(QStringLiteral("PackBits"), Tif::COMPRESS_PACKBITS);
  tiffCompression->addItem(QStringLiteral("Modified CCITT (black and white)"), Tif::COMPRESS_MODCCITT);
  tiffCompression->addItem(QStringLiteral("CCITT Group 3 fax (black and white)"), Tif::COMPRESS_GROUP3);
  tiffCompression->addItem(QStringLiteral("CCITT Group 4 fax (black and white)"), Tif::COMPRESS_GROUP4);
  form->addRow(QStringLiteral("&Compression:"), tiffCompression);
  QObject::connect(tiffCompression, &QComboBox::currentIndexChanged, dlg, [this] { UpdateEnabled(); });
  fillOrder = new QComboBox;
  fillOrder->setObjectName(QStringLiteral("fillOrder"));
  fillOrder->addItem(QStringLiteral("Most significant bit first"), kFillMsbFirst);
  fillOrder->addItem(QStringLiteral("Least significant bit first"), kFillLsbFirst);
  form->addRow(QStringLiteral("Fill &order:"), fillOrder);
  artist = new QLineEdit;
  artist->setObjectName(QStringLiteral("artist"));
  artist->setMaxLength(kMaxTextChars);
  form->addRow(QStringLiteral("&Artist:"), artist);
  copyright = new QLineEdit;
  copyright->setObjectName(QStringLiteral("copyright"));
  copyright->setMaxLength(kMaxTextChars);
  form->addRow(QStringLiteral("Co&pyright:"), copyright);
}

// For a picture the mode says how the bitmap gets into the metafile; a drawing is
// written as it is and the choice does not apply.
void CSaveDlg::Impl::AddMetafileMode(QFormLayout* form) {
  mode = new QButtonGroup(dlg);
  auto* direct = new QRadioButton(QStringLiteral("&Record the bitmap in the metafile"));
  direct->setObjectName(QStringLiteral("modeRecord"));
  auto* wrapped = new QRadioButton(QStringLiteral("&Wrap the bitmap as a placeable metafile"));
  wrapped->setObjectName(QStringLiteral("modeWrap"));
  mode->addButton(direct, 0);
  mode->addButton(wrapped, 1);
  auto* column = new QVBoxLayout;
  column->addWidget(direct);
  column->addWidget(wrapped);
  form->addRow(QStringLiteral("Picture:"), column);
  direct->setEnabled(!vector);
  wrapped->setEnabled(!vector);
  form->addRow(Note(vector ? QStringLiteral("The drawing is stored as it is; no bitmap is made.")
                           : QStringLiteral("The metafile holds the picture as a bitmap.")));
}

void CSaveDlg::Impl::SetFolder(const std::string& path) {
  if (!vel::ui::IsFolder(path)) return;
  folder = S(QDir::cleanPath(Q(path)));
  folderEdit->setText(Q(folder));
  files->setRootIndex(model->setRootPath(Q(folder)));
}

// The fax compressions write bilevel pages only, and gray only means something
// for the palette depths.
void CSaveDlg::Impl::UpdateEnabled() {
  const bool fax = tiffCompression && IsFaxCompression(tiffCompression->currentData().toInt());
  if (depth) {
    if (fax) SelectData(depth, 1);
    depth->setEnabled(depth->count() > 1 && !fax);
  }
  if (gray) {
    const int bits = depth ? depth->currentData().toInt() : 24;
    gray->setEnabled(bits == 4 || bits == 8);
  }
}

void CSaveDlg::Impl::ShowMembers() {
  if (depth) SelectData(depth, dlg->m_nDepth);
  if (gray) gray->setChecked(dlg->m_bGray != 0);
  if (quality) quality->setValue(dlg->m_nQuality);
  if (interlace) interlace->setChecked(dlg->m_bInterlace != 0);
  if (append) append->setChecked(dlg->m_bAppend != 0);
  if (pngFilter) SelectData(pngFilter, dlg->m_nFilter);
  if (pngCompression)
    SelectData(pngCompression,
               dlg->m_nCompression == Png::COMPRESS_MAXIMUM ? Png::COMPRESS_MAXIMUM : kPngCompressNormal);
  if (tiffCompression) SelectData(tiffCompression, dlg->m_nTiffCompression);
  if (fillOrder) SelectData(fillOrder, dlg->m_nFillOrder == kFillLsbFirst ? kFillLsbFirst : kFillMsbFirst);
  if (artist) artist->setText(Q(dlg->m_strArtist));
  if (copyright) copyright->setText(Q(dlg->m_strCopyright));
  if (mode && mode->button(dlg->m_nMetafileMode ? 1 : 0)) mode->button(dlg->m_nMetafileMode ? 1 : 0)->setChecked(true);
  UpdateEnabled();
}

void CSaveDlg::Impl::TakeMembers() {
  if (depth) dlg->m_nDepth = depth->currentData().toInt();
  if (gray) dlg->m_bGray = gray->isEnabled() && gray->isChecked() ? 1 : 0;
  if (quality) dlg->m_nQuality = quality->value();
  if (interlace) dlg->m_bInterlace = interlace->isChecked() ? 1 : 0;
  if (append) dlg->m_bAppend = append->isChecked() ? 1 : 0;
  if (pngFilter) dlg->m_nFilter = pngFilter->currentData().toInt();
  if (pngCompression) dlg->m_nCompression = pngCompression->currentData().toInt();
  if (tiffCompression) dlg->m_nTiffCompression = tiffCompression->currentData().toInt();
  if (fillOrder) dlg->m_nFillOrder = fillOrder->currentData().toInt();
  if (artist) dlg->m_strArtist = S(artist->text()).substr(0, kMaxTextChars);
  if (copyright) dlg->m_strCopyright = S(copyright->text()).substr(0, kMaxTextChars);
  if (mode) dlg->m_nMetafileMode = vector ? 0 : std::max(mode->checkedId(), 0);
  if (epsPreview) dlg->m_nMetafileMode = 1;
}

// ---- the dialog ---------------------------------------------------------------------

CSaveDlg::CSaveDlg(IMGTYPE type, const char* filter, CImageInterface* image, const std::string& proposedName,
                   int isVector, QWidget* parent)
    : QDialog(parent), d_(new Impl) {
  d_->dlg = this;
  d_->type = type;
  d_->vector = isVector != 0;
  setWindowTitle(QString::fromLatin1(kTitle));
  const FormatOptions& f = OptionsOf(type);
  if (f.options & kDepth) {
    m_nDepth = DefaultDepth(type, f.depths, image);
    m_bGray = (f.options & kGray) && (m_nDepth == 4 || m_nDepth == 8) && image && image->IsLoaded() &&
              image->GetSourceInfo().bGray;
  }
  d_->Build(filter);
  d_->ShowMembers();
  SetFileName(proposedName);
  if (d_->folder.empty()) d_->SetFolder(S(QDir::currentPath()));
  resize(sizeHint().expandedTo(QSize(560, 0)));
}

CSaveDlg::~CSaveDlg() { delete d_; }

int CSaveDlg::DoModal() {
  // Callers may preset options (the viewer resets the metafile mode) before showing.
  d_->ShowMembers();
  d_->nameEdit->setFocus();
  d_->nameEdit->selectAll();
  return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

std::string CSaveDlg::GetPathName() const { return vel::ui::JoinPath(d_->folder, S(d_->nameEdit->text().trimmed())); }

void CSaveDlg::SetFileName(const std::string& path) {
  const std::string folder = vel::ui::FolderOf(path);
  if (!folder.empty() && vel::ui::IsFolder(folder)) {
    d_->SetFolder(folder);
    d_->nameEdit->setText(Q(path.substr(path.find_last_of('/') + 1)));
  } else {
    d_->nameEdit->setText(Q(path));
  }
}

bool CSaveDlg::Accept() {
  if (d_->nameEdit->text().trimmed().isEmpty()) return false;
  const std::string path = GetPathName();
  // A folder typed as the name is entered, as in every file dialog.
  if (vel::ui::IsFolder(path)) {
    d_->SetFolder(path);
    d_->nameEdit->clear();
    return false;
  }
  const std::string folder = vel::ui::FolderOf(path);
  if (!vel::ui::IsFolder(folder)) {
    vel::ui::MessageBox(kTitle, folder + "\nThe folder does not exist.\nCheck the path and try again.",
                        MB_OK | MB_ICONWARNING);
    return false;
  }
  d_->TakeMembers();
  QDialog::accept();
  return true;
}

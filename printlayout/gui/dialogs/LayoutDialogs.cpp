// The layout dialogs of the print-layout window.
#include "printlayout/gui/dialogs/LayoutDialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "printlayout/print/ProjectOptionsWidgets.h"

namespace tessaly {
namespace {

// Room the title bar needs beside the caption for the icon and its buttons.
constexpr int kTitleBarExtra = 120;
constexpr int kCommentMinimumWidth = 320;

QString L(const char* text) { return QString::fromLatin1(text); }

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  return buttons;
}

// Wide enough for the caption to show in full, whatever the contents need.
void FitTitle(QDialog* dialog, const char* title) {
  dialog->setWindowTitle(L(title));
  const int caption = dialog->fontMetrics().horizontalAdvance(L(title)) + kTitleBarExtra;
  dialog->setMinimumWidth(std::max(caption, dialog->minimumSizeHint().width()));
}

QSpinBox* Spin(int low, int high, int value, QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  spin->setValue(std::clamp(value, low, high));
  return spin;
}

// A group of exclusive radio buttons, one per text, in a column.
QGroupBox* RadioGroup(const QString& title, std::initializer_list<const char*> texts, QRadioButton** out,
                      QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  auto* layout = new QVBoxLayout(box);
  auto* group = new QButtonGroup(box);
  int i = 0;
  for (const char* text : texts) {
    out[i] = new QRadioButton(L(text), box);
    group->addButton(out[i], i);
    layout->addWidget(out[i]);
    ++i;
  }
  layout->addStretch(1);
  out[0]->setChecked(true);
  return box;
}

// The Tab key visits the widgets in this order.
void TabChain(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* w : widgets) {
    if (previous) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

int CheckedIndex(QRadioButton* const* buttons, int count) {
  for (int i = 0; i < count; ++i)
    if (buttons[i]->isChecked()) return i;
  return 0;
}

}  // namespace

// ---- Arrange -----------------------------------------------------------------

ArrangeDialog::ArrangeDialog(const Project& project, QWidget* parent) : QDialog(parent) {
  const ArrangeDialogFields d = ArrangeDialogDefaults(project);
  const int last = std::max(project.pageCount(), 1);

  auto* pagesBox = new QGroupBox(tr("Pages"), this);
  from_ = Spin(1, last, d.fromPage, pagesBox);
  to_ = Spin(1, last, d.toPage, pagesBox);
  all_ = new QCheckBox(L("&All Pages"), pagesBox);
  insert_ = new QCheckBox(L("&Insert pages if necessary"), pagesBox);
  auto* fromLabel = new QLabel(tr("&From:"), pagesBox);
  auto* toLabel = new QLabel(tr("&To:"), pagesBox);
  fromLabel->setBuddy(from_);
  toLabel->setBuddy(to_);
  auto* pages = new QGridLayout(pagesBox);
  pages->addWidget(fromLabel, 0, 0);
  pages->addWidget(from_, 0, 1);
  pages->addWidget(toLabel, 0, 2);
  pages->addWidget(to_, 0, 3);
  pages->setColumnStretch(4, 1);
  pages->addWidget(all_, 1, 0, 1, 5);
  pages->addWidget(insert_, 2, 0, 1, 5);

  auto* horizontal = new QGroupBox(tr("Horizontal"), this);
  columns_ = Spin(1, 15, d.columns, horizontal);
  spacingH_ = Spin(1, 50, d.spacingHmm, horizontal);
  auto* hForm = new QFormLayout(horizontal);
  hForm->addRow(tr("Co&lumns:"), columns_);
  hForm->addRow(tr("&Space (mm):"), spacingH_);

  auto* vertical = new QGroupBox(tr("Vertical"), this);
  rows_ = Spin(1, 15, d.rows, vertical);
  spacingV_ = Spin(1, 50, d.spacingVmm, vertical);
  auto* vForm = new QFormLayout(vertical);
  vForm->addRow(tr("Ro&ws:"), rows_);
  vForm->addRow(tr("S&pace (mm):"), spacingV_);

  buttons_ = OkCancel(this);

  auto* grid = new QHBoxLayout;
  grid->addWidget(horizontal);
  grid->addWidget(vertical);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pagesBox);
  layout->addLayout(grid);
  layout->addWidget(buttons_);

  // A range that runs backwards would lay nothing out; the other end follows.
  connect(from_, &QSpinBox::valueChanged, this, [this](int v) {
    if (to_->value() < v) to_->setValue(v);
  });
  connect(to_, &QSpinBox::valueChanged, this, [this](int v) {
    if (from_->value() > v) from_->setValue(v);
  });
  connect(all_, &QCheckBox::toggled, this, [this](bool all) {
    from_->setEnabled(!all);
    to_->setEnabled(!all);
  });
  all_->setChecked(d.allPages);
  insert_->setChecked(d.insertPages);
  from_->setEnabled(!d.allPages);
  to_->setEnabled(!d.allPages);

  TabChain({from_, to_, all_, insert_, columns_, spacingH_, rows_, spacingV_, buttons_});
  FitTitle(this, kArrangeTitle);
}

ArrangeDialogFields ArrangeDialog::fields() const {
  ArrangeDialogFields f;
  f.fromPage = from_->value();
  f.toPage = to_->value();
  f.allPages = all_->isChecked();
  f.insertPages = insert_->isChecked();
  f.columns = columns_->value();
  f.rows = rows_->value();
  f.spacingHmm = spacingH_->value();
  f.spacingVmm = spacingV_->value();
  return f;
}

// ---- Align and Distribute -----------------------------------------------------

namespace {

constexpr std::uint32_t kAlignH[] = {0, kAlignLeft, kAlignHCenter, kAlignRight};
constexpr std::uint32_t kAlignV[] = {0, kAlignTop, kAlignVCenter, kAlignBottom};
constexpr std::uint32_t kDistH[] = {0, kDistributeLeft, kDistributeHCenter, kDistributeHSpacing, kDistributeRight};
constexpr std::uint32_t kDistV[] = {0, kDistributeTop, kDistributeVCenter, kDistributeVSpacing, kDistributeBottom};

}  // namespace

AlignDistributeSheet::AlignDistributeSheet(QWidget* parent) : QDialog(parent) {
  tabs_ = new QTabWidget(this);

  auto* alignPage = new QWidget(tabs_);
  auto* alignHBox = RadioGroup(tr("Horizontal"), {"&No change", "&Left", "&Center", "&Right"}, alignH_, alignPage);
  auto* alignVBox = RadioGroup(tr("Vertical"), {"No c&hange", "&Top", "C&enter", "&Bottom"}, alignV_, alignPage);
  auto* alignTo = new QGroupBox(tr("Align to"), alignPage);
  pageEdge_ = new QCheckBox(L("Page edge"), alignTo);
  pageCenter_ = new QCheckBox(L("Page center"), alignTo);
  auto* alignToLayout = new QVBoxLayout(alignTo);
  alignToLayout->addWidget(pageEdge_);
  alignToLayout->addWidget(pageCenter_);
  auto* alignLayout = new QGridLayout(alignPage);
  alignLayout->addWidget(alignHBox, 0, 0);
  alignLayout->addWidget(alignVBox, 0, 1);
  alignLayout->addWidget(alignTo, 1, 0, 1, 2);
  alignLayout->setRowStretch(2, 1);
  // Neither box checked aligns to the selection; both at once has no meaning.
  connect(pageEdge_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) pageCenter_->setChecked(false);
  });
  connect(pageCenter_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) pageEdge_->setChecked(false);
  });

  auto* distPage = new QWidget(tabs_);
  auto* distHBox =
      RadioGroup(tr("Horizontal"), {"&No change", "&Left", "&Center", "&Spacing", "&Right"}, distH_, distPage);
  auto* distVBox =
      RadioGroup(tr("Vertical"), {"No c&hange", "&Top", "C&enter", "S&pacing", "&Bottom"}, distV_, distPage);
  auto* distTo = new QGroupBox(tr("Distribute to"), distPage);
  selectionExtent_ = new QRadioButton(L("Selection Extent"), distTo);
  pageExtent_ = new QRadioButton(L("Page E&xtent"), distTo);
  selectionExtent_->setChecked(true);
  auto* distToLayout = new QVBoxLayout(distTo);
  distToLayout->addWidget(selectionExtent_);
  distToLayout->addWidget(pageExtent_);
  auto* distLayout = new QGridLayout(distPage);
  distLayout->addWidget(distHBox, 0, 0);
  distLayout->addWidget(distVBox, 0, 1);
  distLayout->addWidget(distTo, 1, 0, 1, 2);
  distLayout->setRowStretch(2, 1);

  tabs_->addTab(alignPage, tr("Align"));
  tabs_->addTab(distPage, tr("Distribute"));

  buttons_ = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons_);
  FitTitle(this, kAlignDistributeTitle);
}

AlignDialogFields AlignDistributeSheet::alignFields() const {
  AlignDialogFields f;
  f.horizontal = kAlignH[CheckedIndex(alignH_, 4)];
  f.vertical = kAlignV[CheckedIndex(alignV_, 4)];
  f.pageEdge = pageEdge_->isChecked();
  f.pageCenter = pageCenter_->isChecked();
  return f;
}

DistributeDialogFields AlignDistributeSheet::distributeFields() const {
  DistributeDialogFields f;
  f.horizontal = kDistH[CheckedIndex(distH_, 5)];
  f.vertical = kDistV[CheckedIndex(distV_, 5)];
  f.pageExtent = pageExtent_->isChecked();
  return f;
}

// ---- Multiple Size ---------------------------------------------------------------

namespace {

constexpr std::uint32_t kSyncWidth[] = {0, kSyncWidthNarrowest, kSyncWidthOriginal, kSyncWidthSame, kSyncWidthWidest};
constexpr std::uint32_t kSyncHeight[] = {0, kSyncHeightLowest, kSyncHeightOriginal, kSyncHeightSame,
                                         kSyncHeightHighest};

}  // namespace

MultipleSizeDialog::MultipleSizeDialog(QWidget* parent) : QDialog(parent) {
  auto* widthBox = RadioGroup(tr("Width"), {"No &change", "&Narrowest", "&Original", "&Same", "&Widest"}, width_, this);
  auto* heightBox = RadioGroup(tr("Height"), {"No chan&ge", "&Lowest", "Original", "Same", "&Highest"}, height_, this);
  margins_ = new QCheckBox(L("Use Page Margins"), this);
  proportional_ = new QCheckBox(L("Proportional ratio"), this);
  buttons_ = OkCancel(this);

  auto* groups = new QHBoxLayout;
  groups->addWidget(widthBox);
  groups->addWidget(heightBox);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(groups);
  layout->addWidget(margins_);
  layout->addWidget(proportional_);
  layout->addWidget(buttons_);
  FitTitle(this, kMultipleSizeTitle);
}

std::uint32_t MultipleSizeDialog::flags() const {
  std::uint32_t flags = kSyncWidth[CheckedIndex(width_, 5)] | kSyncHeight[CheckedIndex(height_, 5)];
  if (margins_->isChecked()) flags |= kSyncUsePageMargins;
  return flags;
}

// ---- Image comment ------------------------------------------------------------------

ImageCommentDialog::ImageCommentDialog(const std::string& comment, QWidget* parent) : QDialog(parent) {
  text_ = new QLineEdit(QString::fromStdString(comment), this);
  text_->setMinimumWidth(kCommentMinimumWidth);
  macro_ = new MacroButton(text_, this);
  auto* label = new QLabel(L("Comment:"), this);
  label->setBuddy(text_);
  buttons_ = OkCancel(this);

  auto* line = new QHBoxLayout;
  line->addWidget(text_, 1);
  line->addWidget(macro_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addLayout(line);
  layout->addStretch(1);
  layout->addWidget(buttons_);
  FitTitle(this, kImageCommentTitle);
}

std::string ImageCommentDialog::comment() const { return text_->text().toStdString(); }

// ---- Goto page ----------------------------------------------------------------------

GotoPageDialog::GotoPageDialog(const Project& project, int currentPageIndex, QWidget* parent)
    : QDialog(parent), project_(project) {
  const int first = project.firstPageNumber;
  const int last = std::max(project.lastPageNumber(), first);
  const int current = std::clamp(currentPageIndex, 1, std::max(project.pageCount(), 1));
  number_ = Spin(first, last, project.pageNumber(current), this);
  auto* label = new QLabel(L("Goto at Page Number:"), this);
  label->setBuddy(number_);
  buttons_ = OkCancel(this);

  auto* line = new QHBoxLayout;
  line->addWidget(label);
  line->addWidget(number_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(line);
  layout->addStretch(1);
  layout->addWidget(buttons_);
  FitTitle(this, kGotoPageTitle);
}

int GotoPageDialog::pageIndex() const {
  return std::clamp(number_->value() - project_.firstPageNumber + 1, 1, std::max(project_.pageCount(), 1));
}

// ---- Warning -------------------------------------------------------------------------

AutoArrangeWarning::AutoArrangeWarning(QWidget* parent) : QDialog(parent) {
  auto* icon = new QLabel(this);
  const int extent = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(extent, extent));
  icon->setAlignment(Qt::AlignTop);
  auto* text = new QLabel(L(kAutoArrangeLine1) + '\n' + L(kAutoArrangeLine2), this);
  doNotAsk_ = new QCheckBox(L(kDoNotAskText), this);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, this);
  buttons_->button(QDialogButtonBox::Yes)->setText(tr("Yes"));
  buttons_->button(QDialogButtonBox::No)->setText(tr("No"));
  buttons_->button(QDialogButtonBox::Yes)->setDefault(true);
  buttons_->setCenterButtons(true);
  connect(buttons_->button(QDialogButtonBox::Yes), &QPushButton::clicked, this, [this] {
    yes_ = true;
    accept();
  });
  connect(buttons_->button(QDialogButtonBox::No), &QPushButton::clicked, this, [this] {
    yes_ = false;
    reject();
  });

  auto* message = new QHBoxLayout;
  message->addWidget(icon);
  message->addSpacing(8);
  message->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(message);
  layout->addWidget(doNotAsk_);
  layout->addWidget(buttons_);
  FitTitle(this, kWarningTitle);
}

AutoArrangeAnswer AutoArrangeWarning::ask() {
  yes_ = false;
  exec();
  AutoArrangeAnswer answer;
  answer.turnOff = yes_;
  answer.dontAskMore = doNotAsk_->isChecked();
  return answer;
}

// ---- Editing a comment -------------------------------------------------------------------

bool EditImageComment(Project& project, const Selection& images, QWidget* parent) {
  // Only placements that are still part of the project are touched.
  Selection live;
  for (ImagePlacement* image : images)
    if (image && project.pageOf(image) >= 0) live.push_back(image);
  if (live.empty()) return false;

  ImageCommentDialog dialog(live.front()->comment, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  const std::string text = dialog.comment();
  bool changed = false;
  for (ImagePlacement* image : live) {
    // The dialog was modal, but the project may still have changed under it.
    if (project.pageOf(image) < 0 || image->comment == text) continue;
    image->comment = text;
    changed = true;
  }
  if (changed) project.setModified(true);
  return changed;
}

}  // namespace tessaly

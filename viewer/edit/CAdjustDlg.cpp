#include "viewer/edit/CAdjustDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "viewer/doc/COrvennaDoc.h"
#include "viewer/edit/EditWidgets.h"

namespace orvenna {
namespace {

constexpr DWORD kWhite = 0xFFFFFF;
constexpr long kInterpolate = 4;  // StretchImage's best resampling

}  // namespace

CAdjustDlg::CAdjustDlg(QWidget* parent, COrvennaDoc& doc, const QString& title)
    : QDialog(parent), doc_(doc), original_(doc.m_imgCurrent), page_(doc.m_nPage) {
  setWindowTitle(title);

  shown_ = original_;
  shownPage_ = page_;
  int w = original_.GetWidth(page_), h = original_.GetHeight(page_);
  if (w > kPaneImageWidth || h > kPaneImageHeight) {
    CImageInterface::CalculateProportionallyRect(&w, &h, kPaneImageWidth, kPaneImageHeight);
    CImageInterface reduced(original_);
    int page = page_;
    if (reduced.StretchImage(kInterpolate, std::max(w, 1), std::max(h, 1), 0, 3, kWhite, page)) {
      shown_ = reduced;
      shownPage_ = 0;
    }
  }
  preview_ = shown_;
  previewPage_ = shownPage_;

  auto* layout = new QVBoxLayout(this);
  auto* panes = new QHBoxLayout;
  auto addPane = [&](const char* caption, const char* name, CImagePane*& pane) {
    auto* box = new QGroupBox(QString::fromLatin1(caption));
    auto* boxLayout = new QVBoxLayout(box);
    pane = new CImagePane;
    pane->setObjectName(QString::fromLatin1(name));
    boxLayout->addWidget(pane);
    panes->addWidget(box);
  };
  addPane("original", "originalPane", originalPane_);
  addPane("preview", "previewPane", previewPane_);
  originalPane_->SetImage(&shown_, shownPage_);
  previewPane_->SetImage(&preview_, previewPage_);
  layout->addLayout(panes, 1);

  controls_ = new QVBoxLayout;
  layout->addLayout(controls_);

  auto_ = new QCheckBox(QStringLiteral("Apply to image automatically"));
  auto_->setObjectName(QStringLiteral("autoApply"));
  layout->addWidget(auto_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  apply_ = buttons->addButton(QStringLiteral("Apply to image"), QDialogButtonBox::ApplyRole);
  apply_->setObjectName(QStringLiteral("apply"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CAdjustDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CAdjustDlg::reject);
  connect(apply_, &QPushButton::clicked, this, [this] { PressApply(); });
  connect(auto_, &QCheckBox::toggled, this, [this](bool on) {
    apply_->setEnabled(!on);
    if (on)
      ApplyToDocument();
    else
      RestoreOriginal();
  });
  layout->addWidget(buttons);
}

bool CAdjustDlg::AutoApply() const { return auto_->isChecked(); }
void CAdjustDlg::SetAutoApply(bool on) { auto_->setChecked(on); }

void CAdjustDlg::PressApply() {
  if (!apply_->isEnabled()) return;
  Refresh();
  ApplyToDocument();
}

void CAdjustDlg::ValuesMoved() {
  ShowValues();
  // A dragged slider sends many positions; the picture follows the latest one.
  if (refreshPending_) return;
  refreshPending_ = true;
  QTimer::singleShot(0, this, [this] { Refresh(); });
}

void CAdjustDlg::Refresh() {
  refreshPending_ = false;
  const std::vector<int> values = Values();
  // Every slider starts at 0, which is the picture as it is.
  if (lastValues_.empty()) lastValues_.assign(values.size(), 0);
  if (values == lastValues_) return;
  lastValues_ = values;
  ShowValues();
  preview_ = shown_;
  int page = shownPage_;
  previewPage_ = Adjust(preview_, page, values) ? 0 : shownPage_;
  previewPane_->SetImage(&preview_, previewPage_);
  if (AutoApply()) ApplyToDocument();
}

void CAdjustDlg::ApplyToDocument() {
  const std::vector<int> values = Values();
  if (!documentAdjusted_ || values != appliedValues_) {
    // From the original each time, at full size: adjustments never pile up.
    CImageInterface adjusted(original_);
    int page = page_;
    if (Adjust(adjusted, page, values)) {
      doc_.m_imgCurrent = adjusted;
      doc_.m_nPage = 0;
    }
    appliedValues_ = values;
    documentAdjusted_ = true;
  }
  doc_.UpdateAllViews();
  doc_.SetModifiedFlag(true);
}

void CAdjustDlg::RestoreOriginal() {
  doc_.m_imgCurrent = original_;
  doc_.m_nPage = page_;
  documentAdjusted_ = false;
  doc_.UpdateAllViews();
}

void CAdjustDlg::accept() {
  Refresh();
  // Automatic application already put these values in; the cache makes this free.
  ApplyToDocument();
  QDialog::accept();
}

void CAdjustDlg::reject() {
  RestoreOriginal();
  QDialog::reject();
}

}  // namespace orvenna

// What the brightness and contrast dialogs share: the page shown twice, as it is
// and as it would become, "Apply to image automatically", "Apply to image", OK and
// Cancel. The document shows the change whenever it is applied; Cancel gives it
// back the picture it had when the dialog opened.
#pragma once

#include <QDialog>

#include <vector>

#include "lorimer/ImageInterface.h"

class QCheckBox;
class QPushButton;
class QVBoxLayout;

namespace orvenna {

class CImagePane;
class COrvennaDoc;

class CAdjustDlg : public QDialog {
  Q_OBJECT

 public:
  // Pictures larger than this are shown from a reduced copy, so the preview follows
  // a slider at once even for a large photograph. What reaches the document is
  // always computed on the full picture.
  static constexpr int kPaneImageWidth = 480;
  static constexpr int kPaneImageHeight = 360;

  bool AutoApply() const;
  // The picture the preview pane shows.
  CImageInterface& Preview() { return preview_; }

  // Seams for tests: the check box, the "Apply to image" button, and the values
  // taking effect now rather than when the event loop next runs.
  void SetAutoApply(bool on);
  void PressApply();
  void Refresh();

  void accept() override;
  void reject() override;

 protected:
  CAdjustDlg(QWidget* parent, COrvennaDoc& doc, const QString& title);
  // Where a subclass puts its sliders.
  QVBoxLayout* Controls() const { return controls_; }
  // A slider moved: the preview follows once the event loop runs.
  void ValuesMoved();
  // The settings now; a change of any of them recomputes the preview.
  virtual std::vector<int> Values() const = 0;
  // Runs the adjustment with these values on the image; non-zero on success.
  virtual int Adjust(CImageInterface& image, int& page, const std::vector<int>& values) const = 0;
  // Shows the values as text.
  virtual void ShowValues() = 0;

 private:
  void ApplyToDocument();
  void RestoreOriginal();

  COrvennaDoc& doc_;
  CImageInterface original_;  // the document's picture at the start, full size
  int page_ = 0;
  CImageInterface shown_;  // what the panes start from: the original or a reduced copy
  int shownPage_ = 0;
  CImageInterface preview_;
  int previewPage_ = 0;
  std::vector<int> lastValues_;
  std::vector<int> appliedValues_;  // what the document holds, when it holds an adjustment
  bool documentAdjusted_ = false;
  bool refreshPending_ = false;

  QVBoxLayout* controls_;
  QCheckBox* auto_;
  QPushButton* apply_;
  CImagePane* originalPane_;
  CImagePane* previewPane_;
};

}  // namespace orvenna

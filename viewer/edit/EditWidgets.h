// Pieces the edit dialogs share: a colour swatch, the pair of size fields that can
// keep a picture's proportions, a pane that shows a picture fitted and centred, and
// the wait cursor of the longer edits.
#pragma once

#include <QColor>
#include <QFrame>
#include <QObject>
#include <QPushButton>
#include <QWidget>

#include "lorimer/ImageInterface.h"
#include "platform/base/wintypes.h"

class QCheckBox;
class QDialog;
class QLayout;
class QGridLayout;
class QLineEdit;

namespace orvenna {

QColor FromColorref(COLORREF color);
COLORREF ToColorref(const QColor& color);

// The framework's title for the messages of its own dialogs.
inline constexpr const char kDialogMessageTitle[] = "Malvito";

// A group box showing a picture's size in two read-only fields named
// `<prefix>Width` and `<prefix>Height`.
QWidget* MakeSizeBox(const QString& title, const char* widthLabel, const char* heightLabel, const char* prefix,
                     int width, int height);
// OK and Cancel at the foot of a dialog, tied to its accept() and reject().
void AddOkCancel(QDialog* dialog, QLayout* layout);

// Shows the wait cursor for as long as it lives.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// A button painted in a colour; a click opens the desktop's colour dialog.
class CColorSwatch : public QPushButton {
  Q_OBJECT

 public:
  explicit CColorSwatch(COLORREF color, QWidget* parent = nullptr);
  COLORREF Color() const { return color_; }
  void SetColor(COLORREF color);

 signals:
  void ColorChanged(COLORREF color);

 private:
  void Choose();
  COLORREF color_ = 0;
};

// "New width:" / "New height:" fields of a picture of the given size. While
// proportions are constrained, editing one side sets the other from the picture's
// ratio; ticking the box recomputes from the side edited last.
class CSizeFields : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMinSide = 1;
  static constexpr int kMaxSide = 1500000;

  // Adds two rows (label and field) to the grid from `row` on, and the check box
  // below them.
  CSizeFields(QGridLayout* grid, int row, const QString& widthLabel, const QString& heightLabel, int sourceWidth,
              int sourceHeight, bool constrain, QWidget* owner);

  // The other side for a side of `side`, from the ratio `to` : `from`.
  static int Proportional(long long side, long long to, long long from);

  // As if the user typed the number into that field.
  void EditWidth(const QString& text);
  void EditHeight(const QString& text);
  void SetConstrain(bool constrain);
  bool Constrain() const;

  // Both fields as numbers in range; otherwise the framework's message, the field
  // gets the focus and the result is false.
  bool Validate(int* width, int* height);

  QLineEdit* WidthEdit() const { return width_; }
  QLineEdit* HeightEdit() const { return height_; }

 private:
  void WidthEdited();
  void HeightEdited();
  bool ReadField(QLineEdit* edit, int* value);

  QLineEdit* width_;
  QLineEdit* height_;
  QCheckBox* constrain_;
  int sourceWidth_;
  int sourceHeight_;
  bool heightEditedLast_ = false;
};

// Shows a picture fitted proportionally into the pane and centred, the margins in
// the button-face colour.
class CImagePane : public QFrame {
 public:
  explicit CImagePane(QWidget* parent = nullptr);
  void SetImage(CImageInterface* image, int page);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CImageInterface* image_ = nullptr;
  int page_ = 0;
};

}  // namespace orvenna

// What the parts of the viewer need of its main window. The main frame implements
// it; tests implement it with a small fake.
#pragma once

#include <string>
#include <vector>

#include "viewer/core/CommandMap.h"
#include "viewer/core/ViewerSettings.h"

class QWidget;
class QPoint;

namespace orvenna {

class COrvennaDoc;
class COrvennaView;

class IViewerHost {
 public:
  virtual ~IViewerHost() = default;

  // The main window: parent of dialogs, hidden while the print program runs.
  virtual QWidget* MainWindow() = 0;
  // Program-wide settings (read at start, written at the end).
  virtual CViewerSettings& Settings() = 0;
  // Commands of the program; parts register their handlers here.
  virtual CommandMap& Commands() = 0;

  // The document and view of the active image window, or null.
  virtual COrvennaDoc* ActiveDocument() = 0;
  virtual COrvennaView* ActiveView() = 0;
  // Every open document, oldest first.
  virtual std::vector<COrvennaDoc*> Documents() = 0;

  // Opens a file in a new image window: false (and no window) when it cannot be loaded.
  virtual bool OpenDocument(const std::string& path) = 0;
  // Adds the path to the recent-file list.
  virtual void AddRecentFile(const std::string& path) = 0;

  // The hand and lens toolbar buttons show the mode after every change.
  virtual void ModesChanged() = 0;
  // Shows a popup menu (one of the IDR_MENU_... resources) at a global position, for
  // the active document; ignored while that document already shows one.
  virtual void ShowPopupMenu(int menuResource, const QPoint& globalPos) = 0;
  // Before a raster-only operation on a vector image: asks "You cannot <verb> a
  // vector image..." and rasterizes on Yes. 1 to go on, 0 to stop; 1 at once for a
  // raster image.
  virtual int ConfirmRaster(COrvennaDoc& doc, const char* verb) = 0;
  // Status bar pane 0.
  virtual void SetStatusText(const std::string& text) = 0;
};

}  // namespace orvenna

#include "viewer/edit/EditCommands.h"

#include <QDialog>

#include <cstdio>
#include <string>

#include "platform/ui/ui.h"
#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/edit/CBrightnessDlg.h"
#include "viewer/edit/CContrastDlg.h"
#include "viewer/edit/CRasterizeDlg.h"
#include "viewer/edit/CRotateDlg.h"
#include "viewer/edit/CStretchDlg.h"
#include "viewer/edit/EditWidgets.h"

namespace orvenna {
namespace {

constexpr char kRasterQuestion[] = "You cannot %s a vector image.\nDo you want to rasterize it?";
constexpr char kRasterTitle[] = "Image should be raster";
constexpr DWORD kWhite = 0xFFFFFF;
constexpr int kBestQuality = 3;

// Whether the modified flag and page follow the call's result, or are set anyway.
enum class Outcome { kOnSuccess, kAlways };

// Makes the edit undoable: a drawing is first offered for rasterization (which
// takes its own snapshot), a picture is snapshotted. False to stop.
bool PrepareEdit(COrvennaDoc& doc, IViewerHost& host, const char* verb) {
  if (doc.m_imgCurrent.IsVectorImage()) return ConfirmRaster(doc, host, verb) != 0;
  WaitCursor wait;
  doc.TakeUndoSnapshot();
  // The snapshot leaves only the page shown in the current image.
  if (doc.m_nPage >= doc.m_imgCurrent.GetPageCount()) doc.m_nPage = 0;
  return true;
}

void FinishEdit(COrvennaDoc& doc, int result, Outcome outcome) {
  if (result || outcome == Outcome::kAlways) {
    doc.m_nPage = 0;
    doc.SetModifiedFlag(true);
  }
  doc.UpdateAllViews();
}

// Registers a command that prepares the edit, runs `call` and finishes it.
template <typename Call>
void OnEdit(IViewerHost& host, int id, const char* verb, Outcome outcome, Call call) {
  host.Commands().On(
      id,
      [&host, verb, outcome, call] {
        COrvennaDoc* doc = host.ActiveDocument();
        if (!doc || !PrepareEdit(*doc, host, verb)) return;
        int result;
        {
          WaitCursor wait;
          result = call(*doc);
        }
        FinishEdit(*doc, result, outcome);
      },
      [&host](CmdUI& ui) { ui.enabled = host.ActiveDocument() != nullptr; });
}

void RegisterMirrorAndRotate(IViewerHost& host) {
  struct Mirror {
    int id, first, second;
  };
  for (const Mirror m : {Mirror{ID_MIRROR_VERT, 1, 0}, Mirror{ID_MIRROR_HORZ, 0, 1}, Mirror{ID_MIRROR_BOTH, 1, 1}}) {
    OnEdit(host, m.id, "mirror", Outcome::kOnSuccess,
           [m](COrvennaDoc& doc) { return doc.m_imgCurrent.Mirror(m.first, m.second, doc.m_nPage); });
  }
  for (int id = ID_ROTATE_FIRST; id <= ID_ROTATE_LAST; ++id) {
    const float angle = 30.0f * static_cast<float>(id - ID_ROTATE_FIRST + 1);
    OnEdit(host, id, "rotate", Outcome::kOnSuccess, [&host, angle](COrvennaDoc& doc) {
      return doc.m_imgCurrent.Rotate(angle, host.Settings().crRotationBackColor, doc.m_nPage);
    });
  }
}

void RegisterDepths(IViewerHost& host) {
  struct Depth {
    int id, bits;
  };
  for (const Depth d : {Depth{ID_DEPTH_24, 24}, Depth{ID_DEPTH_8, 8}, Depth{ID_DEPTH_4, 4}, Depth{ID_DEPTH_1, 1}}) {
    host.Commands().On(
        d.id,
        [&host, d] {
          COrvennaDoc* doc = host.ActiveDocument();
          if (!doc || doc->m_imgCurrent.GetColorDepth() == d.bits) return;
          if (!PrepareEdit(*doc, host, "update")) return;
          {
            WaitCursor wait;
            doc->m_imgCurrent.SetColorDepth(d.bits, doc->m_nPage);
          }
          FinishEdit(*doc, 0, Outcome::kAlways);
        },
        [&host, d](CmdUI& ui) {
          COrvennaDoc* doc = host.ActiveDocument();
          ui.enabled = doc != nullptr;
          ui.radio = true;
          ui.checked = doc && doc->m_imgCurrent.GetColorDepth() == d.bits;
        });
  }
  host.Commands().On(
      ID_GRAYSCALE,
      [&host] {
        COrvennaDoc* doc = host.ActiveDocument();
        if (!doc || !PrepareEdit(*doc, host, "update")) return;
        {
          WaitCursor wait;
          doc->m_imgCurrent.SetGrayScale(doc->m_nPage);
        }
        FinishEdit(*doc, 0, Outcome::kAlways);
      },
      [&host](CmdUI& ui) {
        COrvennaDoc* doc = host.ActiveDocument();
        ui.enabled = doc != nullptr && doc->m_imgCurrent.GetColorDepth() != 1;
      });
}

void RegisterFilters(IViewerHost& host) {
  struct Filter {
    int id;
    const char* verb;
    int number;
  };
  const Filter filters[] = {{ID_SHARPEN, "sharpen", 0},    {ID_BLUR, "blur", 1},          {ID_EMBOSS, "emboss", 2},
                            {ID_EDGES_ALL, "analyze", 3},  {ID_EDGES_ALL2, "analyze", 4}, {ID_EDGES_VERT, "analyze", 5},
                            {ID_EDGES_HORZ, "analyze", 6}, {ID_LAPLACE, "sharp", 8}};
  for (const Filter f : filters) {
    OnEdit(host, f.id, f.verb, Outcome::kAlways, [f](COrvennaDoc& doc) {
      doc.m_nPage = 0;
      return doc.m_imgCurrent.FilterImage(f.number, doc.m_nPage);
    });
  }
  OnEdit(host, ID_INVERT, "invert", Outcome::kAlways, [](COrvennaDoc& doc) { return doc.m_imgCurrent.InvertImage(0); });
}

void OnStretch(IViewerHost& host) {
  COrvennaDoc* doc = host.ActiveDocument();
  if (!doc) return;
  if (doc->m_imgCurrent.IsVectorImage()) {
    Rasterize(*doc, host);
    return;
  }
  CViewerSettings& settings = host.Settings();
  CStretchDlg dialog(host.MainWindow(), doc->m_imgCurrent.GetWidth(0), doc->m_imgCurrent.GetHeight(0),
                     settings.nPropStretch != 0, settings.nZoomMethod);
  if (dialog.exec() != QDialog::Accepted) return;
  WaitCursor wait;
  doc->TakeUndoSnapshot();
  if (doc->m_nPage >= doc->m_imgCurrent.GetPageCount()) doc->m_nPage = 0;
  settings.nZoomMethod = dialog.MethodIndex();
  settings.nPropStretch = dialog.Constrain() ? 1 : 0;
  const int result = doc->m_imgCurrent.StretchImage(CStretchDlg::MethodNumber(settings.nZoomMethod), dialog.NewWidth(),
                                                    dialog.NewHeight(), 0, kBestQuality, kWhite, doc->m_nPage);
  FinishEdit(*doc, result, Outcome::kOnSuccess);
}

void OnCustomRotation(IViewerHost& host) {
  COrvennaDoc* doc = host.ActiveDocument();
  if (!doc) return;
  CRotateDlg dialog(host.MainWindow(), host.Settings().crRotationBackColor);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!PrepareEdit(*doc, host, "rotate")) return;
  host.Settings().crRotationBackColor = dialog.Background();
  int result;
  {
    WaitCursor wait;
    result = doc->m_imgCurrent.Rotate(dialog.Angle(), dialog.Background(), doc->m_nPage);
  }
  FinishEdit(*doc, result, Outcome::kOnSuccess);
}

// Brightness and contrast: the dialog shows and applies the change itself; the
// command makes it undoable and settles the modified flag.
template <typename Dialog>
void OnAdjust(IViewerHost& host) {
  COrvennaDoc* doc = host.ActiveDocument();
  if (!doc || !PrepareEdit(*doc, host, "update")) return;
  const bool wasModified = doc->IsModified();
  Dialog dialog(host.MainWindow(), *doc);
  if (dialog.exec() == QDialog::Accepted)
    doc->SetModifiedFlag(true);
  else
    doc->SetModifiedFlag(wasModified);
}

}  // namespace

int ConfirmRaster(COrvennaDoc& doc, IViewerHost& host, const char* verb) {
  if (!doc.m_imgCurrent.IsVectorImage()) return 1;
  char text[256];
  std::snprintf(text, sizeof text, kRasterQuestion, verb ? verb : "");
  if (vel::ui::MessageBox(kRasterTitle, text, MB_YESNO | MB_ICONINFORMATION) != IDYES) return 0;
  if (!Rasterize(doc, host)) return 0;
  doc.SetModifiedFlag(true);
  return 1;
}

int Rasterize(COrvennaDoc& doc, IViewerHost& host) {
  CViewerSettings& settings = host.Settings();
  CRasterizeDlg dialog(host.MainWindow(), doc.m_imgCurrent.GetWidth(0), doc.m_imgCurrent.GetHeight(0),
                       settings.nPropStretch != 0, settings.crRasterizeColor);
  if (dialog.exec() != QDialog::Accepted) return 0;
  WaitCursor wait;
  doc.TakeUndoSnapshot();
  settings.nPropStretch = dialog.Constrain() ? 1 : 0;
  settings.crRasterizeColor = dialog.Background();
  const int result = doc.m_imgCurrent.StretchImage(0, dialog.RasterWidth(), dialog.RasterHeight(), 0, kBestQuality,
                                                   settings.crRasterizeColor, doc.m_nPage);
  FinishEdit(doc, result, Outcome::kOnSuccess);
  return result;
}

void RegisterEditCommands(IViewerHost& host) {
  RegisterMirrorAndRotate(host);
  RegisterDepths(host);
  RegisterFilters(host);
  const auto whenActive = [&host](CmdUI& ui) { ui.enabled = host.ActiveDocument() != nullptr; };
  host.Commands().On(
      ID_STRETCH, [&host] { OnStretch(host); }, whenActive);
  host.Commands().On(
      ID_ROTATE_CUSTOM, [&host] { OnCustomRotation(host); }, whenActive);
  host.Commands().On(
      ID_BRIGHTNESS, [&host] { OnAdjust<CBrightnessDlg>(host); }, whenActive);
  host.Commands().On(
      ID_CONTRAST, [&host] { OnAdjust<CContrastDlg>(host); }, whenActive);
}

}  // namespace orvenna

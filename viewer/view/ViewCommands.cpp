// The zoom, work-area colour, mouse-mode, lens and full-screen commands.
#include <QColorDialog>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <array>
#include <memory>
#include <utility>

#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"
#include "viewer/view/CFullScreenWnd.h"
#include "viewer/view/CLensSizeDlg.h"
#include "viewer/view/ViewColours.h"
#include "viewer/view/COrvennaView.h"
#include "viewer/view/ViewGeometry.h"

namespace orvenna {

namespace {

// The lens magnifications by command; 32860 has none.
constexpr std::array<std::pair<int, double>, 8> kLensCommands = {
    {{32854, 1.5}, {32855, 2.0}, {32856, 2.5}, {32857, 3.0}, {32858, 3.5}, {32859, 4.0}, {32861, 4.5}, {32862, 5.0}}};

// The command of a ladder step: 5 % .. 90 %, then 100 %, then 150 % .. 400 %.
int LadderCommand(size_t index) {
  if (index < 10) return ID_ZOOM_FIRST + static_cast<int>(index);
  if (index == 10) return ID_ZOOM_100;
  return ID_ZOOM_150 + static_cast<int>(index - 11);
}

QScreen* ScreenOf(IViewerHost& host) {
  QWidget* main = host.MainWindow();
  if (main && main->screen()) return main->screen();
  return QGuiApplication::primaryScreen();
}

void RegisterZoomCommands(IViewerHost& host) {
  IViewerHost* h = &host;
  CommandMap& map = host.Commands();
  for (size_t i = 0; i < kZoomLadder.size(); ++i) {
    const double value = kZoomLadder[i];
    map.On(
        LadderCommand(i),
        [h, value] {
          if (COrvennaDoc* doc = h->ActiveDocument()) {
            doc->m_dZoom = value;
            doc->UpdateAllViews();
          }
        },
        [h, value](CmdUI& ui) {
          COrvennaDoc* doc = h->ActiveDocument();
          ui.enabled = doc != nullptr;
          ui.radio = true;
          ui.checked = doc && doc->m_dZoom == value;
        });
  }
  auto toggleFit = [h] {
    if (COrvennaDoc* doc = h->ActiveDocument()) {
      ToggleFit(doc->m_dZoom, doc->m_dZoomBeforeFit);
      doc->UpdateAllViews();
    }
  };
  map.On(ID_ZOOM_FIT, toggleFit, [h](CmdUI& ui) {
    COrvennaDoc* doc = h->ActiveDocument();
    ui.enabled = doc != nullptr;
    ui.checked = doc && doc->m_dZoom == kFitZoom;
  });
  map.On(ID_ZOOM_FIT2, toggleFit, [h](CmdUI& ui) { ui.enabled = h->ActiveDocument() != nullptr; });
  // Zoom In and Zoom Out: one ladder step, offered while there is one.
  auto step = [&map, h](int id, double (*next)(double, double), bool (*allowed)(int position)) {
    map.On(
        id,
        [h, next] {
          if (COrvennaDoc* doc = h->ActiveDocument()) {
            doc->m_dZoom = next(doc->m_dZoom, doc->m_dZoomBeforeFit);
            doc->UpdateAllViews();
          }
        },
        [h, allowed](CmdUI& ui) {
          COrvennaDoc* doc = h->ActiveDocument();
          ui.enabled = doc && allowed(LadderPosition(doc->m_dZoom, doc->m_dZoomBeforeFit));
        });
  };
  step(ID_ZOOM_IN, &ZoomInValue, [](int position) { return position <= 13; });
  step(ID_ZOOM_OUT, &ZoomOutValue, [](int position) { return position > 0; });
}

void RegisterAreaCommands(IViewerHost& host) {
  IViewerHost* h = &host;
  CommandMap& map = host.Commands();
  auto setColour = [h](COLORREF (*colour)()) {
    return [h, colour] {
      if (COrvennaDoc* doc = h->ActiveDocument()) {
        doc->m_crWorkArea = colour();
        doc->UpdateAllViews();
      }
    };
  };
  auto markWhen = [h](COLORREF (*colour)()) {
    return [h, colour](CmdUI& ui) {
      COrvennaDoc* doc = h->ActiveDocument();
      ui.enabled = doc != nullptr;
      ui.checked = doc && doc->m_crWorkArea == colour();
    };
  };
  map.On(ID_AREA_WINDOWS, setColour(&SystemWindowColor), markWhen(&SystemWindowColor));
  map.On(ID_AREA_DEFAULT, setColour(&SystemBtnShadowColor), markWhen(&SystemBtnShadowColor));
  map.On(
      ID_AREA_CUSTOM,
      [h] {
        COrvennaDoc* doc = h->ActiveDocument();
        if (!doc) return;
        QPointer<COrvennaDoc> guard(doc);
        const QColor chosen = QColorDialog::getColor(ToQColor(doc->m_crWorkArea), h->MainWindow());
        if (!guard || !chosen.isValid()) return;
        doc->m_crWorkArea = ToColorRef(chosen);
        doc->UpdateAllViews();
      },
      [h](CmdUI& ui) {
        COrvennaDoc* doc = h->ActiveDocument();
        ui.enabled = doc != nullptr;
        ui.checked = doc && doc->m_crWorkArea != SystemWindowColor() && doc->m_crWorkArea != SystemBtnShadowColor();
      });
}

void RegisterModeCommands(IViewerHost& host) {
  IViewerHost* h = &host;
  CommandMap& map = host.Commands();
  map.On(
      ID_HAND_MODE,
      [h] {
        h->Settings().m_bHandMode = h->Settings().m_bHandMode ? 0 : 1;
        h->ModesChanged();
      },
      [h](CmdUI& ui) { ui.checked = h->Settings().m_bHandMode != 0; });
  for (const auto& [id, magnification] : kLensCommands) {
    const double m = magnification;
    map.On(
        id,
        [h, m] {
          h->Settings().m_dLensMagnification = m;
          h->Settings().m_bHandMode = 0;
          h->ModesChanged();
        },
        [h, m](CmdUI& ui) {
          const CViewerSettings& s = h->Settings();
          ui.checked = !s.m_bHandMode && s.m_dLensMagnification == m;
        });
  }
  map.On(ID_LENS_SIZE, [h] {
    CViewerSettings& s = h->Settings();
    QScreen* screen = ScreenOf(*h);
    const QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    CLensSizeDlg dialog(s.m_nLensCX, s.m_nLensCY, size, h->MainWindow());
    if (dialog.exec() != QDialog::Accepted) return;
    s.m_nLensCX = dialog.LensCX();
    s.m_nLensCY = dialog.LensCY();
    s.m_bHandMode = 0;
    h->ModesChanged();
  });
}

void RegisterFullScreenCommands(IViewerHost& host) {
  IViewerHost* h = &host;
  // The one full-screen window the program shows at a time.
  auto window = std::make_shared<QPointer<CFullScreenWnd>>();
  CommandMap& map = host.Commands();
  map.On(
      ID_FULL_SCREEN,
      [h, window] {
        COrvennaDoc* doc = h->ActiveDocument();
        if (!doc) return;
        if (*window) (*window)->close();
        auto* shown = new CFullScreenWnd(doc, h);
        *window = shown;
        QScreen* screen = ScreenOf(*h);
        shown->setGeometry(screen ? screen->geometry() : QRect(0, 0, 1024, 768));
        shown->showFullScreen();
        shown->raise();
        shown->activateWindow();
        shown->setFocus();
      },
      [h](CmdUI& ui) { ui.enabled = h->ActiveDocument() != nullptr; });
  map.On(
      ID_END_FULL_SCREEN,
      [window] {
        if (*window) (*window)->close();
        *window = nullptr;
      },
      [window](CmdUI& ui) { ui.enabled = !window->isNull(); });
}

}  // namespace

void RegisterViewCommands(IViewerHost& host) {
  RegisterZoomCommands(host);
  RegisterAreaCommands(host);
  RegisterModeCommands(host);
  RegisterFullScreenCommands(host);
}

}  // namespace orvenna

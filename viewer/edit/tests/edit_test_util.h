// Helpers of the edit tests: a host with the edit commands, pictures made with the
// library, pixels read back, and modal dialogs driven from the event loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/owned.h"
#include "platform/registry/tests/temp_registry.h"
#include "platform/ui/ui.h"
#include "viewer/core/tests/fake_host.h"
#include "viewer/edit/EditCommands.h"

namespace orvenna::testing {

class EditFixture : public vel::reg::testing::TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    RegisterEditCommands(host);
    vel::ui::SetMessageObserver([this](const std::string& title, const std::string& text, unsigned) {
      messages.push_back(title + ": " + text);
      return answer;
    });
  }
  void TearDown() override {
    vel::ui::SetMessageObserver({});
    TempRegistry::TearDown();
  }

  // A new active document holding a w x h picture of one colour (0x00BBGGRR).
  COrvennaDoc& NewDocument(int w, int h, DWORD color = 0x808080) {
    auto doc = std::make_unique<COrvennaDoc>(&host);
    doc->m_imgCurrent.InitFromHBITMAP(CImageInterface::CreateEmptyDIBSection(w, h, color, 0));
    host.active = doc.get();
    host.docs.push_back(std::move(doc));
    return *host.active;
  }

  // The colour of a pixel of page 0, as 0x00BBGGRR; ~0 when it cannot be read.
  static DWORD Pixel(CImageInterface& image, int x, int y) {
    vel::gdi::OwnedBitmap bitmap(image.GetHBITMAP(1, 0));
    vel::gdi::BitmapView v;
    if (!vel::gdi::GetBitmapView(bitmap.get(), &v) || v.bitsPerPixel != 24 || x >= v.width || y >= v.height)
      return ~DWORD{0};
    const BYTE* p = v.row(y) + 3 * x;
    return p[2] | (p[1] << 8) | (p[0] << 16);
  }

  // Runs `act` on the modal dialog of type T once the event loop shows it; `act`
  // closes it. A dialog of another type is rejected and the test fails.
  template <typename T>
  static void WhenModal(std::function<void(T&)> act, int tries = 100) {
    QTimer::singleShot(10, [act, tries] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<T*>(modal)) return act(*dialog);
      if (tries > 0) return WhenModal<T>(act, tries - 1);
      ADD_FAILURE() << "the expected dialog did not appear";
      if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
    });
  }

  // Saves a picture of the dialog for a person to look at.
  static void Shoot(QWidget& widget, const char* name) {
    QDir().mkpath(QStringLiteral("/tmp/shots"));
    widget.grab().save(QStringLiteral("/tmp/shots/edit-%1.png").arg(QString::fromLatin1(name)));
  }

  FakeHost host;
  std::vector<std::string> messages;
  int answer = IDYES;
};

}  // namespace orvenna::testing

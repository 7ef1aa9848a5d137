// A main window for the tests of the viewer's parts: documents it is handed, the
// settings, the command map, and a record of what the parts asked of it.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"

namespace orvenna::testing {

class FakeHost : public IViewerHost {
 public:
  FakeHost() : window_(std::make_unique<QWidget>()) {}

  QWidget* MainWindow() override { return window_.get(); }
  CViewerSettings& Settings() override { return settings; }
  CommandMap& Commands() override { return commands; }
  COrvennaDoc* ActiveDocument() override { return active; }
  COrvennaView* ActiveView() override { return view; }
  std::vector<COrvennaDoc*> Documents() override {
    std::vector<COrvennaDoc*> all;
    for (auto& d : docs) all.push_back(d.get());
    return all;
  }
  bool OpenDocument(const std::string& path) override {
    auto doc = std::make_unique<COrvennaDoc>(this);
    if (!doc->OnOpenDocument(path)) return false;
    active = doc.get();
    docs.push_back(std::move(doc));
    return true;
  }
  void AddRecentFile(const std::string& path) override { recent.push_back(path); }
  void ModesChanged() override { ++modesChanged; }
  void ShowPopupMenu(int menuResource, const QPoint&) override { popups.push_back(menuResource); }
  int ConfirmRaster(COrvennaDoc& doc, const char* verb) override {
    if (!doc.m_imgCurrent.IsVectorImage()) return 1;
    confirmVerbs.push_back(verb);
    return confirmAnswer ? confirmAnswer(doc) : 0;
  }
  void SetStatusText(const std::string& text) override { status = text; }

  // A new document holding the file, made active; null when it does not load.
  COrvennaDoc* Open(const std::string& path) { return OpenDocument(path) ? active : nullptr; }

  CViewerSettings settings;
  CommandMap commands;
  COrvennaDoc* active = nullptr;
  COrvennaView* view = nullptr;
  std::vector<std::unique_ptr<COrvennaDoc>> docs;
  std::vector<std::string> recent;
  std::vector<int> popups;
  std::vector<std::string> confirmVerbs;
  std::function<int(COrvennaDoc&)> confirmAnswer;  // what the vector question answers
  std::string status;
  int modesChanged = 0;

 private:
  std::unique_ptr<QWidget> window_;
};

}  // namespace orvenna::testing

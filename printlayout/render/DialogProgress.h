// The renderer's progress shown in a progress dialog: one step per placement,
// and window events handled whenever the renderer asks about Cancel.
#pragma once

#include "platform/ui/progress.h"
#include "printlayout/render/PageRenderer.h"

namespace tessaly {

class DialogProgress : public RenderProgress {
 public:
  explicit DialogProgress(vel::ui::ProgressDialog& dialog) : dialog_(dialog) {}
  void step() override { dialog_.stepIt(); }
  bool cancelled() override {
    dialog_.pump();
    return dialog_.cancelled();
  }

 private:
  vel::ui::ProgressDialog& dialog_;
};

}  // namespace tessaly

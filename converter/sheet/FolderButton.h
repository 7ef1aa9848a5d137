// The wide button under "Store ... in folder:" that shows the chosen folder as
// its caption and lets the user pick another through Corwen's folder browser.
#pragma once

#include <QPushButton>

#include <functional>
#include <string>

namespace converter {

inline constexpr const char* kBrowseCaption = "Browse";

class CFolderButton : public QPushButton {
 public:
  explicit CFolderButton(const char* objectName);

  // "Browse" as the caption while no folder is chosen.
  void SetFolder(const std::string& folder);
  const std::string& Folder() const { return folder_; }
  void SetOnChanged(std::function<void()> changed) { changed_ = std::move(changed); }

 private:
  void BrowseForFolder();
  std::string folder_;
  std::function<void()> changed_;
};

}  // namespace converter

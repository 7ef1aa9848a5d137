// Start-up of the viewer: the command line, one instance per user (a second
// start hands its file to the first and ends), the main window and the App
// Paths entry through which the other programs find the viewer.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orvenna {

class CMainFrame;

// The file other programs and the desktop start the viewer under.
inline constexpr const char kAppPathName[] = "Quorra.exe";

class COrvennaApp {
 public:
  COrvennaApp();
  ~COrvennaApp();

  // The one optional file of the command line, made absolute; "" without one.
  static std::string FileArgument(const std::vector<std::string>& args);
  // When an instance runs already: hands it the file (if any), asks it to come
  // to the front when there was one, and returns true: this start should end.
  static bool HandOverToRunningInstance(const std::string& file);
  // Points HKLM App Paths "Quorra.exe" at the running program (when it does not already).
  static bool RegisterAppPath();

  // Makes the main window, takes the instance name and opens the file (a file
  // that cannot be opened leaves the empty window). False when another instance
  // took the name meanwhile: the file went to it and this start should end.
  bool InitInstance(const std::string& file);
  CMainFrame* MainFrame() const { return frame_.get(); }

  // The whole program: 0 on a normal end.
  static int Main(int argc, char** argv);

 private:
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace orvenna

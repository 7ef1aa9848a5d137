// Qt helpers every program shares: the application object, the extra font
// folder, and message boxes that also work without a display.
#pragma once

#include <functional>
#include <string>

// MessageBox button sets, icons and default button.
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_OKCANCEL = 0x00000001;
constexpr unsigned MB_YESNOCANCEL = 0x00000003;
constexpr unsigned MB_YESNO = 0x00000004;
constexpr unsigned MB_ICONERROR = 0x00000010;
constexpr unsigned MB_ICONQUESTION = 0x00000020;
constexpr unsigned MB_ICONWARNING = 0x00000030;
constexpr unsigned MB_ICONEXCLAMATION = MB_ICONWARNING;
constexpr unsigned MB_ICONINFORMATION = 0x00000040;
constexpr unsigned MB_DEFBUTTON2 = 0x00000100;

// MessageBox answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

namespace vel::ui {

// True when DISPLAY or WAYLAND_DISPLAY names a display.
bool HasDisplay();

// Makes sure a Qt application object exists. Creates a QApplication for the rest of
// the process when there is none, picking the offscreen platform when there is no
// display (unless QT_QPA_PLATFORM says otherwise); an existing QCoreApplication is
// left as it is. Call from the main thread.
void EnsureApplication();

// Adds the fonts-wine faces (/usr/share/wine/fonts, which fontconfig does not scan)
// to the application's fonts, so "Tahoma" is the real Tahoma. Does the work once;
// later calls return at once. Needs a QGuiApplication; without one it does nothing
// and a later call tries again.
void RegisterExtraFonts();

// A message box with the exact title and text. Without a display (or on Qt's
// offscreen or minimal platform) it writes "title: text" as one line to standard
// error, line breaks shown as \n, and answers with the default button at once.
int MessageBox(const std::string& title, const std::string& text, unsigned type = MB_OK);

// Receives every message box instead of the screen or standard error; its return value
// is the answer. An empty function restores the normal behaviour. For tests.
using MessageObserver = std::function<int(const std::string& title, const std::string& text, unsigned type)>;
void SetMessageObserver(MessageObserver observer);

// The answer a box of this type gives when nobody clicks: its first button, or the
// second with MB_DEFBUTTON2.
int DefaultAnswer(unsigned type);

// The line a box writes to standard error when it cannot be shown (no newline).
std::string HeadlessLine(const std::string& title, const std::string& text);

}  // namespace vel::ui

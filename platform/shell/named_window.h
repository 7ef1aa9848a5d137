// Windows that other processes find by name and send messages to, in place of
// FindWindowA and PostMessageA between programs of the suite.
//
// Each name is one local socket in the user's runtime folder; a message travels
// as one small fixed-size record, a block of data (WM_COPYDATA's job) as one
// record head followed by its bytes. Finding and posting need no Qt and no event
// loop; receiving happens on the Qt event loop of the thread that made the
// NamedWindow.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/base/wintypes.h"

class QWidget;

namespace vel::shell {

constexpr UINT kWmClose = 0x0010;
constexpr UINT kNamedActivate = 0x0006;  // bring the window to the front
// The most bytes one SendNamedData carries; more is refused by both ends.
constexpr size_t kMaxNamedData = 64 * 1024;

// $XDG_RUNTIME_DIR, else a private /tmp/runtime-<user> (made when missing).
// "" when no private folder can be had.
std::string RuntimeFolder();

// The socket path a window of that name listens on.
std::string NamedWindowSocketPath(const std::string& name);

// A window other processes can find by name and message. kNamedActivate shows,
// raises and activates `window` itself. kWmClose closes it through
// QWidget::close(), so a window that must not go away refuses in its
// closeEvent, as a Windows program answers WM_CLOSE. Every message, those two
// included, is first passed to onMessage. `window` may be null (a hidden
// message target) and may be deleted before this object.
class NamedWindow {
 public:
  NamedWindow(QWidget* window, const std::string& name, std::function<void(UINT message, WPARAM, LPARAM)> onMessage);
  ~NamedWindow();
  NamedWindow(const NamedWindow&) = delete;
  NamedWindow& operator=(const NamedWindow&) = delete;

  // False when the name is taken by a live window of another owner, or no
  // socket could be made.
  bool listening() const;

  // Receives what SendNamedData sends to this window (as WM_COPYDATA would:
  // the sender's identifier and its bytes). Without one, data is dropped.
  using DataHandler = std::function<void(UINT_PTR id, const std::string& data)>;
  void SetDataHandler(DataHandler handler);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// True when a live window of that name answers. The socket of a process that
// died without cleaning up does not count.
bool FindNamedWindow(const std::string& name);
// Queues the message for the window and returns without waiting for it to be
// handled. FALSE when no live window has that name.
bool PostNamedMessage(const std::string& name, UINT message, WPARAM w = 0, LPARAM l = 0);
// Hands a block of bytes (at most kMaxNamedData) to the window, in place of
// WM_COPYDATA. Returns when the bytes are on their way; FALSE when no live
// window has that name, the data is too long or it could not all be sent.
bool SendNamedData(const std::string& name, UINT_PTR id, const std::string& data);

}  // namespace vel::shell

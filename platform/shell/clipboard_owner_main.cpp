// velclipboard: keeps a program's clipboard data on offer after the program
// ends, until another program takes the clipboard. Started by CloseClipboard
// with the path of a container file, which it deletes once it holds the data.
#include <QGuiApplication>

#include <string>

#include <unistd.h>

#include "platform/shell/clipboard.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string path = argv[1];  // before Qt takes its own arguments out
  // Our own session: the terminal the program ran in may close long before
  // another program takes the clipboard.
  setsid();
  QGuiApplication app(argc, argv);
  return vel::shell::ServeClipboardFile(path);
}

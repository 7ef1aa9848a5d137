#include "platform/shell/named_window.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vel::shell {
namespace {

// One message on the wire: a tag that tells our records from stray bytes,
// then the message and its two parameters, in the machine's byte order (both
// ends are on this machine).
constexpr std::uint32_t kRecordTag = 0x314D5756;  // "VWM1"
// A block of data: the tag, its length, the sender's identifier, then the
// bytes. The head is as long as a message record, so one peek tells them apart.
constexpr std::uint32_t kDataTag = 0x31445756;  // "VWD1"
constexpr size_t kRecordBytes = 24;
// A sender that stops in the middle of a record is not waited for long.
constexpr int kSendTimeoutMs = 2000;
constexpr size_t kReadableNameChars = 40;

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

bool PrivateFolder(const std::string& dir) {
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

// A connected socket to the name, or -1. Connecting is how we tell a live
// window from a socket file left behind by a process that died: nobody
// accepts on the latter.
int Connect(const std::string& name) {
  const std::string path = NamedWindowSocketPath(name);
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval limit{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::vector<char> EncodeRecord(UINT message, WPARAM w, LPARAM l) {
  std::vector<char> record(kRecordBytes);
  const std::uint32_t tag = kRecordTag, msg = message;
  const std::uint64_t wide = w;
  const std::int64_t signedLong = l;
  std::memcpy(record.data(), &tag, 4);
  std::memcpy(record.data() + 4, &msg, 4);
  std::memcpy(record.data() + 8, &wide, 8);
  std::memcpy(record.data() + 16, &signedLong, 8);
  return record;
}

std::vector<char> EncodeDataHead(UINT_PTR id, size_t length) {
  std::vector<char> head(kRecordBytes, 0);
  const std::uint32_t tag = kDataTag, size = static_cast<std::uint32_t>(length);
  const std::uint64_t wide = id;
  std::memcpy(head.data(), &tag, 4);
  std::memcpy(head.data() + 4, &size, 4);
  std::memcpy(head.data() + 8, &wide, 8);
  return head;
}

bool SendAll(int fd, const char* bytes, size_t length) {
  size_t sent = 0;
  while (sent < length) {
    ssize_t n = ::send(fd, bytes + sent, length - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  return sent == length;
}

}  // namespace

std::string RuntimeFolder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && *xdg && PrivateFolder(xdg)) return xdg;
  const passwd* user = getpwuid(getuid());
  const std::string dir =
      std::string("/tmp/runtime-") + (user && user->pw_name ? user->pw_name : std::to_string(getuid()));
  mkdir(dir.c_str(), 0700);
  struct stat st {};
  // Someone else's folder, or one others may write into, is no place for our sockets.
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0)
    return "";
  return dir;
}

std::string NamedWindowSocketPath(const std::string& name) {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return "";
  // Names are window titles and classes: any text. The readable prefix helps
  // whoever lists the folder; the hash of the whole name keeps names apart.
  std::string readable;
  for (unsigned char c : name) {
    if (readable.size() >= kReadableNameChars) break;
    readable += std::isalnum(c) || c == '-' || c == '_' || c == '.' ? static_cast<char>(c) : '_';
  }
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(name)));
  return folder + "/velmark-window-" + readable + "-" + hash;
}

bool FindNamedWindow(const std::string& name) {
  int fd = Connect(name);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool PostNamedMessage(const std::string& name, UINT message, WPARAM w, LPARAM l) {
  int fd = Connect(name);
  if (fd < 0) return false;
  const std::vector<char> record = EncodeRecord(message, w, l);
  const bool sent = SendAll(fd, record.data(), record.size());
  ::close(fd);
  return sent;
}

bool SendNamedData(const std::string& name, UINT_PTR id, const std::string& data) {
  if (data.size() > kMaxNamedData) return false;
  int fd = Connect(name);
  if (fd < 0) return false;
  const std::vector<char> head = EncodeDataHead(id, data.size());
  const bool sent = SendAll(fd, head.data(), head.size()) && SendAll(fd, data.data(), data.size());
  ::close(fd);
  return sent;
}

struct NamedWindow::Impl {
  QPointer<QWidget> window;
  std::function<void(UINT, WPARAM, LPARAM)> onMessage;
  DataHandler onData;
  QLocalServer server;
  bool listening = false;

  void Accept() {
    while (QLocalSocket* socket = server.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, &server, [this, socket] { Read(socket); });
      // Bytes may have arrived with the connection already.
      if (socket->bytesAvailable() > 0) Read(socket);
    }
  }

  void Read(QLocalSocket* socket) {
    // A handler may delete the window object that owns us, or drop the
    // connection: both are checked after every message.
    QPointer<QLocalServer> alive(&server);
    QPointer<QLocalSocket> open(socket);
    while (alive && open && socket->bytesAvailable() >= static_cast<qint64>(kRecordBytes)) {
      char record[kRecordBytes];
      if (socket->peek(record, kRecordBytes) != static_cast<qint64>(kRecordBytes)) break;
      std::uint32_t tag, message;
      std::memcpy(&tag, record, 4);
      std::memcpy(&message, record + 4, 4);
      if (tag == kDataTag) {
        // A block waits until all its bytes are here; a length past the limit
        // is not ours to buffer.
        if (message > kMaxNamedData) {
          socket->abort();
          return;
        }
        if (socket->bytesAvailable() < static_cast<qint64>(kRecordBytes + message)) return;
        std::uint64_t id;
        std::memcpy(&id, record + 8, 8);
        socket->skip(kRecordBytes);
        std::string data(message, '\0');
        if (message > 0 && socket->read(data.data(), message) != static_cast<qint64>(message)) break;
        if (onData) onData(static_cast<UINT_PTR>(id), data);
        continue;
      }
      if (tag != kRecordTag) {
        // Not one of ours: drop the connection rather than guess at framing.
        socket->abort();
        return;
      }
      socket->skip(kRecordBytes);
      std::uint64_t w;
      std::int64_t l;
      std::memcpy(&w, record + 8, 8);
      std::memcpy(&l, record + 16, 8);
      Dispatch(message, static_cast<WPARAM>(w), static_cast<LPARAM>(l));
    }
  }

  void Dispatch(UINT message, WPARAM w, LPARAM l) {
    QPointer<QLocalServer> alive(&server);
    if (onMessage) onMessage(message, w, l);
    if (!alive || !window) return;
    if (message == kNamedActivate) {
      if (window->isMinimized())
        window->showNormal();
      else
        window->show();
      window->raise();
      window->activateWindow();
    } else if (message == kWmClose) {
      window->close();
    }
  }
};

NamedWindow::NamedWindow(QWidget* window, const std::string& name, std::function<void(UINT, WPARAM, LPARAM)> onMessage)
    : impl_(std::make_unique<Impl>()) {
  impl_->window = window;
  impl_->onMessage = std::move(onMessage);
  const std::string path = NamedWindowSocketPath(name);
  if (path.empty() || path.size() >= sizeof(sockaddr_un{}.sun_path)) return;
  // A live window already has the name: it keeps it. A socket nobody accepts
  // on was left by a process that died, and is ours to replace.
  if (FindNamedWindow(name)) return;
  ::unlink(path.c_str());
  impl_->server.setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(&impl_->server, &QLocalServer::newConnection, &impl_->server,
                   [impl = impl_.get()] { impl->Accept(); });
  impl_->listening = impl_->server.listen(QString::fromStdString(path));
}

NamedWindow::~NamedWindow() {
  // QLocalServer::close removes the socket file, so the name is free at once.
  if (impl_->listening) impl_->server.close();
}

bool NamedWindow::listening() const { return impl_->listening; }

void NamedWindow::SetDataHandler(DataHandler handler) { impl_->onData = std::move(handler); }

}  // namespace vel::shell

#include "viewer/handover/PrintHandOver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "lorimer/ImageInterface.h"
#include "platform/gdi/owned.h"
#include "platform/shell/shell.h"
#include "platform/ui/ui.h"
#include "viewer/core/Host.h"
#include "viewer/doc/COrvennaDoc.h"

namespace orvenna {
namespace {

constexpr const char kPrintModuleName[] = "_preview";
constexpr const char kTempPrefix[] = "lrmr_";
constexpr const char kManagerSwitches[] = "/N:\"Print Manager for Corbanix\" /C:\" \" ";

constexpr const char kMsgPrintError[] = "Print preview error.";
constexpr const char kMsgNoModule[] = "Cannot find the print preview module.\nPrint preview creating canceled.";
constexpr const char kMsgTempFile[] = "Cannot create temporary file.\nPrint preview creating canceled.";
constexpr const char kMsgTempError[] = "Error creating temporary file.\nPrint preview creating canceled.";
constexpr const char kMsgTempFiles[] = "Cannot create temporary files.\nPrint preview creating canceled.";
constexpr const char kMsgLaunch[] = "Cannot launch print preview.\nPrint preview creating canceled.";

std::string g_programFolder;  // set by tests only
handover_testing::MetaFileCopier g_copyMetaFile = nullptr;

void PrintMessage(const char* text) { vel::ui::MessageBox(kPrintTitle, text, MB_OK | MB_ICONEXCLAMATION); }

// The wait cursor for as long as the hand-over runs.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// A file handed to the print program, and whether we made it (and so remove it).
struct HandOverFile {
  std::string path;
  bool temporary = false;
};

bool FileExists(const std::string& path) { return !path.empty() && _access(path.c_str(), 0) == 0; }

// The print-temp record: 24-bit LZW TIFF, every later page appended.
_SAVEIMAGEINFO::_TIF PrintTempRecord(int page) {
  _SAVEIMAGEINFO::_TIF record{};
  record.width = -1;
  record.height = -1;
  record.method = 4;
  record.depth = 24;
  record.colour = 1;
  record.compression = _SAVEIMAGEINFO::_TIF::COMPRESS_LZW;
  record.append = page > 0 ? 1 : 0;
  return record;
}

bool WriteVector(CImageInterface& image, const std::string& path) {
  vel::gdi::OwnedMetaFile metafile(image.GetHWMF());
  if (!metafile) return false;
  auto copy = g_copyMetaFile ? g_copyMetaFile : &CopyMetaFileA;
  vel::gdi::OwnedMetaFile written(copy(metafile.get(), path.c_str()));
  return static_cast<bool>(written);
}

bool WriteRaster(CImageInterface& image, const std::string& path) {
  const int pages = image.GetPageCount();
  for (int page = 0; page < pages; ++page) {
    CImageInterface pageImage;
    if (!pageImage.InitFromHBITMAP(image.GetHBITMAP(1, page))) return false;
    _SAVEIMAGEINFO::_TIF record = PrintTempRecord(page);
    if (!pageImage.Save(path.c_str(), &record)) return false;
  }
  return pages > 0;
}

// The file for one document: its own file when it is unchanged and still on disk,
// else a temporary copy of the picture. False when the copy could not be written;
// a half-written or empty temporary file is removed then, so nothing is left behind.
bool ChooseFile(COrvennaDoc& doc, HandOverFile* out) {
  if (!doc.IsModified() && FileExists(doc.GetPathName())) {
    *out = {doc.GetPathName(), false};
    return true;
  }
  std::string temp = NewTempFile(kTempPrefix);
  if (temp.empty()) return false;
  CImageInterface& image = doc.m_imgCurrent;
  const bool written = image.IsVectorImage() ? WriteVector(image, temp) : WriteRaster(image, temp);
  if (!written) {
    CImageInterface::RemoveFileEx(temp.c_str());
    return false;
  }
  *out = {temp, true};
  return true;
}

// The print module's path, or "" after telling the user why there is none.
std::string CheckPrintModule() {
  if (ProgramFolder().empty()) {
    PrintMessage(kMsgPrintError);
    return {};
  }
  std::string module = PrintModulePath();
  if (_access(module.c_str(), 0) != 0) {
    PrintMessage(kMsgNoModule);
    return {};
  }
  return module;
}

enum class RunResult { kFailed, kEnded, kNotWaited };

// Starts the print program with the main window hidden and waits for it to end.
// The wait keeps the event loop turning (without user input), so the program
// stays alive to the desktop while its window is away.
RunResult RunPrintModule(IViewerHost& host, const std::string& module, const std::string& params) {
  if (QWidget* window = host.MainWindow()) window->hide();
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = module.c_str();
  info.lpParameters = params.c_str();
  info.nShow = SW_SHOW;
  if (!ShellExecuteExA(&info) || info.hInstApp <= 32) {
    if (info.hProcess) CloseHandle(info.hProcess);
    return RunResult::kFailed;
  }
  if (!info.hProcess) return RunResult::kNotWaited;
  if (WaitForSingleObject(info.hProcess, 0) == WAIT_FAILED) {
    CloseHandle(info.hProcess);
    return RunResult::kNotWaited;
  }
  do {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } while (WaitForSingleObject(info.hProcess, 50) == WAIT_TIMEOUT);
  CloseHandle(info.hProcess);
  return RunResult::kEnded;
}

void ShowMainWindow(IViewerHost& host, bool restore) {
  QWidget* window = host.MainWindow();
  if (!window) return;
  if (restore)
    window->showNormal();
  else
    window->show();
}

void RemoveTemporary(const HandOverFile& file) {
  if (file.temporary) CImageInterface::RemoveFileEx(file.path.c_str());
}

}  // namespace

std::string NewTempFile(const char* prefix) {
  char dir[MAX_PATH] = {};
  char name[MAX_PATH] = {};
  const DWORD length = GetTempPathA(sizeof dir, dir);
  if (length == 0 || length >= sizeof dir) return {};
  if (!GetTempFileNameA(dir, prefix, 0, name)) return {};
  return name;
}

std::string ProgramFolder() {
  if (!g_programFolder.empty()) return g_programFolder;
  char program[1031] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return {};
  const char* slash = std::strrchr(program, '/');
  if (!slash) return {};
  return slash == program ? std::string("/") : std::string(program, static_cast<size_t>(slash - program));
}

std::string PrintModulePath() {
  std::string folder = ProgramFolder();
  if (folder.empty()) return {};
  if (folder.back() != '/') folder += '/';
  return folder + kPrintModuleName + kExeSuffix;
}

std::string PrintParameters(int pageCount, const std::string& path) {
  std::string params = kManagerSwitches;
  if (pageCount < 2) params += "/A:1,1 ";
  return params + "\"" + path + "\"";
}

std::string PrintAllPrefix(int fileCount) {
  // Rows x columns of the layout that shows every picture on one page.
  const char* layout = fileCount <= 1   ? "/A:1,1 "
                       : fileCount == 2 ? "/A:1,2 "
                       : fileCount == 3 ? "/A:1,3 "
                       : fileCount == 4 ? "/A:2,2 "
                       : fileCount <= 6 ? "/A:3,2 "
                       : fileCount <= 9 ? "/A:3,3 "
                                        : "";
  return std::string(kManagerSwitches) + layout;
}

void PrintActiveDocument(IViewerHost& host) {
  COrvennaDoc* doc = host.ActiveDocument();
  if (!doc || !doc->m_imgCurrent.IsLoaded()) return;
  WaitCursor wait;
  const std::string module = CheckPrintModule();
  if (module.empty()) return;

  HandOverFile file;
  if (!ChooseFile(*doc, &file)) {
    PrintMessage(kMsgTempFile);
    return;
  }
  if (!FileExists(file.path)) {
    PrintMessage(kMsgTempError);
    return;
  }
  const std::string params = PrintParameters(doc->m_imgCurrent.GetPageCount(), file.path);

  switch (RunPrintModule(host, module, params)) {
    case RunResult::kEnded:
      RemoveTemporary(file);
      ShowMainWindow(host, false);
      break;
    case RunResult::kNotWaited:
      // The program runs on and may still be reading the file: it stays.
      ShowMainWindow(host, false);
      break;
    case RunResult::kFailed:
      RemoveTemporary(file);
      PrintMessage(kMsgLaunch);
      ShowMainWindow(host, true);
      break;
  }
}

void PrintAllDocuments(IViewerHost& host) {
  WaitCursor wait;
  const std::string module = CheckPrintModule();
  if (module.empty()) return;

  std::vector<HandOverFile> files;
  for (COrvennaDoc* doc : host.Documents()) {
    if (!doc || !doc->m_imgCurrent.IsLoaded()) continue;
    HandOverFile file;
    if (ChooseFile(*doc, &file) && FileExists(file.path)) files.push_back(file);
  }
  auto removeAll = [&files] {
    for (const HandOverFile& file : files) RemoveTemporary(file);
  };
  if (files.empty()) {
    PrintMessage(kMsgTempFiles);
    return;
  }

  std::string text;
  for (const HandOverFile& file : files) text += file.path + "\n";
  const std::string list = NewTempFile(kTempPrefix);
  FILE* out = list.empty() ? nullptr : std::fopen(list.c_str(), "w");
  const bool listWritten = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (out && std::fclose(out) != 0) out = nullptr;
  if (!out || !listWritten) {
    if (!list.empty()) CImageInterface::RemoveFileEx(list.c_str());
    removeAll();
    PrintMessage(kMsgTempFiles);
    return;
  }

  const std::string params = PrintAllPrefix(static_cast<int>(files.size())) + " @\"" + list + "\"";
  const RunResult result = RunPrintModule(host, module, params);
  if (result == RunResult::kFailed) PrintMessage(kMsgLaunch);
  ShowMainWindow(host, false);
  if (result == RunResult::kNotWaited) return;  // still in use by the running program
  removeAll();
  CImageInterface::RemoveFileEx(list.c_str());
}

namespace handover_testing {
void SetProgramFolder(const std::string& folder) { g_programFolder = folder; }
void SetMetaFileCopier(MetaFileCopier copier) { g_copyMetaFile = copier; }
}  // namespace handover_testing

}  // namespace orvenna

#include "viewer/doc/COrvennaDoc.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "lorimer/SaveRecords.h"
#include "platform/registry/owned_key.h"
#include "platform/registry/registry.h"
#include "platform/ui/bmp_menu.h"
#include "platform/ui/ui.h"
#include "siblings/bexley/CSaveDlg.h"
#include "viewer/core/Commands.h"
#include "viewer/core/Host.h"
#include "viewer/doc/CSaveFormatDlg.h"

namespace orvenna {

std::function<int(CSaveDlg&)> COrvennaDoc::s_saveDialogHook;
std::function<int(CSaveFormatDlg&)> COrvennaDoc::s_chooseFormatHook;

namespace {

constexpr char kWorkAreaValue[] = "crWorkAreaBackColor";

std::string KeyPath() { return std::string("Software\\") + kMakerKey + "\\" + kAppName; }

// Untitled documents are numbered for the life of the program, as the document
// framework numbers them: "Image1", "Image2", ...
int g_untitledCount = 0;

// The hour-glass while the library works; nothing without a GUI application.
class WaitCursor {
 public:
  WaitCursor() : active_(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    if (active_) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~WaitCursor() {
    if (active_) QApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool active_;
};

COLORREF ToColorRef(const QColor& c) {
  return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
}

COLORREF PaletteColor(QPalette::ColorRole role, COLORREF fallback) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return fallback;
  return ToColorRef(QGuiApplication::palette().color(QPalette::Active, role));
}

std::string ReplaceFirst(std::string text, const std::string& what, const std::string& with) {
  auto at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// One row per format the viewer writes.
struct SaveFormat {
  int command;
  IMGTYPE type;
  const char* filter;
  const char* extensions[3];  // default first; unused slots null
  bool metafile;              // EPS, WMF, EMF: written as a drawing, re-opened after saving
};

constexpr SaveFormat kSaveFormats[] = {
    {ID_SAVE_BMP, IMGTYPE_BMP, "Windows Bitmap Format (*.bmp)|*.bmp; *.rle; *.dib||", {".bmp", ".rle", ".dib"}, false},
    {ID_SAVE_JPEG,
     IMGTYPE_JPEG,
     "Joint Photo Experts Group Format (*.jpg)|*.jpg; *.jpe; *.jpeg||",
     {".jpg", ".jpe", ".jpeg"},
     false},
    {ID_SAVE_GIF, IMGTYPE_GIF, "Graphics Interchange Format (*.gif)|*.gif||", {".gif"}, false},
    {ID_SAVE_PNG, IMGTYPE_PNG, "Portable Network Graphics Format (*.png)|*.png||", {".png"}, false},
    {ID_SAVE_TIFF, IMGTYPE_TIFF, "Tag Image File Format (*.tif)|*.tif; *.tiff||", {".tif", ".tiff"}, false},
    {ID_SAVE_TGA, IMGTYPE_TGA, "Targa Format (*.tga)|*.tga; *.targa||", {".tga", ".targa"}, false},
    {ID_SAVE_PCX, IMGTYPE_PCX, "Paintbrush Format (*.pcx)|*.pcx||", {".pcx"}, false},
    {ID_SAVE_DCX, IMGTYPE_DCX, "Multipage Paintbrush Format (*.dcx)|*.dcx||", {".dcx"}, false},
    {ID_SAVE_EPS, IMGTYPE_EPS, "Encapsulated Postscript Format (*.eps)|*.eps; *.epsf||", {".eps", ".epsf"}, true},
    {ID_SAVE_FMF, IMGTYPE_FMF, "FaxMan Fax Format (*.fmf)|*.fmf||", {".fmf"}, false},
    {ID_SAVE_WMF, IMGTYPE_WMF, "Windows Metafile Format (*.wmf)|*.wmf||", {".wmf"}, true},
    {ID_SAVE_EMF, IMGTYPE_EMF, "Enhanced Metafile Format (*.emf)|*.emf||", {".emf"}, true},
};

const SaveFormat* FindSaveFormat(int command) {
  for (const SaveFormat& f : kSaveFormats)
    if (f.command == command) return &f;
  return nullptr;
}

// The save command offered first for an image of this format.
int SaveCommandFor(FORMAT format) {
  switch (format) {
    case FORMAT_JPG: return ID_SAVE_JPEG;
    case FORMAT_GIF: return ID_SAVE_GIF;
    case FORMAT_PNG: return ID_SAVE_PNG;
    case FORMAT_TIF: return ID_SAVE_TIFF;
    case FORMAT_TGA: return ID_SAVE_TGA;
    case FORMAT_PCX: return ID_SAVE_PCX;
    case FORMAT_DCX: return ID_SAVE_DCX;
    case FORMAT_FMF: return ID_SAVE_FMF;
    case FORMAT_WMF: return ID_SAVE_WMF;
    case FORMAT_EMF: return ID_SAVE_EMF;
    case FORMAT_EPS: return ID_SAVE_EPS;
    default: return ID_SAVE_BMP;
  }
}

void CopyText(char (&out)[1024], const std::string& text) {
  size_t n = std::min(text.size(), sizeof out - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The format fields of each record from the save dialog's choices.
void Fill(_SAVEIMAGEINFO::_BMP& r, const CSaveDlg& d) {
  r.gray = d.m_bGray;
  r.depth = d.m_nDepth;
}
void Fill(_SAVEIMAGEINFO::_JPG& r, const CSaveDlg& d) {
  r.depth = d.m_nDepth;
  r.quality = d.m_nQuality;
}
void Fill(_SAVEIMAGEINFO::_GIF& r, const CSaveDlg& d) {
  r.gray = d.m_bGray;
  r.depth = d.m_nDepth;
  r.interlace = d.m_bInterlace;
  r.append = d.m_bAppend;
}
void Fill(_SAVEIMAGEINFO::_PNG& r, const CSaveDlg& d) {
  r.filter = d.m_nFilter;
  r.compression = d.m_nCompression;
  r.depth = d.m_nDepth;
  r.gray = d.m_bGray;
}
void Fill(_SAVEIMAGEINFO::_TIF& r, const CSaveDlg& d) {
  r.depth = d.m_nDepth;
  r.colour = d.m_bGray ? 0 : 1;
  r.compression = d.m_nTiffCompression;
  r.fillOrder = d.m_nFillOrder;
  r.unused = d.m_nTiffReserved;
  r.append = d.m_bAppend;
  CopyText(r.artist, d.m_strArtist);
  CopyText(r.copyright, d.m_strCopyright);
}
void Fill(_SAVEIMAGEINFO::_TGA& r, const CSaveDlg& d) {
  r.gray = 0;
  r.depth = d.m_nDepth;
}
void Fill(_SAVEIMAGEINFO::_PCX& r, const CSaveDlg& d) {
  r.gray = d.m_bGray;
  r.depth = d.m_nDepth;
}
void Fill(_SAVEIMAGEINFO::_DCX& r, const CSaveDlg& d) {
  r.gray = d.m_bGray;
  r.depth = d.m_nDepth;
  r.append = d.m_bAppend;
}
void Fill(_SAVEIMAGEINFO::_EPS& r, const CSaveDlg& d) { r.preview = d.m_nMetafileMode; }
void Fill(_SAVEIMAGEINFO::_FMF&, const CSaveDlg&) {}
void Fill(_SAVEIMAGEINFO::_WMF& r, const CSaveDlg& d) { r.mode = d.m_nMetafileMode; }
void Fill(_SAVEIMAGEINFO::_EMF& r, const CSaveDlg& d) { r.mode = d.m_nMetafileMode; }

// A record cleared whole, then the page and the "keep everything" head set and the
// format fields taken from the dialog.
template <class Record>
int SaveWith(CImageInterface& image, const std::string& path, int page, const CSaveDlg& dlg) {
  Record record{};
  record.page = page;
  record.reserved = 1;
  Fill(record, dlg);
  return image.Save(path.c_str(), &record);
}

int SaveRecord(IMGTYPE type, CImageInterface& image, const std::string& path, int page, const CSaveDlg& dlg) {
  switch (type) {
    case IMGTYPE_BMP: return SaveWith<_SAVEIMAGEINFO::_BMP>(image, path, page, dlg);
    case IMGTYPE_JPEG: return SaveWith<_SAVEIMAGEINFO::_JPG>(image, path, page, dlg);
    case IMGTYPE_GIF: return SaveWith<_SAVEIMAGEINFO::_GIF>(image, path, page, dlg);
    case IMGTYPE_PNG: return SaveWith<_SAVEIMAGEINFO::_PNG>(image, path, page, dlg);
    case IMGTYPE_TIFF: return SaveWith<_SAVEIMAGEINFO::_TIF>(image, path, page, dlg);
    case IMGTYPE_TGA: return SaveWith<_SAVEIMAGEINFO::_TGA>(image, path, page, dlg);
    case IMGTYPE_PCX: return SaveWith<_SAVEIMAGEINFO::_PCX>(image, path, page, dlg);
    case IMGTYPE_DCX: return SaveWith<_SAVEIMAGEINFO::_DCX>(image, path, page, dlg);
    case IMGTYPE_EPS: return SaveWith<_SAVEIMAGEINFO::_EPS>(image, path, page, dlg);
    case IMGTYPE_FMF: return SaveWith<_SAVEIMAGEINFO::_FMF>(image, path, page, dlg);
    case IMGTYPE_WMF: return SaveWith<_SAVEIMAGEINFO::_WMF>(image, path, page, dlg);
    case IMGTYPE_EMF: return SaveWith<_SAVEIMAGEINFO::_EMF>(image, path, page, dlg);
  }
  return 0;
}

// The name the save dialog proposes: the path without its extension. Only a dot in
// the file name counts, so a dotted folder name is not cut.
std::string ProposedName(const std::string& path) {
  auto dot = path.rfind('.');
  auto slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

// ---- the work-area colour ---------------------------------------------------------

COLORREF SystemBtnShadowColor() { return PaletteColor(QPalette::Dark, RGB(128, 128, 128)); }

COLORREF SystemWindowColor() { return PaletteColor(QPalette::Base, RGB(255, 255, 255)); }

COLORREF ReadWorkAreaColor() {
  COLORREF color = SystemBtnShadowColor();
  vel::OwnedKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return color;
  DWORD type = 0, size = sizeof(DWORD), value = 0;
  if (RegQueryValueExA(key.get(), kWorkAreaValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      size == sizeof(DWORD))
    color = value;
  return color;
}

void WriteWorkAreaColor(COLORREF color) {
  vel::OwnedKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  DWORD value = color;
  RegSetValueExA(key.get(), kWorkAreaValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// ---- the document ----------------------------------------------------------------

COrvennaDoc::COrvennaDoc(IViewerHost* host) : m_popupMenu(std::make_unique<CBmpMenu>()), host_(host) {
  m_crWorkArea = ReadWorkAreaColor();
}

COrvennaDoc::~COrvennaDoc() {
  if (m_popupMenu && m_popupMenu->IsOpen()) m_popupMenu->Dismiss();
}

void COrvennaDoc::SetPathName(const std::string& path, bool addToRecent) {
  m_strPathName = path;
  auto slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  SetTitle(m_bModified ? name + "*" : name);
  if (addToRecent && host_ && !path.empty()) host_->AddRecentFile(path);
}

void COrvennaDoc::SetTitle(const std::string& title) {
  if (title == m_strTitle) return;
  m_strTitle = title;
  emit TitleChanged(QString::fromStdString(m_strTitle));
}

void COrvennaDoc::SetModifiedFlag(bool modified) {
  m_bModified = modified;
  std::string title = m_strTitle;
  if (!title.empty() && title.back() == '*') title.pop_back();
  if (modified) title += '*';
  SetTitle(title);
}

void COrvennaDoc::SetUntitled() {
  m_strPathName.clear();
  std::string title = "Image" + std::to_string(++g_untitledCount);
  SetTitle(m_bModified ? title + "*" : title);
}

bool COrvennaDoc::OnNewDocument() {
  SetUntitled();
  SetModifiedFlag(true);
  WaitCursor wait;
  return m_imgCurrent.PasteFromClipboard() != 0;
}

bool COrvennaDoc::OnOpenDocument(const std::string& path) {
  {
    WaitCursor wait;
    if (path.empty() || !m_imgCurrent.Load(path.c_str(), 0)) return false;
  }
  m_nPage = 0;
  SetModifiedFlag(false);
  SetPathName(path);
  if (m_imgCurrent.GetPageCount() > 1) emit PageBarWanted();
  if (host_) host_->ModesChanged();
  return true;
}

bool COrvennaDoc::OnSaveDocument(const std::string& path) {
  int command = ChooseSaveFormat(path);
  return command != 0 && SaveAsFormat(command) == 1;
}

void COrvennaDoc::OnCloseDocument() {
  m_imgCurrent.CloseHandle();
  m_imgUndo.CloseHandle();
  m_imgRedo.CloseHandle();
  WriteWorkAreaColor(m_crWorkArea);
}

bool COrvennaDoc::SaveModified() {
  if (!IsModified()) return true;
  std::string name = m_strPathName.empty() ? m_strTitle : m_strPathName;
  name.erase(std::remove(name.begin(), name.end(), '*'), name.end());
  int answer = vel::ui::MessageBox(kAppName, ReplaceFirst("Save changes to %s?", "%s", name),
                                   MB_YESNOCANCEL | MB_ICONEXCLAMATION);
  if (answer == IDCANCEL) return false;
  if (answer == IDYES && !OnSaveDocument(name)) return false;
  return true;
}

// ---- undo, redo, pages, clipboard ----------------------------------------------------

void COrvennaDoc::TakeUndoSnapshot() {
  m_nUndoPage = m_nPage;
  m_bUndoModified = m_bModified ? 1 : 0;
  m_imgUndo.InitFromImage(&m_imgCurrent, m_nPage);
  m_imgRedo.CloseHandle();
  // The current image is now the one page that was shown.
  m_nPage = 0;
}

bool COrvennaDoc::CanUndo() { return m_imgUndo.IsLoaded() != 0; }

bool COrvennaDoc::CanRedo() { return m_imgRedo.IsLoaded() != 0; }

void COrvennaDoc::OnUndo() {
  if (!CanUndo()) return;
  WaitCursor wait;
  m_nRedoPage = m_nPage;
  m_nPage = m_nUndoPage;
  m_bRedoModified = m_bModified ? 1 : 0;
  SetModifiedFlag(m_bUndoModified != 0);
  // The copy the current image keeps here is dropped on the next line; its page
  // only has to exist.
  m_imgRedo.InitFromImage(&m_imgCurrent, m_nRedoPage);
  m_imgCurrent.InitFromImage(&m_imgUndo, 0);
  m_imgUndo.CloseHandle();
  UpdateAllViews();
}

void COrvennaDoc::OnRedo() {
  if (!CanRedo()) return;
  WaitCursor wait;
  m_nUndoPage = m_nPage;
  m_nPage = m_nRedoPage;
  m_bUndoModified = m_bModified ? 1 : 0;
  SetModifiedFlag(m_bRedoModified != 0);
  m_imgUndo.InitFromImage(&m_imgCurrent, m_nUndoPage);
  m_imgCurrent.InitFromImage(&m_imgRedo, 0);
  m_imgRedo.CloseHandle();
  UpdateAllViews();
}

void COrvennaDoc::SelectPage(int index) {
  WaitCursor wait;
  int count = m_imgCurrent.IsLoaded() ? m_imgCurrent.GetPageCount() : 1;
  m_nPage = std::clamp(index, 0, std::max(count - 1, 0));
  UpdateAllViews();
}

void COrvennaDoc::OnCopyToClipboard() {
  WaitCursor wait;
  m_imgCurrent.CopyToClipboard(m_nPage);
  UpdateAllViews();
}

void COrvennaDoc::UpdateAllViews() { emit ViewsChanged(); }

// ---- saving ----------------------------------------------------------------------

int COrvennaDoc::ChooseSaveFormat(const std::string& path) {
  FORMAT format = m_imgCurrent.GetFormat();
  if (format == FORMAT_UNKNOWN) format = m_imgCurrent.GetTypeByExtension(path.c_str());
  CSaveFormatDlg dlg(SaveCommandFor(format), host_ ? host_->MainWindow() : nullptr);
  int answer = s_chooseFormatHook ? s_chooseFormatHook(dlg) : dlg.exec();
  return answer == QDialog::Accepted ? dlg.Selected() : 0;
}

int COrvennaDoc::SaveAsFormat(int command) {
  const SaveFormat* format = FindSaveFormat(command);
  if (!format || !m_imgCurrent.IsLoaded()) return 0;
  if (!format->metafile && m_imgCurrent.IsVectorImage() && (!host_ || host_->ConfirmRaster(*this, "save") != 1))
    return 0;
  const bool vector = m_imgCurrent.IsVectorImage() != 0;

  CSaveDlg dlg(format->type, format->filter, &m_imgCurrent, ProposedName(m_strPathName),
               format->metafile && vector ? 1 : 0, host_ ? host_->MainWindow() : nullptr);
  if (format->metafile) dlg.m_nMetafileMode = 0;
  int answer = s_saveDialogHook ? s_saveDialogHook(dlg) : dlg.DoModal();
  if (answer != IDOK) return 0;

  std::string path = dlg.GetPathName();
  if (path.empty()) return 0;
  // The extension may stand anywhere in the path: only a path without any of the
  // format's extensions gets the default one, and then nobody has confirmed the
  // replacement of an existing file yet.
  const std::string lower = Lower(path);
  bool hasExtension = false;
  for (const char* ext : format->extensions)
    if (ext && lower.find(ext) != std::string::npos) hasExtension = true;
  if (!hasExtension) {
    path += format->extensions[0];
    if (FileExists(path) &&
        vel::ui::MessageBox("Save As", ReplaceFirst("%s already exist.\nDo you want to replace it?", "%s", path),
                            MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
      return 0;
  }

  WaitCursor wait;
  // Saving renders the image anew, so a raster save can be undone like an edit.
  if (!vector) TakeUndoSnapshot();
  if (!SaveRecord(format->type, m_imgCurrent, path, m_nPage, dlg)) {
    m_nPage = 0;
    UpdateAllViews();
    return 0;
  }
  m_nPage = 0;
  if (format->metafile) {
    // Show what was written: the file as it reads back. Should it not read back,
    // the picture in memory stays rather than an empty window.
    CImageInterface written;
    if (written.Load(path.c_str(), 0)) m_imgCurrent = written;
  }
  SetModifiedFlag(false);
  SetPathName(path);
  UpdateAllViews();
  return 1;
}

// ---- commands --------------------------------------------------------------------

void RegisterDocumentCommands(IViewerHost& host) {
  IViewerHost* h = &host;
  CommandMap& map = host.Commands();
  auto withDoc = [h](auto action) {
    return [h, action] {
      if (COrvennaDoc* doc = h->ActiveDocument()) action(*doc);
    };
  };
  auto enabledWhen = [h](auto test) {
    return [h, test](CmdUI& ui) {
      COrvennaDoc* doc = h->ActiveDocument();
      ui.enabled = doc && test(*doc);
    };
  };
  auto loaded = [](COrvennaDoc& d) { return d.m_imgCurrent.IsLoaded() != 0; };

  map.On(ID_EDIT_UNDO, withDoc([](COrvennaDoc& d) { d.OnUndo(); }),
         enabledWhen([](COrvennaDoc& d) { return d.CanUndo(); }));
  map.On(ID_EDIT_REDO, withDoc([](COrvennaDoc& d) { d.OnRedo(); }),
         enabledWhen([](COrvennaDoc& d) { return d.CanRedo(); }));
  map.On(ID_EDIT_COPY, withDoc([](COrvennaDoc& d) { d.OnCopyToClipboard(); }), enabledWhen(loaded));
  for (const SaveFormat& f : kSaveFormats) {
    int command = f.command;
    map.On(command, withDoc([command](COrvennaDoc& d) { d.SaveAsFormat(command); }), enabledWhen(loaded));
  }
  map.On(ID_FILE_SAVE, withDoc([](COrvennaDoc& d) { d.OnSaveDocument(d.GetPathName()); }), enabledWhen(loaded));

  auto pageCount = [](COrvennaDoc& d) { return d.m_imgCurrent.IsLoaded() ? d.m_imgCurrent.GetPageCount() : 0; };
  auto notFirst = [](COrvennaDoc& d) { return d.m_nPage > 0; };
  auto notLast = [pageCount](COrvennaDoc& d) { return d.m_nPage < pageCount(d) - 1; };
  map.On(ID_PAGE_FIRST, withDoc([](COrvennaDoc& d) { d.SelectPage(0); }), enabledWhen(notFirst));
  map.On(ID_PAGE_PREV, withDoc([](COrvennaDoc& d) { d.SelectPage(d.m_nPage - 1); }), enabledWhen(notFirst));
  map.On(ID_PAGE_NEXT, withDoc([](COrvennaDoc& d) { d.SelectPage(d.m_nPage + 1); }), enabledWhen(notLast));
  map.On(ID_PAGE_LAST, withDoc([pageCount](COrvennaDoc& d) { d.SelectPage(pageCount(d) - 1); }), enabledWhen(notLast));
}

}  // namespace orvenna

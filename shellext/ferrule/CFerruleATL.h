// The context-menu handler: the suite's commands for the selected files and
// folders, and for one image its thumbnail and information lines.
#pragma once

#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/com/menu.h"
#include "shellext/ferrule/CThumbnail.h"
#include "shellext/ferrule/module_state.h"
#include "siblings/vmrtl/vmrtl.h"

// The automation face of the class; it adds nothing to IDispatch.
struct IFerruleATL : IDispatch {};

namespace ferrule {

// Command offsets.
constexpr UINT kCmdConvertFirst = 0;
constexpr UINT kConvertFormatCount = 12;
constexpr UINT kCmdPlugin = 12;
constexpr UINT kCmdCopy = 13;            // one image only
constexpr UINT kCmdWallpaperFirst = 14;  // one image only, four layouts
constexpr UINT kWallpaperLayoutCount = 4;
constexpr UINT kCmdRenameOne = 18;
constexpr UINT kCmdSettingsOne = 19;
constexpr UINT kCmdThumbnail = 20;
constexpr UINT kCmdImageLine = 21;
constexpr UINT kCmdRenameMany = 13;
constexpr UINT kCmdSettingsMany = 14;

// Resource numbers of the menu bitmaps.
constexpr int IDB_CONVERT = 203;
constexpr int IDB_PLUGIN = 144;
constexpr int IDB_CLIPBOARD = 139;
constexpr int IDB_WALLPAPER = 143;
constexpr int IDB_RENAME = 204;
constexpr int IDB_SETTINGS = 140;
// A 16 x 16 picture for one of the numbers above (null for any other).
HBITMAP CreateMenuBitmap(int resource);

struct ConvertFormat {
  const char* label;
  const char* listName;
};
extern const ConvertFormat kConvertFormats[kConvertFormatCount];

constexpr const char kPluginsAloneKey[] = "Software\\Velmark\\CONVERTER\\PLUGINS\\ALONE";
constexpr const char kPluginsMultyKey[] = "Software\\Velmark\\CONVERTER\\PLUGINS\\MULTY";
constexpr const char kWallpaperKey[] = "Software\\Velmark\\CONVERTER\\WALLPAPER";
constexpr const char kConverterAppPath[] = "Converter.exe";
constexpr const char kViewerAppPath[] = "Quorra.exe";

// The list file for the converter or a plug-in: the optional first line, the
// images, then every image below each folder. Its path, or "" when it could
// not be written.
std::string WriteListFile(const char* firstLine, const std::vector<gen::TString>& images,
                          const std::vector<gen::TString>& folders);

// Owner-drawn thumbnail item: measuring and drawing, on their own for tests.
bool MeasureThumbnail(HBITMAP bitmap, UINT* width, UINT* height);
void DrawThumbnail(HBITMAP bitmap, HDC dc, const RECT& item, bool selected);

class CFerruleATL final : public IShellExtInit, public IContextMenu3, public IFerruleATL {
 public:
  // `outer` is the aggregating object, or null.
  explicit CFerruleATL(IUnknown* outer = nullptr);
  // The object's own IUnknown (what an aggregating object holds).
  IUnknown* Inner() { return &inner_; }

  // IUnknown (delegating to the outer object when aggregated)
  HRESULT QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  // IShellExtInit
  HRESULT Initialize(const void* folder, IDataObject* data, HKEY progIdKey) override;
  // IContextMenu
  HRESULT QueryContextMenu(HMENU menu, UINT index, UINT firstCommand, UINT lastCommand, UINT flags) override;
  HRESULT InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, LPSTR buffer, UINT size) override;
  // IContextMenu2 / IContextMenu3
  HRESULT HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) override;
  HRESULT HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  // IDispatch: no automation here.
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, DWORD, void**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, char**, UINT, DWORD, LONG*) override { return E_NOTIMPL; }
  HRESULT Invoke(LONG, REFIID, DWORD, WORD, void*, void*, void*, UINT*) override { return E_NOTIMPL; }

 private:
  struct InnerUnknown : IUnknown {
    CFerruleATL* self;
    explicit InnerUnknown(CFerruleATL* s) : self(s) {}
    HRESULT QueryInterface(REFIID iid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
  };
  ~CFerruleATL();

  void SplitSelection();
  bool OneImage() const { return images_.size() == 1 && folders_.empty(); }
  HMENU BuildConvertMenu(UINT first);
  void InsertThumbnailItem(HMENU menu, UINT position, UINT id);
  const char* HelpText(UINT offset, std::string* scratch) const;
  bool RunCommand(UINT offset);
  bool Convert(UINT format);
  bool Plugin();
  bool Wallpaper(UINT layout);
  bool Rename();
  bool HandleMessage(UINT message, LPARAM lParam);

  InnerUnknown inner_{this};
  IUnknown* outer_;
  ULONG refs_ = 0;

  std::vector<gen::TString> raw_;
  std::vector<gen::TString> folders_;
  std::vector<gen::TString> images_;
  CThumbnail thumbnail_;
  ExamineResult examined_;
  UINT thumbnailId_ = 0;
  bool haveThumbnailId_ = false;
  bool pluginAlone_ = false;
  HMENU convertMenu_ = nullptr;
  HMENU wallpaperMenu_ = nullptr;
  HBITMAP bitmaps_[6] = {};
};

}  // namespace ferrule

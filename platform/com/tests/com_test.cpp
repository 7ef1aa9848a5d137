#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/com.h"

namespace {

TEST(GuidText, RoundTripsAndRefusesBadTexts) {
  const GUID g = {0xA118FEA0, 0x1D1B, 0x4165, {0xBC, 0x37, 0x88, 0xF9, 0x5B, 0x25, 0x0E, 0x7A}};
  EXPECT_EQ(vel::com::GuidText(g), "{A118FEA0-1D1B-4165-BC37-88F95B250E7A}");
  EXPECT_EQ(vel::com::GuidText(IID_IContextMenu3), "{BCFCE0A0-EC17-11D0-8D10-00A0C90F2719}");
  GUID parsed{};
  ASSERT_TRUE(vel::com::ParseGuid("{a118fea0-1d1b-4165-bc37-88f95b250e7a}", &parsed));
  EXPECT_EQ(parsed, g);
  EXPECT_NE(parsed, IID_IUnknown);
  for (const char* bad : {"", "A118FEA0-1D1B-4165-BC37-88F95B250E7A", "{A118FEA0-1D1B-4165-BC37-88F95B250E7A",
                          "{A118FEA0-1D1B-4165-BC37-88F95B250E7AB}", "{A118FEA0-1D1B-4165-BC3788F95B250E7A0}",
                          "{A118FEA0-1D1B-4165-BC37-88F95B250E7G}", "{A118FEA0+1D1B-4165-BC37-88F95B250E7A}",
                          "{ 118FEA0-1D1B-4165-BC37-88F95B250E7A}"}) {
    GUID out = g;
    EXPECT_FALSE(vel::com::ParseGuid(bad, &out)) << bad;
    EXPECT_EQ(out, g) << "a refused text leaves the GUID alone: " << bad;
  }
}

struct DropBlock {
  explicit DropBlock(HGLOBAL b) : block(b) {}
  ~DropBlock() { GlobalFree(block); }
  HGLOBAL block;
};

TEST(DragQueryFile, CountsCopiesAndTruncates) {
  DropBlock drop(vel::com::MakeDropFiles({"/tmp/a.png", "/home/u/b c.jpg", "x"}));
  ASSERT_NE(drop.block, nullptr);
  EXPECT_EQ(DragQueryFileA(drop.block, 0xFFFFFFFFu, nullptr, 0), 3u);
  struct Case {
    UINT index;
    UINT size;
    UINT result;
    const char* text;
  };
  const Case cases[] = {
      {0, 260, 10, "/tmp/a.png"},
      {1, 260, 15, "/home/u/b c.jpg"},
      {2, 260, 1, "x"},
      {1, 6, 5, "/home"},  // cut to size - 1
      {0, 1, 0, ""},
      {3, 260, 0, nullptr},  // past the last path
  };
  for (const Case& c : cases) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(DragQueryFileA(drop.block, c.index, buffer, c.size), c.result) << c.index << "/" << c.size;
    if (c.text) {
      EXPECT_STREQ(buffer, c.text);
    }
  }
  EXPECT_EQ(DragQueryFileA(drop.block, 1, nullptr, 0), 15u) << "the needed length";
  EXPECT_EQ(DragQueryFileA(nullptr, 0xFFFFFFFFu, nullptr, 0), 0u);
  EXPECT_EQ(vel::com::MakeDropFiles({"a", ""}), nullptr) << "an empty path would end the list";
}

TEST(DragQueryFile, DamagedBlocksGiveZero) {
  // Each block: the header's offset and wide flag, then raw bytes.
  struct Case {
    DWORD offset;
    DWORD wide;
    std::string tail;
  };
  const Case cases[] = {
      {20, 0, std::string("/a\0/b", 5)},      // no closing zero
      {19, 0, std::string("/a\0\0", 4)},      // offset inside the header
      {400, 0, std::string("/a\0\0", 4)},     // offset past the end
      {20, 1, std::string("/\0a\0\0\0", 6)},  // wide characters
  };
  for (const Case& c : cases) {
    DropBlock drop(GlobalAlloc(GHND, 20 + c.tail.size()));
    auto* bytes = static_cast<BYTE*>(GlobalLock(drop.block));
    std::memcpy(bytes, &c.offset, 4);
    std::memcpy(bytes + 16, &c.wide, 4);
    std::memcpy(bytes + 20, c.tail.data(), c.tail.size());
    GlobalUnlock(drop.block);
    char buffer[16] = "";
    EXPECT_EQ(DragQueryFileA(drop.block, 0xFFFFFFFFu, nullptr, 0), 0u) << c.offset;
    EXPECT_EQ(DragQueryFileA(drop.block, 0, buffer, sizeof buffer), 0u) << c.offset;
  }
}

TEST(FileListDataObject, GivesCopiesOfTheSelectionOnlyAsHdrop) {
  IDataObject* data = vel::com::NewFileListDataObject({"/p/one.bmp", "/p/two.tif"});
  ASSERT_NE(data, nullptr);
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM first{}, second{};
  ASSERT_EQ(data->GetData(&format, &first), S_OK);
  ASSERT_EQ(data->GetData(&format, &second), S_OK);
  EXPECT_NE(first.hGlobal, second.hGlobal) << "each caller owns its own copy";
  char path[64];
  EXPECT_EQ(DragQueryFileA(first.hGlobal, 0xFFFFFFFFu, nullptr, 0), 2u);
  DragQueryFileA(second.hGlobal, 1, path, sizeof path);
  EXPECT_STREQ(path, "/p/two.tif");
  ReleaseStgMedium(&first);
  EXPECT_EQ(first.hGlobal, nullptr);
  EXPECT_EQ(DragQueryFileA(second.hGlobal, 0xFFFFFFFFu, nullptr, 0), 2u) << "freeing one copy keeps the other";
  ReleaseStgMedium(&second);

  const FORMATETC refused[] = {{1 /*CF_TEXT*/, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                               {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, 4 /*TYMED_ISTREAM*/},
                               {CF_HDROP, nullptr, 4 /*DVASPECT_ICON*/, -1, TYMED_HGLOBAL},
                               {CF_HDROP, nullptr, DVASPECT_CONTENT, 0, TYMED_HGLOBAL}};
  for (FORMATETC f : refused) {
    STGMEDIUM medium{};
    EXPECT_EQ(data->GetData(&f, &medium), DV_E_FORMATETC) << f.cfFormat << " " << f.tymed;
    EXPECT_EQ(medium.hGlobal, nullptr);
  }
  EXPECT_EQ(data->GetData(&format, nullptr), E_INVALIDARG);

  void* unknown = nullptr;
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(data->QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(unknown, data);
  EXPECT_EQ(data->QueryInterface(IID_IContextMenu, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(data->AddRef(), 3u);
  EXPECT_EQ(data->Release(), 2u);
  EXPECT_EQ(data->Release(), 1u);
  EXPECT_EQ(data->Release(), 0u);
}

TEST(ShellVersion, ReportsSixUnlessTestsPretendOtherwise) {
  DLLVERSIONINFO info{};
  EXPECT_EQ(vel::com::ShellDllGetVersion(&info), E_INVALIDARG) << "cbSize must be 20";
  info.cbSize = sizeof info;
  ASSERT_EQ(vel::com::ShellDllGetVersion(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 0u);
  vel::com::SetShellVersionForTesting(4, 70);
  ASSERT_EQ(vel::com::ShellDllGetVersion(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion * 100 + info.dwMinorVersion, 470u);
  vel::com::SetShellVersionForTesting(0, 0);
  ASSERT_EQ(vel::com::ShellDllGetVersion(&info), S_OK);
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(vel::com::ShellDllGetVersion(nullptr), E_INVALIDARG);
}

}  // namespace

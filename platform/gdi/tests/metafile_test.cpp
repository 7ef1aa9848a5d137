// WMF and EMF: checking, reading, writing and the conversions between them.
#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gdi/metafile.h"
#include "platform/gdi/metafile_records.h"

namespace {

using namespace vel::gdi;
using Bytes = std::vector<BYTE>;

void Put16(Bytes& b, int v) {
  b.push_back(static_cast<BYTE>(v));
  b.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(Bytes& b, DWORD v) {
  Put16(b, static_cast<int>(v & 0xFFFF));
  Put16(b, static_cast<int>(v >> 16));
}
WORD Get16(const Bytes& b, size_t at) { return static_cast<WORD>(b[at] | (b[at + 1] << 8)); }
DWORD Get32(const Bytes& b, size_t at) { return Get16(b, at) | (static_cast<DWORD>(Get16(b, at + 2)) << 16); }

// A WMF written by hand, word by word, the way the format describes it.
struct WmfBuilder {
  Bytes body;
  void rec(WORD function, std::initializer_list<int> words) {
    Put32(body, static_cast<DWORD>(3 + words.size()));
    Put16(body, function);
    for (int w : words) Put16(body, w);
  }
  void recRaw(WORD function, const Bytes& params) {
    Bytes p = params;
    if (p.size() % 2) p.push_back(0);
    Put32(body, static_cast<DWORD>(3 + p.size() / 2));
    Put16(body, function);
    body.insert(body.end(), p.begin(), p.end());
  }
  Bytes done(WORD type = 1, bool eof = true) const {
    Bytes b;
    Bytes all = body;
    if (eof) {
      Put32(all, 3);
      Put16(all, 0);
    }
    Put16(b, type);
    Put16(b, 9);
    Put16(b, 0x0300);
    Put32(b, static_cast<DWORD>((18 + all.size()) / 2));
    Put16(b, 4);
    Put32(b, 16);
    Put16(b, 0);
    b.insert(b.end(), all.begin(), all.end());
    return b;
  }
};

// An EMF written by hand; the header's size fields are filled in by done().
struct EmfBuilder {
  Bytes b;
  DWORD records = 1;
  explicit EmfBuilder(RECTL frame = {0, 0, 2646, 1323}, DWORD headerSize = 108) {
    Put32(b, 1);
    Put32(b, headerSize);
    for (LONG v : {0, 0, 99, 49}) Put32(b, static_cast<DWORD>(v));
    for (LONG v : {frame.left, frame.top, frame.right, frame.bottom}) Put32(b, static_cast<DWORD>(v));
    Put32(b, ENHMETA_SIGNATURE);
    Put32(b, 0x10000);
    Put32(b, 0);  // bytes
    Put32(b, 0);  // records
    Put16(b, 2);
    Put16(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    for (LONG v : {1920, 1080, 508, 286}) Put32(b, static_cast<DWORD>(v));
    while (b.size() < headerSize) Put32(b, 0);
  }
  void rec(DWORD type, std::initializer_list<LONG> params) {
    Put32(b, type);
    Put32(b, static_cast<DWORD>(8 + params.size() * 4));
    for (LONG v : params) Put32(b, static_cast<DWORD>(v));
    ++records;
  }
  void recRaw(DWORD type, const Bytes& params) {
    Put32(b, type);
    Put32(b, static_cast<DWORD>(8 + params.size()));
    b.insert(b.end(), params.begin(), params.end());
    ++records;
  }
  Bytes done() {
    Bytes out = b;
    Put32(out, emf::EMR_EOF);
    Put32(out, 20);
    Put32(out, 0);
    Put32(out, 16);
    Put32(out, 20);
    DWORD size = static_cast<DWORD>(out.size());
    std::memcpy(out.data() + 48, &size, 4);
    DWORD n = records + 1;
    std::memcpy(out.data() + 52, &n, 4);
    return out;
  }
};

Bytes SmallEmf() {
  EmfBuilder e;
  e.rec(emf::EMR_CREATEPEN, {1, PS_DASH, 3, 0, static_cast<LONG>(RGB(10, 20, 30))});
  e.rec(emf::EMR_SELECTOBJECT, {1});
  e.rec(emf::EMR_RECTANGLE, {10, 20, 90, 40});
  e.rec(emf::EMR_MOVETOEX, {5, 6});
  e.rec(emf::EMR_LINETO, {70, 45});
  e.rec(emf::EMR_SELECTOBJECT, {static_cast<LONG>(0x80000000u | WHITE_BRUSH)});
  e.rec(emf::EMR_ELLIPSE, {0, 0, 50, 25});
  e.rec(emf::EMR_DELETEOBJECT, {1});
  return e.done();
}

std::vector<DWORD> EmfTypes(HENHMETAFILE m) {
  std::vector<DWORD> types;
  for (const emf::Record& r : emf::Records(m)) types.push_back(r.type);
  return types;
}

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/velmeta_" + std::to_string(getpid()) + "_" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class Metafiles : public ::testing::Test {
 protected:
  void SetUp() override { SetScreenMetrics(ScreenMetrics{1920, 1080, 96, 96, 24}); }
};

// ---- WMF checks -----------------------------------------------------------------

TEST_F(Metafiles, WmfBitsRoundTripAndSizeQuery) {
  WmfBuilder w;
  w.rec(wmf::META_RECTANGLE, {40, 30, 20, 10});
  Bytes bits = w.done();
  HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(bits.size()), bits.data());
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetMetaFileBitsEx(m, 0, nullptr), bits.size());
  Bytes out(bits.size());
  EXPECT_EQ(GetMetaFileBitsEx(m, static_cast<UINT>(out.size() - 1), out.data()), 0u);  // too small
  EXPECT_EQ(GetMetaFileBitsEx(m, static_cast<UINT>(out.size()), out.data()), bits.size());
  EXPECT_EQ(out, bits);
  EXPECT_TRUE(DeleteMetaFile(m));
}

TEST_F(Metafiles, WmfHeaderFieldsAreChecked) {
  WmfBuilder w;
  w.rec(wmf::META_LINETO, {1, 2});
  EXPECT_EQ(SetMetaFileBitsEx(0, w.done().data()), nullptr);
  EXPECT_EQ(SetMetaFileBitsEx(100, nullptr), nullptr);
  Bytes type3 = w.done(3);
  EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(type3.size()), type3.data()), nullptr);
  Bytes type2 = w.done(2);
  HMETAFILE disk = SetMetaFileBitsEx(static_cast<UINT>(type2.size()), type2.data());
  EXPECT_NE(disk, nullptr);
  DeleteMetaFile(disk);

  Bytes badHeaderSize = w.done();
  badHeaderSize[2] = 8;
  EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(badHeaderSize.size()), badHeaderSize.data()), nullptr);
  Bytes zeroSize = w.done();
  std::memset(zeroSize.data() + 6, 0, 4);
  EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(zeroSize.size()), zeroSize.data()), nullptr);
  Bytes noEof = w.done(1, false);
  EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(noEof.size()), noEof.data()), nullptr);
}

TEST_F(Metafiles, WmfRecordSizesMustFit) {
  WmfBuilder w;
  w.rec(wmf::META_LINETO, {1, 2});
  Bytes bits = w.done();
  // A record size below the 3-word minimum would loop for ever on a naive reader.
  Bytes tiny = bits;
  Put32(tiny, 0);
  std::memcpy(tiny.data() + 18, "\x02\x00\x00\x00", 4);
  EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(tiny.size()), tiny.data()), nullptr);
  Bytes huge = bits;
  std::memcpy(huge.data() + 18, "\xff\xff\xff\x7f", 4);
  EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(huge.size()), huge.data()), nullptr);
}

TEST_F(Metafiles, TruncatedWmfNeverCrashes) {
  WmfBuilder w;
  w.rec(wmf::META_SETWINDOWEXT, {500, 1000});
  w.rec(wmf::META_CREATEPENINDIRECT, {0, 2, 0, 0xFF, 0});
  w.rec(wmf::META_SELECTOBJECT, {0});
  w.rec(wmf::META_POLYLINE, {3, 0, 0, 10, 10, 20, 0});
  w.recRaw(wmf::META_TEXTOUT, {3, 0, 'a', 'b', 'c', 0, 5, 0, 6, 0});
  Bytes bits = w.done();
  for (size_t n = 0; n < bits.size(); ++n) {
    Bytes part(bits.begin(), bits.begin() + static_cast<long>(n));
    const BYTE* p = part.empty() ? nullptr : part.data();
    EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(n), p), nullptr) << n;
    EXPECT_EQ(SetWinMetaFileBits(static_cast<UINT>(n), p, nullptr, nullptr), nullptr) << n;
  }
  HENHMETAFILE whole = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  EXPECT_NE(whole, nullptr);
  DeleteEnhMetaFile(whole);
}

TEST_F(Metafiles, PlaceableFileIsReadWithoutItsHeader) {
  WmfBuilder w;
  w.rec(wmf::META_SETWINDOWEXT, {1000, 2000});
  w.rec(wmf::META_RECTANGLE, {1000, 2000, 0, 0});
  Bytes wmfBits = w.done();
  Bytes file;
  Put32(file, kPlaceableKey);
  Put16(file, 0);
  for (int v : {0, 0, 2000, 1000, 1440}) Put16(file, v);
  Put32(file, 0);
  WORD sum = 0;
  for (size_t i = 0; i < 20; i += 2) sum ^= Get16(file, i);
  Put16(file, sum);
  file.insert(file.end(), wmfBits.begin(), wmfBits.end());
  file.insert(file.end(), {0xAB, 0xCD});  // trailing bytes after META_EOF are not kept
  std::string path = TempPath("placeable.wmf");
  WriteFile(path, file);
  HMETAFILE m = GetMetaFileA(path.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->hasPlaceable);
  EXPECT_EQ(m->placeable.right, 2000);
  EXPECT_EQ(m->placeable.inch, 1440);
  Bytes out(GetMetaFileBitsEx(m, 0, nullptr));
  GetMetaFileBitsEx(m, static_cast<UINT>(out.size()), out.data());
  EXPECT_EQ(out, wmfBits);
  DeleteMetaFile(m);

  WriteFile(path, wmfBits);  // the same metafile without the placeable header
  m = GetMetaFileA(path.c_str());
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(m->hasPlaceable);
  DeleteMetaFile(m);

  file[22] = 3;  // placeable header in front of a type-3 header
  WriteFile(path, file);
  EXPECT_EQ(GetMetaFileA(path.c_str()), nullptr);
  std::remove(path.c_str());
  EXPECT_EQ(GetMetaFileA(path.c_str()), nullptr);
  EXPECT_EQ(GetMetaFileA(nullptr), nullptr);
}

// ---- EMF checks -------------------------------------------------------------------

TEST_F(Metafiles, EmfValidation) {
  Bytes good = SmallEmf();
  HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(good.size()), good.data());
  ASSERT_NE(m, nullptr);
  DeleteEnhMetaFile(m);

  Bytes badSignature = good;
  badSignature[40] = 'X';
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(badSignature.size()), badSignature.data()), nullptr);
  Bytes notHeader = good;
  notHeader[0] = 2;
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(notHeader.size()), notHeader.data()), nullptr);
  // The pen record right after the header: size 28 -> 30 (not a multiple of 4).
  Bytes odd = good;
  odd[108 + 4] = 30;
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(odd.size()), odd.data()), nullptr);
  Bytes pastEnd = good;
  std::memcpy(pastEnd.data() + 112, "\x00\x00\x01\x00", 4);
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(pastEnd.size()), pastEnd.data()), nullptr);
  Bytes zeroSize = good;
  std::memset(zeroSize.data() + 112, 0, 4);
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(zeroSize.size()), zeroSize.data()), nullptr);
  Bytes noEof(good.begin(), good.end() - 20);
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(noEof.size()), noEof.data()), nullptr);
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(n), good.data()), nullptr) << n;
}

TEST_F(Metafiles, EmfHeaderSizesAndQueries) {
  for (DWORD headerSize : {88u, 100u, 108u}) {
    EmfBuilder e({0, 0, 500, 300}, headerSize);
    e.rec(emf::EMR_RECTANGLE, {1, 2, 3, 4});
    Bytes bits = e.done();
    HENHMETAFILE m = SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data());
    ASSERT_NE(m, nullptr) << headerSize;
    EXPECT_EQ(GetEnhMetaFileHeader(m, 0, nullptr), headerSize);
    ENHMETAHEADER h;
    std::memset(static_cast<void*>(&h), 0xEE, sizeof h);
    EXPECT_EQ(GetEnhMetaFileHeader(m, sizeof h, &h), headerSize);
    EXPECT_EQ(h.rclFrame.right, 500);
    EXPECT_EQ(h.nRecords, 3u);
    EXPECT_EQ(h.nBytes, bits.size());
    if (headerSize == 88) {
      EXPECT_EQ(h.cbPixelFormat, 0xEEEEEEEEu);  // left as the caller had it
    }
    ENHMETAHEADER part{};
    EXPECT_EQ(GetEnhMetaFileHeader(m, 24, &part), 24u);
    EXPECT_EQ(part.rclBounds.right, 99);
    EXPECT_EQ(part.rclFrame.right, 0);
    EXPECT_EQ(GetEnhMetaFileBits(m, 0, nullptr), bits.size());
    Bytes out(bits.size());
    EXPECT_EQ(GetEnhMetaFileBits(m, static_cast<UINT>(out.size() - 4), out.data()), 0u);
    EXPECT_EQ(GetEnhMetaFileBits(m, static_cast<UINT>(out.size()), out.data()), bits.size());
    EXPECT_EQ(out, bits);
    DeleteEnhMetaFile(m);
  }
  EmfBuilder shortHeader({0, 0, 1, 1}, 84);
  Bytes bits = shortHeader.done();
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data()), nullptr);
}

TEST_F(Metafiles, CopyToFileAndBackIsByteIdentical) {
  Bytes emfBits = SmallEmf();
  HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(emfBits.size()), emfBits.data());
  std::string emfPath = TempPath("copy.emf");
  WriteFile(emfPath, {1, 2, 3});  // an older file is replaced whole
  HENHMETAFILE onDisk = CopyEnhMetaFileA(e, emfPath.c_str());
  ASSERT_NE(onDisk, nullptr);
  EXPECT_EQ(ReadFile(emfPath), emfBits);
  HENHMETAFILE back = GetEnhMetaFileA(emfPath.c_str());
  ASSERT_NE(back, nullptr);
  Bytes out(GetEnhMetaFileBits(back, 0, nullptr));
  GetEnhMetaFileBits(back, static_cast<UINT>(out.size()), out.data());
  EXPECT_EQ(out, emfBits);
  // A memory copy outlives the original.
  HENHMETAFILE mem = CopyEnhMetaFileA(e, nullptr);
  DeleteEnhMetaFile(e);
  EXPECT_EQ(GetEnhMetaFileBits(mem, 0, nullptr), emfBits.size());
  for (HENHMETAFILE h : {onDisk, back, mem}) DeleteEnhMetaFile(h);

  WmfBuilder w;
  w.rec(wmf::META_ELLIPSE, {9, 8, 7, 6});
  Bytes wmfBits = w.done();
  HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(wmfBits.size()), wmfBits.data());
  std::string wmfPath = TempPath("copy.wmf");
  HMETAFILE wOnDisk = CopyMetaFileA(m, wmfPath.c_str());
  ASSERT_NE(wOnDisk, nullptr);
  EXPECT_EQ(ReadFile(wmfPath), wmfBits);
  HMETAFILE wBack = GetMetaFileA(wmfPath.c_str());
  ASSERT_NE(wBack, nullptr);
  EXPECT_EQ(GetMetaFileBitsEx(wBack, 0, nullptr), wmfBits.size());
  // A folder that does not exist: no handle, and nothing left behind.
  std::string bad = TempPath("no_such_dir") + "/x.wmf";
  EXPECT_EQ(CopyMetaFileA(m, bad.c_str()), nullptr);
  EXPECT_EQ(GetEnhMetaFileA(wmfPath.c_str()), nullptr);  // a WMF is not an EMF
  for (HMETAFILE h : {m, wOnDisk, wBack}) DeleteMetaFile(h);
  std::remove(emfPath.c_str());
  std::remove(wmfPath.c_str());
}

TEST_F(Metafiles, DeletedHandlesFail) {
  Bytes emfBits = SmallEmf();
  HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(emfBits.size()), emfBits.data());
  ASSERT_TRUE(DeleteEnhMetaFile(e));
  EXPECT_FALSE(DeleteEnhMetaFile(e));
  EXPECT_EQ(GetEnhMetaFileBits(e, 0, nullptr), 0u);
  EXPECT_EQ(GetEnhMetaFileHeader(e, 0, nullptr), 0u);
  EXPECT_EQ(GetWinMetaFileBits(e, 0, nullptr, MM_ANISOTROPIC, nullptr), 0u);
  EXPECT_EQ(CopyEnhMetaFileA(e, nullptr), nullptr);
  EXPECT_TRUE(emf::Records(e).empty());
  EXPECT_EQ(emf::Bits(e), nullptr);

  WmfBuilder w;
  HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(w.done().size()), w.done().data());
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(DeleteMetaFile(m));
  EXPECT_FALSE(DeleteMetaFile(m));
  EXPECT_EQ(GetMetaFileBitsEx(m, 0, nullptr), 0u);
  EXPECT_EQ(CopyMetaFileA(m, nullptr), nullptr);
  // An object that never came from this library is no handle either.
  MetaFile stranger;
  EXPECT_EQ(GetMetaFileBitsEx(&stranger, 0, nullptr), 0u);
  EXPECT_FALSE(DeleteMetaFile(&stranger));
}

// ---- WMF -> EMF ---------------------------------------------------------------------

// A small anisotropic drawing: a frame around the window, a line, a polyline and text.
Bytes DrawingWmf() {
  WmfBuilder w;
  w.rec(wmf::META_SETMAPMODE, {MM_ANISOTROPIC});
  w.rec(wmf::META_SETWINDOWORG, {0, 0});
  w.rec(wmf::META_SETWINDOWEXT, {500, 1000});                        // height, width
  w.rec(wmf::META_CREATEPENINDIRECT, {PS_DOT, 3, 0, 0x2010, 0x30});  // colour 0x00302010
  w.rec(wmf::META_SELECTOBJECT, {0});
  w.rec(wmf::META_CREATEBRUSHINDIRECT, {BS_SOLID, 0x00FF, 0, 0});
  w.rec(wmf::META_SELECTOBJECT, {1});
  w.rec(wmf::META_RECTANGLE, {500, 1000, 0, 0});  // bottom, right, top, left
  w.rec(wmf::META_MOVETO, {50, 100});             // y, x
  w.rec(wmf::META_LINETO, {60, 200});
  w.rec(wmf::META_POLYLINE, {3, 10, 20, 30, 40, 50, 60});
  w.recRaw(wmf::META_TEXTOUT, {5, 0, 'C', 'a', 'f', 0xE9, 0x80, 0, 70, 0, 80, 0});
  w.rec(wmf::META_DELETEOBJECT, {0});
  return w.done();
}

TEST_F(Metafiles, WmfTranslatesToEmfRecords) {
  Bytes bits = DrawingWmf();
  METAFILEPICT pict{MM_ANISOTROPIC, 10000, 5000, nullptr};
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, &pict);
  ASSERT_NE(e, nullptr);
  std::vector<DWORD> expected = {emf::EMR_HEADER,           emf::EMR_SETMAPMODE,
                                 emf::EMR_SETVIEWPORTORGEX, emf::EMR_SETVIEWPORTEXTEX,
                                 emf::EMR_SETMAPMODE,       emf::EMR_SETWINDOWORGEX,
                                 emf::EMR_SETWINDOWEXTEX,   emf::EMR_CREATEPEN,
                                 emf::EMR_SELECTOBJECT,     emf::EMR_CREATEBRUSHINDIRECT,
                                 emf::EMR_SELECTOBJECT,     emf::EMR_RECTANGLE,
                                 emf::EMR_MOVETOEX,         emf::EMR_LINETO,
                                 emf::EMR_POLYLINE16,       emf::EMR_EXTTEXTOUTW,
                                 emf::EMR_DELETEOBJECT,     emf::EMR_EOF};
  EXPECT_EQ(EmfTypes(e), expected);

  std::vector<emf::Record> r = emf::Records(e);
  ASSERT_EQ(r.size(), expected.size());
  auto i32 = [](const emf::Record& rec, size_t at) {
    LONG v = 0;
    EXPECT_TRUE(rec.i32(at, v));
    return v;
  };
  // The viewport is the frame in screen pixels: 100 mm over 508 mm of 1920 pixels.
  LONG vx = 10000 * 1920 / (508 * 100), vy = 5000 * 1080 / (286 * 100);
  EXPECT_EQ(i32(r[3], 8), vx);
  EXPECT_EQ(i32(r[3], 12), vy);
  EXPECT_EQ(i32(r[6], 8), 1000);  // window extent in x, y order
  EXPECT_EQ(i32(r[6], 12), 500);
  // Pen: handle 1 (slot 0), style, width, colour.
  EXPECT_EQ(i32(r[7], 8), 1);
  EXPECT_EQ(i32(r[7], 12), PS_DOT);
  EXPECT_EQ(i32(r[7], 16), 3);
  EXPECT_EQ(static_cast<DWORD>(i32(r[7], 24)), 0x00302010u);
  EXPECT_EQ(i32(r[10], 8), 2);  // the brush took slot 1
  // Rectangle: left, top, right, bottom.
  EXPECT_EQ(i32(r[11], 8), 0);
  EXPECT_EQ(i32(r[11], 16), 1000);
  EXPECT_EQ(i32(r[11], 20), 500);
  EXPECT_EQ(i32(r[13], 8), 200);  // LineTo x, y
  EXPECT_EQ(i32(r[13], 12), 60);
  std::vector<POINT> pts;
  ASSERT_TRUE(r[14].points16(28, 3, pts));
  EXPECT_EQ(pts[2].x, 50);
  EXPECT_EQ(pts[2].y, 60);
  // Text: reference point, five characters in UTF-16 from Windows-1252.
  const emf::Record& t = r[15];
  EXPECT_EQ(i32(t, 36), 80);
  EXPECT_EQ(i32(t, 40), 70);
  ASSERT_EQ(i32(t, 44), 5);
  DWORD off = static_cast<DWORD>(i32(t, 48));
  WORD c3, c4;
  ASSERT_TRUE(t.u16(off + 6, c3));
  ASSERT_TRUE(t.u16(off + 8, c4));
  EXPECT_EQ(c3, 0x00E9);
  EXPECT_EQ(c4, 0x20AC);

  ENHMETAHEADER h{};
  ASSERT_EQ(GetEnhMetaFileHeader(e, sizeof h, &h), sizeof h);
  EXPECT_EQ(h.rclFrame.left, 0);
  EXPECT_EQ(h.rclFrame.right, 10000);
  EXPECT_EQ(h.rclFrame.bottom, 5000);
  // The rectangle fills the window, so the bounds are the whole viewport.
  EXPECT_EQ(h.rclBounds.left, 0);
  EXPECT_EQ(h.rclBounds.top, 0);
  EXPECT_EQ(h.rclBounds.right, vx);
  EXPECT_EQ(h.rclBounds.bottom, vy);
  EXPECT_EQ(h.nHandles, 3);
  EXPECT_EQ(h.nRecords, expected.size());
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, PictureSizeWithoutPictComesFromTheWindow) {
  Bytes bits = DrawingWmf();
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  std::vector<emf::Record> r = emf::Records(e);
  ASSERT_GT(r.size(), 4u);
  LONG cx = 0, cy = 0;
  r[3].i32(8, cx);
  r[3].i32(12, cy);
  EXPECT_EQ(cx, 1000);  // one window unit per screen pixel
  EXPECT_EQ(cy, 500);
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(e, sizeof h, &h);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(h.rclFrame.right, 1000 * GetDeviceCaps(screen, HORZSIZE) * 100 / GetDeviceCaps(screen, HORZRES));
  EXPECT_EQ(h.rclFrame.bottom, 500 * GetDeviceCaps(screen, VERTSIZE) * 100 / GetDeviceCaps(screen, VERTRES));
  EXPECT_EQ(h.szlDevice.cx, GetDeviceCaps(screen, HORZRES));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(h.rclBounds.right, 1000);
  DeleteEnhMetaFile(e);

  // A window in twips, 20000 x 10000: shrunk to fit the screen, proportions kept.
  WmfBuilder big;
  big.rec(wmf::META_SETWINDOWEXT, {-10000, 20000});
  big.rec(wmf::META_RECTANGLE, {-10000, 20000, 0, 0});
  Bytes bigBits = big.done();
  e = SetWinMetaFileBits(static_cast<UINT>(bigBits.size()), bigBits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  r = emf::Records(e);
  r[3].i32(8, cx);
  r[3].i32(12, cy);
  EXPECT_EQ(cx, 1920);
  EXPECT_EQ(cy, 960);
  GetEnhMetaFileHeader(e, sizeof h, &h);
  // y grows upwards in the window (negative extent): the picture still lies below 0.
  EXPECT_EQ(h.rclBounds.top, 0);
  EXPECT_EQ(h.rclBounds.bottom, 960);
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, PlainWmfFrameIsWhatItDraws) {
  WmfBuilder w;
  w.rec(wmf::META_RECTANGLE, {70, 110, 20, 10});
  w.rec(wmf::META_SETPIXEL, {0xFF, 0, 90, 130});  // colour, y, x
  Bytes bits = w.done();
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  std::vector<DWORD> expected = {emf::EMR_HEADER, emf::EMR_RECTANGLE, emf::EMR_SETPIXELV, emf::EMR_EOF};
  EXPECT_EQ(EmfTypes(e), expected);
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(e, sizeof h, &h);
  EXPECT_EQ(h.rclBounds.left, 10);
  EXPECT_EQ(h.rclBounds.top, 20);
  EXPECT_EQ(h.rclBounds.right, 130);
  EXPECT_EQ(h.rclBounds.bottom, 90);
  EXPECT_EQ(h.rclFrame.left, 10 * 508 * 100 / 1920);
  EXPECT_EQ(h.rclFrame.right, 131 * 508 * 100 / 1920);
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, NewObjectsTakeTheLowestFreeSlot) {
  wmf::ObjectTable table;
  EXPECT_EQ(table.add(), 0);
  EXPECT_EQ(table.add(), 1);
  EXPECT_EQ(table.add(), 2);
  EXPECT_TRUE(table.remove(0));
  EXPECT_TRUE(table.remove(2));
  EXPECT_FALSE(table.remove(2));
  EXPECT_FALSE(table.remove(7));
  EXPECT_EQ(table.add(), 0);
  EXPECT_EQ(table.add(), 2);
  EXPECT_EQ(table.add(), 3);

  // In a metafile: pen in slot 0, brush in slot 1, pen deleted, a second brush
  // reuses slot 0, and selecting slot 0 selects that brush.
  WmfBuilder w;
  w.rec(wmf::META_CREATEPENINDIRECT, {0, 1, 0, 0, 0});
  w.rec(wmf::META_CREATEBRUSHINDIRECT, {BS_SOLID, 0x11, 0, 0});
  w.rec(wmf::META_DELETEOBJECT, {0});
  w.rec(wmf::META_CREATEBRUSHINDIRECT, {BS_SOLID, 0x22, 0, 0});
  w.rec(wmf::META_SELECTOBJECT, {0});
  w.rec(wmf::META_SELECTOBJECT, {5});  // never created: dropped
  Bytes bits = w.done();
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  std::vector<emf::Record> r = emf::Records(e);
  std::vector<DWORD> expected = {emf::EMR_HEADER,       emf::EMR_CREATEPEN,           emf::EMR_CREATEBRUSHINDIRECT,
                                 emf::EMR_DELETEOBJECT, emf::EMR_CREATEBRUSHINDIRECT, emf::EMR_SELECTOBJECT,
                                 emf::EMR_EOF};
  ASSERT_EQ(EmfTypes(e), expected);
  DWORD handle = 0, created = 0, color = 0;
  r[5].u32(8, handle);
  r[4].u32(8, created);
  r[4].u32(16, color);
  EXPECT_EQ(handle, 1u);
  EXPECT_EQ(created, 1u);
  EXPECT_EQ(color, 0x22u);
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, DamagedWmfRecordsAreSkippedNotTrusted) {
  WmfBuilder w;
  w.rec(wmf::META_POLYLINE, {30000, 1, 2});                         // claims far more points than present
  w.rec(wmf::META_POLYPOLYGON, {2, 3});                             // counts missing
  w.recRaw(wmf::META_TEXTOUT, {0x00, 0x7F, 'a'});                   // 32512 characters claimed
  w.recRaw(wmf::META_EXTTEXTOUT, {0, 0, 0, 0, 50, 0, 4, 0, 1, 2});  // clip rect cut off
  // A DIB header claiming a huge picture, followed by two bytes of "pixels".
  Bytes dib;
  Put32(dib, SRCCOPY);
  for (int i = 0; i < 8; ++i) Put16(dib, 1);
  Put32(dib, 40);
  Put32(dib, 0x40000000);
  Put32(dib, 0x40000000);
  Put16(dib, 1);
  Put16(dib, 24);
  for (int i = 0; i < 6; ++i) Put32(dib, 0);
  Put16(dib, 0xFFFF);
  w.recRaw(wmf::META_DIBSTRETCHBLT, dib);
  w.rec(wmf::META_RECTANGLE, {4, 3, 2, 1});
  Bytes bits = w.done();
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  std::vector<DWORD> types = EmfTypes(e);
  // The huge DIB is copied only as far as the record holds it.
  ASSERT_EQ(types.size(), 4u);
  EXPECT_EQ(types[1], emf::EMR_STRETCHDIBITS);
  EXPECT_EQ(types[2], emf::EMR_RECTANGLE);
  EXPECT_LT(GetEnhMetaFileBits(e, 0, nullptr), 400u);
  DeleteEnhMetaFile(e);
}

// ---- EMF -> WMF ---------------------------------------------------------------------

Bytes WinBits(HENHMETAFILE e, int mapMode) {
  UINT n = GetWinMetaFileBits(e, 0, nullptr, mapMode, nullptr);
  Bytes out(n);
  if (n) {
    EXPECT_EQ(GetWinMetaFileBits(e, n, out.data(), mapMode, nullptr), n);
  }
  return out;
}

TEST_F(Metafiles, EmfThroughWmfComesBackExactly) {
  // One small EMF and one big enough to need several 8 KB comment chunks.
  EmfBuilder big;
  Bytes dib;
  // EMR_STRETCHDIBITS of a 64 x 64 24-bit picture.
  for (LONG v : {0, 0, 63, 63, 0, 0, 0, 0, 64, 64, 80, 40, 120, 64 * 64 * 3, 0, static_cast<LONG>(SRCCOPY), 64, 64})
    Put32(dib, static_cast<DWORD>(v));
  Put32(dib, 40);
  Put32(dib, 64);
  Put32(dib, 64);
  Put16(dib, 1);
  Put16(dib, 24);
  for (int i = 0; i < 6; ++i) Put32(dib, 0);
  for (int i = 0; i < 64 * 64 * 3; ++i) dib.push_back(static_cast<BYTE>(i * 7));
  big.recRaw(emf::EMR_STRETCHDIBITS, dib);
  for (Bytes bits : {SmallEmf(), big.done()}) {
    HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data());
    ASSERT_NE(e, nullptr);
    Bytes w = WinBits(e, MM_ANISOTROPIC);
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(GetWinMetaFileBits(e, static_cast<UINT>(w.size() - 1), w.data(), MM_ANISOTROPIC, nullptr), 0u);
    // The comment checksum makes the words sum to zero.
    WORD sum = 0;
    for (size_t i = 0; i < w.size(); i += 2) sum = static_cast<WORD>(sum + Get16(w, i));
    EXPECT_EQ(sum, 0);
    size_t comments = 0;
    std::vector<wmf::Record> records;
    ASSERT_TRUE(wmf::ParseRecords(w.data(), w.size(), &records));
    for (const wmf::Record& r : records) comments += r.function == wmf::META_ESCAPE;
    EXPECT_EQ(comments, (bits.size() + 8191) / 8192);
    HMETAFILE m = SetMetaFileBitsEx(static_cast<UINT>(w.size()), w.data());
    ASSERT_NE(m, nullptr);
    HENHMETAFILE back = SetWinMetaFileBits(static_cast<UINT>(w.size()), w.data(), nullptr, nullptr);
    ASSERT_NE(back, nullptr);
    Bytes out(GetEnhMetaFileBits(back, 0, nullptr));
    GetEnhMetaFileBits(back, static_cast<UINT>(out.size()), out.data());
    EXPECT_EQ(out, bits);
    DeleteMetaFile(m);
    DeleteEnhMetaFile(back);
    DeleteEnhMetaFile(e);
  }
}

// The WMF's records without the comment escapes, as an older writer would have made it.
Bytes StripComments(const Bytes& w) {
  std::vector<wmf::Record> records;
  EXPECT_TRUE(wmf::ParseRecords(w.data(), w.size(), &records));
  Bytes out(w.begin(), w.begin() + 18);
  for (const wmf::Record& r : records)
    if (r.function != wmf::META_ESCAPE) out.insert(out.end(), r.data, r.data + r.size);
  DWORD words = static_cast<DWORD>(out.size() / 2);
  std::memcpy(out.data() + 6, &words, 4);
  return out;
}

TEST_F(Metafiles, EmfRecordsHaveWmfForms) {
  Bytes bits = SmallEmf();
  HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data());
  Bytes stripped = StripComments(WinBits(e, MM_ANISOTROPIC));
  std::vector<wmf::Record> records;
  ASSERT_TRUE(wmf::ParseRecords(stripped.data(), stripped.size(), &records));
  std::vector<WORD> functions;
  for (const wmf::Record& r : records) functions.push_back(r.function);
  std::vector<WORD> expected = {wmf::META_SETMAPMODE,
                                wmf::META_SETWINDOWORG,
                                wmf::META_SETWINDOWEXT,
                                wmf::META_CREATEPENINDIRECT,
                                wmf::META_SELECTOBJECT,
                                wmf::META_RECTANGLE,
                                wmf::META_MOVETO,
                                wmf::META_LINETO,
                                wmf::META_CREATEBRUSHINDIRECT,
                                wmf::META_SELECTOBJECT,
                                wmf::META_ELLIPSE,
                                wmf::META_DELETEOBJECT,
                                wmf::META_EOF};
  ASSERT_EQ(functions, expected);
  auto p = [&](size_t rec, size_t i) {
    std::int16_t v = 0;
    EXPECT_TRUE(records[rec].sparam(i, v));
    return static_cast<int>(v);
  };
  EXPECT_EQ(p(0, 0), MM_ANISOTROPIC);
  // Window extent: the frame (2646 x 1323 hundredths of a mm) in pixels of the
  // EMF's device, 1920 pixels over 508 mm: 100 x 50.
  EXPECT_EQ(p(2, 1), 100);
  EXPECT_EQ(p(2, 0), 50);
  EXPECT_EQ(p(3, 0), PS_DASH);
  EXPECT_EQ(p(3, 1), 3);
  EXPECT_EQ(p(4, 0), 0);  // pen in slot 0
  // Rectangle (10, 20, 90, 40) stored bottom, right, top, left.
  EXPECT_EQ(p(5, 0), 40);
  EXPECT_EQ(p(5, 1), 90);
  EXPECT_EQ(p(5, 2), 20);
  EXPECT_EQ(p(5, 3), 10);
  EXPECT_EQ(p(7, 0), 45);  // LineTo y, x
  EXPECT_EQ(p(7, 1), 70);
  // The stock white brush, made as an object of its own: colour 0x00FFFFFF.
  EXPECT_EQ(p(8, 1), -1);
  EXPECT_EQ(p(8, 2), 0xFF);
  EXPECT_EQ(p(9, 0), 1);
  EXPECT_EQ(p(11, 0), 0);  // the pen's slot is freed

  // Converted back without the comments, the drawing records are the same.
  HENHMETAFILE back = SetWinMetaFileBits(static_cast<UINT>(stripped.size()), stripped.data(), nullptr, nullptr);
  ASSERT_NE(back, nullptr);
  bool sawRectangle = false;
  for (const emf::Record& r : emf::Records(back)) {
    if (r.type != emf::EMR_RECTANGLE) continue;
    RECTL b;
    ASSERT_TRUE(r.rectl(8, b));
    EXPECT_EQ(b.left, 10);
    EXPECT_EQ(b.top, 20);
    EXPECT_EQ(b.right, 90);
    EXPECT_EQ(b.bottom, 40);
    sawRectangle = true;
  }
  EXPECT_TRUE(sawRectangle);
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(back, sizeof h, &h);
  EXPECT_EQ(h.rclBounds.right, 90);  // the rectangle reaches furthest; window 100 px = viewport 100 px
  DeleteEnhMetaFile(back);
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, FixedUnitModesConvertCoordinates) {
  Bytes bits = SmallEmf();
  HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data());
  Bytes w = StripComments(WinBits(e, MM_LOMETRIC));
  std::vector<wmf::Record> records;
  ASSERT_TRUE(wmf::ParseRecords(w.data(), w.size(), &records));
  bool found = false;
  for (const wmf::Record& r : records) {
    if (r.function != wmf::META_RECTANGLE) continue;
    std::int16_t bottom, right;
    r.sparam(0, bottom);
    r.sparam(1, right);
    // 90 px and 40 px at 1920 px / 508 mm, in 0.1 mm with y up.
    EXPECT_NEAR(right, 90 * 5080.0 / 1920, 1);
    EXPECT_NEAR(bottom, -40 * 2860.0 / 1080, 1);
    found = true;
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(GetWinMetaFileBits(e, 0, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(GetWinMetaFileBits(e, 0, nullptr, 9, nullptr), 0u);
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, DamagedCommentsFallBackToTranslation) {
  Bytes bits = SmallEmf();
  HENHMETAFILE e = SetEnhMetaFileBits(static_cast<UINT>(bits.size()), bits.data());
  Bytes w = WinBits(e, MM_ANISOTROPIC);
  // The remaining-size field of the only chunk no longer adds up.
  ASSERT_EQ(Get32(w, 18 + 10), wmf::kWmfcId);
  w[18 + 10 + 26] = 1;
  HENHMETAFILE back = SetWinMetaFileBits(static_cast<UINT>(w.size()), w.data(), nullptr, nullptr);
  ASSERT_NE(back, nullptr);
  Bytes out(GetEnhMetaFileBits(back, 0, nullptr));
  GetEnhMetaFileBits(back, static_cast<UINT>(out.size()), out.data());
  EXPECT_NE(out, bits);
  std::vector<DWORD> types = EmfTypes(back);
  EXPECT_NE(std::find(types.begin(), types.end(), emf::EMR_ELLIPSE), types.end());
  DeleteEnhMetaFile(back);
  DeleteEnhMetaFile(e);
}

// The WMF records of `w` with function `f`, comments left out.
std::vector<wmf::Record> WmfRecordsOf(const Bytes& w, WORD f) {
  std::vector<wmf::Record> all, out;
  EXPECT_TRUE(wmf::ParseRecords(w.data(), w.size(), &all));
  for (const wmf::Record& r : all)
    if (r.function == f) out.push_back(r);
  return out;
}

// A 2 x 2 24-bit DIB: header and two padded rows.
Bytes SmallDib() {
  Bytes d;
  Put32(d, 40);
  Put32(d, 2);
  Put32(d, 2);
  Put16(d, 1);
  Put16(d, 24);
  for (int i = 0; i < 6; ++i) Put32(d, 0);
  for (int i = 0; i < 16; ++i) d.push_back(static_cast<BYTE>(0x10 + i));
  return d;
}

TEST_F(Metafiles, DibBlitsCarryTheirPixelsBothWays) {
  Bytes dib = SmallDib();
  Bytes params;
  Put32(params, SRCCOPY);
  // usage (DIB_RGB_COLORS), source h w y x, destination h w y x
  for (int v : {0, 2, 2, 0, 0, 20, 30, 5, 7}) Put16(params, v);
  params.insert(params.end(), dib.begin(), dib.end());
  WmfBuilder w;
  w.recRaw(wmf::META_STRETCHDIB, params);
  w.rec(wmf::META_DIBBITBLT, {0x0021, 0x00F0, 0, 0, 0, 8, 9, 3, 4});  // PATCOPY, no bitmap
  Bytes bits = w.done();
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  std::vector<emf::Record> r = emf::Records(e);
  ASSERT_EQ(r.size(), 4u);
  ASSERT_EQ(r[1].type, emf::EMR_STRETCHDIBITS);
  auto i32 = [](const emf::Record& rec, size_t at) {
    LONG v = 0;
    EXPECT_TRUE(rec.i32(at, v));
    return v;
  };
  EXPECT_EQ(i32(r[1], 24), 7);   // xDest
  EXPECT_EQ(i32(r[1], 28), 5);   // yDest
  EXPECT_EQ(i32(r[1], 40), 2);   // cxSrc
  EXPECT_EQ(i32(r[1], 72), 30);  // cxDest
  EXPECT_EQ(i32(r[1], 76), 20);  // cyDest
  PackedDib copied;
  ASSERT_TRUE(ReadPackedDib(r[1], i32(r[1], 48), i32(r[1], 52), i32(r[1], 56), i32(r[1], 60), DIB_RGB_COLORS, copied));
  EXPECT_EQ(copied.bits, Bytes(dib.begin() + 40, dib.end()));
  EXPECT_EQ(copied.bitmapInfo()->bmiHeader.biWidth, 2);
  ASSERT_EQ(r[2].type, emf::EMR_BITBLT);
  EXPECT_EQ(static_cast<DWORD>(i32(r[2], 40)), 0x00F00021u);
  EXPECT_EQ(i32(r[2], 88), 0);  // no source bitmap
  EXPECT_EQ(i32(r[2], 24), 4);
  EXPECT_EQ(i32(r[2], 32), 9);

  Bytes back = WinBits(e, MM_ANISOTROPIC);
  std::vector<wmf::Record> stretch = WmfRecordsOf(back, wmf::META_STRETCHDIB);
  ASSERT_EQ(stretch.size(), 1u);
  std::int16_t xDst = 0, wDst = 0;
  stretch[0].sparam(10, xDst);
  stretch[0].sparam(8, wDst);
  EXPECT_EQ(xDst, 7);
  EXPECT_EQ(wDst, 30);
  ASSERT_EQ(stretch[0].size, 6 + 22 + dib.size());
  EXPECT_EQ(Bytes(stretch[0].data + 28, stretch[0].data + stretch[0].size), dib);
  std::vector<wmf::Record> pat = WmfRecordsOf(back, wmf::META_PATBLT);
  ASSERT_EQ(pat.size(), 1u);
  std::int16_t x = 0, width = 0;
  pat[0].sparam(5, x);
  pat[0].sparam(3, width);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(width, 9);
  DeleteEnhMetaFile(e);
}

TEST_F(Metafiles, TextKeepsItsFontRectangleAndSpacing) {
  Bytes font;
  for (int v : {-16, 0, 0, 0, 700}) Put16(font, v);
  for (int i = 0; i < 8; ++i) font.push_back(0);
  for (char c : std::string("Times New Roman")) font.push_back(static_cast<BYTE>(c));
  font.push_back(0);
  WmfBuilder w;
  w.recRaw(wmf::META_CREATEFONTINDIRECT, font);
  w.rec(wmf::META_SELECTOBJECT, {0});
  // y, x, count, ETO_OPAQUE, rectangle, "ab\x80" padded, spacing.
  w.recRaw(wmf::META_EXTTEXTOUT,
           {12, 0, 11, 0, 3, 0, 2, 0, 1, 0, 2, 0, 50, 0, 20, 0, 'a', 'b', 0x80, 0, 5, 0, 6, 0, 7, 0});
  Bytes bits = w.done();
  HENHMETAFILE e = SetWinMetaFileBits(static_cast<UINT>(bits.size()), bits.data(), nullptr, nullptr);
  ASSERT_NE(e, nullptr);
  std::vector<emf::Record> r = emf::Records(e);
  ASSERT_EQ(r.size(), 5u);
  ASSERT_EQ(r[1].type, emf::EMR_EXTCREATEFONTINDIRECTW);
  LONG height = 0, weight = 0;
  r[1].i32(12, height);
  r[1].i32(28, weight);
  EXPECT_EQ(height, -16);
  EXPECT_EQ(weight, 700);
  std::u16string face;
  for (size_t i = 0; i < 32; ++i) {
    WORD c = 0;
    r[1].u16(40 + i * 2, c);
    if (!c) break;
    face.push_back(c);
  }
  EXPECT_EQ(face, u"Times New Roman");
  const emf::Record& t = r[3];
  ASSERT_EQ(t.type, emf::EMR_EXTTEXTOUTW);
  DWORD options = 0, offString = 0, offDx = 0;
  RECTL rect;
  t.u32(52, options);
  t.u32(48, offString);
  t.u32(72, offDx);
  ASSERT_TRUE(t.rectl(56, rect));
  EXPECT_EQ(options, static_cast<DWORD>(wmf::ETO_OPAQUE));
  EXPECT_EQ(rect.left, 1);
  EXPECT_EQ(rect.bottom, 20);
  WORD euro = 0;
  t.u16(offString + 4, euro);
  EXPECT_EQ(euro, 0x20AC);
  ASSERT_NE(offDx, 0u);
  LONG dx2 = 0;
  t.i32(offDx + 8, dx2);
  EXPECT_EQ(dx2, 7);

  // And back to WMF: the same font, text bytes, rectangle and spacing.
  Bytes back = WinBits(e, MM_ANISOTROPIC);
  std::vector<wmf::Record> fonts = WmfRecordsOf(back, wmf::META_CREATEFONTINDIRECT);
  ASSERT_EQ(fonts.size(), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(fonts[0].data + 24)), "Times New Roman");
  std::vector<wmf::Record> texts = WmfRecordsOf(back, wmf::META_EXTTEXTOUT);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(Bytes(texts[0].data + 6, texts[0].data + texts[0].size),
            Bytes(bits.begin() + 18 + 6 + font.size() + 8 + 6, bits.end() - 6));
  DeleteEnhMetaFile(e);
}

// ---- record views and text ----------------------------------------------------------

TEST(MetafileRecords, ByteViewStaysInside) {
  const BYTE data[6] = {1, 2, 3, 4, 5, 6};
  ByteView v{data, sizeof data};
  WORD w = 7;
  DWORD d = 7;
  EXPECT_TRUE(v.u16(4, w));
  EXPECT_EQ(w, 0x0605);
  EXPECT_FALSE(v.u16(5, w));
  EXPECT_FALSE(v.u32(3, d));
  EXPECT_EQ(d, 7u);
  EXPECT_FALSE(v.u16(SIZE_MAX, w));
  std::vector<POINT> pts;
  EXPECT_FALSE(v.points(0, 0x40000000, pts));  // count * 8 would overflow 32 bits
  EXPECT_FALSE(v.points16(4, 1, pts));
  EXPECT_TRUE(v.points16(2, 1, pts));
  EXPECT_EQ(pts[0].x, 0x0403);
  const BYTE* p = nullptr;
  EXPECT_FALSE(v.bytes(2, 5, p));
  EXPECT_TRUE(v.bytes(6, 0, p));
}

TEST(MetafileRecords, Windows1252Text) {
  const BYTE text[] = {'A', 0x80, 0x9F, 0xE9, 0x81};
  std::u16string wide = Cp1252ToUtf16(text, sizeof text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x20AC, 0x0178, 0x00E9, 0x0081}));
  EXPECT_EQ(Utf16ToCp1252(wide), std::string(reinterpret_cast<const char*>(text), sizeof text));
  EXPECT_EQ(Utf16ToCp1252(u"\u4E2D"), "?");
}

// A converted coordinate that no 64-bit integer holds (found by fuzzing): the
// conversion to a fixed-unit WMF holds it within 16 bits instead.
TEST(MetafileConversions, FarCoordinatesInFixedModesAreHeld) {
  static const BYTE kBytes[] = {
      0x01, 0x00, 0x00, 0x00, 0x6c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x63, 0x40, 0x00,
      0x00, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x0a, 0x00, 0x00, 0x55, 0x0a,
      0x00, 0x00, 0x20, 0x45, 0x4d, 0x46, 0x00, 0x00, 0x01, 0x00, 0x08, 0x01, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x02,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
      0x09, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x56, 0x64, 0x00, 0x00, 0x00, 0x0b, 0x00, 0x00,
      0x00, 0x10, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x27, 0x00, 0x00, 0x00, 0x18, 0x00,
      0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2d,
      0x00, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x5a, 0x00, 0x00, 0x00, 0x3c, 0x00, 0x00, 0x00, 0x1b, 0x00, 0x00,
      0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x37, 0x00, 0x00, 0x00, 0x10, 0x00,
      0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x64,
      0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x58, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00,
      0x64, 0x00, 0x00, 0x00, 0x27, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
      0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x27, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x01, 0x00,
      0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x55, 0x0a, 0x00, 0x00,
      0x55, 0x0a, 0x00, 0x00, 0x20, 0x45, 0x4d, 0x46, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00,
      0x00, 0x0e, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x14, 0x00,
      0x00, 0x00,
  };
  HENHMETAFILE emf = SetEnhMetaFileBits(sizeof(kBytes), kBytes);
  if (!emf) GTEST_SKIP() << "the damaged file is refused as a whole";
  for (int mode : {MM_LOMETRIC, MM_HIMETRIC, MM_TWIPS, MM_ANISOTROPIC}) {
    const UINT size = GetWinMetaFileBits(emf, 0, nullptr, mode, nullptr);
    std::vector<BYTE> out(size);
    if (size) {
      EXPECT_EQ(GetWinMetaFileBits(emf, size, out.data(), mode, nullptr), size);
    }
  }
  DeleteEnhMetaFile(emf);
}

}  // namespace

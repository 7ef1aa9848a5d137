// CDib: a device-independent bitmap read from or written to a BMP file, painted
// into device contexts. Copies share the same blocks (counted, freed once).
#pragma once

#include <memory>

#include "lorimer/ImageInterface.h"
#include "platform/base/file.h"

class LORIMER_API CDib {
 public:
  CDib();
  CDib(const CDib& other);
  CDib& operator=(const CDib& other);
  virtual ~CDib();

  DWORD Read(CFile& file);
  DWORD Save(CFile& file) const;
  int SaveFile(const char* path);
  HGLOBAL CopyToHandle() const;
  DWORD ReadFromHandle(HGLOBAL block);
  int ReadFromHBITMAP(HBITMAP bitmap);
  // Adopts blocks that were made with GlobalAlloc and are locked, and a palette.
  void SetData(BYTE* bits, BITMAPINFO* header, HPALETTE palette);
  int Paint(HDC dc, RECT* dest, RECT* src) const;
  HBITMAP GetImgHandle(_SRCIMAGEINFO* info);
  HBITMAP ReadImage(CFile& file, _SRCIMAGEINFO* info);
  HBITMAP ReadImage(CFile& file, long* width, long* height);

  void Free();
  void Invalidate() { Free(); }
  BOOL IsValid() const { return m_pBMI != nullptr; }
  DWORD Width() const;
  DWORD Height() const;
  WORD NumBits() const;
  DWORD GetCompressionMode() const;
  WORD NumColors() const;
  WORD PaletteSize() const;
  BYTE* GetBits() const { return m_pBits; }
  BITMAPINFO* GetHeader() const { return m_pBMI; }
  HPALETTE GetPalette() const { return m_pPalette; }

 protected:
  int CreatePalette();

 private:
  struct Blocks;
  // Whether the header and colour table lie within the header block.
  bool HeaderUsable() const;
  size_t BitsSize() const;
  void Adopt(HGLOBAL bits, HGLOBAL header, HPALETTE palette);

  BYTE* m_pBits = nullptr;
  BITMAPINFO* m_pBMI = nullptr;
  HPALETTE m_pPalette = nullptr;
  std::shared_ptr<Blocks> m_blocks;
};

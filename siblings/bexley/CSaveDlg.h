// Bexley: the viewer's save dialog. A save-file dialog for one format, with the
// options that format's save record needs: colour depth, gray, JPEG quality,
// interlace, append, PNG filter and compression, TIFF compression and fill order,
// artist and copyright, and for metafiles and EPS the metafile mode.
//
//   CSaveDlg dlg(IMGTYPE_JPEG, "Joint Photo Experts Group Format (*.jpg)|*.jpg; *.jpe; *.jpeg||",
//                &image, "/home/me/Photo", 0);
//   if (dlg.DoModal() == IDOK) save(dlg.GetPathName(), dlg.m_nQuality, ...);
#pragma once

#include <QDialog>

#include <string>

class CImageInterface;

// The formats, in the numbering callers use.
enum IMGTYPE : int {
  IMGTYPE_BMP = 0,
  IMGTYPE_JPEG = 1,
  IMGTYPE_GIF = 2,
  IMGTYPE_PNG = 3,
  IMGTYPE_TIFF = 4,
  IMGTYPE_TGA = 5,
  IMGTYPE_PCX = 6,
  IMGTYPE_DCX = 7,
  IMGTYPE_EPS = 8,
  IMGTYPE_FMF = 9,
  IMGTYPE_WMF = 10,
  IMGTYPE_EMF = 11,
};

class CSaveDlg : public QDialog {
 public:
  // `filter` as "Text|patterns||"; `image` (may be null) is the picture being saved,
  // whose depth sets the default depth; `proposedName` fills the name field;
  // `isVector` tells the metafile formats that the picture is a drawing.
  CSaveDlg(IMGTYPE type, const char* filter, CImageInterface* image, const std::string& proposedName,
           int isVector, QWidget* parent = nullptr);
  ~CSaveDlg() override;

  // IDOK (1) when the user accepted a name, else IDCANCEL (2). The options below
  // hold the choices after IDOK.
  int DoModal();
  // The chosen path, as typed (no extension is added here).
  std::string GetPathName() const;

  // For tests and callers: set the name field and accept as the Save button does;
  // false when the name is empty.
  void SetFileName(const std::string& path);
  bool Accept();

  // The options, read after DoModal returned IDOK.
  int m_nDepth = 24;          // bits per pixel: 1, 4, 8, 16 (where the format has it), 24, 32
  int m_bGray = 0;            // gray palette instead of colour
  int m_nQuality = 75;        // JPEG quality 1..100
  int m_bAppend = 0;          // add as a page to an existing GIF, TIFF or DCX
  int m_bInterlace = 0;       // GIF interlace
  int m_nCompression = 6;     // PNG compression level
  int m_nFilter = 0;          // PNG filter (the record's filter numbers)
  int m_nTiffCompression = 0; // TIFF compression (the record's numbers)
  int m_nReserved = 0;        // kept for the layout; callers do not read it
  std::string m_strArtist;    // TIFF artist and copyright, at most 1024 characters
  std::string m_strCopyright;
  int m_nFillOrder = 0;       // TIFF fill order
  int m_nTiffReserved = 0;
  int m_nMetafileMode = 0;    // WMF/EMF metafile mode; EPS: the preview flag

  struct Impl;

 private:
  Impl* d_;
};

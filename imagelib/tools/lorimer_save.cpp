// `lorimer save` and `lorimer thumb`: the save path and thumbnails from the command line.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imagelib/core/Thumbnails.h"
#include "imagelib/tools/lorimer_commands.h"
#include "lorimer/ImageInterface.h"

namespace {

bool ParseInts(const std::string& text, std::vector<long>* out, size_t count) {
  out->clear();
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(',', at);
    std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    char* end = nullptr;
    long v = std::strtol(part.c_str(), &end, 0);
    if (part.empty() || *end) return false;
    out->push_back(v);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return out->size() == count;
}

bool Fail(const std::string& why) {
  std::fprintf(stderr, "lorimer: %s\n", why.c_str());
  return false;
}

// Runs one processing operation; `i` moves past its argument.
bool Operate(CImageInterface& image, const std::vector<std::string>& args, size_t& i, int& page) {
  const std::string& op = args[i];
  auto next = [&](std::string* value) {
    if (i + 1 >= args.size()) return Fail(op + " needs a value");
    *value = args[++i];
    return true;
  };
  std::string v;
  std::vector<long> n;
  if (op == "--invert") return image.InvertImage(page) ? (page = 0, true) : Fail("cannot invert");
  if (op == "--gray") return image.SetGrayScale(page) ? (page = 0, true) : Fail("cannot make gray");
  if (!next(&v)) return false;
  if (op == "--rotate") {
    size_t comma = v.find(',');
    char* end = nullptr;
    float degrees = std::strtof(v.substr(0, comma).c_str(), &end);
    DWORD fill = 0xFFFFFF;
    if (comma != std::string::npos) fill = static_cast<DWORD>(std::strtoul(v.c_str() + comma + 1, nullptr, 0));
    return image.Rotate(degrees, fill, page) ? true : Fail("cannot rotate by " + v);
  }
  if (op == "--mirror" && ParseInts(v, &n, 2))
    return image.Mirror(static_cast<int>(n[0]), static_cast<int>(n[1]), page) ? true : Fail("cannot mirror");
  if (op == "--filter" && ParseInts(v, &n, 1))
    return image.FilterImage(static_cast<int>(n[0]), page) ? true : Fail("cannot apply filter " + v);
  if (op == "--brightness" && ParseInts(v, &n, 1))
    return image.SetBrightness(static_cast<int>(n[0]), page) ? true : Fail("cannot change brightness");
  if (op == "--contrast" && ParseInts(v, &n, 2))
    return image.SetContrast(static_cast<int>(n[0]), static_cast<int>(n[1]), page, -1) ? true
                                                                                       : Fail("cannot change contrast");
  if (op == "--depth" && ParseInts(v, &n, 1))
    return image.SetColorDepth(static_cast<int>(n[0]), page) ? (page = 0, true) : Fail("cannot change depth");
  if (op == "--stretch" && (ParseInts(v, &n, 3) || ParseInts(v, &n, 4))) {
    int proportional = n.size() == 4 ? static_cast<int>(n[3]) : 0;
    return image.StretchImage(n[2], static_cast<int>(n[0]), static_cast<int>(n[1]), proportional, 3, 0xFFFFFF, page)
               ? true
               : Fail("cannot stretch to " + v);
  }
  if (op == "--crop" && ParseInts(v, &n, 4)) {
    RECT r{static_cast<LONG>(n[0]), static_cast<LONG>(n[1]), static_cast<LONG>(n[2]), static_cast<LONG>(n[3])};
    HBITMAP cropped = image.CropImage(r, page);
    if (!cropped || !image.InitFromHBITMAP(cropped)) return Fail("cannot crop to " + v);
    page = 0;
    return true;
  }
  return Fail("unknown operation or bad value: " + op + " " + v);
}

std::string Extension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string e = path.substr(dot + 1);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// Fields every record has.
bool Head(_SAVEIMAGEINFO& r, const std::string& key, const std::string& value) {
  std::vector<long> n;
  if (key == "crop") {
    if (!ParseInts(value, &n, 4)) return false;
    r.crop = RECT{static_cast<LONG>(n[0]), static_cast<LONG>(n[1]), static_cast<LONG>(n[2]), static_cast<LONG>(n[3])};
    return true;
  }
  if (key == "angle") {
    char* end = nullptr;
    r.angle = std::strtof(value.c_str(), &end);
    return !value.empty() && !*end;
  }
  if (!ParseInts(value, &n, 1)) return false;
  int v = static_cast<int>(n[0]);
  if (key == "width")
    r.width = v;
  else if (key == "height")
    r.height = v;
  else if (key == "method")
    r.method = v;
  else if (key == "page")
    r.page = v;
  else if (key == "proportional")
    r.proportional = v;
  else
    return false;
  return true;
}

bool IntField(const std::string& value, int* out) {
  std::vector<long> n;
  if (!ParseInts(value, &n, 1)) return false;
  *out = static_cast<int>(n[0]);
  return true;
}

template <typename Record>
bool Fill(Record& r, const std::map<std::string, int*>& ints,
          const std::vector<std::pair<std::string, std::string>>& fields, const std::string& format) {
  for (const auto& [key, value] : fields) {
    auto it = ints.find(key);
    bool ok = it != ints.end() ? IntField(value, it->second) : Head(r, key, value);
    if (!ok) return Fail("field " + key + "=" + value + " does not fit a " + format + " record");
  }
  return true;
}

}  // namespace

int SaveCommand(int page, const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("save needs IN and OUT"), 1;
  // Records start zero-filled, as a program's would; the fields given fill them in.
  const std::string& in = args[0];
  const std::string& out = args[1];
  CImageInterface image;
  if (!image.Load(in.c_str(), 1)) return Fail(in + ": cannot load"), 1;
  if (page >= image.GetPageCount()) return Fail(in + ": no page " + std::to_string(page)), 1;
  std::vector<std::pair<std::string, std::string>> fields;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) == 0) {
      if (!Operate(image, args, i, page)) return 1;
    } else {
      size_t eq = args[i].find('=');
      if (eq == std::string::npos) return Fail("expected FIELD=VALUE, got " + args[i]), 1;
      fields.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
    }
  }
  std::string ext = Extension(out);
  int ok = 0;
  auto text = [&](char* dst, size_t size, const std::string& key) {
    for (const auto& f : fields)
      if (f.first == key) std::snprintf(dst, size, "%s", f.second.c_str());
  };
  if (ext == "bmp" || ext == "rle" || ext == "dib") {
    _SAVEIMAGEINFO::_BMP r{};
    r.page = page;
    if (!Fill(r, {{"gray", &r.gray}, {"depth", &r.depth}}, fields, "BMP")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "pcx") {
    _SAVEIMAGEINFO::_PCX r{};
    r.page = page;
    if (!Fill(r, {{"gray", &r.gray}, {"depth", &r.depth}}, fields, "PCX")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "dcx") {
    _SAVEIMAGEINFO::_DCX r{};
    r.page = page;
    if (!Fill(r, {{"gray", &r.gray}, {"depth", &r.depth}, {"append", &r.append}}, fields, "DCX")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "gif") {
    _SAVEIMAGEINFO::_GIF r{};
    r.page = page;
    if (!Fill(r, {{"gray", &r.gray}, {"depth", &r.depth}, {"interlace", &r.interlace}, {"append", &r.append}}, fields,
              "GIF"))
      return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "jpg" || ext == "jpe" || ext == "jpeg") {
    _SAVEIMAGEINFO::_JPG r{};
    r.page = page;
    if (!Fill(r, {{"depth", &r.depth}, {"quality", &r.quality}}, fields, "JPEG")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "tif" || ext == "tiff") {
    _SAVEIMAGEINFO::_TIF r{};
    r.page = page;
    std::vector<std::pair<std::string, std::string>> numeric;
    for (const auto& f : fields)
      if (f.first != "artist" && f.first != "copyright") numeric.push_back(f);
    if (!Fill(r,
              {{"depth", &r.depth},
               {"colour", &r.colour},
               {"compression", &r.compression},
               {"fillorder", &r.fillOrder},
               {"append", &r.append}},
              numeric, "TIFF"))
      return 1;
    text(r.artist, sizeof r.artist, "artist");
    text(r.copyright, sizeof r.copyright, "copyright");
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "png") {
    _SAVEIMAGEINFO::_PNG r{};
    r.page = page;
    if (!Fill(r, {{"filter", &r.filter}, {"compression", &r.compression}, {"depth", &r.depth}, {"gray", &r.gray}},
              fields, "PNG"))
      return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "tga" || ext == "targa") {
    _SAVEIMAGEINFO::_TGA r{};
    r.page = page;
    if (!Fill(r, {{"gray", &r.gray}, {"depth", &r.depth}}, fields, "Targa")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "fmf") {
    _SAVEIMAGEINFO::_FMF r{};
    r.page = page;
    if (!Fill(r, {}, fields, "fax")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "wmf") {
    _SAVEIMAGEINFO::_WMF r{};
    r.page = page;
    if (!Fill(r, {{"mode", &r.mode}}, fields, "WMF")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "emf") {
    _SAVEIMAGEINFO::_EMF r{};
    r.page = page;
    if (!Fill(r, {{"mode", &r.mode}}, fields, "EMF")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else if (ext == "eps") {
    _SAVEIMAGEINFO::_EPS r{};
    r.page = page;
    if (!Fill(r, {{"preview", &r.preview}}, fields, "EPS")) return 1;
    ok = image.Save(out.c_str(), &r);
  } else {
    return Fail(out + ": no writer for ." + ext), 1;
  }
  if (!ok) return Fail(out + ": cannot save"), 1;
  return 0;
}

int ThumbCommand(int page, const std::vector<std::string>& args) {
  if (args.size() < 4) return Fail("thumb needs IN OUT MAXW MAXH"), 1;
  int maxW = 0, maxH = 0;
  if (!IntField(args[2], &maxW) || !IntField(args[3], &maxH)) return Fail("bad box size"), 1;
  int quality = 3, border = 0, gray = 0, depth = 24;
  DWORD background = 0xFFFFFF;
  for (size_t i = 4; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](int* out) { return i + 1 < args.size() && IntField(args[++i], out); };
    if (a == "--border")
      border = 1;
    else if (a == "--gray")
      gray = 1;
    else if (a == "--quality" && value(&quality)) {
    } else if (a == "--depth" && value(&depth)) {
    } else if (a == "--background" && i + 1 < args.size())
      background = static_cast<DWORD>(std::strtoul(args[++i].c_str(), nullptr, 0));
    else
      return Fail("unknown thumb option " + a), 1;
  }
  // Loaded for this thumbnail alone, so a JPEG is decoded no larger than it needs.
  CThumbnailSource image;
  if (!image.Load(args[0].c_str(), maxW, maxH)) return Fail(args[0] + ": cannot load"), 1;
  std::vector<char> path(args[1].begin(), args[1].end());
  path.push_back('\0');
  int w = 0, h = 0;
  if (!image.CreateThumbnailFilePath(maxW, maxH, path.data(), static_cast<QUALITY>(quality), border, background, gray,
                                     depth, &w, &h, page))
    return Fail(args[1] + ": cannot make the thumbnail"), 1;
  std::printf("%s: %dx%d\n", args[1].c_str(), w, h);
  return 0;
}

#include "printlayout/tools/ProjectJson.h"

#include <cstdio>

namespace tessaly {

namespace {

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    unsigned min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    unsigned cp = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

class Writer {
 public:
  std::string out;
  void open(char c) {
    out += c;
    first_ = true;
    ++depth_;
  }
  void close(char c) {
    --depth_;
    newline();
    out += c;
    first_ = false;
  }
  void key(const char* name) {
    separator();
    out += JsonString(name);
    out += ": ";
  }
  void element() { separator(); }
  template <typename T>
  void number(const char* name, T value) {
    key(name);
    out += std::to_string(value);
  }
  void string(const char* name, const std::string& value) {
    key(name);
    out += JsonString(value);
  }

 private:
  void separator() {
    if (!first_) out += ',';
    first_ = false;
    newline();
  }
  void newline() {
    out += '\n';
    out.append(static_cast<size_t>(depth_) * 2, ' ');
  }
  bool first_ = true;
  int depth_ = 0;
};

void WriteFont(Writer& w, const TextFont& font) {
  w.open('{');
  w.string("face", font.face);
  w.number("size", font.size);
  w.number("bold", font.bold);
  w.number("italic", font.italic);
  w.number("colour", font.colour);
  w.close('}');
}

void WriteFonts(Writer& w, const char* name, const std::array<TextFont, 3>& fonts) {
  w.key(name);
  w.open('[');
  for (const auto& font : fonts) {
    w.element();
    WriteFont(w, font);
  }
  w.close(']');
}

void WriteTexts(Writer& w, const char* name, const std::array<std::string, 3>& texts) {
  w.key(name);
  w.open('[');
  for (const auto& text : texts) {
    w.element();
    w.out += JsonString(text);
  }
  w.close(']');
}

void WritePlacement(Writer& w, const ImagePlacement& p) {
  w.open('{');
  w.string("path", p.path);
  w.string("comment", p.comment);
  w.number("pixelWidth", p.pixelWidth);
  w.number("pixelHeight", p.pixelHeight);
  w.number("width", p.width);
  w.number("height", p.height);
  w.number("x", p.x);
  w.number("y", p.y);
  w.number("plane", p.plane);
  w.number("format", p.format);
  w.number("pageIndex", p.pageIndex);
  w.number("thumbWidth", p.thumbWidth);
  w.number("thumbHeight", p.thumbHeight);
  w.number("laidOut", p.laidOut);
  w.close('}');
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string in = text;
  if (!IsValidUtf8(in)) {
    std::string latin;
    for (unsigned char c : text) {
      if (c < 0x80) {
        latin += static_cast<char>(c);
      } else {
        latin += static_cast<char>(0xC0 | (c >> 6));
        latin += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    in = latin;
  }
  std::string out = "\"";
  for (unsigned char c : in) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string ProjectToJson(const Project& p) {
  Writer w;
  w.open('{');
  w.string("name", p.name);
  w.string("path", p.path);
  w.number("borderLines", p.borderLines);
  w.number("borderWidth", p.borderWidth);
  w.number("borderColour", p.borderColour);
  w.number("borderSpaceH", p.borderSpaceH);
  w.number("borderSpaceV", p.borderSpaceV);
  w.number("shadowDx", p.shadowDx);
  w.number("shadowDy", p.shadowDy);
  w.number("shadowColour", p.shadowColour);
  w.key("imagesFont");
  WriteFont(w, p.imagesFont);
  w.string("defaultComment", p.defaultComment);
  w.number("pageWidth", p.pageWidth);
  w.number("pageHeight", p.pageHeight);
  w.number("orientation", p.orientation);
  w.number("marginLeft", p.marginLeft);
  w.number("marginTop", p.marginTop);
  w.number("marginRight", p.marginRight);
  w.number("marginBottom", p.marginBottom);
  w.number("headerDistance", p.headerDistance);
  w.number("footerDistance", p.footerDistance);
  w.string("printerName", p.printerName);
  w.string("printerName2", p.printerName2);
  w.string("paperForm", p.paperForm);
  w.number("paperSize", p.paperSize);
  w.number("printQuality", p.printQuality);
  w.number("printYResolution", p.printYResolution);
  w.number("firstPageNumber", p.firstPageNumber);
  WriteFonts(w, "headerFonts", p.headerFonts);
  WriteTexts(w, "headerTexts", p.headerTexts);
  w.number("headerSplit1", p.headerSplit1);
  w.number("headerSplit2", p.headerSplit2);
  w.number("headerSplitsSet", p.headerSplitsSet);
  w.number("headerMultiline", p.headerMultiline);
  WriteFonts(w, "footerFonts", p.footerFonts);
  WriteTexts(w, "footerTexts", p.footerTexts);
  w.number("footerSplit1", p.footerSplit1);
  w.number("footerSplit2", p.footerSplit2);
  w.number("footerSplitsSet", p.footerSplitsSet);
  w.number("footerMultiline", p.footerMultiline);
  w.number("arrangeSpacingH", p.arrangeSpacingH);
  w.number("arrangeSpacingV", p.arrangeSpacingV);
  w.number("arrangeColumns", p.arrangeColumns);
  w.number("arrangeRows", p.arrangeRows);
  w.number("autoArrange", p.autoArrange);
  w.string("windowTitle", p.windowTitle);
  w.number("modified", p.modified);
  w.number("fileVersion", p.fileVersion);
  w.key("pages");
  w.open('[');
  for (const auto& page : p.pages) {
    w.element();
    w.open('[');
    for (const auto& placement : page->placements) {
      w.element();
      WritePlacement(w, *placement);
    }
    w.close(']');
  }
  w.close(']');
  w.close('}');
  return w.out + "\n";
}

}  // namespace tessaly

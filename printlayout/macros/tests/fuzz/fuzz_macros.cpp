// Expands arbitrary texts with and without a page and an image. The first
// byte picks the context and the image's format code; the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "printlayout/macros/Macros.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static tessaly::NullEnvironment env;
  static tessaly::Project project(env);
  if (project.totalImages() == 0) {
    project.insertPage(99);
    project.addImage("/photos/holiday/beach.jpg", "", 640, 480, 2, 3, 12);
  }
  tessaly::ImagePlacement* image = project.pages[2]->placements[0].get();
  const std::uint8_t selector = data[0];
  image->format = static_cast<std::int8_t>(selector) / 4;
  const tessaly::ProjectPage* page = (selector & 1) ? project.pages[selector & 2 ? 2 : 0].get() : nullptr;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string out = tessaly::expandMacros(project, text, page, (selector & 2) ? image : nullptr);
  // Expansion never grows a text by more than the values it inserts.
  if (out.size() > text.size() * 64 + 64) __builtin_trap();
  return 0;
}

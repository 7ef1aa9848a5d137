// The whole project model as JSON, keys named as the model's fields.
#pragma once

#include <string>

#include "printlayout/model/Project.h"

namespace tessaly {

// Strings are written as UTF-8: text that already is valid UTF-8 stays as it
// is, anything else is read byte by byte as Latin-1 (project files hold the
// 8-bit text of the system that wrote them).
std::string JsonString(const std::string& text);
std::string ProjectToJson(const Project& project);

}  // namespace tessaly

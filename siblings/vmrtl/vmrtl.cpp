#include "siblings/vmrtl/vmrtl.h"

namespace gen {

TString::TString(const char* text) : text_(text ? text : "") {}

TString::TString(const char* first, const char* second) : text_(first ? first : "") {
  if (second) text_ += second;
}

TString& TString::operator=(const char* text) {
  text_ = text ? text : "";
  return *this;
}

TBuffer::TBuffer(std::size_t length) : bytes_(length, '\0') {}

}  // namespace gen

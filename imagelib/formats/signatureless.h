// Formats without a signature (Targa, GEM IMG) are recognised by a header that adds up:
// sniffing runs the format's header parser on the first bytes, opening runs the same
// parser on the whole file and hands the header to the format's reader.
//
//   Header parse: vel::Expected<Header> ParseHeader(vel::ByteReader in, std::uint64_t fileSize)
//   Reader:       a constructor Reader(FileDataPtr file, const Header& header)
#pragma once

#include <cstdint>
#include <memory>

#include "platform/base/bytes.h"
#include "imagelib/formats/reader.h"

namespace lorimer::formats {

template <auto Parse>
bool SniffByHeader(const std::uint8_t* head, std::size_t length, std::uint64_t fileSize) {
  return Parse(vel::ByteReader(head, length), fileSize).has_value();
}

template <auto Parse, typename Reader>
Opened OpenByHeader(FileDataPtr file) {
  if (!file) return vel::Fail("no file");
  auto header = Parse(vel::ByteReader(file->bytes), file->bytes.size());
  if (!header) return vel::Fail(header.error());
  return std::make_unique<Reader>(std::move(file), *header);
}

}  // namespace lorimer::formats

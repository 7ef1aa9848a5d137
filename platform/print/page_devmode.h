// Turning what Qt knows about a queue's page into a device mode. Private to the
// print layer; separate so the mapping can be checked without a print server.
#pragma once

#include <QPageLayout>
#include <QPageSize>

#include <optional>
#include <string>

#include "platform/print/devmode.h"

namespace vel::print {

// The driver paper code of a page size; DMPAPER_USER for sizes without one here.
short PaperSizeCode(QPageSize::PageSizeId id);

// A device mode for `name`: paper from `page` (when valid), orientation when known,
// resolution when positive. Only the fields that were filled are flagged.
DevMode DevModeFromPage(const std::string& name, const QPageSize& page,
                        std::optional<QPageLayout::Orientation> orientation, int resolution);

// The built-in PDF printer's fixed device mode: A4 portrait at 300 dpi.
DevMode PdfDevMode();

}  // namespace vel::print

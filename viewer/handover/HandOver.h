// What the viewer hands to other programs: printing and print preview through the
// print-layout program, Print All, the batch dialog handing a list to the
// converter, the help file, the about box and the maker's web pages.
#pragma once

namespace orvenna {

class IViewerHost;

void RegisterHandOverCommands(IViewerHost& host);

}  // namespace orvenna

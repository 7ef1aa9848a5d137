// The print-layout program: start-up, then printing, the page set-up or the
// main window, and the settings written back at the end.
#pragma once

namespace tessaly {

// The whole program: returns the exit status.
int RunTessaly(int argc, char** argv);

}  // namespace tessaly

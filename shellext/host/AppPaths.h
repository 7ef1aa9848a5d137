// The suite's programs that lie beside the menu host, made findable through App
// Paths, since the menu extension starts them only through those entries.
#pragma once

#include <string>

namespace ferrule_host {

// Registers HKLM App Paths entry `exeName` for `folder`/`fileName` when the entry
// is missing or names a file that no longer exists and the program is there.
// True when the entry names an existing file afterwards.
bool RegisterSiblingAppPath(const char* exeName, const std::string& folder, const char* fileName);

// "Wicklow", "Converter.exe" and "Quorra.exe" for the programs in `folder`.
void RegisterSuitePrograms(const std::string& folder);

}  // namespace ferrule_host

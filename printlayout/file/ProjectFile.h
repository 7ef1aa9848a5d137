// Project files of Tessaly.
//
// The program writes the binary form, version 201 (magic "KX21"), and reads it,
// its predecessor version 200 ("KX20", the same without paperSize) and the
// older text form, version 100, which is a profile file whose section Common
// has Version=1.0b. The extension of a file means nothing; its content decides.
//
// Reading never trusts the file: a string length or a count that the rest of
// the file cannot hold ends the read as a file error, with the project left as
// far as it was filled (but always with its two page entries). Values out of
// range are clamped, never rejected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/expected.h"
#include "printlayout/model/Project.h"

namespace tessaly {

class ProfileFile;
class ArchiveWriter;

constexpr int kProjectVersionUnknown = 0;
constexpr int kProjectVersionLegacy = 100;
constexpr int kProjectVersion200 = 200;
constexpr int kProjectVersion201 = 201;

// 100 when the file's section Common has Version "1.0b" exactly, else 200 or
// 201 by the first four bytes, else 0 (also for a file that cannot be read).
int detectProjectVersion(const std::string& path);
int DetectProjectVersion(const std::uint8_t* data, std::size_t size);
// 200 or 201 for the binary magic at the start of `data`, else 0.
int DetectBinaryMagic(const std::uint8_t* data, std::size_t size);

// The whole project: reset, path set, fileVersion set, settings, printer
// check, pages and placements; modified cleared. Any version other than 200 or
// 201 is read as the legacy form, so a file that is no project at all (or is
// missing) gives a default project. False when a file error ended the read.
bool loadProject(Project& project, const std::string& path);

// Only the settings of a file, as the "def:" word of the command line uses
// them. A binary file is read into a reset project (the pages are discarded)
// and its shadow offsets become the stored shadow defaults; when it cannot be
// opened the environment shows "Can't load file \n <path>", nothing else
// changes and the result is false. Other files lay their Common keys over the
// current project without a reset. False when a file error ended the read.
bool loadProjectSettings(Project& project, const std::string& path);

// The binary settings path of loadProjectSettings once the version (200 or
// 201) is known: the message when the file cannot be opened, else reset and read.
bool LoadBinaryProjectSettings(Project& project, const std::string& path, int version);

// Writes version 201 to a temporary file in the target's folder and renames it
// over the target, so a failed save leaves the previous file as it was.
// Clears modified on success; the project's path is not changed.
bool saveProject(Project& project, const std::string& path);

// The bytes saveProject writes; false only for a string too long for the format.
bool WriteBinaryProject(const Project& project, ArchiveWriter& out);

// Reads a binary project (starting at its magic) into `project`, which the
// caller has reset: items 2-26, the printer check, then the entries (each
// becomes an appended page) or, with settingsOnly, the shadow defaults
// instead. Clears modified on success. False for an unknown magic or a file error.
bool ReadBinaryProject(Project& project, const std::uint8_t* data, std::size_t size, bool settingsOnly);
// The same, with the reason a read failed ("project entry 2, image 0: needs 4
// bytes at offset 310 of 312") for tools to show.
vel::Expected<void> ParseBinaryProject(Project& project, const std::uint8_t* data, std::size_t size, bool settingsOnly);

// Reads the legacy form: the Common keys over the current project, the printer
// check, and unless settingsOnly the Page sections (replacing the pages) with
// modified cleared afterwards.
void ReadLegacyProject(Project& project, const ProfileFile& profile, bool settingsOnly);

}  // namespace tessaly

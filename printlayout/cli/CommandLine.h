// Tessaly's command line: switches that preset the layout, the images to lay
// out or a project file, and the run mode.
//
//   tessaly [/B:lines,colour,width,spaceH,spaceV] [/C:comment] [/S:dx,dy,colour]
//           [/M:left,top,right,bottom,header,footer,headerLeft,headerRight,multiline]
//           [/A[:columns,rows,spaceH,spaceV]] [/H:left;centre;right] [/F:left;centre;right]
//           [/def:settings-file] [/p] [/ps] [/nosplash] [/N:window-title]
//           [project-file] [image | folder | @list-file] ...
//
// A word that begins with "-" is a switch, handed over without that character.
// On this system absolute paths begin with "/" too, so a word that begins with
// "/" is a switch only when the rest starts like one of the switches above and
// no file or folder of that name exists; a word that starts like the grid
// switch but holds a further "/" names a path.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "printlayout/model/Project.h"

namespace tessaly {

constexpr std::int32_t kNotGiven = -1;

struct CommandLineRecord {
  bool badCommandLine = false;

  int borderCount = 0;
  std::uint32_t borderLines = 0;
  Colour borderColour = 0;
  std::int32_t borderWidth = 1;
  std::int32_t borderSpaceH = 10;
  std::int32_t borderSpaceV = 10;

  std::string defaultComment;

  int shadowCount = 0;
  std::int32_t shadowDx = 0;
  std::int32_t shadowDy = 0;
  Colour shadowColour = kDefaultShadowColour;

  // left, top, right, bottom, header, footer (mm), left header position,
  // right header position, multiline; all kNotGiven once "M:" appears.
  int marginCount = 0;
  std::array<std::int32_t, 9> margins = {200, 200, 200, 200, 100, 100, 0, 0, 0};

  int headerCount = 0;
  std::array<std::string, 3> headerTexts;
  int footerCount = 0;
  std::array<std::string, 3> footerTexts;

  int arrangeCount = 0;
  bool arrangeOn = false;
  std::array<std::int32_t, 4> arrange = {3, 4, 3, 3};  // columns, rows, spaceH, spaceV (mm)

  bool printMode = false;
  std::string settingsFile;
  std::string projectFile;
  std::vector<std::string> images;  // list files keep their "@"
  bool pageSetupMode = false;
  bool showSplash = true;
  std::string windowTitle;
};

// Applies one switch (without its "/" or "-").
void ApplySwitch(const std::string& word, CommandLineRecord& record);

// Parses the words after the program name. File arguments are looked up on
// disk; `projectVersion` tells project files from images (detectProjectVersion
// unless a test gives its own).
CommandLineRecord ParseCommandLine(const std::vector<std::string>& words,
                                   const std::function<int(const std::string&)>& projectVersion);

// Fills the project from the record: reset, project file, settings file,
// borders, shadow, margins, header and footer, grid, print mode, title and
// comment, then the images into the not-arranged area. Returns the number of
// placements added.
int FillProject(Project& project, const CommandLineRecord& record);

// The files an image argument stands for: a folder's files (recursively, in
// name order), the lines of a list file ("@path"), or the file itself.
std::vector<std::string> ExpandImageArgument(const std::string& argument);

}  // namespace tessaly

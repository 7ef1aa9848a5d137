// velreg: the reg.exe command line over our registry.
//
//   velreg query  KEY [/v NAME | /ve] [/s]
//   velreg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
//   velreg delete KEY [/v NAME | /ve | /va] [/f]
//   velreg export KEY FILE [/y]
//   velreg import FILE
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vel::reg {

extern const char* const kMsgSuccess;
extern const char* const kMsgCancelled;
extern const char* const kMsgNotFound;

// Runs one command (args without the program name). Questions are read as
// lines from in; an answer other than y/yes, or end of input, cancels.
// Returns the exit code: 0 success, 1 failure or cancelled.
int RunVelreg(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vel::reg

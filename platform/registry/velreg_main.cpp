// velreg: reg.exe's command line for the suite's registry.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/registry/reg_tool.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return vel::reg::RunVelreg(args, std::cin, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "ERROR: " << e.what() << "\n";
    return 1;
  }
}

// The lorimer tool's save and thumb commands.
#pragma once

#include <string>
#include <vector>

int SaveCommand(int page, const std::vector<std::string>& args);
int ThumbCommand(int page, const std::vector<std::string>& args);

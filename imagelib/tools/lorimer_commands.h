// The lorimer tool's save, thumb and thumbnail commands.
#pragma once

#include <string>
#include <vector>

int SaveCommand(int page, const std::vector<std::string>& args);
int ThumbCommand(int page, const std::vector<std::string>& args);
int ThumbnailCommand(int page, const std::vector<std::string>& args);

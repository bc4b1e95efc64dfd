#include <cstdlib>

#include "platform/command_line.h"

namespace ledra {

// POSIX arguments and environment are bytes, which every path and pattern takes as they are.
CommandLine::CommandLine(int argc, char** argv, ArgumentText text) : text_(text) {
  for (int i = 0; i < argc; ++i) arguments_.emplace_back(argv[i]);
  for (const std::string& argument : arguments_) pointers_.push_back(argument.c_str());
  pointers_.push_back(nullptr);
}

const char* CommandLine::Environment(const char* name) { return std::getenv(name); }

}  // namespace ledra

// orva-utility's bash completion, written from the table of options and
// commands: the build runs orva-utility-completion to make the file it
// installs.
#pragma once

#include <string>

#include "app/command_table.h"

namespace orva::app {

// The completion script: the function _orva_utility and its `complete` line.
std::string bash_completion(const CommandTable& table = command_table());

}  // namespace orva::app

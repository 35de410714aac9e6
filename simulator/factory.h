// What a new controller holds: the factory registry as .reg text and the
// folders of its file system.
#pragma once

#include <string>
#include <vector>

namespace orva::sim {

// The factory registry in "Windows Registry Editor Version 5.00" text.
std::string factory_registry_text();

// The folders of a new controller's file system, relative to fs/, parents
// first ("Windows", "Windows/www", "Temp", "Storage Card", ...).
std::vector<std::string> factory_folders();

}  // namespace orva::sim

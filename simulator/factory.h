// What a new controller holds: the factory registry as .reg text and the
// folders and files of its file system.
#pragma once

#include <string>
#include <vector>

namespace orva::sim {

// The factory registry in "Windows Registry Editor Version 5.00" text.
std::string factory_registry_text();

// The folders of a new controller's file system, relative to fs/, parents
// first ("Windows", "Windows/www", "Temp", "Storage Card", ...).
std::vector<std::string> factory_folders();

// A file of a new controller's file system, relative to fs/.
struct FactoryFile {
    std::string path;
    std::string content;
    bool executable = false;
};

// The files of a new controller's file system: the registry viewer
// "Windows/RegView.exe", a script that writes the live registry, as .reg
// text, to "Temp/RegView.txt" with orva-controller (the one beside the
// running program when there is one, else the one on PATH;
// $ORVA_CONTROLLER_TOOL overrides both when the viewer runs).
std::vector<FactoryFile> factory_files();

}  // namespace orva::sim

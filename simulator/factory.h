// What a new controller holds: the factory registry as .reg text and the
// folders and files of its file system.
#pragma once

#include <filesystem>
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
// "Windows/RegView.exe", a script that has orva-controller
// ($ORVA_CONTROLLER_TOOL, else the one on PATH) write the live registry, as
// .reg text in UTF-8, to "\Temp\RegView.txt", resolved inside fs/ like every
// controller path. It names no file of the host, so it works wherever the
// programs are installed.
std::vector<FactoryFile> factory_files();

// Whether `text` is a registry viewer that earlier versions gave a new
// controller: one that named the orva-controller that made it and followed
// links out of fs/, or one that left the export's encoding to the default.
bool is_earlier_factory_viewer(const std::string& text);

// Replaces fs/Windows/RegView.exe with today's viewer when it is exactly an
// earlier version's (not when it is a link or was changed). true when it
// was replaced; a controller that cannot be written keeps the old one.
bool replace_earlier_factory_viewer(const std::filesystem::path& fs_root);

// Sets ORVA_CONTROLLER_TOOL, which the registry viewer runs, to the
// orva-controller installed beside the running program, unless it is set
// already or there is none there (the viewer then uses PATH). Programs the
// controller starts inherit it.
void export_controller_tool();

}  // namespace orva::sim

// The auto-run programs as systemd units: Launch80 to Launch89 of HKLM\Init
// in the registry the board starts with (the saved copy, or the factory
// registry when the saved copy was erased), one service per program, each
// started after the network and after the programs of the rows before it,
// with its controller path mapped to the host path.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "board/board_config.h"

namespace orva::board {

struct AutorunUnit {
    std::string name;  // "orva-autorun-80.service"
    std::string text;  // the unit file
};

// The units for the registry in the board's state directory, in row order;
// an empty or missing row makes none, and a row whose path leads out of the
// board's folders or holds a control character makes none and is noted in
// `notes`. nullopt and why when the registry cannot be read or fails its
// check: then nothing is started.
std::optional<std::vector<AutorunUnit>> autorun_units(const BoardConfig& cfg, std::vector<std::string>* notes,
                                                      std::string* error);

// `word` as the program of a unit's command line: quoted, with systemd's
// specifiers kept from expanding (variables are never expanded there).
std::string systemd_word(const std::string& word);

// Writes the units into `dir` (systemd's normal generator folder), each
// wanted by multi-user.target. false and why on a failed write.
bool write_autorun_units(const std::filesystem::path& dir, const std::vector<AutorunUnit>& units, std::string* error);

}  // namespace orva::board

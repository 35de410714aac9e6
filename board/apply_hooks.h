// What runs after a successful save on the board, so that the board's own
// software follows what the pages wrote: every executable in the apply
// folder (/etc/orva-utility/apply.d), in name order, with the display mode
// and both server directories (as host paths) in its environment.
#pragma once

#include <string>
#include <vector>

#include "board/board_config.h"
#include "board/file_map.h"
#include "simulator/registry_store.h"

namespace orva::board {

// The environment a hook gets from the saved registry: ORVA_DISPLAY_WIDTH,
// ORVA_DISPLAY_HEIGHT, ORVA_DISPLAY_BPP, ORVA_DISPLAY_FREQ and
// ORVA_DISPLAY_MODE ("640x480x16@60"), ORVA_FTP_DIR and ORVA_HTTP_DIR (host
// folders; the controller paths in ORVA_FTP_DIR_CONTROLLER and
// ORVA_HTTP_DIR_CONTROLLER), ORVA_BOARD and ORVA_STATE_DIR. A value the
// registry does not hold, or a directory that maps to no host folder, is
// left out.
std::vector<std::string> apply_environment(const BoardConfig& cfg, const FileMap& files, sim::RegistryStore& store);

// The hooks of the apply folder, in the order they run: executable regular
// files whose names hold only letters, digits, "_" and "-" (as run-parts
// takes them), so that editors' and package managers' leftovers never run.
std::vector<std::string> apply_hooks(const BoardConfig& cfg);

// Runs each hook with the environment, each for at most a minute. A hook
// that fails is named on standard error; the rest still run. How many failed.
int run_apply_hooks(const BoardConfig& cfg, const std::vector<std::string>& env);

}  // namespace orva::board

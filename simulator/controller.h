// The simulated controller as the rest of the simulator names it: the seam's
// types (controller/controller.h) in the simulator's namespace, and making a
// new controller directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "controller/controller.h"
#include "simulator/identity.h"

namespace orva::sim {

using ctl::Controller;
using ctl::current;
using ctl::DeviceLibrary;
using ctl::kRegBinary;
using ctl::kRegDword;
using ctl::kRegExpandSz;
using ctl::kRegMultiSz;
using ctl::kRegNone;
using ctl::kRegSz;
using ctl::LockPlace;
using ctl::reboot_handler;
using ctl::RegResult;
using ctl::RegValue;
using ctl::ResolvedPath;
using ctl::set_current;
using ctl::set_reboot_handler;

// Creates a new controller with factory settings and `identity` (the
// factory one unless given). Refuses an existing one unless `force`.
// segment_size is one that is_segment_size takes.
bool init_controller(const std::filesystem::path& dir, uint32_t segment_size, bool force, std::string* error,
                     const Identity& identity = {});

// $ORVA_CONTROLLER, else $XDG_STATE_HOME/orva-utility/controller, else
// ~/.local/state/orva-utility/controller.
std::filesystem::path default_controller_dir();

}  // namespace orva::sim

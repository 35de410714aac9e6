// Running a program of the board's (an apply hook, the reboot command) and
// waiting for it, with a time limit.
#pragma once

#include <string>
#include <vector>

namespace orva::board {

// Runs argv (argv[0] a path, or a name looked up on PATH) with `env` ("NAME=
// value") added to this program's environment, standard input from
// /dev/null and standard output joined to standard error, so that nothing
// it prints reaches a transcript. Waits for it at most `timeout_ms`, then
// kills it. Its exit status (0 to 255); -1 and why when it could not be
// started, ended on a signal, or was killed for taking too long.
int run_and_wait(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeout_ms,
                 std::string* why);

}  // namespace orva::board

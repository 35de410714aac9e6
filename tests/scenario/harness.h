// Runs the built programs the way an operator or a test script would: a
// temporary controller made by orva-controller, orva-utility run on it with
// a script, and orva-controller to look at the controller afterwards.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"

namespace orva::test {

struct RunResult {
    int exit_code = -1;
    std::string out;  // standard output (the transcript)
    std::string err;  // standard error
};

// Runs a command line (argv, no shell) with `input` on standard input;
// `meanwhile`, when given, runs on a thread of its own with the program's
// process id while the program runs.
RunResult run_program(const std::vector<std::string>& argv, const std::string& input = "",
                      const std::vector<std::string>& env = {}, const std::function<void(pid_t)>& meanwhile = {});

std::string utility_path();
std::string controller_tool_path();

// A new controller in a temporary directory, removed at the end.
class TempController {
public:
    // Extra arguments for `orva-controller init` (e.g. "--segment-size", "131072").
    // Without "--serial" the controller gets the factory identity.
    explicit TempController(const std::vector<std::string>& init_args = {});
    ~TempController();
    TempController(const TempController&) = delete;
    TempController& operator=(const TempController&) = delete;

    const std::filesystem::path& dir() const { return m_dir; }
    std::filesystem::path fs() const { return m_dir / "fs"; }

    // orva-utility --controller DIR [extra...] - with the script on stdin.
    RunResult run(const std::string& script, const std::vector<std::string>& extra = {}) const;
    // orva-utility -C DIR args... (a one-shot command), nothing on standard input.
    RunResult command(const std::vector<std::string>& args) const;
    // orva-controller -C DIR args...
    RunResult tool(const std::vector<std::string>& args) const;
    // The first line `orva-controller reg get KEY VALUE` prints ("" when missing).
    std::string reg_get(const std::string& key, const std::string& value) const;
    // The same from the copy saved in flash (`reg --saved get`).
    std::string saved_get(const std::string& key, const std::string& value) const;
    // `orva-controller reg set KEY VALUE TYPE DATA [--size N]`; fails the test on error.
    void reg_set(const std::string& key, const std::string& value, const std::string& type, const std::string& data,
                 int size = -1) const;
    // The event log's lines.
    std::vector<std::string> log() const;
    void clear_log() const;
    // Sets `key = value` (value as TOML text, e.g. "65536" or "\"text\"") in
    // [section] of controller.toml, replacing the key where it is.
    void set_config(const std::string& section, const std::string& key, const std::string& value) const;

private:
    std::filesystem::path m_dir;
};

// The lines of a text.
std::vector<std::string> lines(const std::string& text);

// Script lines that name a page's control by its identifier (IDC_* of
// resources/resource.h); the script language writes the number.
std::string id(int control);                             // "1061", for the transcript's lines
std::string click(int control);                          // "click 1062\n"
std::string show(int control);                           // "show 1061\n"
std::string select(int control, int item);               // "select 1064 3\n"
std::string type(int control, const std::string& text);  // "type 1061 \"TEXT\"\n", \ and " escaped

}  // namespace orva::test

// The script language: a parsed script, written out again with its strings
// quoted as the transcript quotes them, parses to the same commands.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontends/script/script.h"

using orva::script::Command;

namespace {

[[noreturn]] void finding(const char* what, const std::string& detail) {
    std::fprintf(stderr, "script_fuzz: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// One command as a script line.
std::string line_of(const Command& c) {
    using V = Command::Verb;
    const std::string id = std::to_string(c.id);
    switch (c.verb) {
        case V::Tab:
            return "tab " + id;
        case V::Type:
            return "type " + id + " " + orva::script::quote(c.text);
        case V::Select:
            return "select " + id + " " + std::to_string(c.number);
        case V::Click:
            return "click " + id;
        case V::Show:
            return "show " + id;
        case V::Pick:
            return c.cancel ? "pick cancel" : "pick " + orva::script::quote(c.text);
        case V::Ok:
            return "ok";
        case V::Cancel:
            return "cancel";
        case V::Answer: {
            std::string s = "answer";
            for (const std::string& a : c.answers) s += " " + a;
            return s;
        }
    }
    return "";
}

bool same(const Command& a, const Command& b) {
    return a.verb == b.verb && a.id == b.id && a.number == b.number && a.text == b.text && a.cancel == b.cancel &&
           a.answers == b.answers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string source(reinterpret_cast<const char*>(data), size);
    std::vector<Command> commands;
    std::string error;
    if (!orva::script::parse_script(source, &commands, &error)) {
        if (error.empty() || error.find(": ") == std::string::npos) finding("an error without its line", error);
        return 0;
    }
    std::string written;
    for (const Command& c : commands) written += line_of(c) + "\n";
    std::vector<Command> again;
    if (!orva::script::parse_script(written, &again, &error))
        finding("the written script does not parse", error + "\n" + written);
    if (again.size() != commands.size()) finding("the written script has another number of commands", written);
    for (size_t i = 0; i < commands.size(); ++i)
        if (!same(commands[i], again[i]))
            finding("a command changed on the way", line_of(commands[i]) + "\n" + line_of(again[i]));
    return 0;
}

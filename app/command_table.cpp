// The rows of app/command_line.def, and looking them up.
#include "app/command_table.h"

#include "resources/resource.h"

namespace orva::app {

namespace {

using enum OptionKind;
using enum OptionScope;

constexpr OptionSpec kOptions[] = {
#define ORVA_OPTION(name, alias, value, kind, needs, scope, complete, help) \
    {name, alias, value, kind, needs, scope, complete, help},
#define ORVA_COMMAND(...)
#include "app/command_line.def"
#undef ORVA_OPTION
#undef ORVA_COMMAND
};

constexpr CommandSpec kCommands[] = {
#define ORVA_OPTION(...)
#define ORVA_COMMAND(code, words, args, options, page, complete, summary) \
    {words, args, options, page, complete, summary},
#include "app/command_line.def"
#undef ORVA_OPTION
#undef ORVA_COMMAND
};

}  // namespace

const CommandTable& command_table() {
    static const CommandTable table{kOptions, kCommands};
    return table;
}

const OptionSpec* find_option(const CommandTable& table, std::string_view name) {
    for (const OptionSpec& option : table.options)
        if (name == option.name || (option.alias && name == option.alias)) return &option;
    return nullptr;
}

bool lists_option(const CommandSpec& command, std::string_view name) {
    std::string_view rest = command.options;
    while (!rest.empty()) {
        const size_t space = rest.find(' ');
        if (rest.substr(0, space) == name) return true;
        rest = space == std::string_view::npos ? "" : rest.substr(space + 1);
    }
    return false;
}

}  // namespace orva::app

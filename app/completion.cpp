// Writing orva-utility's bash completion from the table.
#include "app/completion.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace orva::app {

namespace {

using enum OptionKind;
using enum OptionScope;

std::string join(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

// The names an option is typed by: its alias, then its name.
std::vector<std::string> spellings(const OptionSpec& option) {
    std::vector<std::string> out;
    if (option.alias) out.push_back(option.alias);
    out.push_back(option.name);
    return out;
}

// A `case` item that completes `what` (an option's or a command's COMPLETE)
// and, when `then_return`, returns.
std::string case_item(const std::string& pattern, std::string_view what, bool then_return) {
    std::string action = what.empty() ? "" : "_orva_utility_values \"" + std::string(what) + "\"";
    if (then_return) action += action.empty() ? "return" : "; return";
    return "    " + pattern + ") " + action + " ;;\n";
}

// The `case $prev` items of the options of `kinds` that take a value.
std::string value_items(const CommandTable& table, bool optional) {
    std::string out;
    for (const OptionSpec& option : table.options)
        if (option.kind != Flag && (option.kind == Optional || option.kind == TomlFile) == optional)
            out += case_item(join(spellings(option), " | "), option.complete, true);
    return out;
}

constexpr const char* kHead = R"(# bash completion for orva-utility: options, commands, their arguments and
# the values of options. Written by the build from the program's table of
# options and commands.

# Completes $cur from "<dir>" (directories), "<file>" (files) or words.
_orva_utility_values() {
    case $1 in
    "<dir>")
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        ;;
    "<file>")
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        ;;
    *) mapfile -t COMPREPLY < <(compgen -W "$1" -- "$cur") ;;
    esac
}

_orva_utility() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} after_equals=""
    COMPREPLY=()
    # "--controller=DIR" reaches here as "--controller" "=" "DIR".
    if [[ $cur == = ]]; then
        cur="" after_equals=1
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]} after_equals=1
    fi
)";

}  // namespace

std::string bash_completion(const CommandTable& table) {
    std::vector<std::string> valued, everywhere, program, words, heads;
    for (const OptionSpec& option : table.options) {
        for (const std::string& spelling : spellings(option)) {
            if (option.kind == Required || option.kind == NonEmpty) valued.push_back(spelling);
            if (option.scope == Everywhere) everywhere.push_back(spelling);
            if (option.scope == Program) program.push_back(spelling);
        }
    }
    for (const CommandSpec& command : table.commands) {
        const std::string_view name = command.words;
        const std::string first(name.substr(0, name.find(' ')));
        if (first.size() < name.size() && std::find(heads.begin(), heads.end(), first) == heads.end())
            heads.push_back(first);
        if (std::find(words.begin(), words.end(), first) == words.end()) words.push_back(first);
    }

    std::string out = kHead;
    out += "    # The value of an option.\n    case $prev in\n" + value_items(table, false) + "    esac\n";
    if (const std::string optional = value_items(table, true); !optional.empty())
        out += "    if [[ -n $after_equals ]]; then\n        case $prev in\n" + optional + "        esac\n    fi\n";

    out += R"(    # The command: the first words that are neither options nor their values.
    local i word command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
)";
    if (!valued.empty()) out += "        " + join(valued, " | ") + ") [[ ${COMP_WORDS[i+1]} == = ]] || ((i++)) ;;\n";
    std::vector<std::string> toml;
    for (const OptionSpec& option : table.options)
        if (option.kind == TomlFile) toml.push_back(option.name);
    if (!toml.empty()) out += "        " + join(toml, " | ") + ") [[ ${COMP_WORDS[i+1]} == *.toml ]] && ((i++)) ;;\n";
    out += R"(        =) ((i++)) ;;
        -*) ;;
        *)
            command=$word
)";
    if (!heads.empty())
        out += "            case $word in " + join(heads, " | ") +
               ") ((i + 1 < COMP_CWORD)) && command+=\" ${COMP_WORDS[i+1]}\" ;; esac\n";
    out += R"(            break
            ;;
        esac
    done
    if [[ $cur == -* ]]; then
)";
    out += "        local options=\"" + join(everywhere, " ") + "\"\n        case $command in\n";
    for (const CommandSpec& command : table.commands)
        out += "        \"" + std::string(command.words) + "\")" +
               (*command.options ? std::string(" options+=\" ") + command.options + "\"" : "") + " ;;\n";
    // No command, or a script.
    out += "        *) options+=\" " + join(program, " ") + "\" ;;\n";
    out += R"(        esac
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    case $command in
    "")
        compopt -o filenames 2>/dev/null
)";
    out += "        mapfile -t COMPREPLY < <(compgen -W \"" + join(words, " ") +
           "\" -- \"$cur\"; compgen -f -- \"$cur\")\n";
    out += "        ;;\n";
    for (const std::string& head : heads) {
        std::vector<std::string> second;
        for (const CommandSpec& command : table.commands) {
            const std::string_view name = command.words;
            if (name.size() > head.size() && name.substr(0, head.size() + 1) == head + " ")
                second.push_back(std::string(name.substr(head.size() + 1)));
        }
        out += case_item("\"" + head + "\"", join(second, " "), false);
    }
    for (const CommandSpec& command : table.commands)
        if (*command.complete) out += case_item("\"" + std::string(command.words) + "\"", command.complete, false);
    out += "    esac\n}\ncomplete -F _orva_utility orva-utility\n";
    return out;
}

}  // namespace orva::app

// Writing orva-controller's bash completion from its table.
#include <algorithm>

#include "tools/orva-controller/cli.h"

namespace orva::tool {

namespace {

std::string join(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

// The names options are typed by (an alias after its name), those of the
// options that take a value if `valued`.
std::vector<std::string> spellings(const std::vector<ToolOption>& options, bool valued = false) {
    std::vector<std::string> out;
    for (const ToolOption& option : options) {
        if (valued && option.value.empty()) continue;
        out.push_back(option.name);
        if (!option.alias.empty()) out.push_back(option.alias);
    }
    return out;
}

constexpr const char* kHead = R"(# bash completion for orva-controller: options, commands and their second
# words, the values of options, and arguments. Written by the build from the
# program's table of options and commands.

# Completes $cur from "<dir>" (directories), "<file>" (files) or words.
_orva_controller_values() {
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

_orva_controller() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    COMPREPLY=()
    # "--controller=DIR" reaches here as "--controller" "=" "DIR".
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
)";

}  // namespace

std::string tool_bash_completion() {
    const std::vector<ToolOption>& globals = tool_global_options();
    std::vector<std::string> top, families;
    for (const ToolCommand& command : tool_commands()) {
        const std::string first = command.words.substr(0, command.words.find(' '));
        if (std::find(top.begin(), top.end(), first) == top.end()) top.push_back(first);
        if (!command.missing.empty()) families.push_back(command.words);
    }

    std::string out = kHead;
    out += "    case $prev in\n";
    for (const ToolOption& option : globals)
        if (!option.value.empty())
            out += "    " + join(spellings({option}), " | ") + ") _orva_controller_values \"" + option.complete +
                   "\"; return ;;\n";
    out += "    esac\n";
    out += R"(    # The command word, then the words after it, leaving out the global
    # options and their values.
    local i word cmd="" args=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
)";
    std::vector<ToolOption> valued, toml;
    for (const ToolOption& option : globals) (option.toml ? toml : valued).push_back(option);
    out += "        " + join(spellings(valued, true), " | ") + ") [[ ${COMP_WORDS[i+1]} == = ]] || ((i++)) ;;\n";
    if (!toml.empty())
        out += "        " + join(spellings(toml, true), " | ") + ") [[ ${COMP_WORDS[i+1]} == *.toml ]] && ((i++)) ;;\n";
    out += R"(        =) ((i++)) ;;
        *)
            if [[ -n $cmd ]]; then
                args+=("$word")
            elif [[ $word != -* ]]; then
                cmd=$word
            fi
            ;;
        esac
    done
    if [[ -z $cmd ]]; then
        if [[ $cur == -* ]]; then
)";
    out += "            _orva_controller_values \"" + join(spellings(globals), " ") + "\"\n";
    out += "        else\n            _orva_controller_values \"" + join(top, " ") +
           "\"\n        fi\n        return\n    fi\n";

    // A family's second word, after the family's own options.
    out += "    local n=0\n    case $cmd in\n";
    for (const std::string& family : families) {
        const ToolCommand& row =
            *std::find_if(tool_commands().begin(), tool_commands().end(), [&](auto& c) { return c.words == family; });
        std::vector<std::string> second;
        for (const ToolCommand& command : tool_commands())
            if (command.words.rfind(family + " ", 0) == 0) second.push_back(command.words.substr(family.size() + 1));
        const std::vector<std::string> own = spellings(row.options);
        out += "    " + family + ")\n";
        out += "        while ((n < ${#args[@]})) && [[ \" " + join(own, " ") +
               " \" == *\" ${args[n]} \"* ]]; do ((n++)); done\n";
        out += "        if ((n >= ${#args[@]})); then\n";
        std::vector<std::string> offered = own;
        offered.insert(offered.end(), second.begin(), second.end());
        out += "            _orva_controller_values \"" + join(offered, " ") + "\"\n            return\n        fi\n";
        out += "        cmd+=\" ${args[n]}\"\n        ((n++))\n        ;;\n";
    }
    out += "    esac\n";

    // The command's options and arguments.
    out += "    local options=\"\" valued=\"\" completes=()\n    case $cmd in\n";
    for (const ToolCommand& command : tool_commands()) {
        if (!command.missing.empty() || !command.run) continue;
        out += "    \"" + command.words + "\")\n";
        bool values = false;
        for (const ToolOption& option : command.options)
            if (!option.value.empty()) values = true;
        if (values) {
            out += "        case $prev in\n";
            for (const ToolOption& option : command.options)
                if (!option.value.empty())
                    out += "        " + join(spellings({option}), " | ") + ") _orva_controller_values \"" +
                           option.complete + "\"; return ;;\n";
            out += "        esac\n";
        }
        out += "        options=\"" + join(spellings(command.options), " ") + "\" valued=\"" +
               join(spellings(command.options, true), " ") + "\"\n";
        std::vector<std::string> quoted;
        for (const std::string& arg : command.args) quoted.push_back("\"" + arg + "\"");
        if (!quoted.empty()) out += "        completes=(" + join(quoted, " ") + ")\n";
        out += "        ;;\n";
    }
    out += R"(    *) return ;;
    esac
    if [[ $cur == -* ]]; then
        _orva_controller_values "$options"
        return
    fi
    # Which argument is being typed: the words after the command's that are
    # neither its options nor their values.
    local p=0
    for ((i = n; i < ${#args[@]}; i++)); do
        if [[ " $valued " == *" ${args[i]} "* ]]; then
            ((i++))
        elif [[ " $options " != *" ${args[i]} "* ]]; then
            ((p++))
        fi
    done
    # Where nothing completes the argument, the options may come.
    _orva_controller_values "${completes[p]:-$options}"
}
complete -F _orva_controller orva-controller
)";
    return out;
}

}  // namespace orva::tool

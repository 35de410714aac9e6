// The manual pages against what they describe: every command and option of
// the programs' tables has its entry in the page's COMMANDS or OPTIONS.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/command_table.h"
#include "tools/orva-controller/cli.h"

namespace orva::test {
namespace {

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The entry headings of section `name` of a scdoc page: its lines that are
// neither indented (an entry's text) nor empty.
std::string headings(const std::string& page, const std::string& name) {
    std::istringstream in(page);
    std::string out;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) == 0) inside = line == "# " + name;
        else if (inside && !line.empty() && line[0] != '\t') out += line + "\n";
    }
    return out;
}

// "*registry* *get*": a command's words as the page sets them in bold.
std::string bold_words(std::string_view words) {
    std::string out;
    for (size_t start = 0; start <= words.size();) {
        const size_t end = std::min(words.find(' ', start), words.size());
        out += (out.empty() ? "*" : " *") + std::string(words.substr(start, end - start)) + "*";
        start = end + 1;
    }
    return out;
}

TEST(Manual, OrvaUtilityHasAnEntryForEveryCommandAndOption) {
    const std::string page = read(ORVA_SOURCE_DIR "/docs/man/orva-utility.1.scd");
    const std::string commands = headings(page, "COMMANDS"), options = headings(page, "OPTIONS");
    ASSERT_FALSE(commands.empty());
    ASSERT_FALSE(options.empty());
    for (const app::CommandSpec& command : app::command_table().commands)
        EXPECT_NE(commands.find(bold_words(command.words)), std::string::npos) << command.words;
    for (const app::OptionSpec& option : app::command_table().options) {
        EXPECT_NE(options.find(std::string("*") + option.name + "*"), std::string::npos) << option.name;
        if (option.alias) {
            EXPECT_NE(options.find(std::string("*") + option.alias + "*"), std::string::npos) << option.alias;
        }
    }
}

// orva-controller's commands each have a heading with their words in bold
// ("*reg* [*--saved*|*--factory*] *get*"), and every option has its name
// in bold in a heading of COMMANDS or OPTIONS.
TEST(Manual, OrvaControllerHasAnEntryForEveryCommandAndOption) {
    const std::string page = read(ORVA_SOURCE_DIR "/docs/man/orva-controller.1.scd");
    const std::string commands = headings(page, "COMMANDS"), all = commands + headings(page, "OPTIONS");
    auto heading_with = [&](const std::string& words) {
        std::istringstream in(commands);
        for (std::string line; std::getline(in, line);) {
            bool all_words = true;
            std::istringstream w(words);
            for (std::string word; w >> word;)
                all_words = all_words && line.find("*" + word + "*") != std::string::npos;
            if (all_words) return true;
        }
        return false;
    };
    std::vector<tool::ToolOption> options = tool::tool_global_options();
    for (const tool::ToolCommand& command : tool::tool_commands()) {
        if (!command.help.empty()) {
            EXPECT_TRUE(heading_with(command.words)) << command.words;
        }
        options.insert(options.end(), command.options.begin(), command.options.end());
    }
    for (const tool::ToolOption& option : options) {
        EXPECT_NE(all.find("*" + option.name + "*"), std::string::npos) << option.name;
        if (!option.alias.empty()) {
            EXPECT_NE(all.find("*" + option.alias + "*"), std::string::npos) << option.alias;
        }
    }
}

}  // namespace
}  // namespace orva::test

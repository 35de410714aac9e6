// The manual pages against what they describe: every command and option of
// the programs' tables has its entry in the page's COMMANDS or OPTIONS, and
// every example reads, once the page is rendered, as its source wrote it.
#include <gtest/gtest.h>

#include <cstdio>
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

std::string trimmed(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t");
    return first == std::string::npos ? "" : line.substr(first, last - first + 1);
}

// The lines of a text, without the blanks around them.
std::vector<std::string> trimmed_lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(trimmed(line));
    return out;
}

// What a shell command prints on standard output.
std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
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

// An example is a literal block ("```"); scdoc writes a backslash of it as
// "\\". Rendered (scdoc, then man), each block must read as its source with
// the backslashes halved, so that a command copied from the page is the
// command meant; and a line that goes on in the next, indented one must end
// in a backslash or a pipe, or the shell runs it without the rest.
TEST(Manual, RenderedExamplesAreTheCommandsTheSourceWrites) {
    if (output_of("command -v scdoc man").empty()) GTEST_SKIP() << "scdoc and man are needed";
    for (const char* name : {"orva-utility.1", "orva-controller.1", "orva-controller.toml.5"}) {
        SCOPED_TRACE(name);
        const std::string source = std::string(ORVA_SOURCE_DIR "/docs/man/") + name + ".scd";
        const std::vector<std::string> shown =
            trimmed_lines(output_of("scdoc < '" + source + "' | LC_ALL=C.UTF-8 MANWIDTH=1000 man -l - 2>/dev/null"));
        ASSERT_GT(shown.size(), 20u);
        // Each block's lines as written, and as they should read.
        std::vector<std::vector<std::string>> written, meant;
        std::istringstream in(read(source));
        bool inside = false;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("```", 0) == 0) {
                if ((inside = !inside)) written.emplace_back(), meant.emplace_back();
                continue;
            }
            if (!inside) continue;
            std::string halved;
            for (size_t i = 0; i < line.size(); ++i)
                halved += line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\' ? line[i++] : line[i];
            written.back().push_back(line);
            meant.back().push_back(trimmed(halved));
        }
        ASSERT_FALSE(meant.empty());
        for (size_t b = 0; b < meant.size(); ++b) {
            const std::vector<std::string>& block = meant[b];
            bool found = false;
            for (size_t at = 0; !found && at + block.size() <= shown.size(); ++at)
                found = std::equal(block.begin(), block.end(), shown.begin() + ptrdiff_t(at));
            EXPECT_TRUE(found) << "the rendered page does not show this example as written:\n"
                               << ::testing::PrintToString(block);
            for (size_t k = 0; k + 1 < block.size(); ++k) {
                const bool goes_on =
                    !written[b][k + 1].empty() && (written[b][k + 1][0] == ' ' || written[b][k + 1][0] == '\t');
                const char end = block[k].empty() ? ' ' : block[k].back();
                EXPECT_TRUE(!goes_on || end == '\\' || end == '|') << "no continuation at the end of: " << block[k];
            }
        }
    }
}

}  // namespace
}  // namespace orva::test

// The include check: every #include of the tree against the layer table the
// build compiles with, and the check itself on a small tree that crosses
// every rule once.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/layers/include_rules.h"
#include "tests/simulator/temp_dir.h"

namespace orva::layers {
namespace {

namespace fs = std::filesystem;

std::vector<Layer> table(const std::string& text) {
    std::string error;
    auto layers = parse_layers(text, &error);
    EXPECT_TRUE(layers) << error;
    return layers.value_or(std::vector<Layer>{});
}

std::vector<std::string> described(const std::vector<Violation>& violations) {
    std::vector<std::string> out;
    for (const Violation& v : violations) out.push_back(describe(v));
    return out;
}

TEST(IncludeCheck, EveryIncludeOfTheTreeStaysInsideItsLayer) {
    std::ifstream in(ORVA_LAYERS_FILE);
    ASSERT_TRUE(in) << "no layer table at " << ORVA_LAYERS_FILE;
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<Layer> layers = table(text.str());
    ASSERT_FALSE(layers.empty());
    // Only the tests see the whole tree; the program's wiring and every
    // frontend have rows of their own with what they may see.
    std::vector<std::string> own_rows;
    for (const Layer& l : layers) {
        if (l.name != "tests") {
            EXPECT_EQ(std::count(l.sees.begin(), l.sees.end(), "."), 0) << l.name;
        }
        for (const std::string& folder : l.folders)
            if (folder == "app" || folder == "frontends/command") own_rows.push_back(folder);
    }
    EXPECT_EQ(own_rows.size(), 2u);
    std::vector<std::string> violations = described(check_tree(ORVA_SOURCE_DIR, layers));
    EXPECT_EQ(violations, std::vector<std::string>{});
}

class CheckOnATree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.path().empty()); }
    void write(const std::string& file, const std::string& text) {
        fs::create_directories((m_root / file).parent_path());
        std::ofstream(m_root / file) << text;
    }
    test::TempDir m_dir;
    const fs::path& m_root = m_dir.path();
};

TEST_F(CheckOnATree, NamesEachIncludeThatCrossesAndNothingElse) {
    const std::vector<Layer> layers = table(
        "application|pages device|platform/wince.h device pages|c-only\n"
        "platform|platform|platform sim/controller.h|\n"
        "frontend|ui|ui platform/frontend.h|qt\n"
        "sim|sim|sim|sqlite\n"
        "build|build|.|any\n");
    write("platform/wince.h", "");
    write("platform/frontend.h", "#include \"platform/wince.h\"\n");
    write("platform/internal.h", "");
    write("platform/files.cpp",
          "#include \"platform/internal.h\"\n#include \"sim/controller.h\"\n#include \"sim/flash.h\"\n"
          "  #  include <QWidget>\n#include <unistd.h>\n");
    write("sim/controller.h", "#include <sqlite3.h>\n");
    write("sim/flash.h", "");
    write("pages/page.cpp",
          "#include \"platform/wince.h\"\n#include \"pages/page.h\"\n#include \"page.h\"\n"
          "#include \"platform/frontend.h\"\n#include <string.h>\n#include <vector>\n#include <sys/stat.h>\n"
          "#include <curses.h>\n#include \"../sim/flash.h\"\n#include \"nowhere.h\"\n");
    write("pages/page.h", "");
    write("device/library.h", "#include <cstdint>\n");
    write("ui/view.cpp",
          "#include \"platform/frontend.h\"\n#include <QWidget>\n#include \"view.moc\"\n#include "
          "\"platform/internal.h\"\n");
    write("stray/loose.cpp", "");
    write("build/generated.cpp", "#include \"sim/flash.h\"\n#include <gtest/gtest.h>\n");
    write("build2/CMakeCache.txt", "");
    write("build2/made.cpp", "#include \"sim/flash.h\"\n");  // a build tree: not part of the sources
    write(".hidden/x.cpp", "#include \"sim/flash.h\"\n");
    write("notes.txt", "#include \"sim/flash.h\"\n");

    EXPECT_EQ(described(check_tree(m_root, layers)),
              (std::vector<std::string>{
                  "pages/page.cpp:4: \"platform/frontend.h\" crosses from application into platform; application "
                  "sees platform/wince.h, device, pages",
                  "pages/page.cpp:7: <sys/stat.h>: application includes only C and C++ standard headers",
                  "pages/page.cpp:8: <curses.h> is ncurses, which application may not use",
                  "pages/page.cpp:9: \"../sim/flash.h\" crosses from application into sim; application sees "
                  "platform/wince.h, device, pages",
                  "pages/page.cpp:10: \"nowhere.h\" is no header of the tree",
                  "platform/files.cpp:3: \"sim/flash.h\" crosses from platform into sim; platform sees platform, "
                  "sim/controller.h",
                  "platform/files.cpp:4: <QWidget> is qt, which platform may not use",
                  "stray/loose.cpp:0: lies in no layer's folder",
                  "ui/view.cpp:4: \"platform/internal.h\" crosses from frontend into platform; frontend sees ui, "
                  "platform/frontend.h",
              }));
}

TEST(LayerTable, MalformedLinesAreNamed) {
    std::string error;
    EXPECT_FALSE(parse_layers("a|x|y|\nb|x\n", &error));
    EXPECT_EQ(error, "layer table line 2: want name|folders|sees|toolkits");
    EXPECT_FALSE(parse_layers("two names|x|y|\n", &error));
    EXPECT_FALSE(parse_layers("a||y|\n", &error));
    EXPECT_FALSE(parse_layers("\n", &error));
    EXPECT_EQ(error, "the layer table is empty");
}

TEST(Toolkits, HeadersAreKnownByTheirNames) {
    const std::pair<const char*, const char*> rows[] = {
        {"QWidget", "qt"},
        {"QtTest", "qt"},
        {"curses.h", "ncurses"},
        {"ncursesw/curses.h", "ncurses"},
        {"sqlite3.h", "sqlite"},
        {"toml++/toml.h", "toml"},
        {"gtest/gtest.h", "gtest"},
        {"queue", ""},
        {"unistd.h", ""},
        {"Qt", "qt"},
        {"boost/beast.hpp", "boost"},
        {"openssl/ssl.h", "openssl"},
        {"nlohmann/json.hpp", "json"},
    };
    for (auto [header, toolkit] : rows) EXPECT_EQ(toolkit_of(header), toolkit) << header;
}

}  // namespace
}  // namespace orva::layers

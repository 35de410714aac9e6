// The window model as the browser gets it, and the browser's actions as the
// model takes them: only live windows of the right kind, on the dialog in
// front, are acted on.
#include <gtest/gtest.h>

#include <vector>

#include "frontends/web/heartbeat.h"
#include "frontends/web/model_view.h"
#include "frontends/web/operator_input.h"
#include "platform/message_box_style.h"
#include "platform/module.h"
#include "platform/window_model.h"
#include "resources/dialogs.h"
#include "resources/resource.h"
#include "tests/platform/test_frontend.h"

namespace orva::web {
namespace {

using nlohmann::json;

std::vector<int> g_commands;
HWND g_front = nullptr;

uint64_t number(HWND h) { return uint64_t(reinterpret_cast<uintptr_t>(h)); }

BOOL CALLBACK UpdateProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) g_front = hwnd;
    if (msg != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    g_commands.push_back(id);
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(hwnd, id);
        return TRUE;
    }
    if (id == IDC_IMAGE_BROWSE) {
        // A dialog box over this one, as the program's boxes are.
        DialogBoxIndirectParamW(nullptr, &g_aboutDialog, hwnd, UpdateProc, 0);
        g_front = hwnd;
    }
    return TRUE;
}

class ModelInput : public ::testing::Test {
protected:
    void SetUp() override {
        platform::set_resource_section(&g_resourceSection);
        g_commands.clear();
    }
    // Runs the Version Update dialog as a dialog box, `steps` one each time
    // it waits for the operator.
    void run(std::vector<std::function<void()>> steps) {
        for (auto& s : steps) frontend.actions.push_back(std::move(s));
        DialogBoxIndirectParamW(nullptr, &g_updateDialog, nullptr, UpdateProc, 0);
        EXPECT_FALSE(frontend.ran_out) << "a step did not close what it opened";
    }
    static HWND control(int id) { return platform::find_control(g_front, id); }
    static json act(const char* op, HWND h, json more = json::object()) {
        more["op"] = op;
        more["h"] = number(h);
        return more;
    }

    test::TestFrontend frontend;
};

TEST_F(ModelInput, EveryWindowIsListedAfterItsParentInTemplateOrder) {
    run({[] {
        const json windows = json::parse(windows_view().dump());
        ASSERT_EQ(windows.size(), 1 + g_updateDialog.itemCount);
        const json& dialog = windows[0];
        EXPECT_EQ(dialog["kind"], "dialog");
        EXPECT_EQ(dialog["h"], number(g_front));
        EXPECT_EQ(dialog["modal"], true);
        EXPECT_EQ(dialog["text"], "Version Update");
        EXPECT_EQ(dialog["template"], (json{{"id", 110},
                                            {"cx", 323},
                                            {"cy", 180},
                                            {"points", 10},
                                            {"face", "System"},
                                            {"caption", "Version Update"}}));
        for (UINT i = 0; i < g_updateDialog.itemCount; ++i) {
            const DLGITEM& item = g_updateDialog.items[i];
            const json& w = windows[1 + i];
            EXPECT_EQ(w["parent"], number(g_front));
            EXPECT_EQ(w["id"], item.id);
            EXPECT_EQ(w["du"], (json{item.x, item.y, item.x + item.cx, item.y + item.cy}));
            EXPECT_EQ(w["visible"], true);
        }
        EXPECT_EQ(windows[2]["kind"], "edit");
        EXPECT_EQ(windows[3]["kind"], "button");
        EXPECT_EQ(windows[3]["text"], "Browse");
        EXPECT_EQ(windows[5]["kind"], "progress");
        // What the styles mean, never the bits.
        const std::pair<size_t, json> meanings[] = {
            {0, {{"caption_ok", false}, {"tabstop", false}}},
            {1, {{"center", false}, {"prefix", true}, {"edge", nullptr}}},
            {2, {{"edge", "border"}, {"tabstop", true}, {"enabled", true}}},
            {4, {{"center", true}, {"edge", "border"}, {"tabstop", false}}},
            {7, {{"heavy", true}, {"tabstop", true}, {"enabled", true}}},
            {3, {{"heavy", false}}},
        };
        for (const auto& [i, fields] : meanings) {
            for (const auto& [name, value] : fields.items()) EXPECT_EQ(windows[i][name], value) << i << " " << name;
            EXPECT_FALSE(windows[i].contains("style") || windows[i].contains("ex")) << i;
        }
        SendMessageW(control(IDC_PROGRESS), PBM_SETRANGE32, 0, 12);
        SendMessageW(control(IDC_PROGRESS), PBM_SETPOS, 5, 0);
        const json bar = window_view(*platform::find_window(control(IDC_PROGRESS)));
        EXPECT_EQ(bar["low"], 0);
        EXPECT_EQ(bar["high"], 12);
        EXPECT_EQ(bar["pos"], 5);
        EXPECT_TRUE(apply_operator_input(json{{"op", "close"}, {"h", number(g_front)}, {"id", IDOK}}));
    }});
}

TEST_F(ModelInput, ActionsReachOnlyLiveControlsOfTheirKindOnTheDialogInFront) {
    run({[] {
             HWND edit = control(IDC_IMAGE_PATH), write = control(IDC_WRITE_FLASH);
             EXPECT_TRUE(apply_operator_input(act("type", edit, {{"text", "\\Temp\\nk.bin"}})));
             EXPECT_EQ(platform::find_window(edit)->text, u"\\Temp\\nk.bin");
             EXPECT_FALSE(apply_operator_input(act("type", write, {{"text", "x"}})));  // not an edit
             EXPECT_FALSE(apply_operator_input(act("type", edit, {{"text", 5}})));     // not a text
             EXPECT_FALSE(apply_operator_input(act("type", edit, {{"text", std::string(kMaxTypedText + 1, 'x')}})));
             EXPECT_FALSE(apply_operator_input(act("press", edit)));                    // not a button
             EXPECT_FALSE(apply_operator_input(json{{"op", "press"}, {"h", 999999}}));  // no such window
             EXPECT_FALSE(apply_operator_input(json{{"op", "press"}, {"h", -4}}));
             EXPECT_FALSE(apply_operator_input(json{{"op", "press"}}));
             EXPECT_FALSE(apply_operator_input(json{{"op", "choose"}, {"h", number(edit)}, {"index", 0}}));
             EXPECT_FALSE(apply_operator_input(json{{"op", "tab"}, {"index", 0}}));  // no sheet
             EXPECT_FALSE(apply_operator_input(json{{"op", "sheet"}, {"button", "ok"}}));
             EXPECT_FALSE(apply_operator_input(json{{"op", "close"}, {"h", number(g_front)}, {"id", 5}}));
             EXPECT_FALSE(apply_operator_input(json{{"op", "erase"}}));
             EXPECT_FALSE(apply_operator_input(json::array()));
             EXPECT_FALSE(apply_operator_input(json("press")));
             EXPECT_TRUE(g_commands.empty());
             EXPECT_TRUE(apply_operator_input(act("press", write)));
         },
         [] {
             EXPECT_EQ(g_commands, std::vector<int>{IDC_WRITE_FLASH});
             // A dialog box over the page: the page is out of reach until it goes.
             EXPECT_TRUE(apply_operator_input(act("press", control(IDC_IMAGE_BROWSE))));
         },
         [] {
             HWND about = g_front;
             ASSERT_EQ(platform::find_window(about)->as<platform::DialogState>()->tmpl, &g_aboutDialog);
             // Its icon is one the resources do not hold: no image to ask for.
             const auto& children = platform::find_window(about)->children;
             EXPECT_EQ(window_view(*platform::find_window(children[0]))["image"], 0);
             EXPECT_EQ(window_view(*platform::find_window(children[2]))["image"], IDB_ABOUT);
             HWND page = platform::find_window(about)->owner;
             const HWND write = platform::find_control(page, IDC_WRITE_FLASH);
             const HWND edit = platform::find_control(page, IDC_IMAGE_PATH);
             EXPECT_FALSE(apply_operator_input(act("press", write)));
             EXPECT_FALSE(apply_operator_input(act("type", edit, {{"text", "x"}})));
             EXPECT_FALSE(apply_operator_input(json{{"op", "close"}, {"h", number(page)}, {"id", IDOK}}));
             EXPECT_EQ(platform::find_window(edit)->text, u"\\Temp\\nk.bin");
             EXPECT_TRUE(apply_operator_input(json{{"op", "close"}, {"h", number(about)}, {"id", IDCANCEL}}));
         },
         [] {
             EXPECT_EQ(g_commands, (std::vector<int>{IDC_WRITE_FLASH, IDC_IMAGE_BROWSE, IDCANCEL}));
             EXPECT_TRUE(apply_operator_input(act("press", control(IDC_WRITE_FLASH))));
         },
         [] {
             EXPECT_TRUE(apply_operator_input(json{{"op", "close"}, {"h", number(g_front)}, {"id", IDCANCEL}}));
         }});
    EXPECT_EQ(g_commands, (std::vector<int>{IDC_WRITE_FLASH, IDC_IMAGE_BROWSE, IDCANCEL, IDC_WRITE_FLASH, IDCANCEL}));
}

TEST_F(ModelInput, BoxesAreGivenDecodedAndImagesAsTheyAre) {
    EXPECT_TRUE(box_view(nullptr).is_null());
    BoxView box{3, u"Save Registry", u"Save your settings to registry ?", MB_YESNO | MB_ICONQUESTION, nullptr};
    EXPECT_EQ(box_view(&box),
              (json{{"seq", 3},
                    {"caption", "Save Registry"},
                    {"text", "Save your settings to registry ?"},
                    {"icon", "question"},
                    {"buttons", {{{"answer", "yes"}, {"label", "Yes"}}, {{"answer", "no"}, {"label", "No"}}}},
                    {"default", 0},
                    {"escape", "no"},
                    {"owner", 0}}));
    // The page draws what it is given: every button set, icon and default.
    const struct Row {
        UINT flags;
        json answers, icon;
        int default_button;
        const char* escape;
    } rows[] = {
        {MB_OK, {"ok"}, nullptr, 0, "ok"},
        {MB_OKCANCEL | MB_ICONHAND | MB_DEFBUTTON2, {"ok", "cancel"}, "stop", 1, "cancel"},
        {MB_ABORTRETRYIGNORE, {"abort", "retry", "ignore"}, nullptr, 0, "abort"},
        {MB_YESNOCANCEL | MB_ICONASTERISK, {"yes", "no", "cancel"}, "information", 0, "cancel"},
        {MB_RETRYCANCEL | MB_ICONEXCLAMATION, {"retry", "cancel"}, "exclamation", 0, "cancel"},
    };
    for (const Row& row : rows) {
        box.flags = row.flags;
        const json view = box_view(&box);
        json answers = json::array();
        for (const json& b : view["buttons"]) answers.push_back(b["answer"]);
        EXPECT_EQ(answers, row.answers) << row.flags;
        EXPECT_EQ(view["icon"], row.icon) << row.flags;
        EXPECT_EQ(view["default"], row.default_button) << row.flags;
        EXPECT_EQ(view["escape"], row.escape) << row.flags;
    }
    const auto images = resource_images();
    for (int id : {IDB_ABOUT, IDB_AUTORUN, IDB_SETTINGS, IDI_PROGRAM}) {
        ASSERT_TRUE(images.count(id)) << id;
        EXPECT_EQ(images.at(id).substr(0, 2), "BM") << id;
    }
    EXPECT_FALSE(images.count(IDI_ORVAUTILITY));
}

// Pings are answered; an action that spent longer than the stall limit on
// the way is dropped, measured against the quickest message so far (the two
// clocks have nothing in common but their rate).
TEST(Heartbeat, PingsAreAnsweredAndActionsHeldUpByAStalledLinkAreDropped) {
    Heartbeat beat;
    const Heartbeat::Clock::time_point start{std::chrono::seconds(1000)};
    const struct Row {
        const char* text;
        int arrives_ms;  // server clock
        Heartbeat::Verdict verdict;
        const char* pong;
    } rows[] = {
        {R"({"op":"ping","n":1,"t":500})", 20, Heartbeat::Verdict::Ping, R"({"n":1,"type":"pong"})"},
        {R"({"op":"tab","index":1,"t":700})", 220, Heartbeat::Verdict::Input, ""},
        {R"({"op":"tab","index":2,"t":800})", 3319, Heartbeat::Verdict::Input, ""},  // 2.999 s late
        {R"({"op":"tab","index":3,"t":900})", 3421, Heartbeat::Verdict::Late, ""},   // 3.001 s late
        {R"({"op":"ping","n":2,"t":1000})", 3500, Heartbeat::Verdict::Ping, R"({"n":2,"type":"pong"})"},
        {R"({"op":"press","h":7})", 3600, Heartbeat::Verdict::Input, ""},  // unstamped: as before
        {R"({"op":"tab","index":1,"t":5000})", 4510, Heartbeat::Verdict::Input, ""},
        {R"({"op":7,"t":"x"})", 4520, Heartbeat::Verdict::Input, ""},
        {"not json", 4530, Heartbeat::Verdict::Input, ""},
    };
    for (const Row& row : rows) {
        std::string pong;
        EXPECT_EQ(beat.classify(row.text, start + std::chrono::milliseconds(row.arrives_ms), &pong), row.verdict)
            << row.text;
        EXPECT_EQ(pong, row.pong) << row.text;
    }
}

}  // namespace
}  // namespace orva::web

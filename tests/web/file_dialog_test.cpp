// The web frontend's open-file dialog in-process: the browser's actions on
// the platform's open-file model, and what the page is told back.
#include <gtest/gtest.h>

#include <filesystem>

#include "frontends/web/file_dialog.h"
#include "platform/text.h"
#include "tests/platform/controller_fixture.h"

namespace orva::web {
namespace {

using nlohmann::json;

class FileDialogTest : public test::ControllerTest {
protected:
    // An upload of `bytes` that has fully arrived for `dialog`, as `name`.
    static Input arrived(const FileDialog& dialog, const std::string& name, const std::string& bytes) {
        Refusal refusal;
        Input input;
        input.file = UploadFile::open(*dialog.upload_folder(), bytes.size(), &refusal);
        EXPECT_TRUE(input.file && input.file->write(bytes.data(), bytes.size(), &refusal) &&
                    input.file->finish(&refusal))
            << refusal.message;
        input.name = name;
        input.dialog = dialog.seq();
        return input;
    }
    static std::string text(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void set_launch(const char* value, const std::u16string& program) {
        ASSERT_EQ(controller->reg_set("Init", value, 1, reinterpret_cast<const uint8_t*>(program.c_str()),
                                      (program.size() + 1) * 2),
                  ctl::RegResult::Ok);
    }
};

TEST_F(FileDialogTest, TheProgramsOwnFilesAreKnown) {
    set_launch("Launch82", u" \\temp\\AUTO.EXE ");
    put(fs_root / "Temp" / "auto.exe");
    put(fs_root / "Windows" / "gwes.exe");
    put(fs_root / "Temp" / "other.exe");
    const struct Row {
        std::u16string path;
        std::optional<std::string> role;
    } rows[] = {
        {u"\\Windows\\RegView.exe", "RegView.exe is the registry viewer that View Registry starts."},
        {u"\\Temp\\auto.exe", "auto.exe is a program the auto-run list starts (Launch82)."},
        {u"\\Windows\\gwes.exe", "gwes.exe is a program the auto-run list starts (Launch30)."},
        {u"\\Temp\\other.exe", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(program_file_role(row.path), row.role) << platform::to_utf8(row.path);
}

TEST_F(FileDialogTest, AnUploadOverAFileWaitsForTheOperatorsWordAndKeepsTheMode) {
    put(fs_root / "Temp" / "nk.bin", "old");
    std::filesystem::permissions(fs_root / "Temp" / "nk.bin", std::filesystem::perms(0751));
    FileDialog dialog(platform::OpenFileRequest{u"", u"*.*", u"\\Temp\\x", 200}, 3, 1000);
    const struct Row {
        std::string name, answer;
        std::string kept, notice;
    } rows[] = {
        {"NK.BIN", "no", "old", "The upload was dropped; nk.bin is kept."},
        {"nk.bin", "yes", "new", "nk.bin replaced (3 bytes)."},
    };
    for (const Row& row : rows) {
        Input upload = arrived(dialog, row.name, "new");
        UploadAnswer answer = dialog.land(upload);
        EXPECT_EQ(answer.status, 200) << answer.body;
        const json ask = dialog.view()["ask"];
        ASSERT_TRUE(ask.is_object()) << row.name;
        EXPECT_EQ(ask["text"], "nk.bin is in \\Temp already.\nReplace it with the uploaded file (3 bytes)?");
        // Nothing else is taken while the box is shown.
        Input second = arrived(dialog, "other.bin", "x");
        EXPECT_EQ(dialog.land(second).status, 409);
        EXPECT_EQ(dialog.apply({{"op", "file"}, {"seq", 3u}, {"do", "choose"}, {"name", "nk.bin"}}),
                  FileDialog::Outcome::Open);
        EXPECT_EQ(text(fs_root / "Temp" / "nk.bin"), "old");
        dialog.apply({{"op", "file"}, {"seq", 3u}, {"do", "replace"}, {"ask", ask["seq"]}, {"answer", row.answer}});
        EXPECT_TRUE(dialog.view()["ask"].is_null());
        EXPECT_EQ(dialog.view()["notice"], row.notice);
        EXPECT_EQ(text(fs_root / "Temp" / "nk.bin"), row.kept);
    }
    EXPECT_EQ(std::filesystem::status(fs_root / "Temp" / "nk.bin").permissions(), std::filesystem::perms(0751));
    // A new name lands at once; a name the dialog could not open is refused.
    Input fresh = arrived(dialog, "fresh.bin", "abc");
    EXPECT_EQ(dialog.land(fresh).status, 200);
    EXPECT_EQ(dialog.view()["notice"], "fresh.bin uploaded (3 bytes).");
    Input dotted = arrived(dialog, "fresh.", "abc");
    EXPECT_EQ(dialog.land(dotted).status, 400);
    dotted.file.reset();
    for (const auto& e : std::filesystem::directory_iterator(fs_root / "Temp"))
        EXPECT_NE(e.path().filename().string().rfind(".upload-", 0), 0u) << e.path();
}

TEST_F(FileDialogTest, APathLongerThanTheProgramTakesIsToldAndTheDialogStays) {
    const std::string name(199, 'q');  // "\qqq…" is 200 characters: no room for the NUL
    const std::string too_long = "This path is longer than the program takes (199 characters).";
    put(fs_root / name);
    put(fs_root / name.substr(1));
    FileDialog dialog(platform::OpenFileRequest{u"All Documents (*.*)", u"*.*", u"", 200}, 4, 1000);
    const struct Row {
        json action;
        FileDialog::Outcome outcome;
        std::string error;
    } rows[] = {
        {{{"op", "file"}, {"seq", 4u}, {"do", "choose"}, {"name", name}}, FileDialog::Outcome::Open, too_long},
        {{{"op", "file"}, {"seq", 5u}, {"do", "cancel"}}, FileDialog::Outcome::Open, too_long},  // another dialog's
        {{{"op", "file"}, {"seq", 4u}, {"do", "choose"}, {"name", name.substr(1)}}, FileDialog::Outcome::Chosen, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(dialog.apply(row.action), row.outcome) << row.action;
        EXPECT_EQ(dialog.view()["error"], row.error) << row.action;
    }
    EXPECT_EQ(dialog.chosen(), u"\\" + std::u16string(198, u'q'));
}

}  // namespace
}  // namespace orva::web

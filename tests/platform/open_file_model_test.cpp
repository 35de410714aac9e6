// The open-file dialog's model: where it opens, what a typed name leads to,
// the length limit of the program's buffer, and what the operator is told.
#include <gtest/gtest.h>

#include "platform/open_file_model.h"
#include "platform/text.h"
#include "tests/platform/controller_fixture.h"

namespace orva::platform {
namespace {

using Choice = OpenFileModel::Choice;

class OpenFileModelTest : public test::ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        if (HasFatalFailure()) return;
        empty_fs();
        put(fs_root / "Storage Card" / "nk.bin", "image");
        put(fs_root / "Storage Card" / "notes.txt");
        put(fs_root / std::string(17, 'q'));
        put(root / "outside.bin");
    }
    // A request as the pages make it: a buffer of `capacity` characters.
    static OpenFileRequest request(size_t capacity, std::u16string initial = u"", std::u16string pattern = u"*.*") {
        return OpenFileRequest{u"", std::move(pattern), std::move(initial), capacity};
    }
};

TEST_F(OpenFileModelTest, ATypedNameIsChosenOpenedOrRefusedWithItsReason) {
    const struct Row {
        std::u16string typed;
        size_t capacity;
        Choice choice;
        std::u16string result;  // the chosen file, or the folder shown after
        std::string message;
    } rows[] = {
        {u"  \\storage card\\NK.BIN ", 100, Choice::Chosen, u"\\Storage Card\\nk.bin", ""},
        {u"Storage Card/nk.bin", 100, Choice::Chosen, u"\\Storage Card\\nk.bin", ""},
        {u"storage card", 100, Choice::Opened, u"\\Storage Card", ""},
        // "\qqq…" is 18 characters: it fits 19 with its NUL, not 18; 0 is no limit.
        {u"\\" + std::u16string(17, u'q'), 19, Choice::Chosen, u"\\" + std::u16string(17, u'q'), ""},
        {u"\\" + std::u16string(17, u'q'), 18, Choice::Refused, u"\\",
         "This path is longer than the program takes (17 characters)."},
        {u"\\" + std::u16string(17, u'q'), 0, Choice::Chosen, u"\\" + std::u16string(17, u'q'), ""},
        {u"nk.bin", 100, Choice::Refused, u"\\", "nk.bin: no such file."},
        {u"   ", 100, Choice::Refused, u"\\", "Choose a file."},
        // Names no file could be opened by: refused with the upload's words.
        {u"\\Storage Card\\nk.bin. ", 100, Choice::Refused, u"\\",
         "nk.bin.: a file name ends with neither a space nor a dot."},
        {u"a<b", 100, Choice::Refused, u"\\",
         "a<b: a file name holds none of \\ / : * ? \" < > | and no control character."},
        {u"..\\outside.bin", 100, Choice::Refused, u"\\", "Only files of the controller can be opened."},
    };
    for (const Row& row : rows) {
        OpenFileModel model(request(row.capacity));
        const Choice got = model.choose(row.typed);
        EXPECT_EQ(got, row.choice) << to_utf8(row.typed);
        EXPECT_EQ(got == Choice::Chosen ? model.chosen() : model.folder(), row.result) << to_utf8(row.typed);
        EXPECT_EQ(model.message(), row.message) << to_utf8(row.typed);
    }
}

TEST_F(OpenFileModelTest, OpensOnTheInitialFolderListsFoldersFirstAndStopsAtTheRoot) {
    OpenFileModel model(request(100, u"\\Storage Card\\old.bin", u"*.bin"));
    EXPECT_EQ(model.folder(), u"\\Storage Card");
    EXPECT_EQ(model.filter_name(), u"*.bin");
    ASSERT_EQ(model.entries().size(), 1u);
    EXPECT_EQ(model.entries()[0].name, u"nk.bin");
    EXPECT_EQ(model.choose(u"nk.bin"), Choice::Chosen);  // a name in the folder shown
    EXPECT_TRUE(model.up());
    EXPECT_EQ(model.folder(), u"\\");
    EXPECT_TRUE(model.entries()[0].folder);
    EXPECT_FALSE(model.up());
    EXPECT_FALSE(model.open_folder(u"\\Nowhere"));
    EXPECT_EQ(model.message(), "\\Nowhere: this folder cannot be opened.");
    EXPECT_EQ(model.folder(), u"\\");
    EXPECT_EQ(OpenFileModel(request(100, u"\\Gone\\x.bin")).folder(), u"\\");
}

}  // namespace
}  // namespace orva::platform

// Command files: finding them by name in the command folder, their versions,
// encodings and lines, and the filling of placeholders from the request.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration.h"
#include "photocmd/classify.h"
#include "photocmd/command_file_store.h"
#include "photocmd/fill_template.h"
#include "photocmd/param_readers.h"
#include "platform/codepage.h"
#include "platform/file_time.h"
#include "support/temp_dir.h"

using namespace Vs4Command;
namespace fs = std::filesystem;

namespace {

const std::string kPoster =
    "; poster with a caption\r\n"
    "cmd=resize&w=<%w%>\r\n"
    "cmd=text&text=<%title%>&fontsize=24&color=ffff0000&x=10&y=10\r\n"
    "cmd=sharpen&weight=2\r\n";

class CommandFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "Command");
        store_ = std::make_unique<CommandFileStore>(root_ / "Command");
        Vs5Platform::SetAnsiCodePage(1252);
    }
    void Write(const std::string& name, const std::string& bytes) {
        vstest::WriteFile(root_ / ("Command/" + name), bytes);
    }
    // The filled lines of a file for a request, each as "key=value&...".
    std::vector<std::string> Filled(const CommandFile& file, const std::string& request) {
        std::vector<std::string> lines;
        ParamMap req = ParseParams(request);
        for (int i = 0;; ++i) {
            ParamMap out;
            if (!FillTemplate(file, i, req, out))
                break;
            std::string line;
            for (const auto& [k, v] : out)
                line += (line.empty() ? "" : "&") + k + "=" + v;
            lines.push_back(line);
        }
        return lines;
    }

    vstest::TempDir root_;
    std::unique_ptr<CommandFileStore> store_;
};

}  // namespace

TEST_F(CommandFileTest, ThePosterExampleFillsFromTheRequest) {
    Write("poster.vscmd", kPoster);
    ParamMap request = ParseParams("cmd=Poster&title=Hello&w=400");
    CommandClass c = ClassifyCommand(request, *store_);
    ASSERT_TRUE(c.isCommandFile);
    ASSERT_NE(c.file, nullptr);
    EXPECT_EQ(Filled(*c.file, "cmd=poster&title=Hello&w=400"),
              (std::vector<std::string>{"cmd=resize&w=400",
                                        "cmd=text&color=ffff0000&fontsize=24&text=Hello&x=10&y=10",
                                        "cmd=sharpen&weight=2"}));
    // Without w the value is present and empty; it reads as 0.
    ParamMap line;
    ASSERT_TRUE(FillTemplate(*c.file, 0, ParseParams("title=x"), line));
    ASSERT_TRUE(line.Has("w"));
    EXPECT_EQ(GetInt(line, "w", 99), 0);
    ParamMap unused;
    EXPECT_FALSE(FillTemplate(*c.file, -1, request, unused));
}

TEST_F(CommandFileTest, PlaceholdersMatchWithoutCaseAndAreFilledOnce) {
    ParamMap request = ParseParams("title=Hi&a=<%a%>&b=<%title%>&x_1=9");
    EXPECT_EQ(FillPlaceholders("<%Title%>/<%TITLE%>/<%title%>", request), "Hi/Hi/Hi");
    EXPECT_EQ(FillPlaceholders("[<%missing%>]", request), "[]");
    EXPECT_EQ(FillPlaceholders("<%x_1%><%%><%a b%><%", request), "9<%%><%a b%><%");
    // A request value holding a placeholder is not searched again: this ends
    // and inserts the value as it came.
    EXPECT_EQ(FillPlaceholders("<%a%>", request), "<%a%>");
    EXPECT_EQ(FillPlaceholders("<%b%>", request), "<%title%>");
    EXPECT_EQ(FillPlaceholders("<%<%title%>%>", request), "<%Hi%>");
    // Keys stay as written; cmd and layer may be placeholders too.
    Write("pick.vscmd", "cmd=<%op%>&layer=<%L%>&<%k%>=1\n");
    const CommandFile* file = store_->Find("pick");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Filled(*file, "op=flip&l=Top&k=x"),
              (std::vector<std::string>{"<%k%>=1&cmd=flip&layer=Top"}));
}

TEST_F(CommandFileTest, EncodingFollowsTheByteOrderMark) {
    Write("utf8.vscmd",
          "\xEF\xBB\xBF"
          "cmd=text&text=caf\xC3\xA9\n");
    Write("ansi.vscmd", "cmd=text&text=caf\xC3\xA9\n");
    Write("latin.vscmd", std::string("cmd=text&text=caf\xE9\0junk\n", 24));
    EXPECT_EQ(GetString(store_->Find("utf8")->commands[0], "text"), "caf\xC3\xA9");
    EXPECT_EQ(GetString(store_->Find("ansi")->commands[0], "text"), "caf\xC3\x83\xC2\xA9");
    EXPECT_EQ(GetString(store_->Find("latin")->commands[0], "text"), "caf\xC3\xA9");  // to the NUL
    // The mark is not part of the first key.
    EXPECT_EQ(GetString(store_->Find("utf8")->commands[0], "cmd"), "text");
}

TEST_F(CommandFileTest, LongLinesAreCutAndTheLastLineNeedsNoLineFeed) {
    // Comments, blank lines and the 16-command limit: in_process_test.cpp.
    Write("tail.vscmd", "cmd=gray\ncmd=sepia");
    ASSERT_EQ(store_->Find("tail")->count(), 2);
    EXPECT_EQ(GetString(store_->Find("tail")->commands[1], "cmd"), "sepia");
    std::string longLine = "cmd=text&text=" + std::string(2047 * 2, 'x') + "&z=1\n";
    CommandFile parsed;
    ParseCommandFileContent(longLine, parsed);
    ASSERT_EQ(parsed.count(), 3);
    EXPECT_EQ(GetString(parsed.commands[0], "text").size(), 2047u - 14u);
    EXPECT_EQ(GetString(parsed.commands[2], "z"), "1");
}

// Each version (last-write time) is loaded once and stays valid for requests
// that hold it. A file written in place is empty for a moment, often with the
// same time as its new text: that empty read must not stay in the store.
TEST_F(CommandFileTest, VersionsFollowTheLastWriteTimeAndEmptyReadsAreRetried) {
    const std::string path = root_ / "Command/v.vscmd";
    auto writeAt = [&](const std::string& text, uint64_t time) {
        Write("v.vscmd", text);
        EXPECT_TRUE(Vs5Platform::SetLastWriteTime(path, time));
        const CommandFile* file = store_->Find("v");
        EXPECT_NE(file, nullptr);
        return file;
    };
    const CommandFile* empty = writeAt("", 130000000000000000ULL);
    const CommandFile* first = writeAt("cmd=gray\n", 130000000000000000ULL);
    EXPECT_EQ(first->count(), 1);
    EXPECT_EQ(first->versionTag, "&130000000000000000");
    EXPECT_EQ(store_->Find("v"), first);
    const CommandFile* second = writeAt("cmd=sepia\ncmd=flip\n", 130000000010000000ULL);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->versionTag, "&130000000010000000");
    EXPECT_EQ(second->count(), 2);
    EXPECT_EQ(GetString(first->commands[0], "cmd"), "gray");
    EXPECT_EQ(empty->count(), 0);
    fs::remove(path);
    EXPECT_EQ(store_->Find("v"), nullptr);
}

TEST_F(CommandFileTest, MissingFilesAndEscapingNamesAreNotFound) {
    CommandClass c = ClassifyCommand(ParseParams("cmd=nosuchfile"), *store_);
    EXPECT_TRUE(c.isCommandFile);
    EXPECT_EQ(c.file, nullptr);
    // layernew outside a command file is taken for a file name.
    EXPECT_TRUE(ClassifyCommand(ParseParams("cmd=layernew"), *store_).isCommandFile);
    // Built-in names, fragments and a missing cmd are not files.
    EXPECT_FALSE(ClassifyCommand(ParseParams("cmd=Thumb"), *store_).isCommandFile);
    EXPECT_FALSE(ClassifyCommand(ParseParams("cmd=umb"), *store_).isCommandFile);
    EXPECT_FALSE(ClassifyCommand(ParseParams("w=5"), *store_).isCommandFile);
    EXPECT_FALSE(ClassifyCommand(ParseParams("cmd=encode"), *store_).isCommandFile);

    // A file one folder up cannot be reached by name.
    vstest::WriteFile(root_ / "outside.vscmd", "cmd=gray\n");
    fs::create_directories(root_ / "Command/sub");
    Write("sub/inner.vscmd", "cmd=gray\n");
    EXPECT_EQ(store_->Find("../outside"), nullptr);
    EXPECT_EQ(store_->Find("sub/inner"), nullptr);
    EXPECT_EQ(ClassifyCommand(ParseParams("cmd=..%2Foutside"), *store_).file, nullptr);
    // A folder with the file's name is not a file.
    fs::create_directories(root_ / "Command/dir.vscmd");
    EXPECT_EQ(store_->Find("dir"), nullptr);
}

TEST_F(CommandFileTest, ConcurrentRequestsShareOneLoadedVersion) {
    Write("shared.vscmd", kPoster);
    std::vector<const CommandFile*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            for (int k = 0; k < 50; ++k)
                seen[i] = store_->Find("shared");
        });
    for (auto& t : threads)
        t.join();
    for (const CommandFile* f : seen)
        EXPECT_EQ(f, seen[0]);
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0]->count(), 3);
}

TEST(CommandFileStore, TheProcessWideStoreNeedsTheConfiguredFolder) {
    // Before the configuration is loaded the command folder is unknown, and
    // no name may resolve against the root of the file system.
    CommandClass c = ClassifyCommand(ParseParams("cmd=tmp/../etc/x"));
    EXPECT_TRUE(c.isCommandFile);
    EXPECT_EQ(c.file, nullptr);
    EXPECT_EQ(CommandFileStore::Instance().Find("poster"), nullptr);
    CommandFileStore::DestroyInstance();
    Configuration::DestroyInstance();
}

// GET and EXEC against the real server, its real workers and real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <set>

#include "commands/command_server.h"
#include "support/text_count.h"

using namespace CommandTest;
using VsClient::ExecSource;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return vstest::CountOf(text, part) > 0;
}

// The path a GET answered with ("" for a failure).
std::string PathOf(const VsClient::Response& r, uint32_t codePage = 0) {
    if (r.status != 0 || r.payload.empty())
        return "";
    if (codePage != 0)
        return std::string(reinterpret_cast<const char*>(r.payload.data()));
    return VsClient::DecodeUtf16z(r.payload.data(), r.payload.size());
}

std::string ImageSize(const std::string& path) {
    Vs4Image::CBaseImage image;
    if (image.LoadFromFile(path) != Vs4Image::Ok)
        return "unreadable";
    return std::to_string(image.width()) + "x" + std::to_string(image.height());
}

// Result files below a folder and its sub-folders.
int FilesBelow(const std::string& folder) {
    int count = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        count += e.is_regular_file() && e.path().extension() == ".jpg" ? 1 : 0;
    return count;
}

struct GetExecTest : ::testing::Test {
    void MakePhoto(CommandServer& s) {
        photo = s.path() + "/photos/rose.jpg";
        std::filesystem::create_directories(s.path() + "/photos");
        ASSERT_TRUE(Shell("convert rose: -resize 400x300! " + Quoted(photo)));
    }
    std::string photo;
};

}  // namespace

// Racing identical requests keep one file (the losers remove theirs), which
// later requests find, before and after a restart.
TEST_F(GetExecTest, GetAnswersFromTheCacheAcrossARestart) {
    CommandServer s("[Server]\nCacheSubFolders=2\n", 2);
    ASSERT_TRUE(s.Start());
    MakePhoto(s);
    const std::vector<uint8_t> thumb = VsClient::BuildGetFrame(photo, "cmd=thumb&w=100");
    std::vector<std::future<std::string>> answers;
    for (int i = 0; i < 6; ++i)
        answers.push_back(std::async(std::launch::async, [&] { return PathOf(s.Ask(thumb)); }));
    std::set<std::string> paths;
    for (auto& f : answers)
        paths.insert(f.get());
    ASSERT_EQ(paths.size(), 1u);
    const std::string first = *paths.begin();
    EXPECT_EQ(ImageSize(first), "100x75");
    EXPECT_EQ(first.rfind(s.path() + "/Cache/cache000", 0), 0u) << first;
    EXPECT_EQ(FilesBelow(s.path() + "/Cache"), 1);
    EXPECT_EQ(PathOf(s.Ask(thumb)), first);
    ASSERT_TRUE(s.Restart());
    EXPECT_EQ(PathOf(s.Ask(thumb)), first);
    // An empty command re-encodes the source unchanged.
    EXPECT_EQ(ImageSize(PathOf(s.Ask(VsClient::BuildGetFrame(photo, "")))), "400x300");
    s.Stop();
    std::string log = s.folder().requestLog();
    EXPECT_TRUE(Contains(log, "127.0.0.1,0," + photo + ",cmd=thumb&w=100,0,"));
    EXPECT_TRUE(Contains(log, "127.0.0.1,0," + photo + ",cmd=thumb&w=100,1,"));
}

TEST_F(GetExecTest, GetRefusesWhatItCannotRun) {
    CommandServer s(
        "[ImageProcessing]\nAvailableCommands=thumb,resize\n"
        "[DefaultCommand]\nCommand0=/special/;cmd=nosuchfile\n");
    ASSERT_TRUE(s.Start());
    MakePhoto(s);
    std::filesystem::create_directories(s.path() + "/special");
    std::filesystem::copy_file(photo, s.path() + "/special/a.jpg");
    const struct {
        std::string source, command;
        uint32_t status;
    } cases[] = {
        {photo, "cmd=resize&w=50", 0},
        {photo, "cmd=crop&w=50", 105},
        {photo, "w=50", 105},          // no cmd at all
        {photo, "cmd=res&w=50", 103},  // passes the list, names no file
        {s.path() + "/photos/none.jpg", "cmd=thumb&w=50", 102},
        {s.path() + "/special/a.jpg", "", 103},  // the default command's file is missing
        {"", "", 102},
    };
    for (const auto& c : cases)
        EXPECT_EQ(s.Ask(VsClient::BuildGetFrame(c.source, c.command)).status, c.status)
            << c.source << " " << c.command;
    // A frame whose encoding carries no strings.
    EXPECT_EQ(s.Ask(VsClient::BuildRequestFrame("GET", 7, {}, 0)).status, 102u);
    // Client text cannot forge log lines.
    std::string forged = s.path() + "/x.jpg\r\n12:00:00 # Service stopped successfully.";
    EXPECT_EQ(s.Ask(VsClient::BuildGetFrame(forged, "cmd=thumb&w=1\n")).status, 102u);
    s.Stop();
    EXPECT_TRUE(Contains(s.folder().requestLog(),
                         "x.jpg  12:00:00 # Service stopped successfully.,cmd=thumb&w=1 ,0,"));
}

TEST_F(GetExecTest, GetInCodePagesWithoutCache) {
    CommandServer s("[Server]\nUseCache=false\n", 2);
    ASSERT_TRUE(s.Start());
    MakePhoto(s);
    std::string utf8Photo = s.path() + "/photos/r\xC3\xB6se.jpg";
    std::filesystem::copy_file(photo, utf8Photo);
    auto ask = [&] {
        return PathOf(s.Ask(VsClient::BuildGetFrame(utf8Photo, "cmd=thumb&w=40", 401, 65001)),
                      65001);
    };
    const std::string a = ask(), b = ask();
    EXPECT_EQ(a.rfind(s.path() + "/Cache/nocache/", 0), 0u) << a;
    EXPECT_NE(a, b);  // no cache: every request makes its own file
    EXPECT_EQ(ImageSize(a), "40x30");
    EXPECT_EQ(FilesBelow(s.path() + "/Cache/nocache"), 2);
    EXPECT_FALSE(Contains(s.folder().requestLog(), ",1,"));
}

TEST_F(GetExecTest, ExecRunsScriptsOnFilesBytesAndPages) {
    CommandServer s;
    ASSERT_TRUE(s.Start());
    MakePhoto(s);
    std::vector<uint8_t> bytes = FileBytes(photo);
    const std::string out = s.path() + "/out.png";
    const std::string page = s.path() + "/page.html";
    vstest::WriteFile(page, "<html><body style='background:#0a0'>hello</body></html>");
    const struct {
        ExecSource kind;
        std::vector<uint8_t> data;
        std::string options, script, expected;
    } cases[] = {
        {ExecSource::kFile, VsClient::Utf16z(photo), "", "cmd=resize&w=100\ncmd=encode&format=png",
         "image 100x75"},
        {ExecSource::kBytes, bytes, "", "cmd=thumb&w=50\r\ncmd=_getmetric_&info=v1", "size 50x37"},
        // Through a worker, scale counts from the size of the last load or resize.
        {ExecSource::kBytes, bytes, "",
         "cmd=crop&w=100&h=100\ncmd=resize&scale=50\ncmd=_getmetric_&info=v1", "size 200x200"},
        {ExecSource::kBytes, bytes, "", "cmd=gray\n\ncmd=encode&path=" + out, "text " + out},
        {ExecSource::kBytes, bytes, "", "cmd=encode&format=jpg\ncmd=nosuchfile", "image 400x300"},
        {ExecSource::kBytes, bytes, "", "cmd=gray\ncmd=sepia", "no payload"},
        {ExecSource::kBytes, bytes, "", "cmd=gray\ncmd=nosuchfile\ncmd=encode", "status 103"},
        {ExecSource::kBytes, VsClient::Utf16z("junk"), "", "cmd=encode", "status 213"},
        {ExecSource::kFile, VsClient::Utf16z(s.path() + "/none.jpg"), "", "cmd=encode",
         "status 210"},
        {ExecSource::kWebPage, VsClient::Utf16z("file://" + page), "width=320&height=200",
         "cmd=encode&format=png", "image 320x200"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe(s.Ask(VsClient::BuildExecFrame(c.kind, c.data, c.options, c.script))),
                  c.expected)
            << c.script;
    EXPECT_EQ(ImageSize(out), "400x300");
    s.Stop();
    std::string log = s.folder().requestLog();
    EXPECT_TRUE(Contains(log, "127.0.0.1,0," + photo + ",cmd=resize&w=100...,0,"));
    EXPECT_TRUE(Contains(log, "127.0.0.1,210," + s.path() + "/none.jpg,cmd=encode,0,0"));
    EXPECT_TRUE(Contains(log, "127.0.0.1,0,BLOB,cmd=thumb&w=50 ..."));
}

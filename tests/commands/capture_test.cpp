// Web page capture through EXEC2: a local page rendered by the real
// wkhtmltoimage, and stand-in tools (shell scripts in the folder named by
// WkHtmlPath) that record their arguments, fail, or never end.
#include <gtest/gtest.h>
#include <semaphore.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands/exec2_session.h"
#include "commands/web_capture.h"
#include "platform/process.h"
#include "support/pixels.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

namespace CommandTest {
namespace {

using VsClient::Utf16z;

TEST(WebCapture, RendersLocalPageAtRequestedSize) {
    if (Vs5Platform::FindOnPath("wkhtmltoimage").empty())
        GTEST_SKIP() << "wkhtmltoimage is not installed";
    vstest::TempDir dir;
    // A blue 300 x 200 block on a red page.
    const std::string page = dir / "page.html";
    vstest::WriteFile(page,
                      "<html><body style=\"margin:0;background:#f00\">"
                      "<div style=\"width:300px;height:200px;background:#00f\"></div>"
                      "</body></html>");
    CommandServer server;  // no WkHtmlPath: the tool is found on PATH
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());

    const struct {
        std::string options;
        std::string expected;
    } cases[] = {
        {"width=320&height=240", "size 320x240"},
        {"rwait=10&width=400&height=100", "size 400x100"},
    };
    const std::string url = "file://" + page;
    for (const auto& c : cases) {
        ASSERT_EQ(session.Ask(Exec2Kind::kCapture, Utf16z(url), c.options, "page"), c.expected)
            << c.options;
        VsClient::Response r = session.Send(
            VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=encode&format=png", "page"));
        std::vector<uint8_t> png;
        ASSERT_TRUE(VsClient::PayloadBinary(r, png));
        Vs4Image::CBaseImage image;
        ASSERT_EQ(image.LoadFromMemory(png.data(), static_cast<uint32_t>(png.size())),
                  Vs4Image::Ok);
        EXPECT_EQ(vstest::PixelAt(image, 10, 10), 0xFF0000FFu) << c.options;
        EXPECT_EQ(vstest::PixelAt(image, 310, 10), 0xFFFF0000u) << c.options;
    }
    EXPECT_EQ(PngFilesIn(server.config().tempFolder()), 0);
    EXPECT_EQ(vstest::CountOf(server.folder().requestLog(), ",0," + url + ",capture,0,"), 2u);
}

// The thread's three semaphores exist, non-signalled, while the object lives.
TEST(WebCapture, SyncSemaphoresLiveWithTheirObject) {
    std::vector<std::string> names;
    std::thread([&names] {
        CWebCaptureSync sync;
        ASSERT_TRUE(sync.valid());
        EXPECT_EQ(sync.threadId(), static_cast<uint32_t>(gettid()));
        for (const char* role : {"Request", "Response", "Exit"}) {
            names.push_back(std::string("/CWebCaptureSync_") + role + "_" +
                            std::to_string(sync.threadId()));
            sem_t* sem = sem_open(names.back().c_str(), 0);
            ASSERT_NE(sem, SEM_FAILED) << names.back();
            int value = -1;
            sem_getvalue(sem, &value);
            EXPECT_EQ(value, 0) << names.back();
            sem_close(sem);
        }
    }).join();
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names)
        EXPECT_EQ(sem_open(name.c_str(), 0), SEM_FAILED) << name;
}

// What a stand-in tool does after it has written its arguments, one a line,
// to "args" and created the PNG it was asked for.
struct StandIn {
    const char* what;
    std::string toolBody;  // empty: no tool in the folder at all
    std::string url;
    std::string options;
    std::string expected;
    int logCode;
    std::string logMessage;
    std::vector<std::string> args;  // expected arguments before the PNG path; empty: not run
};

void WriteStandIn(const std::string& folder, const std::string& body) {
    const std::string tool = folder + "/wkhtmltoimage";
    vstest::WriteFile(tool,
                      "#!/bin/sh\n"
                      "printf '%s\\n' \"$@\" > '" +
                          folder +
                          "/args'\n"
                          "for last; do :; done\n"
                          ": > \"$last\"\n" +
                          body + "\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
}

// The message at the end of the one log line whose fields begin with
// `fields` (after the time, before the elapsed milliseconds); "no line" when
// there is not exactly one.
std::string LogMessage(const std::string& log, const std::string& fields) {
    const std::string start = " " + fields;
    const size_t at = log.find(start);
    if (at == std::string::npos || log.find(start, at + 1) != std::string::npos)
        return "no line";
    const size_t from = at + start.size();
    const std::string rest = log.substr(from, log.find("\r\n", from) - from);
    return rest.substr(rest.find(',') + 1);
}

// The arguments the stand-in recorded, one a line.
std::vector<std::string> RecordedArgs(const std::string& folder) {
    std::vector<std::string> args;
    const std::string text = vstest::ReadFile(folder + "/args");
    for (size_t at = 0; at < text.size();) {
        size_t lf = text.find('\n', at);
        args.push_back(text.substr(at, lf - at));
        at = lf + 1;
    }
    return args;
}

TEST(WebCapture, StandInToolsFailTimeOutOrAreNotRun) {
    vstest::TempDir dir;
    const std::string rose = dir / "rose.png";
    ASSERT_TRUE(Shell("convert rose: '" + rose + "'"));
    const std::vector<StandIn> cases = {
        {"arguments as a vector",
         "cp '" + rose + "' \"$last\"",
         "file:///a \"b\" c.html",
         "height=90&rwait=500&width=800",
         "size 70x46",
         0,
         "",
         {"--quiet", "--javascript-delay", "500", "--disable-smart-width", "--width", "800",
          "--height", "90", "file:///a \"b\" c.html"}},
        {"no options",
         "cp '" + rose + "' \"$last\"",
         "http://example.invalid/",
         "",
         "size 70x46",
         0,
         "",
         {"--quiet", "http://example.invalid/"}},
        {"a tool that fails",
         "exit 1",
         "http://example.invalid/",
         "",
         "status 107",
         107,
         "Capture error: \"1\"",
         {"--quiet", "http://example.invalid/"}},
        {"a tool that never ends",
         "exec sleep 60",
         "http://example.invalid/",
         "",
         "status 107",
         107,
         "Capture timeout",
         {"--quiet", "http://example.invalid/"}},
        {"an address read as an option",
         "exit 0",
         "--version",
         "",
         "status 107",
         107,
         "Capture error: \"--version\"",
         {}},
        {"no tool", "", "http://example.invalid/", "", "status 107", 107, "App run error: 2", {}},
    };
    for (const StandIn& c : cases) {
        SCOPED_TRACE(c.what);
        vstest::TempDir tools;
        if (!c.toolBody.empty())
            WriteStandIn(tools.path(), c.toolBody);
        CommandServer server("[Server]\nWkHtmlPath=" + tools.path() + "\nWebCaptureTimeout=1\n");
        ASSERT_TRUE(server.Start());
        Exec2Session session(server);
        ASSERT_TRUE(session.connected());

        EXPECT_EQ(session.Ask(Exec2Kind::kCapture, Utf16z(c.url), c.options, "page"), c.expected);
        const std::string log = server.folder().requestLog();
        EXPECT_EQ(
            LogMessage(log, "127.0.0.1," + std::to_string(c.logCode) + "," + c.url + ",capture,0,"),
            c.logMessage)
            << log;
        EXPECT_EQ(PngFilesIn(server.config().tempFolder()), 0);

        std::vector<std::string> args = RecordedArgs(tools.path());
        if (c.args.empty()) {
            EXPECT_TRUE(args.empty());
            continue;
        }
        ASSERT_EQ(args.size(), c.args.size() + 1);
        const std::string png = args.back();
        args.pop_back();
        EXPECT_EQ(args, c.args);
        EXPECT_EQ(png.rfind(server.config().tempFolder() + "/", 0), 0u) << png;
        EXPECT_EQ(png.substr(png.size() - 4), ".png");
    }
}

}  // namespace
}  // namespace CommandTest

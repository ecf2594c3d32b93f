// Web page capture through EXEC2 with stand-in tools (shell scripts in the
// folder named by WkHtmlPath) that record their arguments, fail, or never end.
// The real tool, found on PATH, is covered by the EXEC web-page case in
// get_exec_test.cpp.
#include <gtest/gtest.h>
#include <semaphore.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands/command_server.h"
#include "commands/web_capture.h"
#include "support/temp_dir.h"

namespace CommandTest {
namespace {

using VsClient::Utf16z;

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
    std::string url, options, expected;
    int logCode;
    std::string logMessage;
    std::string args;  // the arguments before the PNG path, joined by "|"; empty: not run
};

void WriteStandIn(const std::string& folder, const std::string& body) {
    const std::string tool = folder + "/wkhtmltoimage";
    vstest::WriteFile(tool, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + folder +
                                "/args'\nfor last; do :; done\n: > \"$last\"\n" + body + "\n");
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
}

// One server for every case: the tool is found in WkHtmlPath at each request,
// so each case puts its own there (or none).
TEST(WebCapture, StandInToolsRenderFailTimeOutOrAreNotRun) {
    vstest::TempDir dir, tools;
    const std::string rose = dir / "rose.png";
    ASSERT_TRUE(Shell("convert rose: " + Quoted(rose)));
    CommandServer server("[Server]\nWkHtmlPath=" + tools.path() + "\nWebCaptureTimeout=1\n");
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());
    // The message at the end of the one log line of a capture (after the
    // elapsed milliseconds); "no line" when there is not exactly one.
    auto logMessage = [&](int code, const std::string& url) -> std::string {
        const std::string log = server.folder().requestLog();
        const std::string start = " 127.0.0.1," + std::to_string(code) + "," + url + ",capture,0,";
        const size_t at = log.find(start);
        if (at == std::string::npos || log.find(start, at + 1) != std::string::npos)
            return "no line";
        const size_t from = at + start.size();
        const std::string rest = log.substr(from, log.find("\r\n", from) - from);
        return rest.substr(rest.find(',') + 1);
    };

    const std::string copy = "cp " + Quoted(rose) + " \"$last\"", other = "http://example.invalid/";
    auto quiet = [](const std::string& url) { return "--quiet|" + url + "|"; };
    const StandIn cases[] = {
        {"arguments as a vector", copy, "file:///a \"b\" c.html", "height=90&rwait=500&width=800",
         "size 70x46", 0, "",
         "--quiet|--javascript-delay|500|--disable-smart-width|--width|800|--height|90|"
         "file:///a \"b\" c.html|"},
        {"no options", copy, other, "", "size 70x46", 0, "", quiet(other)},
        {"a tool that fails", "exit 1", other + "f", "", "status 107", 107, "Capture error: \"1\"",
         quiet(other + "f")},
        {"a tool that never ends", "exec sleep 60", other + "t", "", "status 107", 107,
         "Capture timeout", quiet(other + "t")},
        {"an address read as an option", "exit 0", "--version", "", "status 107", 107,
         "Capture error: \"--version\"", ""},
        {"no tool", "", other + "n", "", "status 107", 107, "App run error: 2", ""},
    };
    const std::string png = server.config().tempFolder() + "/";
    for (const StandIn& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(tools / "wkhtmltoimage");
        std::filesystem::remove(tools / "args");
        if (!c.toolBody.empty())
            WriteStandIn(tools.path(), c.toolBody);
        EXPECT_EQ(session.Ask(Exec2Kind::kCapture, Utf16z(c.url), c.options, "page"), c.expected);
        EXPECT_EQ(logMessage(c.logCode, c.url), c.logMessage);
        // The PNG path comes last, in the temporary folder.
        const std::string args = vstest::ReadFile(tools / "args");
        if (c.args.empty()) {
            EXPECT_EQ(args, "");
            continue;
        }
        ASSERT_GT(args.size(), c.args.size() + png.size() + 5) << args;
        EXPECT_EQ(args.substr(0, c.args.size()), c.args);
        EXPECT_EQ(args.substr(c.args.size(), png.size()), png);
        EXPECT_EQ(args.substr(args.size() - 5), ".png|");
    }
    EXPECT_EQ(PngFilesIn(server.config().tempFolder()), 0);
}

}  // namespace
}  // namespace CommandTest

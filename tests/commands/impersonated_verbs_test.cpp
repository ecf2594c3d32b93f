// The verbs open and write files under the account the configuration assigns
// to the path: GET and EXEC through the worker, EXEC2 in the server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "commands/command_server.h"
#include "commands/test_account.h"

using namespace CommandTest;
using VsClient::ExecSource;

namespace {

uid_t OwnerOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
}

}  // namespace

TEST(ImpersonatedVerbs, FilesAreReadAndWrittenAsTheConfiguredAccount) {
    TestAccount account;
    if (!account.created())
        GTEST_SKIP() << "needs root to create a test account";
    CommandServer s("[Impersonation]\nImpersonate0=/secure/;" + account.name + ";" +
                    account.password + "\nImpersonate1=/wrong/;" + account.name + ";nope\n");
    ASSERT_TRUE(s.Start());
    // Folders everybody may pass through; the files decide who reads them.
    for (const char* sub : {"", "/secure", "/wrong"}) {
        std::filesystem::create_directories(s.path() + sub);
        chmod((s.path() + sub).c_str(), 0777);
    }
    const std::string rootOnly = s.path() + "/secure/root.jpg",
                      wrongPassword = s.path() + "/wrong/root.jpg";
    ASSERT_TRUE(Shell("convert rose: " + Quoted(rootOnly) + " && cp " + Quoted(rootOnly) + " " +
                      Quoted(wrongPassword)));
    chmod(rootOnly.c_str(), 0600);
    chmod(wrongPassword.c_str(), 0600);
    const std::string written = s.path() + "/secure/out.jpg", written2 = s.path() + "/secure/o.png";

    // The account cannot read root's 0600 file, whichever verb asks.
    EXPECT_NE(s.Ask(VsClient::BuildGetFrame(rootOnly, "cmd=thumb&w=10")).status, 0u);
    EXPECT_NE(s.Ask(VsClient::BuildExecFrame(ExecSource::kFile, VsClient::Utf16z(rootOnly), "",
                                             "cmd=encode&format=png"))
                  .status,
              0u);
    Exec2Session session(s);
    EXPECT_EQ(session.Ask(VsClient::Exec2Kind::kLoadFile, VsClient::Utf16z(rootOnly), "", "a")
                  .substr(0, 8),
              "status 2");
    // A wrong password is logged and the service account reads the file.
    EXPECT_EQ(s.Ask(VsClient::BuildGetFrame(wrongPassword, "cmd=thumb&w=10")).status, 0u);
    // Written files belong to the account.
    std::vector<uint8_t> bytes = FileBytes(wrongPassword);
    EXPECT_EQ(Describe(s.Ask(VsClient::BuildExecFrame(ExecSource::kBytes, bytes, "",
                                                      "cmd=encode&path=" + written))),
              "text " + written);
    EXPECT_EQ(session.Ask(VsClient::Exec2Kind::kLoadBytes, bytes, "", "b"), "size 70x46");
    EXPECT_EQ(session.Ask(VsClient::Exec2Kind::kScript, {}, "cmd=encode&path=" + written2, "b"),
              "text " + written2);
    EXPECT_EQ(OwnerOf(written), account.uid);
    EXPECT_EQ(OwnerOf(written2), account.uid);
    s.Stop();
    EXPECT_NE(s.folder().requestLog().find("# LogonUser error: 7"), std::string::npos);
}

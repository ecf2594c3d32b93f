// Switching the thread to the account the configuration assigns to a path,
// and the verbs through the real server reading and writing files as it.
#include "commands/impersonation.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <future>
#include <tuple>

#include "commands/command_server.h"
#include "server/test_folder.h"
#include "support/text_count.h"
#include "worker/worker_process.h"

using namespace CommandTest;
using Vs4Command::CImpersonation;
using Vs4Command::LogonTokenCache;
using VsClient::ExecSource;
using vstest::CountOf;

namespace {

// A throw-away local account with a password, created when the test runs as
// root (the only way the switch can be exercised) and removed at the end.
class TestAccount {
public:
    TestAccount() {
        if (geteuid() != 0)
            return;
        created_ = vstest::Shell("useradd -m -s /usr/sbin/nologin " + name) &&
                   vstest::Shell("echo '" + name + ":" + password + "' | chpasswd");
        if (passwd* entry = created_ ? getpwnam(name.c_str()) : nullptr) {
            uid = entry->pw_uid;
            gid = entry->pw_gid;
        }
    }
    ~TestAccount() {
        if (created_)
            vstest::Shell("userdel -r " + name);
    }
    bool created() const { return created_; }

    const std::string name = "vs5imp" + std::to_string(getpid());
    const std::string password = "Vs5-" + std::to_string(getpid()) + "-secret";
    uid_t uid = 0;
    gid_t gid = 0;

private:
    bool created_ = false;
};

// The calling thread's file-system user id and groups, as the kernel reports them.
std::string ThreadStatus(const std::string& field, const std::string& of = "/proc/thread-self") {
    std::ifstream in(of + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0)
            return line.substr(field.size() + 1);
    return "";
}
uid_t FsUid() {
    unsigned real, effective, saved, fs;
    if (sscanf(ThreadStatus("Uid").c_str(), "%u %u %u %u", &real, &effective, &saved, &fs) != 4)
        return static_cast<uid_t>(-1);
    return fs;
}

bool CanOpen(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}

class Impersonation : public ::testing::Test {
protected:
    void SetUp() override {
        LogonTokenCache::DestroyInstance();
        // Traversable by the test account: a root-only file and a folder it may write to.
        chmod(files_.path().c_str(), 0755);
        secret_ = files_ / "secret.txt";
        vstest::WriteFile(secret_, "root only");
        chmod(secret_.c_str(), 0600);
        drop_ = files_ / "Drop";
        mkdir(drop_.c_str(), 0777);
        chmod(drop_.c_str(), 0777);
    }
    void TearDown() override { LogonTokenCache::DestroyInstance(); }

    // The entry line that the account's own password makes work.
    std::string Entry(int number, const std::string& key, const std::string& password = "") {
        return "Impersonate" + std::to_string(number) + "=" + key + ";" + account_.name + ";" +
               (password.empty() ? account_.password : password) + "\n";
    }

    TestAccount account_;
    vstest::TempDir files_;
    std::string secret_, drop_;
};

#define REQUIRE_ACCOUNT()                                                                 \
    if (!account_.created())                                                              \
    GTEST_SKIP() << "switching identity needs root (to create a test account and to set " \
                    "another user's file-system ids)"

}  // namespace

// Entry 10 carries a wrong password: were it used, a logon error would be
// logged. Key numbers order the entries as numbers (2 before 10).
TEST_F(Impersonation, SwitchesTheThreadOnlyAndTheLowestMatchingEntryWins) {
    REQUIRE_ACCOUNT();
    TestModuleFolder folder("[Impersonation]\n" + Entry(0, "drop") +
                            Entry(10, "albums/private", "wrong") + Entry(2, "albums"));
    std::string groupsBefore = ThreadStatus("Groups");
    ASSERT_TRUE(CanOpen(secret_));
    // A thread started beforehand: one created while impersonating would
    // inherit the identity, as any thread inherits its creator's.
    std::promise<void> go;
    std::future<std::tuple<bool, uid_t, std::string>> other =
        std::async(std::launch::async, [&, started = go.get_future()] {
            started.wait();
            return std::make_tuple(CanOpen(secret_), FsUid(), ThreadStatus("Groups"));
        });
    {
        CImpersonation scope;
        std::string user, password;
        // The key matches without regard to case.
        EXPECT_TRUE(scope.Impersonate(folder.config(), drop_ + "/a.jpg", &user, &password));
        EXPECT_TRUE(scope.active());
        EXPECT_EQ(user, account_.name);
        EXPECT_EQ(password, account_.password);
        EXPECT_EQ(FsUid(), account_.uid);
        EXPECT_FALSE(CanOpen(secret_));
        EXPECT_EQ(errno, EACCES);

        // The other thread keeps the service's identity meanwhile.
        go.set_value();
        EXPECT_EQ(other.get(), std::make_tuple(true, uid_t(0), groupsBefore));

        scope.Revert();
        EXPECT_FALSE(scope.active());
        EXPECT_TRUE(CanOpen(secret_));
        EXPECT_EQ(ThreadStatus("Groups"), groupsBefore);

        // Again, now from the cached token; this time the scope's end reverts.
        ASSERT_TRUE(scope.Impersonate(folder.config(), drop_ + "/b.jpg"));
        EXPECT_FALSE(CanOpen(secret_));
        // A worker started meanwhile (a replacement) gets the service's
        // groups, and the thread goes on as the account.
        Vs5Worker::CWorkerProcess worker(folder.config(), VS_BIN_DIR "/vistrelremt");
        ASSERT_TRUE(worker.Start());
        EXPECT_EQ(ThreadStatus("Groups", "/proc/" + std::to_string(worker.pid())), groupsBefore);
        EXPECT_FALSE(CanOpen(secret_));
        worker.Stop();
    }
    EXPECT_TRUE(CanOpen(secret_));
    EXPECT_EQ(FsUid(), 0u);
    EXPECT_EQ(ThreadStatus("Groups"), groupsBefore);

    {
        CImpersonation scope;
        EXPECT_TRUE(scope.Impersonate(folder.config(), "/srv/albums/Private/c.jpg"));
        EXPECT_EQ(FsUid(), account_.uid);
    }
    // One account, one token.
    EXPECT_EQ(LogonTokenCache::Instance().size(), 1u);
    EXPECT_EQ(CountOf(folder.requestLog(), "error"), 0u);
}

// GET and EXEC open and write files through the worker, EXEC2 in the server,
// under the account assigned to the path.
TEST_F(Impersonation, VerbsReadAndWriteFilesAsTheConfiguredAccount) {
    REQUIRE_ACCOUNT();
    CommandServer s("[Impersonation]\nImpersonate0=/secure/;" + account_.name + ";" +
                    account_.password + "\nImpersonate1=/wrong/;" + account_.name +
                    ";nope\nImpersonate2=/unknown/;vs5none" + std::to_string(getpid()) + ";x\n");
    ASSERT_TRUE(s.Start());
    // Folders everybody may pass through; the files decide who reads them.
    for (const char* sub : {"", "/secure", "/wrong", "/unknown"}) {
        std::filesystem::create_directories(s.path() + sub);
        chmod((s.path() + sub).c_str(), 0777);
    }
    const std::string rootOnly = s.path() + "/secure/root.jpg",
                      wrongPassword = s.path() + "/wrong/root.jpg",
                      unknownAccount = s.path() + "/unknown/root.jpg";
    ASSERT_TRUE(Shell("convert rose: " + Quoted(rootOnly)));
    for (const std::string& path : {wrongPassword, unknownAccount})
        std::filesystem::copy_file(rootOnly, path);
    for (const std::string& path : {rootOnly, wrongPassword, unknownAccount})
        chmod(path.c_str(), 0600);
    const std::string written = s.path() + "/secure/out.jpg", written2 = s.path() + "/secure/o.png";

    // The account cannot read root's 0600 file, whichever verb asks.
    EXPECT_NE(s.Ask(VsClient::BuildGetFrame(rootOnly, "cmd=thumb&w=10")).status, 0u);
    EXPECT_NE(s.Ask(VsClient::BuildExecFrame(ExecSource::kFile, VsClient::Utf16z(rootOnly), "",
                                             "cmd=encode&format=png"))
                  .status,
              0u);
    Exec2Session session(s);
    EXPECT_EQ(session.Ask(Exec2Kind::kLoadFile, VsClient::Utf16z(rootOnly), "", "a").substr(0, 8),
              "status 2");
    // A failed logon (a wrong password, an unknown account) is logged at every
    // request, not remembered, and the service account reads the file.
    const std::pair<std::string, std::string> failedLogons[] = {
        {wrongPassword, "cmd=thumb&w=10"},
        {wrongPassword, "cmd=thumb&w=11"},
        {unknownAccount, "cmd=thumb&w=10"},
    };
    for (const auto& [path, command] : failedLogons)
        EXPECT_EQ(s.Ask(VsClient::BuildGetFrame(path, command)).status, 0u) << path << command;
    // Written files belong to the account.
    std::vector<uint8_t> bytes = FileBytes(wrongPassword);
    EXPECT_EQ(Describe(s.Ask(VsClient::BuildExecFrame(ExecSource::kBytes, bytes, "",
                                                      "cmd=encode&path=" + written))),
              "text " + written);
    EXPECT_EQ(session.Ask(Exec2Kind::kLoadBytes, bytes, "", "b"), "size 70x46");
    EXPECT_EQ(session.Ask(Exec2Kind::kScript, {}, "cmd=encode&path=" + written2, "b"),
              "text " + written2);
    for (const std::string& path : {written, written2})
        EXPECT_EQ(std::make_pair(StatOf(path).st_uid, StatOf(path).st_gid),
                  std::make_pair(account_.uid, account_.gid))
            << path;
    s.Stop();
    const std::string log = s.folder().requestLog();
    // PAM's code: 7 for the wrong password; the unknown account's depends on PAM's modules.
    EXPECT_EQ(CountOf(log, "# LogonUser error: "), 3u) << log;
    EXPECT_GE(CountOf(log, "# LogonUser error: 7\r\n"), 2u) << log;
}

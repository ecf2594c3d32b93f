#include "config/ip_filter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "config/configuration.h"
#include "support/temp_dir.h"

namespace {

struct FilterCase {
    std::string list;  // added one by one, or the AccessPermit value
    int count;         // -1: not checked
    std::vector<std::string> allowed, refused;
};

void ExpectAdmits(const CIpFilter& f, const FilterCase& c) {
    if (c.count >= 0) {
        EXPECT_EQ(f.count(), c.count) << c.list;
    }
    for (const std::string& a : c.allowed)
        EXPECT_TRUE(f.IsAllowed(a)) << c.list << " " << a;
    for (const std::string& a : c.refused)
        EXPECT_FALSE(f.IsAllowed(a)) << c.list << " " << a;
}

std::string Numbered(const std::string& prefix, int from, int to) {
    std::string list;
    for (int i = from; i <= to; ++i)
        list += prefix + std::to_string(i) + ";";
    return list;
}

}  // namespace

TEST(IpFilter, ZeroOctetsAreWildcardsAndBadFormsAreRefused) {
    CIpFilter f;
    EXPECT_FALSE(f.IsAllowed("127.0.0.1"));  // an empty list admits nobody
    EXPECT_TRUE(f.AddAddress("192.168.0.0"));
    EXPECT_TRUE(f.AddAddress("10.0.0.5"));
    EXPECT_TRUE(f.AddAddress(" 127.0.0.1 "));
    // Short, octal and hexadecimal forms are not taken: "1" would be 0.0.0.1
    // and admit every x.x.x.1, "0" would admit everybody.
    for (const char* bad : {"255.255.255.255", "localhost", "", "1.2.3.256", "1", "0", "127.1",
                            "010.0.0.1", "0x7f.0.0.1", "1.2.3.4.5"})
        EXPECT_FALSE(f.AddAddress(bad)) << bad;
    ExpectAdmits(f, {"",
                     3,
                     {"192.168.7.9", "10.200.3.5", "127.0.0.1"},
                     {"192.169.7.9", "10.200.3.6", "127.0.0.2", "not an address"}});

    f.Clear();
    EXPECT_EQ(f.count(), 0);
    EXPECT_FALSE(f.IsAllowed("192.168.7.9"));
    EXPECT_TRUE(f.AddAddress("0.0.0.0"));
    EXPECT_TRUE(f.IsAllowed("8.8.8.8"));

    f.Clear();
    for (int i = 1; i <= CIpFilter::kMaxEntries; ++i)
        EXPECT_TRUE(f.AddAddress("10.1.1." + std::to_string(i)));
    EXPECT_FALSE(f.AddAddress("10.1.2.1"));  // one past the table
    ExpectAdmits(f, {"", CIpFilter::kMaxEntries, {"10.1.1.64"}, {"10.1.2.1"}});
}

TEST(IpFilter, AccessPermitFillsTheFilterOnLoadAndReload) {
    vstest::TempDir home;
    Configuration config;
    config.Load(home.path());  // no INI: only 127.0.0.1
    ExpectAdmits(config.ipFilter(), {"", 1, {"127.0.0.1"}, {"127.0.0.2", "192.168.1.1"}});

    const std::string field31 = "010.000.000.003" + std::string(16, ' ');  // padded, 31 characters
    const std::vector<FilterCase> cases = {
        {"", 0, {}, {"127.0.0.1"}},
        {"abc;;localhost;999.1.1.1", 0, {}, {"127.0.0.1"}},
        {"1", 0, {}, {"127.0.0.1", "10.0.0.1"}},
        {"0;127.1", 0, {}, {"127.0.0.1", "8.8.8.8"}},
        {"0.0.0.0", 1, {"127.0.0.1", "8.8.8.8"}, {}},
        {"192.168.0.0;\"10.1.2.3\";bogus", 2, {"192.168.7.9", "10.1.2.3"}, {"10.1.2.4"}},
        // A field of 32 characters or more ends the list; 31 do not.
        {"10.0.0.1;" + std::string(32, '1') + ";127.0.0.1", 1, {"10.0.0.1"}, {"127.0.0.1"}},
        {"\"" + field31 + "\";10.0.0.4", -1, {"10.0.0.4"}, {}},
        // The 65th valid field is ignored.
        {Numbered("10.9.0.", 1, 65), 64, {"10.9.0.64"}, {"10.9.0.65"}},
    };
    for (const FilterCase& c : cases) {
        vstest::WriteFile(home / "vistrel5.ini", "[Server]\nAccessPermit=" + c.list + "\n");
        config.ReadSettings(false);
        ExpectAdmits(config.ipFilter(), c);
    }
    // Every skipped entry is named in the system log.
    std::string log = vstest::ReadFile(config.systemLog().CurrentPath());
    for (const char* entry : {"abc", "localhost", "999.1.1.1", "1", "0", "127.1", "bogus"})
        EXPECT_NE(log.find(std::string("AccessPermit entry \"") + entry +
                           "\" is not a dotted IPv4 address; it is skipped.\r\n"),
                  std::string::npos)
            << entry;
    // Without the key the default comes back.
    vstest::WriteFile(home / "vistrel5.ini", "[Server]\nPort=1\n");
    config.ReadSettings(false);
    ExpectAdmits(config.ipFilter(), {"", 1, {"127.0.0.1"}, {"127.0.0.2"}});
}

TEST(IpFilter, AssignReplacesTheListInOneStep) {
    CIpFilter f;
    EXPECT_EQ(f.Assign({"127.0.0.1", "bogus", "10.0.0.0"}), 2);
    EXPECT_TRUE(f.IsAllowed("10.4.5.6"));
    // A reload of the same list never shows a check an empty or partial list.
    std::atomic<bool> done{false};
    std::thread reloader([&]() {
        for (int i = 0; i < 2000; ++i)
            f.Assign({"192.168.0.0", "10.0.0.0", "127.0.0.1"});
        done = true;
    });
    int refused = 0;
    while (!done)
        refused += f.IsAllowed("127.0.0.1") ? 0 : 1;
    reloader.join();
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(f.Assign({}), 0);
    EXPECT_FALSE(f.IsAllowed("127.0.0.1"));
}

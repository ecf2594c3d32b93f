#include "config/ip_filter.h"

#include <gtest/gtest.h>

#include "server/test_folder.h"
#include "support/text_count.h"

using vstest::WriteFile;

TEST(IpFilter, AccessPermitFillsTheFilterOnLoadAndReload) {
    std::string full;  // 65 valid fields: the 65th is ignored
    for (int i = 1; i <= 65; ++i)
        full += "10.9.0." + std::to_string(i) + ";";
    const std::string field31 = "010.000.000.003" + std::string(16, ' ');  // padded, 31 characters
    // Short, octal and hexadecimal forms are skipped: "1" would be 0.0.0.1 and
    // admit every x.x.x.1, "0" would admit everybody. Zero octets are wildcards.
    const struct {
        std::string list;
        int count;
        std::vector<std::string> allowed, refused;
    } cases[] = {
        {"[Server]", 1, {"127.0.0.1"}, {"127.0.0.2"}},  // no key: the default
        {"AccessPermit=", 0, {}, {"127.0.0.1"}},
        {"AccessPermit=\"\"", 0, {}, {"127.0.0.1"}},
        {"AccessPermit=abc;;localhost;999.1.1.1;255.255.255.255;1.2.3.256;1.2.3.4.5", 0, {}, {}},
        {"AccessPermit=1;0;127.1;010.0.0.1;0x7f.0.0.1", 0, {}, {"10.0.0.1", "8.8.8.8"}},
        {"AccessPermit=0.0.0.0", 1, {"127.0.0.1", "8.8.8.8"}, {}},
        {"AccessPermit=192.168.0.0;\"10.1.2.3\"; 127.0.0.1 ;bogus",
         3,
         {"192.168.7.9", "10.1.2.3", "127.0.0.1"},
         {"10.1.2.4", "192.169.7.9", "127.0.0.2", "not an address"}},
        // A field of 32 characters or more ends the list; 31 do not.
        {"AccessPermit=10.0.0.1;" + std::string(32, '1') + ";127.0.0.1",
         1,
         {"10.0.0.1"},
         {"127.0.0.1"}},
        {"AccessPermit=\"" + field31 + "\";10.0.0.4", 1, {"10.0.0.4"}, {"10.0.0.3"}},
        {"AccessPermit=" + full, CIpFilter::kMaxEntries, {"10.9.0.1", "10.9.0.64"}, {"10.9.0.65"}}};
    TestModuleFolder home("");
    for (const auto& c : cases) {
        WriteFile(home.path() + "/vistrel5.ini", "[Server]\n" + c.list + "\n");
        home.config().ReadSettings(false);
        EXPECT_EQ(home.config().ipFilter().count(), c.count) << c.list;
        for (const std::string& a : c.allowed)
            EXPECT_TRUE(home.config().ipFilter().IsAllowed(a)) << c.list << " " << a;
        for (const std::string& a : c.refused)
            EXPECT_FALSE(home.config().ipFilter().IsAllowed(a)) << c.list << " " << a;
    }
    CIpFilter f;  // added one by one
    EXPECT_TRUE(f.AddAddress("10.1.1.1") && !f.AddAddress("localhost") && f.IsAllowed("10.1.1.1"));
    f.Clear();
    EXPECT_FALSE(f.IsAllowed("10.1.1.1"));  // an empty list admits nobody
    // Every skipped entry is named in the system log.
    for (const char* entry : {"abc", "localhost", "999.1.1.1", "1", "0", "127.1", "bogus"})
        EXPECT_EQ(vstest::CountOf(home.systemLog(), std::string("AccessPermit entry \"") + entry +
                                                        "\" is not a dotted IPv4 address; it "
                                                        "is skipped.\r\n"),
                  1u)
            << entry;
}

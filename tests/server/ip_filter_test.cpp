#include "config/ip_filter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "config/configuration.h"

namespace {

// Loads a configuration whose INI file holds `iniText` and returns whether
// each client address is admitted.
class AccessPermitTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vs_ipfilter_XXXXXX";
        folder_ = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    CIpFilter& Load(const std::string& iniText) {
        std::ofstream(folder_ + "/vistrel5.ini") << iniText;
        config_ = std::make_unique<Configuration>();
        config_->Load(folder_);
        return config_->ipFilter();
    }

    std::string folder_;
    std::unique_ptr<Configuration> config_;
};

}  // namespace

TEST(IpFilter, ZeroOctetsAreWildcards) {
    CIpFilter f;
    EXPECT_FALSE(f.IsAllowed("127.0.0.1"));  // an empty list admits nobody
    EXPECT_TRUE(f.AddAddress("192.168.0.0"));
    EXPECT_TRUE(f.AddAddress("10.0.0.5"));
    EXPECT_TRUE(f.IsAllowed("192.168.7.9"));
    EXPECT_FALSE(f.IsAllowed("192.169.7.9"));
    EXPECT_TRUE(f.IsAllowed("10.200.3.5"));
    EXPECT_FALSE(f.IsAllowed("10.200.3.6"));
    EXPECT_FALSE(f.IsAllowed("not an address"));

    f.Clear();
    EXPECT_EQ(f.count(), 0);
    EXPECT_FALSE(f.IsAllowed("192.168.7.9"));
    EXPECT_TRUE(f.AddAddress("0.0.0.0"));
    EXPECT_TRUE(f.IsAllowed("8.8.8.8"));
}

TEST(IpFilter, AddressForms) {
    CIpFilter f;
    EXPECT_TRUE(f.AddAddress("127.1"));  // the short form of 127.0.0.1
    EXPECT_TRUE(f.IsAllowed("127.0.0.1"));
    EXPECT_FALSE(f.IsAllowed("127.0.0.2"));
    EXPECT_FALSE(f.AddAddress("255.255.255.255"));
    EXPECT_FALSE(f.AddAddress("localhost"));
    EXPECT_FALSE(f.AddAddress(""));
    EXPECT_FALSE(f.AddAddress("1.2.3.256"));
    EXPECT_EQ(f.count(), 1);

    for (int i = 1; i < CIpFilter::kMaxEntries; ++i)
        EXPECT_TRUE(f.AddAddress("10.1.1." + std::to_string(i)));
    EXPECT_FALSE(f.AddAddress("10.1.2.1"));  // the 65th
    EXPECT_EQ(f.count(), CIpFilter::kMaxEntries);
    EXPECT_TRUE(f.IsAllowed("10.1.1.63"));
    EXPECT_FALSE(f.IsAllowed("10.1.2.1"));
}

TEST_F(AccessPermitTest, DefaultAdmitsOnlyLoopback) {
    CIpFilter& f = Load("[Server]\nPort=1\n");
    EXPECT_EQ(f.count(), 1);
    EXPECT_TRUE(f.IsAllowed("127.0.0.1"));
    EXPECT_FALSE(f.IsAllowed("127.0.0.2"));
    EXPECT_FALSE(f.IsAllowed("192.168.1.1"));
}

TEST_F(AccessPermitTest, EmptyOrInvalidListAdmitsNobody) {
    EXPECT_FALSE(Load("[Server]\nAccessPermit=\n").IsAllowed("127.0.0.1"));
    EXPECT_FALSE(Load("[Server]\nAccessPermit=abc;;localhost;999.1.1.1\n").IsAllowed("127.0.0.1"));
}

TEST_F(AccessPermitTest, FieldsQuotesAndLimits) {
    CIpFilter& f = Load("[Server]\nAccessPermit=192.168.0.0;\"10.1.2.3\";bogus\n");
    EXPECT_EQ(f.count(), 2);
    EXPECT_TRUE(f.IsAllowed("192.168.7.9"));
    EXPECT_TRUE(f.IsAllowed("10.1.2.3"));
    EXPECT_FALSE(f.IsAllowed("10.1.2.4"));

    // A field of 32 characters or more ends the list.
    std::string longField(32, '1');
    CIpFilter& g = Load("[Server]\nAccessPermit=10.0.0.1;" + longField + ";10.0.0.2\n");
    EXPECT_EQ(g.count(), 1);
    EXPECT_FALSE(g.IsAllowed("10.0.0.2"));
    std::string field31 = "010.000.000.003" + std::string(16, ' ');  // padded, 31 characters
    CIpFilter& h = Load("[Server]\nAccessPermit=\"" + field31 + "\";10.0.0.4\n");
    EXPECT_TRUE(h.IsAllowed("10.0.0.4"));

    // The 65th valid field is ignored.
    std::string list;
    for (int i = 1; i <= 65; ++i)
        list += "10.9.0." + std::to_string(i) + ";";
    CIpFilter& k = Load("[Server]\nAccessPermit=" + list + "\n");
    EXPECT_EQ(k.count(), 64);
    EXPECT_TRUE(k.IsAllowed("10.9.0.64"));
    EXPECT_FALSE(k.IsAllowed("10.9.0.65"));
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

#include "cache/cache_key.h"

#include <set>

#include "cache_fixture.h"

TEST(CacheKeyTest, TimeAndDigestsOfTheUtf16TextInBase64) {
    // Hangul takes one UTF-16 unit per character, the emoji two.
    EXPECT_EQ(FormatCacheKey(132000000000000000ULL, "/srv/사진/풍경.JPG", "", "\xF0\x9F\x98\x80"),
              "132000000000000000:pL12nF8NFub2MIMjNZn4hA==:1B2M2Y8AsgTpgAmY7PhCfg==:"
              "cTtDH1yqDRQr6hV5icloUg==");
    EXPECT_EQ(FormatCacheKey(UINT64_MAX, "", "", "").size(), kMaxCacheKeyLength);
}

class MakeKeyTest : public CacheFixture {};

TEST_F(MakeKeyTest, FollowsTheSourceTimeAndBothCommands) {
    const std::string source = module_ + "/사진.jpg";
    MakeFile(source, 100);
    ASSERT_TRUE(Vs5Platform::SetLastWriteTime(source, 133000000000000000ULL));
    std::set<std::string> keys;
    std::string first;
    for (auto [defaultCommand, command] :
         {std::pair{"", "thumb=1"}, {"", "thumb=1"}, {"", "thumb=2"}, {"thumb=1", ""}}) {
        std::string key;
        ASSERT_TRUE(cache_->MakeKey(source, defaultCommand, command, key));
        EXPECT_EQ(key.rfind("133000000000000000:", 0), 0U);
        keys.insert(key);
        first = first.empty() ? key : first;
    }
    EXPECT_EQ(keys.size(), 3U);  // only the first two agree
    // A rewritten source gets a new key; a missing one leaves the key alone.
    std::string key = "untouched";
    EXPECT_FALSE(cache_->MakeKey(module_ + "/missing.jpg", "", "thumb=1", key));
    ASSERT_TRUE(Vs5Platform::SetLastWriteTime(source, 133000000000000001ULL));
    ASSERT_TRUE(cache_->MakeKey(source, "", "thumb=1", key));
    EXPECT_EQ(key, "133000000000000001" + first.substr(18));
}

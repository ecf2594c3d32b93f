#include "cache/cache_key.h"

#include <gtest/gtest.h>

#include "cache_fixture.h"
#include "platform/file_time.h"

TEST(CacheKeyTest, DigestsTheUtf16TextInBase64) {
    // MD5 of zero bytes.
    EXPECT_EQ(DigestText(""), "1B2M2Y8AsgTpgAmY7PhCfg==");
    EXPECT_EQ(DigestText("C:\\images\\a.jpg"), "rwsDRZgPfbNfKAngS06CAA==");
    // Hangul takes one UTF-16 unit per character, the emoji two.
    EXPECT_EQ(DigestText("/srv/사진/풍경.JPG"), "pL12nF8NFub2MIMjNZn4hA==");
    EXPECT_EQ(DigestText("\xF0\x9F\x98\x80"), "cTtDH1yqDRQr6hV5icloUg==");
}

TEST(CacheKeyTest, FormatsTimeAndThreeDigests) {
    EXPECT_EQ(FormatCacheKey(132000000000000000ULL, "C:\\images\\a.jpg", "", "thumb=100&mode=2"),
              "132000000000000000:rwsDRZgPfbNfKAngS06CAA==:1B2M2Y8AsgTpgAmY7PhCfg==:"
              "lLI+ZQeXaHlymQy3cYZJXg==");
    // The largest time gives the longest key.
    EXPECT_EQ(FormatCacheKey(UINT64_MAX, "", "", "").size(), kMaxCacheKeyLength);
}

class MakeKeyTest : public CacheFixture {};

TEST_F(MakeKeyTest, FollowsTheSourceTimeAndTheCommands) {
    const std::string source = module_ + "/사진.jpg";
    MakeFile(source, 100);
    ASSERT_TRUE(Vs5Platform::SetLastWriteTime(source, 133000000000000000ULL));

    std::string key;
    ASSERT_TRUE(cache_->MakeKey(source, "", "thumb=100&mode=2", key));
    EXPECT_EQ(key, FormatCacheKey(133000000000000000ULL, source, "", "thumb=100&mode=2"));

    std::string same, otherCommand, otherDefault;
    ASSERT_TRUE(cache_->MakeKey(source, "", "thumb=100&mode=2", same));
    ASSERT_TRUE(cache_->MakeKey(source, "", "thumb=101&mode=2", otherCommand));
    ASSERT_TRUE(cache_->MakeKey(source, "thumb=100&mode=2", "", otherDefault));
    EXPECT_EQ(same, key);
    EXPECT_NE(otherCommand, key);
    EXPECT_NE(otherDefault, key);

    // A rewritten source gets a new key.
    ASSERT_TRUE(Vs5Platform::SetLastWriteTime(source, 133000000000000001ULL));
    std::string changed;
    ASSERT_TRUE(cache_->MakeKey(source, "", "thumb=100&mode=2", changed));
    EXPECT_NE(changed, key);
    EXPECT_EQ(changed.substr(0, 19), "133000000000000001:");

    // A missing source leaves the key alone.
    std::string untouched = "before";
    EXPECT_FALSE(cache_->MakeKey(module_ + "/missing.jpg", "", "thumb=1", untouched));
    EXPECT_EQ(untouched, "before");
}

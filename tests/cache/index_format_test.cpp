#include "cache/index_format.h"

#include <gtest/gtest.h>

TEST(IndexFormatTest, FormatsLinesAndRefusesUnstorablePaths) {
    EXPECT_EQ(FormatIndexLine("1:a==:b==:c==", "/c/cache0001/{x}.jpg", 4294967295U),
              "1:a==:b==:c==,/c/cache0001/{x}.jpg,4294967295\r\n");
    EXPECT_EQ(FormatIndexLine("k", "/c/사진.jpg", 0), "k,/c/사진.jpg,0\r\n");
    // A comma or a line break would split the line in the wrong place.
    EXPECT_FALSE(FormatIndexLine("k", "/a,b/x.jpg", 1));
    EXPECT_FALSE(FormatIndexLine("k", "/a\nb/x.jpg", 1));
    // A line no reader takes is not written either.
    EXPECT_TRUE(FormatIndexLine("k", std::string(1000, 'p'), 1));
    EXPECT_FALSE(FormatIndexLine("k", std::string(1020, 'p'), 1));

    EXPECT_EQ(FormatQueueLine("/a,b/x.jpg"), "/a,b/x.jpg\r\n");
    EXPECT_FALSE(FormatQueueLine(""));
    EXPECT_FALSE(FormatQueueLine("/a\r/x.jpg"));
}

TEST(IndexFormatTest, ParsesThreeFieldsSkippingEmptyOnes) {
    auto record = ParseIndexLine("key,/p/x.jpg,1234\r\n");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->key, "key");
    EXPECT_EQ(record->path, "/p/x.jpg");
    EXPECT_EQ(record->size, 1234U);

    record = ParseIndexLine(",,key,,/p/x.jpg,,77,extra");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->key, "key");
    EXPECT_EQ(record->path, "/p/x.jpg");
    EXPECT_EQ(record->size, 77U);

    // The size is the leading number of its field; none reads as 0, too many
    // digits as the largest size.
    EXPECT_EQ(ParseIndexLine("k,p,12abc")->size, 12U);
    EXPECT_EQ(ParseIndexLine("k,p,abc")->size, 0U);
    EXPECT_EQ(ParseIndexLine("k,p,99999999999")->size, 4294967295U);

    EXPECT_FALSE(ParseIndexLine("key,/p/x.jpg"));
    EXPECT_FALSE(ParseIndexLine("key,,,"));
    EXPECT_FALSE(ParseIndexLine(""));
}

TEST(IndexFormatTest, ReadsWholeFiles) {
    std::string text =
        "\xEF\xBB\xBF"
        "a,/p/1.jpg,1\r\nbad line\r\n\r\nb,/p/2.jpg,2\nc,/p/3.jpg,3";
    text += "\r\nd," + std::string(1100, 'x') + ",4\r\n";
    auto records = ParseIndexText(text);
    ASSERT_EQ(records.size(), 3U);
    EXPECT_EQ(records[0].key, "a");
    EXPECT_EQ(records[1].path, "/p/2.jpg");
    EXPECT_EQ(records[2].size, 3U);  // a last line without its line end still counts
    EXPECT_TRUE(ParseIndexText("\xEF\xBB\xBF").empty());
    EXPECT_TRUE(ParseIndexText("").empty());

    // In the deletion list only whole lines count.
    auto paths = ParseQueueText("\xEF\xBB\xBF/q/1.jpg\r\n\r\n/q/2,x.jpg\n/q/3.jpg");
    EXPECT_EQ(paths, (std::vector<std::string>{"/q/1.jpg", "/q/2,x.jpg"}));
}

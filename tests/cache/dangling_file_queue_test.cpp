#include "cache/dangling_file_queue.h"

#include <gtest/gtest.h>

TEST(DanglingFileQueueTest, KeepsOrder) {
    Vs5Util::DanglingFileQueue queue;
    std::string path;
    EXPECT_FALSE(queue.TryPop(path));
    queue.Push("/a");
    queue.PushAll({"/b", "/c"});
    EXPECT_EQ(queue.size(), 3U);
    EXPECT_EQ(queue.Snapshot(), (std::vector<std::string>{"/a", "/b", "/c"}));
    ASSERT_TRUE(queue.TryPop(path));
    EXPECT_EQ(path, "/a");
    queue.Push("/a");
    EXPECT_EQ(queue.Snapshot(), (std::vector<std::string>{"/b", "/c", "/a"}));
    EXPECT_EQ(queue.size(), 3U);
}

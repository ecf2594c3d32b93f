// Alone in its program, so that the process-wide counter starts fresh.
#include <gtest/gtest.h>

#include "server/server_test_support.h"

using namespace ServerTest;

TEST(RequestIds, CountEveryAcceptedConnectionFrom1001) {
    RunningServer s("[Server]\nAccessPermit=127.0.0.1;\n");
    ASSERT_TRUE(s.Start());
    VsClient::Response r;
    VsClient::Connection first, second;
    ASSERT_TRUE(s.Connect(first));
    ASSERT_TRUE(first.Request(VsClient::BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(TypedText(r), "1001 127.0.0.1 none");
    // The id belongs to the connection, not to the request.
    ASSERT_TRUE(first.Request(VsClient::BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(TypedText(r), "1001 127.0.0.1 none");
    ASSERT_TRUE(s.Connect(second));
    ASSERT_TRUE(second.Request(VsClient::BuildRequestFrame("WHO", 400, {}), r));
    EXPECT_EQ(TypedText(r), "1002 127.0.0.1 none");
}

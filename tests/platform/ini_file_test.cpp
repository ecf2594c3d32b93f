#include "platform/ini_file.h"

#include <gtest/gtest.h>

using Vs5Platform::IniFile;

TEST(IniFile, PrivateProfileSemantics) {
    IniFile ini = IniFile::Parse(
        "\xEF\xBB\xBF; comment\r\n"
        "[Server]\r\n"
        "  Port = 8080  \r\n"
        "port=1\r\n"
        "Name=\"  quoted  \"\r\n"
        "Empty=\r\n"
        "[server]\r\n"
        "Port=2\r\n"
        "Other=3\r\n"
        "[Image]\n"
        "Q=abc\n");
    EXPECT_EQ(ini.GetInt("SERVER", "PORT", 0), 8080);  // case-insensitive, first wins
    EXPECT_EQ(ini.GetString("Server", "Name", ""), "  quoted  ");
    EXPECT_EQ(ini.GetString("Server", "Empty", "def"), "");  // present but empty
    EXPECT_EQ(ini.GetString("Server", "Missing", "def"), "def");
    EXPECT_EQ(ini.GetInt("Server", "Other", 7), 7);             // a repeated section adds nothing
    EXPECT_EQ(ini.GetInt("Image", "Q", 5), 5);                  // not a number: default
    EXPECT_EQ(ini.GetString("Server", "Name", "", 5), "  qu");  // buffer of 5 holds 4
}

TEST(IniFile, IntegersReadLikeTheProfileFunctions) {
    EXPECT_EQ(Vs5Platform::ParseProfileInt("-12abc", 9), -12);
    EXPECT_EQ(Vs5Platform::ParseProfileInt("+7", 9), 7);
    EXPECT_EQ(Vs5Platform::ParseProfileInt("0x1F", 9), 31);
    EXPECT_EQ(Vs5Platform::ParseProfileInt("", 9), 9);
    EXPECT_EQ(Vs5Platform::ParseProfileInt("99999999999", 9), 2147483647);
}

TEST(IniFile, MissingFileIsEmpty) {
    IniFile ini = IniFile::Load("/nonexistent/vistrel5.ini");
    EXPECT_EQ(ini.GetInt("Server", "Port", 19985), 19985);
}

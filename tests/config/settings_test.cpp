#include "config/settings.h"

#include <gtest/gtest.h>

using Vs5Platform::IniFile;

TEST(Settings, DefaultsWithoutAnIniFile) {
    Settings s = Settings::Read(IniFile(), nullptr);
    EXPECT_EQ(s.port, 19985);
    EXPECT_EQ(s.accessPermit, "127.0.0.1;");
    EXPECT_TRUE(s.requestLogging);
    EXPECT_FALSE(s.logErrorsOnly);
    EXPECT_TRUE(s.useCache);
    EXPECT_EQ(s.keepLogDay, 30);
    EXPECT_EQ(s.cacheSubFolders, 8);
    EXPECT_EQ(s.maxCacheSize, 67108864);
    EXPECT_EQ(s.imageDefaultTarget, "jpg");
    EXPECT_EQ(s.imageTifTarget, "jpg");
    EXPECT_EQ(s.imageJpegQuality, 90);
    EXPECT_EQ(s.maxResizeWidth, 2048);
    EXPECT_EQ(s.maxResizeHeight, 2048);
    EXPECT_EQ(s.availableCommands, "*");
    EXPECT_EQ(s.persistMetadata, 0);
    EXPECT_EQ(s.recycleWebCapture, 100);
    EXPECT_FALSE(s.agentLogging);
    EXPECT_TRUE(s.defaultCommands.empty());
    EXPECT_TRUE(s.impersonations.empty());
}

TEST(Settings, ValuesAreNormalised) {
    IniFile ini = IniFile::Parse(
        "[Server]\nPort=1234\nMaxCacheSize=1\nRequestLogging=TRUE\nUseCache=yes\n"
        "[ImageProcessing]\nImageDefaultTarget=png\nImageJpegTarget=jpg\n"
        "AvailableCommands=Thumb,Resize\nPersistMetadata=True\n");
    Settings s = Settings::Read(ini, nullptr);
    EXPECT_EQ(s.port, 1234);
    EXPECT_EQ(s.maxCacheSize, 4194304);  // floor of 4 MiB
    EXPECT_TRUE(s.requestLogging);       // "true" in any case
    EXPECT_FALSE(s.useCache);            // anything else is false
    EXPECT_EQ(s.imageJpegTarget, "jpg");
    EXPECT_EQ(s.imagePngTarget, "png");  // per-format targets default to the default target
    EXPECT_EQ(s.availableCommands, ",thumb,resize");
    EXPECT_EQ(s.persistMetadata, 1);
    EXPECT_TRUE(s.IsCommandAvailable("thumb"));
    EXPECT_FALSE(s.IsCommandAvailable("crop"));

    EXPECT_EQ(Settings::Read(IniFile::Parse("[Server]\nMaxCacheSize=100\n"), nullptr).maxCacheSize,
              104857600);
    EXPECT_EQ(NormaliseAvailableCommands("*"), "*");
    EXPECT_EQ(NormaliseAvailableCommands(""), ",");
    Settings none =
        Settings::Read(IniFile::Parse("[ImageProcessing]\nAvailableCommands=\n"), nullptr);
    EXPECT_FALSE(none.IsCommandAvailable("thumb"));
}

TEST(Settings, KeyedListsKeepOrderAndSkipEmptyValues) {
    IniFile ini = IniFile::Parse(
        "[DefaultCommand]\nCommand0=Small;cmd=resize&w=100\nCommand2=Big\nCommand3=\n"
        "Command31=last;x=1;y=2\nCommand32=ignored;z\n"
        "[Impersonation]\nImpersonate1=Share;;\"bob s\";;\"p w;d\"\nImpersonate4=onlykey\n");
    Settings s = Settings::Read(ini, nullptr);
    ASSERT_EQ(s.defaultCommands.size(), 3u);
    EXPECT_EQ(s.defaultCommands[0].key, "small");
    EXPECT_EQ(s.defaultCommands[0].command, "cmd=resize&w=100");
    EXPECT_EQ(s.defaultCommands[1].key, "big");
    EXPECT_EQ(s.defaultCommands[1].command, "");
    EXPECT_EQ(s.defaultCommands[2].command, "x=1;y=2");  // everything after the first semicolon
    ASSERT_EQ(s.impersonations.size(), 2u);
    EXPECT_EQ(s.impersonations[0].key, "share");
    EXPECT_EQ(s.impersonations[0].user, "bob s");  // runs of separators count as one
    EXPECT_EQ(s.impersonations[0].password, "p w;d");
    EXPECT_EQ(s.impersonations[1].key, "onlykey");
    EXPECT_EQ(s.impersonations[1].user, "");
}

TEST(Settings, StartOnlyValuesSurviveAReload) {
    Settings first = Settings::Read(
        IniFile::Parse("[Server]\nPort=1000\nCacheSubFolders=3\nEngineWorkprocessCount=2\n"
                       "CachePath=/a\nKeepLogDay=5\n"),
        nullptr);
    Settings reloaded = Settings::Read(
        IniFile::Parse("[Server]\nPort=2000\nCacheSubFolders=9\nEngineWorkprocessCount=4\n"
                       "CachePath=/b\nKeepLogDay=6\n"),
        &first);
    EXPECT_EQ(reloaded.port, 1000);
    EXPECT_EQ(reloaded.cacheSubFolders, 3);
    EXPECT_EQ(reloaded.engineWorkprocessCount, 2);
    EXPECT_EQ(reloaded.cachePath, "/a");
    EXPECT_EQ(reloaded.keepLogDay, 6);  // an ordinary key does change
}

TEST(Settings, ValuesThatCannotBeUsedAreReplacedAndReported) {
    struct Case {
        std::string ini;
        int port, codePage, subFolders;
        std::string problem;  // expected in the lines for the system log; "" for none
    } cases[] = {
        {"Port=65535\nAnsiCodePage=65001\nCacheSubFolders=1024", 65535, 65001, 1024, ""},
        {"Port=99999", 19985, 1252, 8, "Port=99999 is out of range (1 to 65535); 19985 is used."},
        {"Port=0", 19985, 1252, 8, "Port=0 is out of range"},
        {"Port=-1", 19985, 1252, 8, "Port=-1 is out of range"},
        {"AnsiCodePage=500", 19985, 1252, 8,
         "AnsiCodePage=500 is not an ASCII-compatible code page; 1252 is used."},
        {"AnsiCodePage=1200", 19985, 1252, 8, "AnsiCodePage=1200 is not"},
        {"AnsiCodePage=123456", 19985, 1252, 8, "AnsiCodePage=123456 is not"},
        {"AnsiCodePage=949", 19985, 949, 8, ""},
        {"CacheSubFolders=2147483647", 19985, 1252, 1024,
         "CacheSubFolders=2147483647 is out of range (-2147483648 to 1024); 1024 is used."},
        {"MaxConnections=0\nMaxBufferedRequests=-5", 19985, 1252, 8, "MaxConnections=0 is out"},
    };
    for (const Case& c : cases) {
        Settings s = Settings::Read(IniFile::Parse("[Server]\n" + c.ini + "\n"), nullptr);
        EXPECT_EQ(s.port, c.port) << c.ini;
        EXPECT_EQ(s.ansiCodePage, c.codePage) << c.ini;
        EXPECT_EQ(s.cacheSubFolders, c.subFolders) << c.ini;
        std::string lines;
        for (const std::string& line : s.problems)
            lines += line;
        if (c.problem.empty())
            EXPECT_EQ(lines, "") << c.ini;
        else
            EXPECT_NE(lines.find(c.problem), std::string::npos) << c.ini << ": " << lines;
    }
    Settings limits = Settings::Read(IniFile::Parse("[Server]\nMaxConnections=0\n"), nullptr);
    EXPECT_EQ(limits.maxConnections, 4096);
    EXPECT_EQ(limits.maxBufferedRequests, 512);
}

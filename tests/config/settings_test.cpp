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
        "[Server]\nPort=85521\nMaxCacheSize=1\nRequestLogging=TRUE\nUseCache=yes\n"
        "[ImageProcessing]\nImageDefaultTarget=png\nImageJpegTarget=jpg\n"
        "AvailableCommands=Thumb,Resize\nPersistMetadata=True\n");
    Settings s = Settings::Read(ini, nullptr);
    EXPECT_EQ(s.port, 85521 % 65536);
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

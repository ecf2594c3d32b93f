#include "host/cmd_parameters.h"

#include <gtest/gtest.h>

TEST(CmdParameters, SwitchesValuesAndFailures) {
    CCmdParameters empty;
    EXPECT_TRUE(empty.ParseLine(""));
    EXPECT_EQ(empty.count(), 0);

    CCmdParameters p;
    EXPECT_TRUE(p.ParseLine("-install \"a value\" -silent\t-remove"));
    EXPECT_TRUE(p.Has("-install"));
    EXPECT_EQ(p.Value("-install"), "a value");
    EXPECT_TRUE(p.Has("-silent"));
    EXPECT_FALSE(p.Value("-silent").has_value());
    EXPECT_FALSE(p.Has("-INSTALL"));  // exact and case-sensitive
    EXPECT_EQ(p.count(), 3);

    EXPECT_FALSE(CCmdParameters().ParseLine("-debug -debug"));        // duplicate switch
    EXPECT_FALSE(CCmdParameters().ParseLine("word -install"));        // value without a switch
    EXPECT_FALSE(CCmdParameters().ParseLine("-install one two"));     // a second value in a row
    EXPECT_TRUE(CCmdParameters().ParseLine("-install word -other"));  // unknown switches are kept
}

TEST(CmdParameters, TheSwitchTableNeverOverflows) {
    std::vector<std::string> tokens;
    for (int i = 0; i < 64; ++i)
        tokens.push_back("-s" + std::to_string(i));
    CCmdParameters full;
    EXPECT_TRUE(full.Parse(tokens));
    EXPECT_EQ(full.count(), 64);
    tokens.push_back("-s64");
    CCmdParameters over;
    EXPECT_FALSE(over.Parse(tokens));
    EXPECT_EQ(over.count(), 64);
}

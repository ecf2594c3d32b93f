#include "host/cmd_parameters.h"

#include <gtest/gtest.h>

TEST(CmdParameters, SwitchesValuesAndFailures) {
    CCmdParameters p;
    EXPECT_TRUE(p.ParseLine("-install \"a value\" -silent\t-remove"));
    EXPECT_EQ(p.count(), 3);
    EXPECT_EQ(p.Value("-install"), "a value");
    EXPECT_TRUE(p.Has("-silent") && !p.Value("-silent").has_value());
    EXPECT_FALSE(p.Has("-INSTALL"));  // exact and case-sensitive
    for (auto [line, ok] : {std::pair{"", true},
                            {"-install word -other", true},  // unknown switches are kept
                            {"-debug -debug", false},        // duplicate switch
                            {"word -install", false},        // value without a switch
                            {"-install one two", false}})    // a second value in a row
        EXPECT_EQ(CCmdParameters().ParseLine(line), ok) << line;
    // The switch table holds 64 and never overflows.
    std::vector<std::string> tokens(65);
    for (int i = 0; i < 65; ++i)
        tokens[i] = "-s" + std::to_string(i);
    CCmdParameters over;
    EXPECT_TRUE(!over.Parse(tokens) && over.count() == 64);
    tokens.pop_back();
    EXPECT_TRUE(CCmdParameters().Parse(tokens));
}

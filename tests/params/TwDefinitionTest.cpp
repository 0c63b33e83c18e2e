#include "params/tw/TwDefinition.h"
#include "params/tw/Tw.h"

#include <gtest/gtest.h>

namespace mirvo::params::tw {
namespace {

TEST(TwDefinition, ReadsABarDefinitionWithQuotedValues)
{
    const ParseResult result = parseDefinition("`Spectrum` size='225 200' color='76 76 76' alpha=102");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.statements.size(), 1u);
    const Statement& statement = result.statements[0];
    EXPECT_EQ(statement.barName, "Spectrum");
    EXPECT_TRUE(statement.varName.empty());
    ASSERT_EQ(statement.attributes.size(), 3u);
    EXPECT_EQ(statement.attributes[0].name, "size");
    EXPECT_EQ(statement.attributes[0].value, "225 200");
    EXPECT_EQ(statement.attributes[1].value, "76 76 76");
    EXPECT_EQ(statement.attributes[2].name, "alpha");
    EXPECT_EQ(statement.attributes[2].value, "102");
}

TEST(TwDefinition, KeepsSpacesInQuotedNamesAndSplitsStatementsAtTheNextTarget)
{
    const ParseResult result =
        parseDefinition(" `My Bar`/`Min Radius` min=1 label=\"Radius (min)\"\n Other visible=false");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.statements.size(), 2u);
    EXPECT_EQ(result.statements[0].barName, "My Bar");
    EXPECT_EQ(result.statements[0].varName, "Min Radius");
    EXPECT_EQ(result.statements[0].attributes[1].value, "Radius (min)");
    EXPECT_EQ(result.statements[1].barName, "Other");
    EXPECT_EQ(result.statements[1].attributes[0].name, "visible");
}

TEST(TwDefinition, AllowsSpaceAfterTheEqualsSign)
{
    const ParseResult result = parseDefinition(" GLOBAL fontscaling= 2");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.statements.size(), 1u);
    EXPECT_EQ(result.statements[0].barName, "GLOBAL");
    EXPECT_EQ(result.statements[0].attributes[0].value, "2");
}

TEST(TwDefinition, NamesTheOffendingTextOfABrokenDefinition)
{
    ParseResult result = parseDefinition("`Spectrum` size='225 200");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.offending, "'225 200");

    result = parseDefinition("`Spectrum size=1");
    EXPECT_FALSE(result.ok());

    result = parseDefinition("Spectrum alpha=");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.offending, "alpha=");

    result = parseDefinition("=3");
    EXPECT_FALSE(result.ok());
}

TEST(TwDefinition, ReadsAVariableOptionString)
{
    ParseResult result = parseAttributes("min=0.0 max=1.0 step=0.05 keyIncr=i keyDecr=k");
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.statements[0].attributes.size(), 5u);
    EXPECT_EQ(result.statements[0].attributes[3].name, "keyIncr");
    EXPECT_EQ(result.statements[0].attributes[3].value, "i");

    EXPECT_TRUE(parseAttributes("").ok());
    result = parseAttributes("min=1 junk");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.offending, "junk");
}

TEST(TwDefinition, ReadsKeyShortcutsWithTheirModifiers)
{
    EXPECT_EQ(parseShortcut("q"), (Shortcut{'q', 0}));
    EXPECT_EQ(parseShortcut("Q"), (Shortcut{'Q', 0}));
    EXPECT_EQ(parseShortcut("SHIFT+q"), (Shortcut{'Q', 0})) << "Shift and a letter is the capital";
    EXPECT_EQ(parseShortcut("ctrl+alt+F3"), (Shortcut{TW_KEY_F1 + 2, TW_KMOD_CTRL | TW_KMOD_ALT}));
    EXPECT_EQ(parseShortcut("SHIFT+LEFT"), (Shortcut{TW_KEY_LEFT, TW_KMOD_SHIFT}));
    EXPECT_EQ(parseShortcut("CTRL++"), (Shortcut{'+', TW_KMOD_CTRL}));
    EXPECT_FALSE(parseShortcut("BOGUS+q"));
    EXPECT_FALSE(parseShortcut("F16"));
    EXPECT_FALSE(parseShortcut(""));

    EXPECT_EQ(normalizeShortcut('q', TW_KMOD_SHIFT), (Shortcut{'Q', 0}));
    EXPECT_EQ(normalizeShortcut('!', TW_KMOD_SHIFT), (Shortcut{'!', 0}));
}

TEST(TwDefinition, ReadsNumbersFlagsAndIntegerLists)
{
    EXPECT_EQ(parseNumber("-180.000000"), -180.0);
    EXPECT_EQ(parseNumber("1e3"), 1000.0);
    EXPECT_FALSE(parseNumber("1.0x"));
    EXPECT_EQ(parseBool("TRUE"), true);
    EXPECT_EQ(parseBool("0"), false);
    EXPECT_FALSE(parseBool("yes please"));
    EXPECT_EQ(parseInts(" 225  200 ", 2), (std::vector<int>{225, 200}));
    EXPECT_FALSE(parseInts("225", 2));
    EXPECT_FALSE(parseInts("225 2x0", 2));
}

} // namespace
} // namespace mirvo::params::tw

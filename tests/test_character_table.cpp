// SPDX-License-Identifier: MIT
// Tests of the BASIC code tables: the text of each code outside and inside strings, and the
// answers of lookupToken that drive the line encoder.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tape/character_table.h"
#include "tape/tarqo_bin_file.h"
#include "tests/support.h"

namespace {

struct Tables {
    CodeTable plain;
    CodeTable quoted;
    Tables() { buildCodeTables(plain, quoted); }
};

std::string bars(const std::string& inner) {
    return "|" + inner + "|";
}

TEST(CharacterTable, KeywordsAreBarWrappedOnlyInsideStrings) {
    const Tables tables;
    EXPECT_EQ(tables.plain[0x74], "PRINT ");
    EXPECT_EQ(tables.quoted[0x74], "|PRINT |");
    EXPECT_EQ(tables.plain[0x73], "INPUT");
    EXPECT_EQ(tables.quoted[0x73], "|INPUT|");
    EXPECT_EQ(tables.plain[0x68], "LIST ");
    EXPECT_EQ(tables.plain[0x77], "TO ");
    EXPECT_EQ(tables.quoted[0x77], "|TO |");
    // Special characters read the same in both tables.
    EXPECT_EQ(tables.plain[0x5E], "|up_arrow|");
    EXPECT_EQ(tables.quoted[0x5E], "|up_arrow|");
    EXPECT_EQ(tables.plain[0x5C], "\\");
    EXPECT_EQ(tables.quoted[0x62], "|*|");
    EXPECT_EQ(tables.plain[0x67], "|graphic_4|");
}

TEST(CharacterTable, CodesWithoutFormAreNumbersBetweenBars) {
    const Tables tables;
    EXPECT_EQ(tables.plain[0x41], "A");
    EXPECT_EQ(tables.plain[0x20], " ");
    EXPECT_EQ(tables.plain[0x5A], "Z");
    EXPECT_EQ(tables.plain[0x7C], "|124|");
    EXPECT_EQ(tables.plain[0], "|0|");
    EXPECT_EQ(tables.quoted[0], "|0|");
    EXPECT_EQ(tables.plain[30], "|30|");
    EXPECT_EQ(tables.plain[31], "|erase|");
    EXPECT_EQ(tables.quoted[31], "|erase|");
    EXPECT_EQ(tables.plain[120], "|120|");
    EXPECT_EQ(tables.plain[0xF8], "|248|");
    EXPECT_EQ(tables.quoted[200], "|200|");
    EXPECT_EQ(tables.plain[255], "|255|");
}

TEST(CharacterTable, NoTextIsEmptyOrALoneLowerCaseLetterOrBar) {
    const Tables tables;
    for (int code = 0; code < 256; ++code) {
        for (const CodeTable* table : {&tables.plain, &tables.quoted}) {
            const std::string& text = (*table)[static_cast<std::size_t>(code)];
            ASSERT_FALSE(text.empty()) << code;
            EXPECT_LE(text.size(), 39u) << code;
            if (text.size() == 1) {
                EXPECT_FALSE(text[0] >= 'a' && text[0] <= 'z') << code;
                EXPECT_LT(static_cast<unsigned char>(text[0]), 123) << code;
            }
        }
    }
}

TEST(CharacterTable, TapeImageBuildsItsTablesWhenConstructed) {
    const Tables tables;
    const TarqoBinFile tape;
    EXPECT_EQ(tape.getPlainTable(), tables.plain);
    EXPECT_EQ(tape.getQuotedTable(), tables.quoted);
    EXPECT_EQ(tape.getQuotedTable()[0x6F], bars("GOSUB "));
}

TEST(LookupToken, PrefixesOfSeveralFormsAreUndecided) {
    const Tables tables;
    EXPECT_LT(lookupToken("P", tables.plain), 0);   // P and PRINT
    EXPECT_LT(lookupToken("R", tables.plain), 0);   // R, RUN, RETURN, RND
    EXPECT_LT(lookupToken("IN", tables.plain), 0);  // only INPUT, which is longer
    EXPECT_LT(lookupToken("T", tables.plain), 0);   // T and TO
    EXPECT_LT(lookupToken("|", tables.plain), 0);
    EXPECT_LT(lookupToken("|1", tables.plain), 0);  // |1| and |12|, |120| ...
    EXPECT_LT(lookupToken("PRINT", tables.plain), 0);
}

TEST(LookupToken, CompleteUniqueFormsGiveTheirCode) {
    const Tables tables;
    EXPECT_EQ(lookupToken("PRINT ", tables.plain), 0x74);
    EXPECT_EQ(lookupToken("INPUT", tables.plain), 0x73);
    EXPECT_EQ(lookupToken("TO ", tables.plain), 0x77);
    EXPECT_EQ(lookupToken("|1|", tables.plain), 1);
    EXPECT_EQ(lookupToken("|200|", tables.quoted), 200);
    EXPECT_EQ(lookupToken("|erase|", tables.plain), 0x1F);
    EXPECT_EQ(lookupToken("|erase|", tables.quoted), 0x1F);
    EXPECT_EQ(lookupToken("A", tables.plain), 0x41);
    // Inside strings the keywords begin with a bar, so letters stand alone.
    EXPECT_EQ(lookupToken("P", tables.quoted), 0x50);
    EXPECT_EQ(lookupToken("|PRINT |", tables.quoted), 0x74);
}

TEST(LookupToken, NothingMatchesGivesZero) {
    const Tables tables;
    EXPECT_EQ(lookupToken("|0|", tables.plain), 0);  // only code 0, which cannot be answered
    EXPECT_EQ(lookupToken("a", tables.plain), 0);
    EXPECT_EQ(lookupToken("a", tables.quoted), 0);
    EXPECT_EQ(lookupToken("|31", tables.plain), 0);  // 31 is written |erase|
    EXPECT_EQ(lookupToken("PRINTX", tables.plain), 0);
    EXPECT_EQ(lookupToken("|PRINT |", tables.plain), 0);
    EXPECT_EQ(lookupToken("PRINT ", tables.quoted), 0);
    EXPECT_EQ(lookupToken("|right_arrow|X", tables.plain), 0);  // longer than every form
}

}  // namespace

namespace {

// The answer of lookupToken by its definition: a scan of every form of the table.
int scanAllForms(const std::string& token, const CodeTable& table) {
    int matches = 0;
    int lastMatch = 0;
    for (std::size_t code = 0; code < 256; ++code) {
        const std::string& text = table[code];
        if (text.compare(0, token.size(), token) == 0 && text.size() >= token.size()) {
            ++matches;
            lastMatch = static_cast<int>(code);
        }
    }
    if (matches > 1 || (matches == 1 && table[static_cast<std::size_t>(lastMatch)] != token)) {
        return -1;
    }
    return lastMatch;
}

}  // namespace

TEST(LookupToken, AnswersAsAScanOfEveryFormForEveryPrefixAndItsExtensions) {
    const Tables tables;
    // Every prefix of every form, alone and followed by any one character of any form (or a
    // few that no form holds), and every pair of such characters.
    std::set<std::string> tokens;
    std::set<char> characters = {'a', '~', '\x7f', '\x80', '\xff', '\t'};
    for (const CodeTable* table : {&tables.plain, &tables.quoted}) {
        for (const std::string& text : *table) {
            characters.insert(text.begin(), text.end());
            for (std::size_t length = 0; length <= text.size(); ++length) {
                tokens.insert(text.substr(0, length));
            }
        }
    }
    const std::set<std::string> prefixes = tokens;
    for (const std::string& prefix : prefixes) {
        for (const char c : characters) {
            tokens.insert(prefix + c);
        }
    }
    for (const char a : characters) {
        for (const char b : characters) {
            tokens.insert(std::string{a, b});
        }
    }
    ASSERT_GT(tokens.size(), 20000u);
    int undecided = 0;
    int found = 0;
    for (const std::string& token : tokens) {
        for (const CodeTable* table : {&tables.plain, &tables.quoted}) {
            const int expected = scanAllForms(token, *table);
            ASSERT_EQ(lookupToken(token, *table), expected) << '"' << token << '"';
            undecided += expected < 0 ? 1 : 0;
            found += expected > 0 ? 1 : 0;
        }
    }
    // All three kinds of answer occur.
    EXPECT_GT(undecided, 500);
    EXPECT_GT(found, 400);
}

TEST(LookupToken, TablesOfOtherTextsAreIndexedToo) {
    CodeTable::Texts texts;
    texts[1] = "AB";
    texts[2] = "ABC";
    texts[3] = "B";
    texts[4] = "B";
    const CodeTable table(texts);
    EXPECT_EQ(lookupToken("ABC", table), 2);
    EXPECT_LT(lookupToken("AB", table), 0);  // AB and ABC
    EXPECT_LT(lookupToken("B", table), 0);   // two codes with one text
    EXPECT_EQ(lookupToken("C", table), 0);
    EXPECT_LT(lookupToken("", table), 0);  // the empty texts of every other code
}

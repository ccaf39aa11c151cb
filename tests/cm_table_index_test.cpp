// The table index: tokens, numbers, name lists and the choice of a line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cm/cm_context.h"
#include "cm/index_text.h"
#include "cm/table_index.h"
#include "frame/workers.h"
#include "support/cm_fixtures.h"
#include "support/fault_memory.h"

namespace inkdot {
namespace {

using test::IndexLine;
using test::IndexText;

Token tokenOf(const char* s) {
    return Token{reinterpret_cast<const uint8_t*>(s), std::strlen(s)};
}

TEST(IndexTokens, Numbers) {
    struct Case {
        const char* text;
        int32_t value;
    };
    for (Case c : {Case{"0", 0}, Case{"", 0}, Case{"1200", 1200}, Case{"-7", -7}, Case{"1-2", -12},
                   Case{"12-", -12}, Case{"--3", -3}, Case{"1a", 59}, Case{"4294967297", 1}}) {
        EXPECT_EQ(tokenNumber(tokenOf(c.text)), c.value) << c.text;
    }
}

TEST(IndexTokens, LinesAndTextEnds) {
    const char text[] =
        " \tone\ttwo  three\r\r\n\n\nfour\n\x1A"
        "five";
    TextCursor cursor(reinterpret_cast<const uint8_t*>(text), sizeof text);
    EXPECT_TRUE(cursor.token() == tokenOf("one"));
    EXPECT_TRUE(cursor.token() == tokenOf("two"));
    EXPECT_TRUE(cursor.token() == tokenOf("three"));
    EXPECT_TRUE(cursor.token().empty());
    EXPECT_TRUE(cursor.token().empty());  // the line end stays put
    cursor.skipLine();                    // the whole run of CR and LF
    EXPECT_TRUE(cursor.token() == tokenOf("four"));
    cursor.skipLine();
    EXPECT_TRUE(cursor.atTextEnd());
    EXPECT_TRUE(cursor.token().empty());
    cursor.skipLine();
    EXPECT_TRUE(cursor.atTextEnd());
    EXPECT_FALSE(cursor.findMarker());

    // A length ends the text as NUL does, mid-token included.
    const uint8_t bounded[] = {'a', 'b', 'c', 'd'};
    TextCursor short3(bounded, 3);
    EXPECT_TRUE(short3.token() == tokenOf("abc"));
    EXPECT_TRUE(short3.atTextEnd());
}

class TableIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetMemory();
        base = test::liveBlocks();
        select.keyA = 3;  // Plain
        select.pixelLayout = 1;
        select.numberA = 720;
        select.numberB = 1440;
        select.numberD = 1;
        params.keyB = 1;       // Vivid
        params.colorMode = 2;  // keyC 4: Max
        params.numberC = 7;
    }
    void TearDown() override {
        if (cm != nullptr) {
            EXPECT_EQ(CmDelete(cm), INKDOT_OK);
        }
        test::resetMemory();
        EXPECT_EQ(test::liveBlocks(), base);
    }

    // The line that matches the keys above.
    static IndexLine matching(int32_t resource) {
        return IndexLine{resource, 310, "Plain", "Vivid", 720, 1440, "Max", 7, 1};
    }

    // Parses through the object directly: the answer, or -100 - result.
    int32_t choose(const std::string& text, size_t length = kUnbounded) {
        if (cm == nullptr) {
            int32_t next = 0;
            EXPECT_EQ(CmNew(&params, &select, 0, &next, &cm), INKDOT_OK);
        }
        int32_t answer = -1;
        int32_t result =
            chooseFromIndex(*cm, reinterpret_cast<const uint8_t*>(text.c_str()), length, &answer);
        return result == INKDOT_OK ? answer : -100 - result;
    }
    int32_t choose(const IndexText& index) { return choose(index.str()); }

    CmParams params{};
    CmSelect select{};
    CmContext* cm = nullptr;
    int64_t base = 0;
};

TEST_F(TableIndexTest, LastMatchingLineWinsAndIsKept) {
    IndexText index;
    index.line(matching(2100))
        .line({2200, 320, "Plain", "Vivid", 720, 1440, "Max", 8, 1})  // numberC differs
        .line({2300, 0, "Plain", "Vivid", 720, 1440, "Max", 7, 1})
        .line({2400, 330, "Photo", "Vivid", 720, 1440, "Max", 7, 1});  // keyA differs
    EXPECT_EQ(choose(index), 2300);
    EXPECT_EQ(cm->chosenResource, 2300);
    EXPECT_EQ(cm->chosenClass, -1);  // column 2's 0
    EXPECT_EQ(cm->indexVersion, 300);
}

// Each key of the object must equal its column; one differing key and the
// line is passed over.
TEST_F(TableIndexTest, EveryKeyCounts) {
    struct Case {
        const char* name;
        void (*change)(IndexLine&);
    };
    for (Case c : {Case{"keyA", [](IndexLine& l) { l.nameA = "Photo"; }},
                   Case{"keyB", [](IndexLine& l) { l.nameB = "Natural"; }},
                   Case{"keyC", [](IndexLine& l) { l.nameC = "High"; }},
                   Case{"numberA", [](IndexLine& l) { l.numberA = 360; }},
                   Case{"numberB", [](IndexLine& l) { l.numberB = 720; }},
                   Case{"numberC", [](IndexLine& l) { l.numberC = 6; }},
                   Case{"numberD", [](IndexLine& l) { l.numberD = 2; }}}) {
        IndexLine other = matching(5000);
        c.change(other);
        EXPECT_EQ(choose(IndexText{}.line(matching(4000)).line(other)), 4000) << c.name;
    }
}

TEST_F(TableIndexTest, VersionDecidesWhetherColumnNineCounts) {
    struct Case {
        std::string version;
        int16_t indexVersion;
        int32_t answer;  // the line's numberD is 2, the object's 1
    };
    for (const Case& c :
         {Case{"300", 300, 0}, Case{"310", 310, 0}, Case{" 300", 200, 4000}, Case{"400", 200, 4000},
          Case{"", 200, 4000}, Case{"3", 3, 4000}, Case{"3-00", -300, 4000}}) {
        IndexLine line = matching(4000);
        line.numberD = 2;
        IndexText index;
        index.version = c.version;
        EXPECT_EQ(choose(index.line(line)), c.answer) << '"' << c.version << '"';
        EXPECT_EQ(cm->indexVersion, c.indexVersion) << '"' << c.version << '"';
    }
}

TEST_F(TableIndexTest, NameListsGiveTheKeys) {
    struct Case {
        const char* name;
        std::string base;
        std::vector<std::string> listB;
        std::string nameB;
        int32_t keyB;
    };
    const int32_t glossy = tokenNumber(tokenOf("Glossy"));
    for (const Case& c : {
             Case{"position", "", {"Pro", "Vivid"}, "Vivid", 1},
             Case{"base 100", "100", {"Auto", "Vivid"}, "Vivid", 101},
             Case{"P-name is the first name", "", {"Pro", "Vivid"}, "Vivid", 1},
             Case{"other first name is the base", "", {"Glossy", "Vivid"}, "Vivid", glossy},
             Case{"...and is no name", "", {"Glossy", "Vivid"}, "Glossy", 0},
             Case{"later duplicate wins", "", {"Pro", "Vivid", "Auto", "Vivid"}, "Vivid", 3},
             Case{"missing name is 0 without base", "100", {"Auto"}, "Vivid", 0},
             Case{"case counts", "", {"Pro", "vivid", "Vivid"}, "vivid", 1},
             Case{"prefix is not the name", "", {"Pro", "Viv", "Vivid"}, "Vivid", 2},
         }) {
        params.keyB = c.keyB;
        if (cm != nullptr) cm->params.keyB = c.keyB;
        IndexText index;
        index.listBBase = c.base;
        index.listB = c.listB;
        IndexLine line = matching(4000);
        line.nameB = c.nameB;
        EXPECT_EQ(choose(index.line(line)), 4000) << c.name;
    }
}

// Names of any length compare whole, without touching anything but the text.
TEST_F(TableIndexTest, LongNamesAndListsAreHarmless) {
    std::string longA(49, 'x'), longB = longA + "y";
    IndexText index;
    index.listB = {"Pro", longB, longA};
    for (int i = 0; i < 100; ++i) index.listA.push_back("Extra" + std::to_string(i));
    index.listA.push_back("Plain");  // position 4 + 100
    IndexLine line = matching(4000);
    line.nameB = longB;  // position 1
    line.nameA = "Plain";
    EXPECT_EQ(choose(index.line(line)), 0);  // the later "Plain", at 104, counts
    cm->select.keyA = 104;
    EXPECT_EQ(choose(index), 4000);
}

TEST_F(TableIndexTest, TextEndsAndLineEnds) {
    std::string text = IndexText{}.line(matching(4000)).str();
    // Bare CR, bare LF and blank lines all end lines.
    std::string crs = text, lfs = text;
    for (size_t at; (at = crs.find("\r\n")) != std::string::npos;) crs.replace(at, 2, "\r\r\r");
    for (size_t at; (at = lfs.find("\r\n")) != std::string::npos;) lfs.replace(at, 2, "\n\n");
    EXPECT_EQ(choose(crs), 4000);
    EXPECT_EQ(choose(lfs), 4000);

    // A line after 0x1A or NUL, or past the given length, is not seen.
    const std::string marker = "/end";
    std::string noEnd = IndexText{}.str();
    size_t entryAt = noEnd.find(marker);
    std::string line = "4000\t1\tPlain\tVivid\t720\t1440\tMax\t7\t1\r\n";
    for (char stop : {'\x1A', '\0'}) {
        std::string cut = noEnd;
        cut.insert(entryAt, std::string(1, stop) + line);
        EXPECT_EQ(choose(cut), 0);
    }
    std::string whole = noEnd;
    whole.insert(entryAt, line);
    EXPECT_EQ(choose(whole), 4000);
    EXPECT_EQ(choose(whole, entryAt + line.size() - 3), 0);  // cut in the line: "4000 ... 7"
    EXPECT_EQ(choose(whole, entryAt + 20), 0);
}

TEST_F(TableIndexTest, MalformedTextChoosesNothing) {
    for (const std::string& text :
         {std::string(""), std::string("no marker at all\r\n4000\t1\tPlain"), std::string("//300"),
          std::string("//300\r\nheader\r\n"),
          std::string("//\r\nh\r\n4000\t1\tPlain\tVivid\t720\t1440\tMax\t7\t1")}) {
        EXPECT_EQ(choose(text), 0) << text;
    }
}

TEST_F(TableIndexTest, AtMostFiveHundredEntryLines) {
    IndexText index;
    for (int i = 0; i < kMaxIndexEntries - 1; ++i)
        index.line({100 + i, 1, "Gloss", "Auto", 1, 1, "Off", 1, 1});
    index.line(matching(4000));
    EXPECT_EQ(choose(index), 4000);
    index.line({9, 1, "Gloss", "Auto", 1, 1, "Off", 1, 1});
    EXPECT_EQ(choose(index), -100 - INKDOT_SEQUENCE_ENDED);
}

}  // namespace
}  // namespace inkdot

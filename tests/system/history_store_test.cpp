// The backlog store and its play-data section.
#include "system/history_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<classHistoryLog::Entry>;

std::vector<u8> Bytes(const std::string& s) {
    return std::vector<u8>(s.begin(), s.end());
}

TEST(HistoryStore, LinesGoToTheNewestEntryAndClearEmpties) {
    classHistoryLog log;
    log.AddLine("lost");  // no entry to append to
    EXPECT_EQ(log.Size(), 0u);
    log.NewEntry();
    log.AddLine("first");
    log.NewEntry();
    log.AddLine("second");
    log.AddLine("!<voicev01.ogg");
    EXPECT_EQ(log.Snapshot(), (Entries{{"first"}, {"second", "!<voicev01.ogg"}}));
    log.Clear();
    EXPECT_EQ(log.Size(), 0u);
}

TEST(HistoryStore, SectionHoldsEachStringWithItsZeroAndAZeroPerEntry) {
    classHistoryLog log;
    log.Replace(Entries{{"a", "!<voicev1"}, {}, {"bc"}});
    std::vector<u8> out;
    SerializeBacklog(log, out);
    EXPECT_EQ(out, Bytes(std::string("a\0!<voicev1\0\0" "\0" "bc\0\0", 18)));

    std::vector<u8> empty;
    SerializeBacklog(classHistoryLog(), empty);
    EXPECT_TRUE(empty.empty());
}

TEST(HistoryStore, ReadingGivesBackExactlyTheEntriesWritten) {
    // Two entries come back as two: a save and load adds no blank page.
    for (const Entries& entries : {Entries{{"one", "two"}, {"three"}}, Entries{{}, {"x"}, {}}, Entries{}}) {
        classHistoryLog log;
        log.Replace(entries);
        std::vector<u8> bytes;
        SerializeBacklog(log, bytes);
        classHistoryLog back;
        back.AddLine("stale");
        DeserializeBacklog(back, bytes.data(), bytes.size());
        EXPECT_EQ(back.Snapshot(), entries);
    }
}

TEST(HistoryStore, AnEmptyLineNeverSplitsAPageInASave) {
    // Lines as the text commands add them: the page that was shown is the
    // page that a save and load give back.
    classHistoryLog log;
    log.NewEntry();
    for (const std::string& line : std::vector<std::string>{"a", "", std::string("\0x", 2), "b"})
        log.AddLine(line);
    log.NewEntry();
    log.AddLine("");
    const Entries shown{{"a", "b"}, {}};
    EXPECT_EQ(log.Snapshot(), shown);
    std::vector<u8> bytes;
    SerializeBacklog(log, bytes);
    EXPECT_EQ(bytes, Bytes(std::string("a\0b\0\0\0", 6)));
    classHistoryLog back;
    DeserializeBacklog(back, bytes.data(), bytes.size());
    EXPECT_EQ(back.Snapshot(), shown);
    // A store filled by other hands still writes no lone zero inside a page.
    log.Replace(Entries{{"a", "", "b"}});
    bytes.clear();
    SerializeBacklog(log, bytes);
    EXPECT_EQ(bytes, Bytes(std::string("a\0b\0\0", 5)));
}

TEST(HistoryStore, OnlyASectionOfEndedStringsAndClosedEntriesIsWhole) {
    struct Case {
        const char* name;
        std::string bytes;
        bool whole;
        std::size_t start = 0;  // the section begins there
    };
    const Case cases[] = {
        {"one empty page", std::string("x\0", 2), true, 1},
        {"a page of two lines", std::string("a\0bc\0\0", 7), true},
        {"a page, then an empty one", std::string("a\0\0\0", 4), true},
        {"nothing", "", false},
        {"a last line without its zero", std::string("a\0\0b", 4), false},
        {"a last page not closed", std::string("a\0\0b\0", 5), false},
        {"an empty page, then one not closed", std::string("\0b\0", 3), false},
    };
    for (const Case& c : cases) {
        const std::vector<u8> bytes = Bytes(c.bytes);
        EXPECT_EQ(IsBacklogSectionWhole(bytes.data() + c.start, bytes.size() - c.start), c.whole) << c.name;
    }
}

TEST(HistoryStore, CutSectionsStayInsideTheirBytes) {
    classHistoryLog log;
    // The last string has no zero: it ends at the section's end and its
    // entry is kept.
    const std::vector<u8> cut = Bytes(std::string("a\0\0bc", 5));
    DeserializeBacklog(log, cut.data(), cut.size());
    EXPECT_EQ(log.Snapshot(), (Entries{{"a"}, {"bc"}}));
    // The size given, not the zero beyond it, ends the section.
    const std::vector<u8> longer = Bytes(std::string("xyz\0", 4));
    DeserializeBacklog(log, longer.data(), 2);
    EXPECT_EQ(log.Snapshot(), (Entries{{"xy"}}));
    DeserializeBacklog(log, nullptr, 0);
    EXPECT_EQ(log.Size(), 0u);
}

}  // namespace

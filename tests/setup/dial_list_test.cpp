// Phone list: edit operations, the ".lst" text byte for byte through real files, the line
// reader's rules, and damaged files.
#include "dial_list_support.h"

#include "framework/byte_stream.h"
#include "framework/doc_template.h"
#include "setup/dial_list.h"
#include "setup/dial_list_format.h"
#include "setup/library_strings.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/pty_pair.h"
#include "tests/support/xmodem_sender.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

using dial_test::Entry;
using dial_test::ListOf;
using dial_test::NewList;

std::string StoreText(CDocDialList& list) {
    const auto bytes = tolvan::test::StoredBytes([&](tfw::CArchive& ar) { list.Serialize(ar); });
    return std::string(bytes.begin(), bytes.end());
}

std::unique_ptr<CDocDialList> LoadText(const std::string& text) {
    auto list = NewList();
    EXPECT_TRUE(tolvan::test::LoadBytes(tolvan::test::TextBytes(text),
                                        [&](tfw::CArchive& ar) { list->Serialize(ar); }));
    return list;
}

std::vector<std::string> Comments(const CDocDialList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetListSize(); ++i) out.push_back(list.GetNode(i)->strComment);
    return out;
}

std::string ReadFile(const std::string& path) {
    const std::vector<std::uint8_t> bytes = tolvan::test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(DialList, EditsCopyEntriesAndMarkTheListModified) {
    auto list = NewList();
    EXPECT_FALSE(list->IsModified());
    tagDialEntry e = Entry("Office", "123");
    list->AddNode(&e);
    EXPECT_TRUE(list->IsModified());
    e.strComment = "changed";  // the list holds its own copy
    EXPECT_EQ(list->GetNode(0)->strComment, "Office");

    tagDialEntry home = Entry("Home", "456", 19200, 'E', 7, 2, 'H');
    list->InsertNode(0, &home);
    list->InsertNode(2, &e);  // size: appends
    list->InsertNode(4, &e);  // beyond size: ignored
    list->InsertNode(-1, &e);
    EXPECT_EQ(Comments(*list), (std::vector<std::string>{"Home", "Office", "changed"}));

    const tagDialEntry* kept = list->GetNode(1);
    list->SetNode(2, &home);
    EXPECT_EQ(*list->GetNode(2), home);
    EXPECT_EQ(list->GetNode(1), kept);  // other entries stay where they were
    list->SetNode(3, &e);               // ignored
    EXPECT_EQ(list->GetNode(3), nullptr);
    EXPECT_EQ(list->GetNode(-1), nullptr);
    list->AddNode(nullptr);
    EXPECT_EQ(list->GetListSize(), 3);
}

TEST(DialList, DeleteTakesPositionsAsBeforeTheCallInAnyOrder) {
    auto list = NewList();
    for (const char* c : {"a", "b", "c", "d"}) {
        tagDialEntry e = Entry(c, "1");
        list->AddNode(&e);
    }
    const tagDialEntry* d = list->GetNode(3);
    list->SetModifiedFlag(false);
    int positions[] = {2, 1, 2, 9, -3};  // repeated and out-of-range positions included
    list->DeleteNode(5, positions);
    EXPECT_EQ(Comments(*list), (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(list->GetNode(1), d);
    EXPECT_TRUE(list->IsModified());
}

TEST(DialList, FindsTheFirstEntryByExactComment) {
    auto list = ListOf({Entry("Lab", "333"), Entry("Office", "111"), Entry("Office", "222")});
    EXPECT_EQ(list->GetIndexOfComment("Office"), 1);
    EXPECT_EQ(list->GetIndexOfComment("office"), -1);
    std::string dial = "unchanged";
    list->GetNumberOfComment("OFFICE", dial);
    EXPECT_EQ(dial, "unchanged");
    list->GetNumberOfComment("Office", dial);
    EXPECT_EQ(dial, "111");

    std::string text = "kept";
    list->GetFullText(0, text);
    EXPECT_EQ(text, "Lab\t333\t9600\tN\t8\t1\tF");
    list->GetFullText(3, text);
    EXPECT_EQ(text, "Lab\t333\t9600\tN\t8\t1\tF");
}

TEST(DialList, StoresAndLoadsByteForByteThroughFiles) {
    tolvan::test::ScratchDir dir;
    tfw::CDocTemplate tmpl(kIdsDialListTemplate, classCDocDialList);
    EXPECT_EQ(tmpl.GetDocString(tfw::CDocTemplate::docName), "RuVido");
    EXPECT_EQ(tmpl.GetDocString(tfw::CDocTemplate::filterExt), ".lst");
    EXPECT_EQ(tmpl.GetDocString(tfw::CDocTemplate::regFileTypeId), "RuVido.Document");

    auto* list = static_cast<CDocDialList*>(tmpl.OpenDocumentFile(nullptr, true));
    tagDialEntry office = Entry("Office", "123");
    tagDialEntry lab = Entry("Lab 2", "0,,555-1234", 115200, 'S', 5, 2, 'H');
    list->AddNode(&office);
    list->AddNode(&lab);
    std::string path = dir.path() + "/phonenum.lst";
    ASSERT_TRUE(list->DoSave(path));
    const std::string expected =
        "1 Office\r\n     123\r\n     9600,N,8,1,F\r\n"
        "2 Lab 2\r\n     0,,555-1234\r\n     115200,S,5,2,H\r\n";
    EXPECT_EQ(ReadFile(path), expected);

    auto* back = static_cast<CDocDialList*>(tmpl.OpenDocumentFile(path.c_str(), true));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->GetListSize(), 2);
    EXPECT_EQ(*back->GetNode(0), office);
    EXPECT_EQ(*back->GetNode(1), lab);
    EXPECT_FALSE(back->IsModified());
    EXPECT_EQ(back->GetTitle(), "phonenum.lst");

    // An empty list is an empty file, and an empty file an empty list.
    auto* empty = static_cast<CDocDialList*>(tmpl.OpenDocumentFile(nullptr, true));
    ASSERT_TRUE(empty->DoSave((dir.path() + "/empty.lst")));
    EXPECT_EQ(fs::file_size(dir.path() + "/empty.lst"), 0u);
    auto* emptyBack = static_cast<CDocDialList*>(
        tmpl.OpenDocumentFile((dir.path() + "/empty.lst").c_str(), true));
    ASSERT_NE(emptyBack, nullptr);
    EXPECT_EQ(emptyBack->GetListSize(), 0);
}

TEST(DialList, LoadingAppendsToWhatTheListHolds) {
    auto list = LoadText("1 A\r\n     1\r\n     2400,O,7,1,F\r\n");
    list->SetModifiedFlag(false);
    tfw::MemorySource src(tolvan::test::TextBytes("1 B\r\n     2\r\n     4800,E,7,2,H\r\n"));
    tfw::CArchive ar(src);
    list->Serialize(ar);
    EXPECT_EQ(Comments(*list), (std::vector<std::string>{"A", "B"}));
    EXPECT_FALSE(list->IsModified());
}

TEST(DialList, LineRulesEndTheListWhereTheFormatSays) {
    // A blank line after the second entry hides everything after it.
    auto two = LoadText(
        "1 A\r\n     1\r\n     9600,N,8,1,F\r\n2 B\r\n     2\r\n     9600,N,8,1,F\r\n\r\n"
        "3 C\r\n     3\r\n     9600,N,8,1,F\r\n");
    EXPECT_EQ(Comments(*two), (std::vector<std::string>{"A", "B"}));

    // LF alone ends no line: one long first line and no entries.
    EXPECT_EQ(
        LoadText("1 A\n     1\n     9600,N,8,1,F\n2 B\n     2\n     9600,N,8,1,F\n")->GetListSize(),
        0);

    // An entry cut short is dropped; a last line without CR LF still counts.
    EXPECT_EQ(LoadText("1 A\r\n     1\r\n")->GetListSize(), 0);
    auto last = LoadText("1 A\r\n     1\r\n     2400,O,7,2,H");
    ASSERT_EQ(last->GetListSize(), 1);
    EXPECT_EQ(last->GetNode(0)->chDuplex, 'H');

    // Leading spaces of a dial string are not kept; the number before the comment is not
    // checked; a first line without a space is all comment.
    auto loose =
        LoadText("   7 X Y\r\n     \t  12\r\n 1200,E,7,1,F\r\nNoSpace\r\n  9\r\n9600,N,8,1,F\r\n");
    ASSERT_EQ(loose->GetListSize(), 2);
    EXPECT_EQ(loose->GetNode(0)->strComment, "X Y");
    EXPECT_EQ(loose->GetNode(0)->strDialString, "\t  12");
    EXPECT_EQ(loose->GetNode(0)->lBaudRate, 1200);
    EXPECT_EQ(loose->GetNode(1)->strComment, "NoSpace");
}

TEST(DialList, EmptyDialStringsSurviveAStoreAndLoad) {
    auto list = ListOf({Entry("Direct", ""), Entry("Spaces", "   "), Entry("Next", "42")});
    std::string text = StoreText(*list);
    EXPECT_EQ(text.substr(0, 24), "1 Direct\r\n     \r\r\n     9");
    auto back = LoadText(text);
    ASSERT_EQ(back->GetListSize(), 3);
    EXPECT_EQ(back->GetNode(0)->strDialString, "");
    EXPECT_EQ(back->GetNode(1)->strDialString, "");  // like any leading spaces, not kept
    EXPECT_EQ(back->GetNode(2)->strDialString, "42");
    // Written the old way (five spaces alone) the line still ends the list.
    EXPECT_EQ(LoadText("1 A\r\n     \r\n     9600,N,8,1,F\r\n")->GetListSize(), 0);
}

TEST(DialList, CarriageReturnsInFieldsCannotBreakTheFile) {
    auto list = ListOf({Entry("Two\r\nlines", "12\r34"), Entry("After", "5")});
    auto back = LoadText(StoreText(*list));
    ASSERT_EQ(back->GetListSize(), 2);
    EXPECT_EQ(back->GetNode(0)->strComment, "Two \nlines");
    EXPECT_EQ(back->GetNode(0)->strDialString, "12 34");
    EXPECT_EQ(back->GetNode(1)->strComment, "After");

    // A field too long for a line is cut rather than losing this and every later entry.
    tagDialEntry huge =
        Entry(std::string(kMaxDialListLine * 2, 'c'), std::string(kMaxDialListLine, '7'));
    list->InsertNode(0, &huge);
    auto again = LoadText(StoreText(*list));
    ASSERT_EQ(again->GetListSize(), 3);
    EXPECT_EQ(again->GetNode(0)->strComment, std::string(kMaxDialListField, 'c'));
    EXPECT_EQ(again->GetNode(0)->strDialString, std::string(kMaxDialListField, '7'));
    EXPECT_EQ(again->GetNode(2)->strComment, "After");
}

TEST(DialList, ThirdLinesThatTheRuleCannotParseFully) {
    tagDialEntry e;
    ParseDialListSettings("9600,N,8,1,F", e);
    EXPECT_EQ(e, Entry("", "", 9600, 'N', 8, 1, 'F'));
    ParseDialListSettings("19200", e);  // no commas: the rest defaults
    EXPECT_EQ(e, Entry("", "", 19200, 'N', 8, 1, 'F'));
    ParseDialListSettings("4800,E", e);
    EXPECT_EQ(e, Entry("", "", 4800, 'E', 8, 1, 'F'));
    ParseDialListSettings("4800,", e);
    EXPECT_EQ(e, Entry("", "", 4800, 'N', 8, 1, 'F'));
    ParseDialListSettings("2400,O,7", e);
    EXPECT_EQ(e, Entry("", "", 2400, 'O', 7, 1, 'F'));
    ParseDialListSettings("2400,O,7,2,", e);
    EXPECT_EQ(e, Entry("", "", 2400, 'O', 7, 2, 'F'));
    ParseDialListSettings("99999999999,M,-99999999999,2,H", e);  // overflow saturates
    EXPECT_EQ(e, Entry("", "", 2147483647, 'M', -2147483647 - 1, 2, 'H'));
    ParseDialListSettings("abc", e);
    EXPECT_EQ(e.lBaudRate, 0);
}

TEST(DialList, GarbageAndHugeFilesEndCleanly) {
    // Binary garbage: whatever it holds, the load finishes and reads nothing out of range.
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::string junk(static_cast<std::size_t>(rng() % 400), '\0');
        for (char& ch : junk) ch = static_cast<char>(rng() % 4 == 0 ? "\r\n ,"[rng() % 4] : rng());
        auto list = LoadText(junk);
        for (int i = 0; i < list->GetListSize(); ++i) ASSERT_NE(list->GetNode(i), nullptr);
    }

    // 100 MB: a valid entry, then one line without end. The entry is kept and reading stops
    // at the line limit instead of holding the whole file in memory.
    tolvan::test::ScratchDir dir;
    std::string path = dir.path() + "/huge.lst";
    {
        std::ofstream f(path, std::ios::binary);
        f << "1 Kept\r\n     1\r\n     9600,N,8,1,F\r\n2 ";
        std::string block(1 << 20, 'x');
        for (int i = 0; i < 100; ++i) f << block;
    }
    auto list = NewList();
    tfw::FileStream again;
    ASSERT_TRUE(again.Open(path, tfw::FileStream::Mode::Read));
    tfw::CArchive ar2(static_cast<tfw::ByteSource&>(again));
    list->Serialize(ar2);
    EXPECT_TRUE(ar2.Ok());
    EXPECT_EQ(Comments(*list), (std::vector<std::string>{"Kept"}));

    std::string longLine(kMaxDialListLine + 1, 'y');
    tfw::MemorySource src(tolvan::test::TextBytes(longLine));
    tfw::CArchive ar3(src);
    std::string line;
    EXPECT_EQ(ReadDialListLine(ar3, line), -1);
}

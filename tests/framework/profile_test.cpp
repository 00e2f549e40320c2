// INI profile: lookup rules, sections as key/value lists, rewrites that keep the file's shape.
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using tfw::CProfile;

TEST(Profile, LookupIgnoresCaseAndBlanksAndTakesTheFirstDuplicate) {
    CProfile p;
    p.Parse(
        "; comment\r\n[COMM]\r\n BaudRate = 19200 "
        "\r\nparity=None\r\nBAUDRATE=1\r\n[Ports]\nCOM1=/dev/serial/by-id/usb-x\nCOM2=loop://"
        "\nAuto=0\n");
    EXPECT_EQ(p.GetString("comm", "baudrate"), "19200");
    EXPECT_EQ(p.GetInt("COMM", "BaudRate", 9600), 19200);
    EXPECT_EQ(p.GetString("COMM", "Parity"), "None");
    EXPECT_EQ(p.GetString("COMM", "WordLen", "8"), "8");
    EXPECT_FALSE(p.GetValue("COMM", "WordLen"));
    auto ports = p.GetSection("ports");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0], (std::pair<std::string, std::string>{"COM1", "/dev/serial/by-id/usb-x"}));
    EXPECT_EQ(ports[1].second, "loop://");
    EXPECT_EQ(p.GetSection("COMM").size(), 2u);  // the duplicate BaudRate is listed once
    EXPECT_EQ(p.GetSectionNames(), (std::vector<std::string>{"COMM", "Ports"}));
}

TEST(Profile, NumbersThatAreNotNumbersGiveTheDefault) {
    CProfile p;
    p.Parse("[COMM]\nA=\nB=12x\nC=abc\nD=99999999999\nE=-7\nF=+8\n");
    EXPECT_EQ(p.GetInt("COMM", "A", 5), 5);
    EXPECT_EQ(p.GetInt("COMM", "B", 5), 12);
    EXPECT_EQ(p.GetInt("COMM", "C", 5), 5);
    EXPECT_EQ(p.GetInt("COMM", "D", 5), 5);
    EXPECT_EQ(p.GetInt("COMM", "E", 5), -7);
    EXPECT_EQ(p.GetInt("COMM", "F", 5), 8);
}

TEST(Profile, WritesKeepCommentsAndOrderAndSurviveAReload) {
    const tolvan::test::ScratchDir scratch;
    const fs::path dir = scratch.path();
    std::string path = (dir / "tolvan32.ini").string();
    { std::ofstream(path) << "; settings\n[COMM]\nBaudRate=9600\n\n[Other]\nx=1\n"; }
    CProfile p;
    ASSERT_TRUE(p.Load(path));
    p.WriteString("COMM", "BaudRate", "19200");
    p.WriteString("comm", "Parity", "Even");
    p.WriteInt("Recent File List", "File1", 3);
    p.WriteString("Other", "y", "two\nlines");
    EXPECT_TRUE(p.IsDirty());
    ASSERT_TRUE(p.Save());
    EXPECT_FALSE(p.IsDirty());

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(),
              "; settings\n[COMM]\nBaudRate=19200\nParity=Even\n\n[Other]\nx=1\ny=two lines\n\n"
              "[Recent File List]\nFile1=3\n");

    CProfile q;
    ASSERT_TRUE(q.Load(path));
    EXPECT_EQ(q.GetString("Recent File List", "File1"), "3");
    EXPECT_TRUE(q.DeleteKey("COMM", "parity"));
    EXPECT_FALSE(q.DeleteKey("COMM", "parity"));
    EXPECT_TRUE(q.DeleteSection("Other"));
    EXPECT_EQ(q.GetSection("Other").size(), 0u);
    EXPECT_EQ(q.GetString("COMM", "BaudRate"), "19200");

    // A missing file is an empty profile; missing folders are made when it is saved (a
    // first run has none), and a place that cannot hold a folder fails cleanly, saying why.
    CProfile empty;
    EXPECT_TRUE(empty.Load((dir / "none.ini").string()));
    EXPECT_TRUE(empty.GetSectionNames().empty());
    empty.WriteString("A", "b", "c");
    ASSERT_TRUE(empty.SaveAs((dir / "no" / "dir" / "t.ini").string())) << empty.LastError();
    CProfile reread;
    ASSERT_TRUE(reread.Load((dir / "no" / "dir" / "t.ini").string()));
    EXPECT_EQ(reread.GetString("A", "b"), "c");
    EXPECT_EQ(fs::status(dir / "no").permissions() & fs::perms::all, fs::perms::owner_all);
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(empty.SaveAs((dir / "file" / "t.ini").string()));
    EXPECT_NE(empty.LastError().find("not a folder"), std::string::npos) << empty.LastError();
    EXPECT_EQ(empty.GetPath(), (dir / "no" / "dir" / "t.ini").string()) << "kept on failure";
}

TEST(RecentFiles, MostRecentFirstWithoutDuplicatesAndThroughTheProfile) {
    tfw::CRecentFileList mru(4);
    for (const char* p : {"/a.ccf", "/b.lst", "/c.mcf", "/a.ccf", "/d.icf", "/e.ccf"}) mru.Add(p);
    EXPECT_EQ(mru.Items(), (std::vector<std::string>{"/e.ccf", "/d.icf", "/a.ccf", "/c.mcf"}));

    CProfile p;
    p.Parse(
        "[Recent File "
        "List]\nFile1=/old1\nFile2=/old2\nFile3=/old3\nFile4=/old4\n[COMM]\nBaudRate=9600\n");
    mru.Remove(3);
    mru.Remove(9);
    mru.WriteList(p);
    EXPECT_FALSE(p.GetValue("Recent File List", "File4"));  // no stale fourth entry
    EXPECT_EQ(p.GetString("COMM", "BaudRate"), "9600");

    tfw::CRecentFileList back(4);
    back.ReadList(p);
    EXPECT_EQ(back.Items(), (std::vector<std::string>{"/e.ccf", "/d.icf", "/a.ccf"}));
}

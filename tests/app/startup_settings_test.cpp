// The profile's [COMM] line parameters and log file, and the command line of the server.
#include "app/command_line.h"
#include "app/comm_settings.h"
#include "setup/records/comm_param.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace tolvan::app {
namespace {

namespace fs = std::filesystem;

class CommSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Start from choices that differ from the defaults, so "left at the default" shows.
        params.SetCurBaudRate(19200);
        params.SetCurParity('E');
        params.SetCurWrdLen(7);
        params.SetCurStopBit(2);
    }
    char Parity() const { return params.GetParity(params.GetCurParity()); }
    long Baud() const { return params.GetBaudRate(params.GetCurBaudRate()); }

    AndCommParam params;
    tfw::CProfile profile;
    CommLogFile log;
};

TEST_F(CommSettingsTest, ProfileValuesBecomeCurrentAndBadOnesGiveDefaults) {
    profile.Parse("[COMM]\nBaudRate=4800\nParity=None\nWordLen=7\nStopBits=2\n");
    LoadCommSettings(profile, params, log);
    EXPECT_EQ(Baud(), 4800);
    EXPECT_EQ(Parity(), 'N');
    EXPECT_EQ(params.GetWrdLen(params.GetCurWrdLen()), 7);
    EXPECT_EQ(params.GetStopBit(params.GetCurStopBit()), 2);

    SetUp();
    profile.Parse("[COMM]\nBaudRate=1234\nParity=Xyz\nWordLen=\nStopBits=abc\n");
    LoadCommSettings(profile, params, log);
    EXPECT_EQ(Baud(), 9600);
    EXPECT_EQ(Parity(), 'N');
    EXPECT_EQ(params.GetWrdLen(params.GetCurWrdLen()), 8);
    EXPECT_EQ(params.GetStopBit(params.GetCurStopBit()), 1);
    EXPECT_FALSE(log.IsOpen());
}

TEST_F(CommSettingsTest, SavedChoicesComeBackOnTheNextLoad) {
    params.SetCurBaudRate(19200);
    SaveCommSettings(profile, params, log);
    EXPECT_EQ(profile.GetString("COMM", "BaudRate"), "19200");
    EXPECT_EQ(profile.GetString("COMM", "Parity"), "Even");
    EXPECT_EQ(profile.GetString("COMM", "WordLen"), "7");
    EXPECT_EQ(profile.GetString("COMM", "StopBits"), "2");
    EXPECT_FALSE(profile.GetValue("COMM", "LogFile").has_value());

    AndCommParam fresh;
    tfw::CProfile reread;
    reread.Parse(profile.ToText());
    LoadCommSettings(reread, fresh, log);
    EXPECT_EQ(fresh.GetCurBaudRate(), params.GetCurBaudRate());
    EXPECT_EQ(fresh.GetCurParity(), params.GetCurParity());
    EXPECT_EQ(fresh.GetCurWrdLen(), params.GetCurWrdLen());
    EXPECT_EQ(fresh.GetCurStopBit(), params.GetCurStopBit());
}

TEST_F(CommSettingsTest, LogFileIsEmptiedAndHeldUntilSave) {
    const fs::path dir = fs::temp_directory_path() / ("tolvan-log-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path path = dir / "server log.txt";
    std::ofstream(path) << "old contents";
    profile.Parse("[COMM]\nLogFile=" + path.string() + "\n");

    LoadCommSettings(profile, params, log);
    ASSERT_TRUE(log.IsOpen());
    EXPECT_EQ(fs::file_size(path), 0u);

    // A second server must neither take the file nor empty it.
    std::ofstream(path, std::ios::app) << "x";
    CommLogFile other;
    EXPECT_FALSE(other.Create(path.string()));
    EXPECT_EQ(fs::file_size(path), 1u);

    SaveCommSettings(profile, params, log);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_TRUE(other.Create(path.string()));

    // A log file in a folder that does not exist: no file, no failure.
    profile.Parse("[COMM]\nLogFile=" + (dir / "missing/log").string() + "\n");
    LoadCommSettings(profile, params, log);
    EXPECT_FALSE(log.IsOpen());
    other.Close();
    fs::remove_all(dir);
}

TEST(CommandLineTest, SwitchesProfileAndDocument) {
    for (const char* word : {"-Embedding", "/embedding", "-AUTOMATION", "/Automation"})
        EXPECT_TRUE(ParseCommandLine({word, "--profile", "/p.ini"}).automation) << word;
    for (const char* word : {"Automation", "-Automate", "--Automation", "/"})
        EXPECT_FALSE(ParseCommandLine({word, "--profile", "/p.ini"}).automation) << word;

    const CommandLine line = ParseCommandLine({"--profile", "/x/p.ini", "/tmp/my \"chan\".ccf"});
    EXPECT_EQ(line.profilePath, "/x/p.ini");
    EXPECT_EQ(line.document, "/tmp/my \"chan\".ccf");
    EXPECT_FALSE(line.automation);

    // Words of a path split by the shell are joined again.
    EXPECT_EQ(ParseCommandLine({"--profile=/p", "/tmp/a", "b.ccf"}).document, "/tmp/a b.ccf");

    ::setenv("TOLVAN32_PROFILE", "/env/t.ini", 1);
    EXPECT_EQ(ParseCommandLine({}).profilePath, "/env/t.ini");
    EXPECT_EQ(ParseCommandLine({"--profile", "/arg.ini"}).profilePath, "/arg.ini");
    ::unsetenv("TOLVAN32_PROFILE");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(ParseCommandLine({}).profilePath, "/cfg/tolvan32/tolvan32.ini");
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tolvan::app

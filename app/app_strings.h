// The program's own string table: texts by numeric id (captions, messages, menu prompts,
// column titles). A command's prompt is the string with the command's id; its part after a
// line feed, when there is one, is the tooltip of the command's toolbar button.
#pragma once

#include "framework/string_table.h"

#include <QString>

#include <memory>
#include <span>
#include <string_view>

namespace tolvan::app {

namespace str {
inline constexpr unsigned MainTitle = 2;
inline constexpr unsigned ChannelTemplate = 3;
inline constexpr unsigned ModemTemplate = 4;
inline constexpr unsigned InfraRedTemplate = 6;
inline constexpr unsigned OleInitFailed = 100;
inline constexpr unsigned AppTitle = 57344;
inline constexpr unsigned IdleMessage = 57345;
inline constexpr unsigned IndicatorCaps = 59137;
inline constexpr unsigned IndicatorNum = 59138;
inline constexpr unsigned IndicatorScroll = 59139;
inline constexpr unsigned ConnectionFailed = 61232;
inline constexpr unsigned PortSettingFailed = 61233;
inline constexpr unsigned NoBuffer = 61248;
inline constexpr unsigned SetupConnection = 61249;
inline constexpr unsigned BufferSettings = 61251;
inline constexpr unsigned NotConnected = 61252;
inline constexpr unsigned NameLabel = 61253;
inline constexpr unsigned ModemSettings = 61254;
inline constexpr unsigned Dial = 61255;
inline constexpr unsigned ClearBufferQuestion = 61264;
inline constexpr unsigned CloseConnectionQuestion = 61265;
inline constexpr unsigned FirstColumnTitle = 61280;  // 61280..61286: phone-list columns
inline constexpr unsigned PopupAdd = 61298;
inline constexpr unsigned PopupInsert = 61299;
inline constexpr unsigned PopupDelete = 61300;
inline constexpr unsigned PopupProperties = 61301;
}  // namespace str

// All entries of the program, sorted by id.
std::span<const tfw::StringEntry> AppStringTable();

// Enters the program's strings into the framework's string table (they take precedence over
// the libraries'); they stay there while the returned object lives.
std::unique_ptr<tfw::StringRegistration> RegisterAppStrings();

// The program's text with that id, empty when it has none.
std::string_view AppString(unsigned id);

// The text as the user sees it: the program's own, else a library's (the program's wins
// where both define the id), else empty. Texts are 8-bit (Latin-1).
QString AppText(unsigned id);
// The prompt of a command: its string up to a line feed.
QString PromptText(unsigned id);
// The tooltip of a command: its string after the line feed, empty when there is none.
QString TipText(unsigned id);

}  // namespace tolvan::app

#pragma once
// The texts of the setup pages: captions and control texts of the page templates, the
// items of their fixed lists, and the string-table entries that their checks show.

#include <QString>
#include <QStringList>

namespace kerdal::page_strings {

// String-table identifiers of the messages shown by the pages.
inline constexpr unsigned kIdsNeedPositiveTimeout = 61234;
inline constexpr unsigned kIdsNeedInternalTimeout = 61235;
inline constexpr unsigned kIdsNeedResponse = 61236;

// The framework's standard data-exchange messages, under the framework's identifiers.
inline constexpr unsigned kIdsParseInt = 0xF110;
inline constexpr unsigned kIdsParseReal = 0xF111;
inline constexpr unsigned kIdsParseIntRange = 0xF112;
inline constexpr unsigned kIdsParseStringSize = 0xF114;
inline constexpr unsigned kIdsParseUInt = 0xF117;
// The application title: the caption of every message box.
inline constexpr unsigned kIdsAppTitle = 57344;

// The text of string `id` from the string tables (the host program's first, then the
// libraries', these among them); empty for an unknown id.
QString PageString(unsigned id);

// `PageString(id)` with %1, %2 replaced by the arguments.
QString FormatPageString(unsigned id, const QString& arg1, const QString& arg2 = QString());

// Page template captions.
inline constexpr char kSelectPortCaption[] = "Select Port";
inline constexpr char kSettingsCaption[] = "Settings";
inline constexpr char kModemCaption[] = "Modem";
inline constexpr char kWorkModeCaption[] = "Work mode";
inline constexpr char kModemModeCaption[] = "Modem Mode";

// "Settings" (port) page.
inline constexpr char kBaudRateLabel[] = "Baud Rate";
inline constexpr char kWordLengthLabel[] = "Word Length";
inline constexpr char kParityLabel[] = "Parity";
inline constexpr char kStopBitsLabel[] = "Stop Bits";
inline constexpr char kHandshakingGroup[] = "Handshaking";
inline constexpr char kUseDtrDsr[] = "Use DTR/DSR";
inline constexpr char kUseRtsCts[] = "Use RTS/CTS";
inline constexpr char kUseXonXoff[] = "Use XON/XOFF";

// "Modem" page.
inline constexpr char kInitStringLabel[] = "Initialization string:";
inline constexpr char kDialPrefixLabel[] = "Dialing prefix:";
inline constexpr char kDialSuffixLabel[] = "Dialing suffix:";
inline constexpr char kHangUpLabel[] = "Hang up command:";
inline constexpr char kDelayCharLabel[] = "Delay character:";
inline constexpr char kDelayTimeLabel[] = "Delay time, (s):";
inline constexpr char kConnectTimeLabel[] = "Max time for connect, (s):";
inline constexpr char kTurnaroundLabel[] = "Turnaround time, (ms):";
inline constexpr char kRedialPauseLabel[] = "Pause between redials, (s):";
inline constexpr char kMaxRedialsLabel[] = "Max number of redials:";
inline constexpr char kDtrHangUpCheck[] = "DTR low to hang:";

// "Work mode" page.
inline constexpr char kWaitingGroup[] = "Waiting for response";
inline constexpr char kNotToWait[] = "Not to wait";
inline constexpr char kWaitForTimeout[] = "Waiting for the timeout";
inline constexpr char kWaitForResponse[] = "Waiting for the response";
inline constexpr char kTimeoutLabel[] = "Timeout, (ms):";
inline constexpr char kResponseLabel[] = "Response:";
inline constexpr char kInternalTimeoutLabel[] = "Internal timeout, (ms):";
inline constexpr char kPhoneListLabel[] = "Phone list file:";
inline constexpr char kBrowseButton[] = "Browse...";
inline constexpr char kPhoneListFilter[] = "Phone list (*.lst);;All files (*.*)";

// "Modem Mode" page.
inline constexpr char kEchoCheck[] = "Echo";
inline constexpr char kReplyCheck[] = "Reply";
inline constexpr char kLoudLabel[] = "Loud";
inline constexpr char kSpeakerLabel[] = "Speaker";
inline constexpr char kReplyModeLabel[] = "Reply Mode";
inline constexpr char kDialModeLabel[] = "Dial Mode";
QStringList LoudItems();       // "Min", "Mid", "Max"
QStringList SpeakerItems();    // "Off", "On During Dial", "Always On", "On Before Answer"
QStringList ReplyModeItems();  // "Digit", "String"
QStringList DialModeItems();   // "Tone", "Pulse"

// Infra-red "Settings" page: the rates its list offers, in list order.
QStringList IrBaudItems();  // "2400", "9600", "19200", "57600"

}  // namespace kerdal::page_strings

// Numeric identifiers of the server's commands, controls and resources. Commands keep the
// numbers of the framework's standard commands (57600...) and of the program's own (32773...)
// because clients, accelerators and the string table refer to them by number.
#pragma once

namespace tolvan::app {

namespace cmd {
// Framework file commands.
inline constexpr int FileNew = 57600;
inline constexpr int FileOpen = 57601;
inline constexpr int FileClose = 57602;
inline constexpr int FileSave = 57603;
inline constexpr int FileSaveAs = 57604;
inline constexpr int FilePrintSetup = 57606;
inline constexpr int FilePrint = 57607;
inline constexpr int FilePrintPreview = 57609;
inline constexpr int FileMru1 = 57616;  // the recent-file list takes 57616..57619
inline constexpr int FileMruCount = 4;
// Framework edit commands (no handler anywhere: they stay disabled).
inline constexpr int EditCopy = 57634;
inline constexpr int EditCut = 57635;
inline constexpr int EditPaste = 57637;
inline constexpr int EditUndo = 57643;
// Framework window commands.
inline constexpr int WindowNew = 57648;
inline constexpr int WindowArrange = 57649;
inline constexpr int WindowCascade = 57650;
inline constexpr int WindowTile = 57651;
// Application, help and panes.
inline constexpr int AppAbout = 57664;
inline constexpr int AppExit = 57665;
inline constexpr int HelpIndex = 57666;
inline constexpr int HelpUsing = 57668;
inline constexpr int ContextHelp = 57669;
inline constexpr int Help = 57670;
inline constexpr int DefaultHelp = 57671;
inline constexpr int NextPane = 57680;
inline constexpr int PrevPane = 57681;
inline constexpr int ViewToolbar = 59392;
inline constexpr int ViewStatusBar = 59393;

// Channel commands.
inline constexpr int TransmitString = 32773;
inline constexpr int ChannelSettings = 32774;
inline constexpr int Connect = 32775;
inline constexpr int ShowChannels = 32776;
inline constexpr int BufferSettings = 32777;
inline constexpr int HideWindow = 32778;
inline constexpr int ClearReceive = 32779;
inline constexpr int ClearTransmit = 32780;
inline constexpr int CloseConnection = 32781;
inline constexpr int ReceiveBytes = 32782;
inline constexpr int ReceiveString = 32783;
inline constexpr int DefaultBufferSize = 32784;
inline constexpr int ShowBufferContents = 32785;
inline constexpr int ShowBufferInfo = 32786;
inline constexpr int LockPort = 32787;
inline constexpr int UnlockPort = 32788;
inline constexpr int ModemSettings = 32789;
inline constexpr int ModemInit = 32790;
inline constexpr int ListAdd = 32791;
inline constexpr int ListInsert = 32792;
inline constexpr int ListDelete = 32793;
inline constexpr int ListProperties = 32794;
inline constexpr int ModemHangUp = 32795;
inline constexpr int ModemCommand = 32796;
inline constexpr int ModemDial = 32797;
inline constexpr int ModemRepeat = 32798;
inline constexpr int TransmitFiles = 32799;
inline constexpr int ReceiveXModem = 32800;
}  // namespace cmd

// Menu bars, by the resource id of their document type.
namespace menu {
inline constexpr int Main = 2;  // no document open
inline constexpr int Channel = 3;
inline constexpr int Modem = 4;
inline constexpr int PhoneList = 5;
inline constexpr int InfraRed = 6;
}  // namespace menu

// Child-window ids of the framework's bars and panes.
inline constexpr int kToolbarId = 0xE800;
inline constexpr int kStatusBarId = 0xE801;
inline constexpr int kFirstPaneId = 0xE900;

// Controls of the buffer information form.
namespace ctl {
inline constexpr int InputButton = 1010;
inline constexpr int OutputButton = 1011;
inline constexpr int SizeField = 1012;
inline constexpr int UsedField = 1013;
inline constexpr int FreeField = 1014;
inline constexpr int StatusField = 1015;
inline constexpr int DeviceField = 1016;  // the device the channel's port stands for
inline constexpr int StreamField = 1017;  // the channel's terminal or stream, bytes passed and lost
}  // namespace ctl

}  // namespace tolvan::app

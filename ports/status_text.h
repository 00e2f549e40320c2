// Status codes of the port, channel and file-transfer operations and their texts.
#pragma once

namespace tolvan {

enum StatusCode : int {
    kStatusSuccess = 0,
    kStatusGeneralError = -1,
    kStatusInvalidPort = -2,
    kStatusInUse = -3,
    kStatusInvalidBufferSize = -4,
    kStatusNoMemory = -5,
    kStatusNotSetUp = -6,
    kStatusInvalidParameter = -7,
    kStatusBufferEmpty = -8,
    kStatusBufferFull = -9,
    kStatusTimeOut = -10,
    kStatusCtsLow = -11,
    kStatusCdLow = -12,
    kStatusDsrLow = -13,
    kStatusNo8250 = -14,
    kStatusXmodem15 = -15,
    kStatusUserAbort = -16,
    kStatusFileIo = -17,
    kStatusXmodem18 = -18,
    kStatusNotWideTrack = -19,
    kStatusHardwareConflict = -20,
    kStatusCrcMode = -21,
    kStatusModemNoOk = -22,
    kStatusNoModemResponse = -23,
    kStatusNotSupported = -24,
    kStatusIllegalBaud = -25,
    kStatusIllegalParity = -26,
    kStatusIllegalWordLength = -27,
    kStatusIllegalStopBits = -28,
    // -29 .. -42: names only, see the text table.
    kStatusWriteLocked = -74,  // modem operation while another channel holds the write lock
    kXferCantAllocBuffer = -601,
    kXferCantOpenFile = -602,
    kXferCantSendNak = -603,
    kXferCantSendAck = -604,
    kXferUserAbort = -605,
    kXferRemoteAbort = -606,
    kXferFileIoError = -607,
    kXferPacketTimeout = -608,
    kXferBadPacketSize = -609,
    kXferTooManyErrors = -610,
    kXferInternalError = -611,
    kXferCantSendBlock = -612,
    kXferCantSendEot = -613,
    kXferProtocolError = -614,
    kXferCantSendChar = -615,
    kXferCantGetChar = -616,
    kXferCharTimeout = -617,
    kXferLostCarrier = -618,
    kXferNoFiles = -619,
    kXferSendZskip = -620,
    kXferBPlusSequence = -621,
    kXferBPlusPacket = -622,
    kXferFileEngine = -623,
};

// The message of a status code; "Unknown error code" for codes not in the table.
// The text is static.
const char* GetStatusText(int code);

}  // namespace tolvan

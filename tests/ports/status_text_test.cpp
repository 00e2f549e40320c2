// The message of every status code, exactly as clients show it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ports/status_text.h"

namespace tolvan {
namespace {

TEST(StatusText, EveryPortLevelCodeHasItsMessage) {
    const std::vector<std::pair<int, std::string>> table = {
        {0, "Success"},
        {-1, "General error"},
        {-2, "Invalid port"},
        {-3, "In use"},
        {-4, "Invalid buffer size"},
        {-5, "No memory available"},
        {-6, "Not set up"},
        {-7, "Invalid parameter"},
        {-8, "Buffer empty"},
        {-9, "Buffer full"},
        {-10, "Time out"},
        {-11, "CTS is low"},
        {-12, "CD is low"},
        {-13, "DSR is low"},
        {-14, "No 8250 present"},
        {-15, "XMODEM status"},
        {-16, "User abort"},
        {-17, "File I/O error"},
        {-18, "XMODEM status"},
        {-19, "Not wide track"},
        {-20, "Hardware conflict"},
        {-21, "CRC mode"},
        {-22, "Modem didn't send OK"},
        {-23, "No modem response"},
        {-24, "Function not supported"},
        {-25, "Illegal baud rate"},
        {-26, "Illegal parity"},
        {-27, "Ilegal word length"},
        {-28, "Illegal number of stop bits"},
        {-29, "Missing copyright notice"},
        {-30, "Driver not installed"},
        {-31, "User buffer overflow"},
        {-32, "Failure to connect to port"},
        {-33, "DOS Extender returned an error"},
        {-34, "Illegal board number"},
        {-35, "Board is in use"},
        {-36, "Blocked by handshaking"},
        {-37, "Maximum number of ports exceeded"},
        {-38, "Illegal IRQ line"},
        {-39, "IRQ line in use"},
        {-40, "Thunk setup failed"},
        {-41, "ANSI Error"},
        {-42, "Compiler packing error"},
    };
    for (const auto& [code, text] : table) EXPECT_EQ(GetStatusText(code), text) << code;
}

TEST(StatusText, EveryFileTransferCodeHasItsMessage) {
    const std::vector<std::pair<int, std::string>> table = {
        {-601, "Can't allocate xfer buffer"},
        {-602, "Can't open xfer file"},
        {-603, "Can't send NAK, buffer full"},
        {-604, "Can't send ACK, buffer full"},
        {-605, "User hit abort key"},
        {-606, "Remote end sent abort code"},
        {-607, "Error during file I/O"},
        {-608, "Timed out waiting for packet"},
        {-609, "Got an invalid packet size"},
        {-610, "Too many errors to continue"},
        {-611, "Internal error"},
        {-612, "Can't send block, buffer full"},
        {-613, "Can't send EOT, buffer full"},
        {-614, "Protocol error"},
        {-615, "Can't send char, buffer full"},
        {-616, "Can't get character"},
        {-617, "Timeout waiting for characters"},
        {-618, "Lost carrier during transfer"},
        {-619, "No files were sent"},
        {-620, "Receiver should send ZSKIP"},
        {-621, "CompuServe B+ packet sequence err"},
        {-622, "CompuServe B+ packet arrived"},
        {-623, "File engine failed"},
    };
    for (const auto& [code, text] : table) EXPECT_EQ(GetStatusText(code), text) << code;
}

TEST(StatusText, CodesOutsideTheTableAreUnknown) {
    for (int code : {1, 2, 1000, -43, -74, -100, -600, -624, -1000, -32768, 32767})
        EXPECT_STREQ(GetStatusText(code), "Unknown error code") << code;
}

}  // namespace
}  // namespace tolvan

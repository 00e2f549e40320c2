// The message of every status code, exactly as clients show it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ports/status_text.h"

namespace tolvan {
namespace {

// Clients show these texts to their users: every code of the two ranges names itself, and
// the codes the operations return say what happened.
TEST(StatusText, EveryCodeOfBothRangesHasAText) {
    const std::string unknown = GetStatusText(1);
    std::set<std::string> seen;
    auto check = [&](int first, int last) {
        for (int code = first; code >= last; --code) {
            const std::string text = GetStatusText(code);
            EXPECT_FALSE(text.empty()) << code;
            EXPECT_NE(text, unknown) << code;
            seen.insert(text);
        }
    };
    check(kStatusSuccess, -42);
    check(kXferCantAllocBuffer, kXferFileEngine);
    // Two XMODEM codes share a text; every other code has its own.
    EXPECT_EQ(std::string(GetStatusText(kStatusXmodem15)), GetStatusText(kStatusXmodem18));
    EXPECT_EQ(seen.size(), 43u + 23u - 1u);
}

TEST(StatusText, CodesTheOperationsReturnSayWhatHappened) {
    EXPECT_STREQ(GetStatusText(kStatusSuccess), "Success");
    EXPECT_STREQ(GetStatusText(kStatusInvalidPort), "Invalid port");
    EXPECT_STREQ(GetStatusText(kStatusInUse), "In use");
    EXPECT_STREQ(GetStatusText(kStatusTimeOut), "Time out");
    EXPECT_STREQ(GetStatusText(kStatusNotSupported), "Function not supported");
    EXPECT_STREQ(GetStatusText(kXferUserAbort), "User hit abort key");
    EXPECT_STREQ(GetStatusText(kXferFileIoError), "Error during file I/O");
}

TEST(StatusText, CodesOutsideTheTableAreUnknown) {
    for (int code : {1, 2, 1000, -43, -74, -100, -600, -624, -1000, -32768, 32767})
        EXPECT_STREQ(GetStatusText(code), "Unknown error code") << code;
}

}  // namespace
}  // namespace tolvan

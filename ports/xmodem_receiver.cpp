#include "ports/xmodem_receiver.h"

#include <span>
#include <thread>

#include "ports/status_text.h"

namespace tolvan {

XModemReceiveState& XModemState() {
    static XModemReceiveState state;
    return state;
}

int16_t ReceiveBlock(XModemLink& channel) {
    return ReceiveBlock(channel, XModemState());
}

namespace {

// Counts one error; true when it was the last one allowed.
bool CountError(XModemReceiveState& st, int16_t code) {
    st.lastError = code;
    ++st.errorCount;
    return st.errorCount >= kXmMaxErrors;
}

}  // namespace

int16_t ReceiveBlock(XModemLink& channel, XModemReceiveState& st) {
    size_t dataSize = 128;
    size_t blockLength = 131;

    // Header wait.
    for (;;) {
        int16_t c = channel.ReadCharFromPortTimed(kXmHeaderWaitMs);
        if (c < 0) {
            if (CountError(st, c)) return kXferTooManyErrors;
            int16_t sent = channel.WriteCharToPort(kXmNAK);
            if (sent < 0) return sent;
            continue;
        }
        st.lastHeader = static_cast<uint8_t>(c);
        if (st.lastHeader == kXmEOT) {
            channel.WriteCharToPort(kXmACK);
            return 0;
        }
        if (st.lastHeader == kXmSTX) {
            dataSize = 1024;
            blockLength = 1027;
            break;
        }
        if (st.lastHeader == kXmSOH) break;
        // Line noise or a stray byte: drop whatever came with it and wait again.
        channel.ClearRBuff();
        if (CountError(st, kXferProtocolError)) return kXferTooManyErrors;
    }

    int16_t got =
        channel.ReadFromPortTimed(std::span<uint8_t>(st.block, blockLength), kXmBlockWaitMs);

    bool bad = got < 0 || static_cast<size_t>(got) < blockLength;
    if (!bad) {
        uint8_t sum = 0;
        for (size_t i = 0; i < dataSize; ++i) sum = static_cast<uint8_t>(sum + st.block[2 + i]);
        bad = sum != st.block[2 + dataSize];
    }
    if (bad) {
        if (CountError(st, got < 0 ? got : static_cast<int16_t>(kXferProtocolError)))
            return kXferTooManyErrors;
        int16_t sent = channel.WriteCharToPort(kXmNAK);
        if (sent < 0) return sent;
        return st.lastError;
    }

    const uint8_t number = st.block[0];
    const uint8_t previous = static_cast<uint8_t>(st.expectedBlock - 1);
    if (number != st.expectedBlock && number != previous) return kXferInternalError;

    channel.WriteCharToPort(kXmACK);
    std::this_thread::yield();

    if (number == st.expectedBlock) {
        if (!st.file.Write(std::span<const uint8_t>(st.block + 2, dataSize))) {
            channel.WriteCharToPort(kXmCAN);
            channel.WriteCharToPort(kXmCAN);
            return kXferFileIoError;
        }
        st.expectedBlock = static_cast<uint8_t>(st.expectedBlock + 1);
    }

    st.errorCount = 0;
    st.totalBytes += static_cast<uint32_t>(dataSize);
    return 0;
}

}  // namespace tolvan

// Feeds fuzzed sender bytes to the XMODEM block receiver until the exchange ends.
// The first input byte picks the starting sequence number and error count, so that
// wrap-around and the error limit are reached from short inputs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "ports/status_text.h"
#include "ports/xmodem_receiver.h"

namespace {

using namespace tolvan;

// The sender's bytes in memory; a read past their end times out at once.
class MemoryLink final : public XModemLink {
public:
    explicit MemoryLink(std::span<const uint8_t> input) : input_(input) {}

    int16_t WriteCharToPort(int16_t ch) override {
        const uint8_t b = static_cast<uint8_t>(ch);
        if (b != kXmACK && b != kXmNAK && b != kXmCAN)
            std::abort();  // the receiver answers with nothing else
        return 1;
    }
    int16_t ReadCharFromPortTimed(int32_t) override {
        if (pos_ >= input_.size()) return kStatusTimeOut;
        return input_[pos_++];
    }
    int16_t ReadFromPortTimed(std::span<uint8_t> dest, int32_t) override {
        size_t n = 0;
        while (n < dest.size() && pos_ < input_.size()) dest[n++] = input_[pos_++];
        return static_cast<int16_t>(n);
    }
    void ClearRBuff() override {
        // Only what has "arrived" is dropped: take a small bite of the input.
        pos_ += (input_.size() - pos_) / 4;
    }
    bool IsConnected() override { return true; }
    int32_t GetAbortRequest() override { return 0; }
    void SetAbortRequest(int32_t) override {}
    void AddRef() override {}
    void Release() override {}

private:
    std::span<const uint8_t> input_;
    size_t pos_ = 0;
};

XModemReceiveState& State() {
    static XModemReceiveState* state = [] {
        auto* s = new XModemReceiveState;
        if (!s->file.Create("/dev/null")) std::abort();
        return s;
    }();
    return *state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    XModemReceiveState& st = State();
    st.expectedBlock = data[0];
    st.errorCount = data[0] % kXmMaxErrors;
    st.lastError = 0;
    st.lastHeader = 1;
    st.totalBytes = 0;

    MemoryLink link(std::span<const uint8_t>(data + 1, size - 1));
    // Every call either consumes input or counts an error, so this ends.
    for (;;) {
        const uint8_t before = st.expectedBlock;
        const uint32_t total = st.totalBytes;
        int16_t r = ReceiveBlock(link, st);
        if (r > 0 || (r < 0 && r != kXferTooManyErrors && r != kXferInternalError &&
                      r != kXferProtocolError))
            std::abort();  // no other results are possible here
        if (st.errorCount > kXmMaxErrors) std::abort();
        if (r == 0 && st.lastHeader != kXmEOT) {
            // A good block: counted, and the sequence moved by at most one.
            if (st.totalBytes != total + 128 && st.totalBytes != total + 1024) std::abort();
            if (st.expectedBlock != before && st.expectedBlock != static_cast<uint8_t>(before + 1))
                std::abort();
            if (st.errorCount != 0) std::abort();
        }
        if (r == kXferTooManyErrors || r == kXferInternalError || st.lastHeader == kXmEOT) break;
    }
    return 0;
}

// Feeds arbitrary wire bytes to the infra-red frame decoder, and checks that frames built from
// arbitrary data decode back to the same data.
//
// The first byte picks the mode. Even: the rest is what the other side sent; the decoder must
// end every frame it is told of, count them down one by one, never give more data than the
// wire held and leave only the bytes after the last EOF in the wire ring. Odd: the rest is
// user data sent as frames (with line noise that holds no BOF or EOF between them); every
// frame must decode to exactly the bytes it took, with the final flag where the builder set it.
#include "ports/byte_ring.h"
#include "ports/ir_frame.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace tolvan;

struct Ring {
    ByteRing r;
    explicit Ring(uint32_t size = kByteRingSize) {
        if (RingCreate(r, size) != kLinkOk) std::abort();
    }
    ~Ring() { RingDestroy(r); }
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;
};

std::vector<uint8_t> Drain(ByteRing& ring) {
    std::vector<uint8_t> out;
    uint8_t b = 0;
    while (RingGet(ring, b) == kLinkOk) out.push_back(b);
    return out;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void DecodeWire(FuzzedDataProvider& in) {
    // A small user ring now and then, so that frames that do not fit are met too.
    const uint32_t userSize =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(2, 200) : kByteRingSize;
    std::vector<uint8_t> wire = in.ConsumeRemainingBytes<uint8_t>();
    if (wire.size() >= kByteRingSize) wire.resize(kByteRingSize - 1);

    Ring wireRx, userRx(userSize);
    int32_t pending = 0;
    std::size_t afterLastEof = 0;
    for (uint8_t b : wire) {
        Check(RingPut(wireRx.r, b) == kLinkOk);
        if (b == kIrEof) {
            ++pending;
            afterLastEof = 0;
        } else {
            ++afterLastEof;
        }
    }

    const int32_t frames = pending;
    int32_t ended = 0;
    for (;;) {
        const int32_t before = pending;
        const int res = DecodeFrame(wireRx.r, userRx.r, pending);
        if (before <= 0) {
            Check(res == kStepNoFrame && pending == before);
            break;
        }
        // Every pending frame ends at an EOF that is in the ring, so the ring never runs dry.
        Check(res != kLinkRingEmpty);
        Check(res == kStepGoOn || res == kStepNoFrame || res == kStepTurnPasses ||
              res == kStepBadFrame);
        Check(pending == before - 1);
        ++ended;
        if (res == kStepNoFrame) Check(pending == 0);
        if (res == kStepGoOn) Check(pending > 0);
        if (pending == 0 && res != kStepNoFrame) {
            // A final or bad last frame still leaves nothing to decode.
            Check(DecodeFrame(wireRx.r, userRx.r, pending) == kStepNoFrame);
            break;
        }
    }
    Check(ended == frames);
    Check(RingUsed(wireRx.r) == afterLastEof);
    // Unstuffing only ever shrinks the data.
    Check(RingUsed(userRx.r) <= wire.size());
}

void RoundTrip(FuzzedDataProvider& in) {
    Ring userTx, wireTx, wireRx, userRx;
    int32_t pending = 0;
    while (in.remaining_bytes() > 0) {
        const bool forceFinal = in.ConsumeBool();
        const std::size_t noiseLen = in.ConsumeIntegralInRange<std::size_t>(0, 8);
        std::vector<uint8_t> noise = in.ConsumeBytes<uint8_t>(noiseLen);
        std::vector<uint8_t> data =
            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 400));
        for (uint8_t b : data) Check(RingPut(userTx.r, b) == kLinkOk);

        while (RingUsed(userTx.r) > 0 || data.empty()) {
            const uint32_t waiting = RingUsed(userTx.r);
            const uint32_t take = waiting < kIrMaxFrameData ? waiting : kIrMaxFrameData;
            const bool final = forceFinal || waiting < kIrMaxFrameData;
            std::vector<uint8_t> expect(data.end() - waiting, data.end() - waiting + take);

            const int built = BuildFrame(userTx.r, wireTx.r, forceFinal);
            Check(built == (final ? kStepFinalQueued : kStepGoOn));
            Check(RingUsed(userTx.r) == waiting - take);
            std::vector<uint8_t> frame = Drain(wireTx.r);
            Check(frame.size() >= 3 && frame.size() <= kIrMaxFrameWire);

            for (uint8_t b : noise)
                if (b != kIrBof && b != kIrEof) Check(RingPut(wireRx.r, b) == kLinkOk);
            for (uint8_t b : frame) Check(RingPut(wireRx.r, b) == kLinkOk);
            ++pending;

            const int res = DecodeFrame(wireRx.r, userRx.r, pending);
            Check(res == (final ? kStepTurnPasses : kStepNoFrame));
            Check(pending == 0 && RingUsed(wireRx.r) == 0);
            Check(Drain(userRx.r) == expect);
            if (data.empty()) break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    if (data[0] & 1)
        RoundTrip(in);
    else
        DecodeWire(in);
    return 0;
}

// Channel buffers over real movable memory blocks: copies across the ring's end, the
// status word, overflow of receive views, realignment of transmit views, and string reads.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "channels/channel_buffer.h"
#include "platform/movable_memory.h"

namespace tolvan {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Sequence(size_t n, uint8_t first = 0) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

// One ring as a shared port holds it, with the port's own write position, feeding the
// receive views that look at it.
class Ring {
public:
    explicit Ring(uint32_t size) : size_(size) {
        memory_ = plat::GlobalAlloc(plat::GMEM_MOVEABLE | plat::GMEM_ZEROINIT, size);
    }
    ~Ring() { plat::GlobalFree(memory_); }

    plat::HGLOBAL memory() const { return memory_; }
    uint32_t size() const { return size_; }
    uint32_t position() const { return position_; }

    // Stores bytes at the port position (wrapping) and announces them to the views.
    void Receive(const Bytes& bytes, std::initializer_list<CChannelBuffer*> views) {
        auto* p = static_cast<uint8_t*>(plat::GlobalLock(memory_));
        for (uint8_t b : bytes) {
            p[position_] = b;
            position_ = (position_ + 1) % size_;
        }
        plat::GlobalUnlock(memory_);
        for (CChannelBuffer* v : views) v->Received(static_cast<uint32_t>(bytes.size()));
    }
    // Moves the port position as if n bytes had gone by earlier.
    void Skip(uint32_t n) { position_ = (position_ + n) % size_; }

    uint8_t At(uint32_t i) const {
        auto* p = static_cast<const uint8_t*>(plat::GlobalLock(memory_));
        const uint8_t b = p[i];
        plat::GlobalUnlock(memory_);
        return b;
    }

private:
    uint32_t size_;
    uint32_t position_ = 0;
    plat::HGLOBAL memory_ = 0;
};

class ChannelBufferTest : public ::testing::Test {
protected:
    void TearDown() override { plat::MemoryFaults::Reset(); }

    // Reads everything the view holds.
    static Bytes Drain(CChannelBuffer& b) {
        Bytes out(b.Count());
        out.resize(b.Read(out));
        return out;
    }
};

TEST_F(ChannelBufferTest, ReadAndWriteCopyAcrossTheRingEndAndKeepInvariants) {
    Ring ring(16);
    CChannelBuffer tx(ring.size(), ring.memory(), 12);
    EXPECT_EQ(tx.WriteIndex(), 12u);
    EXPECT_EQ(tx.ReadIndex(), 12u);

    const Bytes data = Sequence(10, 'a');
    EXPECT_EQ(tx.Write(data), 10u);
    EXPECT_EQ(tx.Count(), 10u);
    EXPECT_EQ(tx.WriteIndex(), 6u);  // 4 at the end, 6 from the start
    EXPECT_EQ(ring.At(15), 'a' + 3);
    EXPECT_EQ(ring.At(0), 'a' + 4);
    EXPECT_EQ(tx.Flags(), 0u);
    // Every copy unlocks what it locked.
    EXPECT_EQ(plat::GlobalLockCount(ring.memory()), 0u);

    Bytes out(10);
    EXPECT_EQ(tx.Read(out), 10u);
    EXPECT_EQ(out, data);
    EXPECT_EQ(tx.Count(), 0u);
    EXPECT_EQ(tx.ReadIndex(), tx.WriteIndex());
    EXPECT_EQ(plat::GlobalLockCount(ring.memory()), 0u);
}

TEST_F(ChannelBufferTest, ShortReadsAndShortWritesSetTheirBitsAndReportWhatMoved) {
    Ring ring(8);
    CChannelBuffer b(ring.size(), ring.memory(), 0);

    Bytes none;
    EXPECT_EQ(b.Read(none), 0u);
    EXPECT_EQ(b.Flags(), 0u) << "reading 0 bytes sets nothing";

    Bytes out(4);
    EXPECT_EQ(b.Read(out), 0u);
    EXPECT_EQ(b.Flags(), CChannelBuffer::ShortRead);

    EXPECT_EQ(b.Write(Sequence(11, 1)), 8u);
    EXPECT_EQ(b.Count(), 8u);
    EXPECT_TRUE(b.Flags() & CChannelBuffer::ShortWrite);
    EXPECT_EQ(b.WriteIndex(), b.ReadIndex()) << "full: positions meet";
    EXPECT_EQ(b.Write(B("x")), 0u);

    out.assign(20, 0xEE);
    EXPECT_EQ(b.Read(out), 8u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), Sequence(8, 1));
    EXPECT_EQ(out[8], 0xEE) << "nothing beyond what was held is written";

    b.Clear();
    EXPECT_EQ(b.Flags(), 0u);
    EXPECT_EQ(b.Count(), 0u);
}

TEST_F(ChannelBufferTest, MemoryThatCannotBeLockedDeliversNothing) {
    Ring ring(8);
    CChannelBuffer b(ring.size(), ring.memory(), 0);
    ASSERT_EQ(b.Write(B("abc")), 3u);

    plat::MemoryFaults::FailLocks(0, 1);
    Bytes out(3);
    EXPECT_EQ(b.Read(out), 0u);
    EXPECT_EQ(b.Flags(), CChannelBuffer::BufferLockFailed);
    EXPECT_EQ(b.Count(), 3u) << "a failed read removes nothing";

    plat::MemoryFaults::FailLocks(0, 1);
    EXPECT_EQ(b.Write(B("d")), 0u);
    EXPECT_EQ(b.Count(), 3u);

    plat::MemoryFaults::FailLocks(0, 1);
    Bytes line(8);
    EXPECT_EQ(b.ReadUntil(line, 'c'), 0);
    EXPECT_TRUE(b.Flags() & CChannelBuffer::BufferLockFailed);
    EXPECT_EQ(b.Count(), 3u);

    // The next access that can lock clears the bit again.
    EXPECT_EQ(b.Read(out), 3u);
    EXPECT_EQ(out, B("abc"));
    EXPECT_FALSE(b.Flags() & CChannelBuffer::BufferLockFailed);

    // A view without memory fails the same way instead of touching anything.
    CChannelBuffer detached(8, 0, 0);
    EXPECT_EQ(detached.Write(B("a")), 0u);
    EXPECT_EQ(detached.Flags(), CChannelBuffer::BufferLockFailed);
}

TEST_F(ChannelBufferTest, ReceiveViewsEachReadAtTheirOwnPace) {
    Ring ring(32);
    CChannelBuffer a(ring.size(), ring.memory(), ring.position());
    CChannelBuffer b(ring.size(), ring.memory(), ring.position());

    ring.Receive(B("0123456789"), {&a, &b});
    EXPECT_EQ(Drain(a), B("0123456789"));
    EXPECT_EQ(a.Count(), 0u);
    EXPECT_EQ(b.Count(), 10u) << "reading one view leaves the other";
    ring.Receive(B("ab"), {&a, &b});
    EXPECT_EQ(Drain(b), B("0123456789ab"));
    EXPECT_EQ(Drain(a), B("ab"));
}

TEST_F(ChannelBufferTest, OverflowKeepsTheNewestBytesUntilReinitialised) {
    Ring ring(50);
    CChannelBuffer v(ring.size(), ring.memory(), 0);
    const Bytes data = Sequence(55);
    ring.Receive(data, {&v});
    EXPECT_TRUE(v.Flags() & CChannelBuffer::Overflow);
    EXPECT_EQ(v.Count(), 50u);
    EXPECT_EQ(v.Received(0), 4) << "an overflowed view keeps saying so";
    EXPECT_EQ(Drain(v), Bytes(data.end() - 50, data.end()));

    // The bit stays, but bytes that arrive after the reader caught up are still delivered
    // (an overflowed view that showed nothing new would lose everything from then on).
    ring.Receive(B("new"), {&v});
    EXPECT_EQ(v.Count(), 3u);
    EXPECT_EQ(Drain(v), B("new"));
    // And it overflows again as before, keeping the newest size bytes.
    EXPECT_EQ(v.Received(0), 4);
    ring.Receive(Sequence(60, 100), {&v});
    EXPECT_EQ(v.Count(), 50u);
    EXPECT_EQ(Drain(v), Sequence(50, 110));
    EXPECT_TRUE(v.Flags() & CChannelBuffer::Overflow);

    v.Clear();
    EXPECT_EQ(v.Flags(), 0u);
    ring.Receive(B("ok"), {&v});
    EXPECT_EQ(v.Flags(), 0u);
    EXPECT_EQ(Drain(v), B("ok"));
}

TEST_F(ChannelBufferTest, ReceivedClearsShortReadOnlyForNewBytes) {
    Ring ring(8);
    CChannelBuffer v(ring.size(), ring.memory(), 0);
    Bytes out(1);
    v.Read(out);
    ASSERT_TRUE(v.Flags() & CChannelBuffer::ShortRead);
    EXPECT_EQ(v.Received(0), 0);
    EXPECT_TRUE(v.Flags() & CChannelBuffer::ShortRead);
    ring.Receive(B("z"), {&v});
    EXPECT_FALSE(v.Flags() & CChannelBuffer::ShortRead);
}

TEST_F(ChannelBufferTest, SentAdvancesTransmitViewsAndRealignsThoseWithLessPending) {
    Ring ring(16);
    CChannelBuffer writer(ring.size(), ring.memory(), 14);
    CChannelBuffer other(ring.size(), ring.memory(), 14);
    writer.Write(Sequence(20));  // fills it
    ASSERT_TRUE(writer.Flags() & CChannelBuffer::ShortWrite);

    writer.Sent(5);
    other.Sent(5);
    EXPECT_FALSE(writer.Flags() & CChannelBuffer::ShortWrite);
    EXPECT_EQ(writer.Count(), 11u);
    EXPECT_EQ(writer.ReadIndex(), 3u);
    EXPECT_EQ(other.Count(), 0u);
    EXPECT_EQ(other.ReadIndex(), 3u);
    EXPECT_EQ(other.WriteIndex(), 3u) << "a view with less pending falls in step";

    writer.Sent(0);
    EXPECT_EQ(writer.Count(), 11u);
}

TEST_F(ChannelBufferTest, InitAtTheVeryEndOfTheRingStartsAtZero) {
    // A port's ring position may equal the ring size ("the end"); a view built there must
    // still keep its positions inside the ring.
    Ring ring(12);
    CChannelBuffer v(ring.size(), ring.memory(), 12);
    EXPECT_EQ(v.WriteIndex(), 0u);
    EXPECT_EQ(v.ReadIndex(), 0u);
    ring.Receive(B("hello"), {&v});
    EXPECT_EQ(Drain(v), B("hello"));
}

class ReadUntilTest : public ChannelBufferTest {
protected:
    ReadUntilTest() : ring(16), v(ring.size(), ring.memory(), 0) {}
    std::string Take(int16_t terminator, size_t n, int32_t* length) {
        Bytes dest(n, 0xAA);
        *length = v.ReadUntil(dest, terminator);
        return std::string(dest.begin(), dest.end());
    }
    Ring ring;
    CChannelBuffer v;
};

TEST_F(ReadUntilTest, CrLfEndsTheStringAndIsDropped) {
    ring.Receive(B("AB\r\nCD"), {&v});
    int32_t len = -1;
    const std::string got = Take(CChannelBuffer::kCrLf, 8, &len);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(got, std::string("AB\0\0\0\0\0\0", 8)) << "delivered bytes, then zeros";
    EXPECT_EQ(Drain(v), B("CD"));
}

TEST_F(ReadUntilTest, CrLfIsFoundAcrossTheRingEnd) {
    ring.Skip(12);
    v.Init(ring.size(), ring.memory(), ring.position());
    ring.Receive(B("xyz\r\nrest"), {&v});  // CR at index 15, LF at index 0
    ASSERT_EQ(ring.At(15), '\r');
    ASSERT_EQ(ring.At(0), '\n');
    int32_t len = -1;
    const std::string got = Take(CChannelBuffer::kCrLf, 10, &len);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(got.substr(0, 4), std::string("xyz\0", 4));
    EXPECT_EQ(Drain(v), B("rest"));
}

TEST_F(ReadUntilTest, IncompleteLineRemovesNothing) {
    ring.Receive(B("AB\r"), {&v});
    int32_t len = -1;
    Take(CChannelBuffer::kCrLf, 8, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(v.Count(), 3u);
    ring.Receive(B("\n"), {&v});
    const std::string got = Take(CChannelBuffer::kCrLf, 8, &len);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(got.substr(0, 3), std::string("AB\0", 3));
    EXPECT_EQ(v.Count(), 0u);
}

TEST_F(ReadUntilTest, StaleRingBytesAreNeverTakenForATerminator) {
    // Old traffic leaves terminators in the ring; a view that holds nothing must not find
    // them (that would report a string length while delivering nothing).
    ring.Receive(B("ab;cd\r\nef"), {});
    CChannelBuffer empty(ring.size(), ring.memory(), 0);
    Bytes dest(8, 0xAA);
    EXPECT_EQ(empty.ReadUntil(dest, ';'), 0);
    EXPECT_EQ(empty.ReadUntil(dest, CChannelBuffer::kCrLf), 0);
    EXPECT_EQ(empty.Count(), 0u);
    EXPECT_EQ(empty.ReadIndex(), 0u) << "nothing was consumed";
}

TEST_F(ReadUntilTest, CrWhoseLfHasNotArrivedIsNotALineEndEvenOverAStaleLf) {
    Ring r(8);
    // Old traffic leaves an LF at index 3.
    CChannelBuffer old(r.size(), r.memory(), 0);
    r.Receive(B("abc\n"), {&old});
    // A view starting at 0 that receives "xy" CR at 0..2: the byte after the CR is the
    // old LF, but the LF of this line has not arrived.
    CChannelBuffer view(r.size(), r.memory(), 0);
    auto* p = static_cast<uint8_t*>(plat::GlobalLock(r.memory()));
    std::memcpy(p, "xy\r", 3);
    plat::GlobalUnlock(r.memory());
    view.Received(3);
    ASSERT_EQ(r.At(3), '\n');
    Bytes dest(8);
    EXPECT_EQ(view.ReadUntil(dest, CChannelBuffer::kCrLf), 0);
    EXPECT_EQ(view.Count(), 3u) << "nothing removed while the line is incomplete";
}

TEST_F(ReadUntilTest, TerminatorsOutsideAByteDoNothing) {
    ring.Receive(B("abc\n"), {&v});
    Bytes dest(6, 0xAA);
    EXPECT_EQ(v.ReadUntil(dest, 300), 0);
    EXPECT_EQ(dest, Bytes(6, 0xAA)) << "destination untouched";
    EXPECT_EQ(v.Count(), 4u);
}

TEST_F(ReadUntilTest, NoTerminatorReadsOneLessThanTheRoom) {
    Ring big(32);
    CChannelBuffer w(big.size(), big.memory(), 0);
    big.Receive(Sequence(20, 'A'), {&w});
    Bytes dest(10, 0xAA);
    EXPECT_EQ(w.ReadUntil(dest, CChannelBuffer::kNoTerminator), 9);
    EXPECT_EQ(Bytes(dest.begin(), dest.begin() + 9), Sequence(9, 'A'));
    EXPECT_EQ(dest[9], 0) << "always followed by a zero byte";
    EXPECT_EQ(w.Count(), 11u);
}

TEST_F(ReadUntilTest, ADestinationWithoutRoomDeliversNothing) {
    ring.Receive(B("ab;cd"), {&v});
    Bytes empty;
    EXPECT_EQ(v.ReadUntil(empty, CChannelBuffer::kNoTerminator), 0);
    EXPECT_EQ(v.ReadUntil(empty, ';'), 0);
    EXPECT_EQ(v.Count(), 5u);
}

TEST_F(ReadUntilTest, ByteTerminatorAndTheScanLimit) {
    ring.Receive(B("abcdef;gh;"), {&v});
    int32_t len = -1;
    // n = 7 looks at 6 bytes: the ';' at offset 6 is out of reach.
    Take(';', 7, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(v.Count(), 10u);
    const std::string got = Take(';', 8, &len);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(got, std::string("abcdef\0\0", 8));
    // A terminator right at the read index: length 0, but it is consumed.
    ring.Receive(B(";"), {&v});
    Take(';', 7, &len);
    EXPECT_EQ(len, 2);  // "gh"
    Take(';', 7, &len);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(v.Count(), 0u);
}

}  // namespace
}  // namespace tolvan

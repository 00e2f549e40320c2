// The reader of one shared port's streams. While the port has at least one stream, a
// thread sleeps in poll() on the device's arrival descriptor, the streams' descriptors and
// an event descriptor for wake-ups (no timer while idle). When the device has bytes it has
// the port take them into its receive ring as a polled read would, so every channel still
// sees every byte, and each stream writes on what its channel's view got. It also takes
// what programs write to the streams and sends it as their channels' writes.
//
// A port without streams has no thread and behaves as before. The hub is the port's
// ReceiveTap, so bytes a polling channel's read takes off the device reach the streams too.
//
// Threads: the reader takes the server lock for everything but its sleep. Whoever stops it
// (the last stream leaving, the port going) does so under the server lock and does not
// wait for it: the thread sees that it was stopped when it next holds the lock and leaves
// without touching anything. docs/threading-streams.md has the whole picture.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ports/receive_tap.h"

namespace tolvan {

class CSharedPort;
class ChannelStream;

class StreamHub final : public ReceiveTap {
public:
    // The port's hub, made (and installed as its tap) on first use.
    static StreamHub& Of(CSharedPort& port);

    explicit StreamHub(CSharedPort& port);
    ~StreamHub() override;

    // A stream joins or leaves; the reader starts with the first and stops with the last.
    void Add(ChannelStream* stream);
    void Remove(ChannelStream* stream);
    bool Empty() const { return streams_.empty(); }

    void Received(uint32_t n) override;
    bool HoldReceive() const override;
    void Changed() override;

private:
    struct Core;
    static void Run(std::shared_ptr<Core> core, StreamHub* hub);
    // One round of the reader with the lock held: what to sleep on.
    void Round(Core& core);
    void ReadDevice();
    void Start();
    void Stop();
    void Wake() const;
    void EndStreams(std::vector<ChannelStream*>& ended);

    CSharedPort& port_;
    std::vector<ChannelStream*> streams_;
    std::shared_ptr<Core> core_;  // the running reader's, or null
    uint64_t generation_ = 0;     // changes whenever streams_ does
    uint64_t received_ = 0;       // bytes the port has taken from the device
    bool deviceQuiet_ = false;    // the device failed: not slept on until something changes
};

}  // namespace tolvan

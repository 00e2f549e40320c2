#include "channels/stream_hub.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "channels/channel_stream.h"
#include "channels/doc_comm.h"
#include "platform/server_lock.h"
#include "ports/shared_port.h"

namespace tolvan {

namespace {

// The views hear about a stream's counts at most this often.
constexpr int64_t kHintEveryMs = 100;
// While bytes a stream gave wait for the device, the reader looks again this often.
constexpr int kPushEveryMs = 10;
// Ring fills taken from the device in one wake-up before the streams get their turn.
constexpr int kReadsPerWake = 64;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct StreamHub::Core {
    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    bool stopped = false;  // under the server lock
    int64_t lastHint = 0;  // the reader's own
    Core() = default;
    ~Core() {
        if (wakeFd >= 0) close(wakeFd);
    }
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;
};

StreamHub& StreamHub::Of(CSharedPort& port) {
    plat::ServerLockGuard guard;
    if (auto* hub = dynamic_cast<StreamHub*>(port.Tap())) return *hub;
    auto hub = std::make_unique<StreamHub>(port);
    StreamHub& ref = *hub;
    port.SetTap(std::move(hub));
    return ref;
}

StreamHub::StreamHub(CSharedPort& port) : port_(port) {}

StreamHub::~StreamHub() {
    plat::ServerLockGuard guard;
    for (ChannelStream* s : streams_) s->hub_ = nullptr;
    streams_.clear();
    Stop();
}

void StreamHub::Add(ChannelStream* stream) {
    plat::ServerLockGuard guard;
    streams_.push_back(stream);
    ++generation_;
    deviceQuiet_ = false;
    if (!core_) Start();
    Wake();
}

void StreamHub::Remove(ChannelStream* stream) {
    plat::ServerLockGuard guard;
    auto it = std::find(streams_.begin(), streams_.end(), stream);
    if (it == streams_.end()) return;
    streams_.erase(it);
    ++generation_;
    if (streams_.empty())
        Stop();
    else
        Wake();
}

void StreamHub::Received(uint32_t n) {
    received_ += n;
    bool ended = false;
    for (ChannelStream* s : streams_) ended |= !s->Deliver();
    // Streams end on the reader, never inside someone else's read.
    if (ended) Wake();
}

bool StreamHub::HoldReceive() const {
    return std::any_of(streams_.begin(), streams_.end(),
                       [](const ChannelStream* s) { return s->Holding(); });
}

void StreamHub::Changed() {
    deviceQuiet_ = false;
    Wake();
}

void StreamHub::Wake() const {
    if (!core_) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(core_->wakeFd, &one, sizeof one);
}

void StreamHub::Start() {
    core_ = std::make_shared<Core>();
    // Never joined: whoever stops the reader holds the server lock the reader needs to
    // notice. It leaves on its own, holding its core, and touches nothing of the hub then.
    std::thread(&StreamHub::Run, core_, this).detach();
}

void StreamHub::Stop() {
    if (!core_) return;
    core_->stopped = true;
    Wake();
    core_.reset();
}

void StreamHub::Run(std::shared_ptr<Core> core, StreamHub* hub) {
    plat::ServerLock::Lock();
    while (!core->stopped) hub->Round(*core);
    plat::ServerLock::Unlock();
}

void StreamHub::Round(Core& core) {
    std::vector<pollfd> fds;
    std::vector<ChannelStream::Wanted> wanted;
    std::vector<ChannelStream*> owners;
    fds.push_back({core.wakeFd, POLLIN, 0});
    int deviceAt = -1;
    if (port_.IsOpen() && !deviceQuiet_ && !HoldReceive()) {
        const int fd = port_.ArrivalFd();
        if (fd >= 0) {
            deviceAt = static_cast<int>(fds.size());
            fds.push_back({fd, POLLIN, 0});
        }
    }
    bool sendPending = false;
    for (ChannelStream* s : streams_) {
        const std::size_t from = wanted.size();
        s->Want(wanted, &sendPending);
        for (std::size_t i = from; i < wanted.size(); ++i) {
            fds.push_back({wanted[i].fd, wanted[i].events, 0});
            owners.push_back(s);
        }
    }
    int timeout = sendPending ? kPushEveryMs : -1;
    const int64_t sinceHint = NowMs() - core.lastHint;
    if (std::any_of(streams_.begin(), streams_.end(),
                    [](const ChannelStream* s) { return s->dirty_; })) {
        const int due = static_cast<int>(std::max<int64_t>(0, kHintEveryMs - sinceHint));
        timeout = timeout < 0 ? due : std::min(timeout, due);
    }
    const uint64_t generation = generation_;

    plat::ServerLock::Unlock();
    const int ready = poll(fds.data(), fds.size(), timeout);
    plat::ServerLock::Lock();
    // Whatever was here may have gone while the lock was let go.
    if (core.stopped) return;

    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
        uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = read(core.wakeFd, &value, sizeof value);
    }
    if (ready > 0 && deviceAt >= 0 && fds[static_cast<std::size_t>(deviceAt)].revents != 0) {
        const short revents = fds[static_cast<std::size_t>(deviceAt)].revents;
        const uint64_t before = received_;
        ReadDevice();
        // A hung-up device stays "ready": sleeping on it again would spin.
        if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && received_ == before)
            deviceQuiet_ = true;
    }
    // Descriptors of a stream list that changed meanwhile may belong to someone else now.
    if (ready > 0 && generation == generation_) {
        const std::size_t base = fds.size() - wanted.size();
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const short revents = fds[base + i].revents;
            if (revents != 0) owners[i]->Service(wanted[i].tag, revents);
            if (core.stopped || generation != generation_) return;
        }
    }
    if (sendPending)
        for (ChannelStream* s : streams_) s->PushPending();

    std::vector<ChannelStream*> ended;
    for (ChannelStream* s : streams_)
        if (s->ended_) ended.push_back(s);
    EndStreams(ended);
    if (core.stopped) return;

    if (NowMs() - core.lastHint >= kHintEveryMs) {
        core.lastHint = NowMs();
        for (ChannelStream* s : streams_)
            if (s->TakeDirty()) s->Channel().UpdateAllViews(kHintReceive);
    }
}

void StreamHub::ReadDevice() {
    for (int i = 0; i < kReadsPerWake && !HoldReceive(); ++i) {
        const uint64_t before = received_;
        const int status = port_.PollReceive();
        if (status < 0) {
            if (port_.DeviceGone()) deviceQuiet_ = true;
            return;
        }
        // Less than a ring's worth: the device had no more (poll says when it has).
        if (received_ - before < port_.RxSize()) return;
    }
}

void StreamHub::EndStreams(std::vector<ChannelStream*>& ended) {
    // Destroying a stream takes it out of streams_ (and may stop this reader).
    for (ChannelStream* s : ended) s->End();
}

}  // namespace tolvan

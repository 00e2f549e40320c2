#include "channels/channel_stream.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <memory>

#include "channels/channel_buffer.h"
#include "channels/doc_comm.h"
#include "channels/stream_hub.h"
#include "platform/server_lock.h"
#include "ports/shared_port.h"

namespace tolvan {

namespace {

enum Tag { kTagMain = 0, kTagWatch = 1 };

// One read from a stream's descriptor at most this much.
constexpr std::size_t kInputChunk = 16384;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Bytes waiting to be read on a descriptor.
int Pending(int fd) {
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
}

}  // namespace

ChannelStream::ChannelStream(CDocComm& doc, StreamKind kind, int fd)
    : doc_(doc), kind_(kind), fd_(fd) {}

ChannelStream::~ChannelStream() {
    if (hub_ != nullptr) hub_->Remove(this);
    CloseFd(fd_);
    CloseFd(watchFd_);
}

CChannelBuffer* ChannelStream::View() const {
    return doc_.rxBuffer_.get();
}

void ChannelStream::PortChanged() {
    plat::ServerLockGuard guard;
    CSharedPort* port = doc_.port_;
    StreamHub* now = port != nullptr ? &StreamHub::Of(*port) : nullptr;
    if (now == hub_) return;
    if (hub_ != nullptr) hub_->Remove(this);
    hub_ = now;
    seenView_ = nullptr;
    // Bytes from this moment on: what the new view held before is not the stream's.
    if (CChannelBuffer* view = View()) {
        view->Discard(view->Count());
        seenView_ = view;
        seenLost_ = view->Lost();
    }
    if (hub_ != nullptr) hub_->Add(this);
}

void ChannelStream::NoteLost(const CChannelBuffer& view) {
    if (&view != seenView_) {
        seenView_ = &view;
        seenLost_ = view.Lost();
        return;
    }
    if (view.Lost() > seenLost_) {
        lost_ += view.Lost() - seenLost_;
        dirty_ = true;
    }
    seenLost_ = view.Lost();
}

bool ChannelStream::MayTakeInput() const {
    const CSharedPort* port = doc_.port_;
    const CChannelBuffer* tx = doc_.txBuffer_.get();
    return port != nullptr && port->IsOpen() && tx != nullptr && tx->Count() < tx->Size() &&
           !port->IsLockedByOther(&doc_);
}

void ChannelStream::Want(std::vector<Wanted>& out, bool* sendPending) {
    if (ended_) return;
    const CChannelBuffer* tx = doc_.txBuffer_.get();
    if (tx != nullptr && tx->Count() > 0) *sendPending = true;
    const CChannelBuffer* view = View();
    const bool holds = view != nullptr && view->Count() > 0;
    const bool mayTake = MayTakeInput();
    if (kind_ == StreamKind::Terminal) {
        if (nobody_) {
            out.push_back({watchFd_, POLLIN, kTagWatch});
            // What the last program wrote before it closed still goes out.
            if (mayTake && Pending(fd_) > 0) out.push_back({fd_, POLLIN, kTagMain});
            return;
        }
        // Always there: the master's hang-up says that the last program closed it.
        out.push_back(
            {fd_, static_cast<short>((mayTake ? POLLIN : 0) | (holds ? POLLOUT : 0)), kTagMain});
        return;
    }
    if (peerClosed_) {
        // Its hang-up stays: looked at only when what it sent last can be taken.
        if (mayTake) out.push_back({fd_, POLLIN, kTagMain});
        return;
    }
    out.push_back({fd_,
                   static_cast<short>((mayTake ? POLLIN : 0) | (holds ? POLLOUT : 0) | POLLRDHUP),
                   kTagMain});
}

bool ChannelStream::Service(int tag, short revents) {
    if (ended_) return false;
    if (tag == kTagWatch) {
        // A program opened the slave. What the last one left unread is not for it.
        std::array<char, 4096> events{};
        while (read(watchFd_, events.data(), events.size()) > 0) {}
        if (nobody_) {
            tcflush(fd_, TCOFLUSH);
            nobody_ = false;
            dirty_ = true;
        }
        return true;
    }
    const bool hangUp = (revents & (POLLHUP | POLLERR | POLLRDHUP)) != 0;
    if ((revents & POLLIN) != 0 || hangUp) {
        if (MayTakeInput()) {
            if (!TakeInput()) return false;
        } else if (kind_ == StreamKind::Socket && hangUp) {
            peerClosed_ = true;
        }
    }
    if (kind_ == StreamKind::Terminal && (revents & POLLHUP) != 0 && !nobody_) {
        nobody_ = true;
        dirty_ = true;
        // Nobody reads what it still holds.
        Deliver();
    }
    if ((revents & POLLOUT) != 0 && !Deliver()) return false;
    return !ended_;
}

bool ChannelStream::TakeInput() {
    std::array<uint8_t, kInputChunk> buffer{};
    // A few reads per turn, so one busy writer does not keep the others waiting.
    for (int round = 0; round < 4 && MayTakeInput(); ++round) {
        CChannelBuffer* tx = doc_.txBuffer_.get();
        const std::size_t room = std::min<std::size_t>(tx->Size() - tx->Count(), buffer.size());
        const ssize_t got = read(fd_, buffer.data(), room);
        if (got > 0) {
            const uint32_t stored =
                tx->Write(std::span<const uint8_t>(buffer.data(), static_cast<std::size_t>(got)));
            sent_ += stored;
            dirty_ = true;
            doc_.port_->PushTransmit(tx->Count());
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return true;
        if (kind_ == StreamKind::Terminal) {
            // EIO: the last program closed the slave and everything it wrote is taken.
            if (got < 0 && errno == EIO) nobody_ = true;
            return true;
        }
        // The client closed its end (or it broke): the stream ends.
        ended_ = true;
        return false;
    }
    return true;
}

bool ChannelStream::Deliver() {
    if (ended_) return false;
    CChannelBuffer* view = View();
    if (view == nullptr) return true;
    NoteLost(*view);
    if (kind_ == StreamKind::Terminal && nobody_) {
        if (view->Count() > 0) {
            lost_ += view->Count();
            dirty_ = true;
            view->Discard(view->Count());
        }
        return true;
    }
    while (view->Count() > 0) {
        ssize_t wrote = -1;
        int error = 0;
        const bool locked = view->Visit([&](std::span<const uint8_t> ring) {
            const uint32_t at = view->ReadIndex();
            const uint32_t count = view->Count();
            const uint32_t first = std::min(count, view->Size() - at);
            std::array<iovec, 2> iov{};
            iov[0] = {const_cast<uint8_t*>(ring.data()) + at, first};
            iov[1] = {const_cast<uint8_t*>(ring.data()), count - first};
            const int pieces = count > first ? 2 : 1;
            if (kind_ == StreamKind::Socket) {
                msghdr message{};
                message.msg_iov = iov.data();
                message.msg_iovlen = static_cast<std::size_t>(pieces);
                wrote = sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
            } else {
                wrote = writev(fd_, iov.data(), pieces);
            }
            error = errno;
        });
        if (!locked) return true;
        if (wrote > 0) {
            view->Discard(static_cast<uint32_t>(wrote));
            passed_ += static_cast<uint64_t>(wrote);
            dirty_ = true;
            continue;
        }
        if (wrote < 0 && error == EINTR) continue;
        if (wrote < 0 && error == EAGAIN) return true;
        if (kind_ == StreamKind::Terminal) {
            // The slave was closed under us: from now on nobody reads.
            nobody_ = true;
            lost_ += view->Count();
            dirty_ = true;
            view->Discard(view->Count());
            return true;
        }
        ended_ = true;
        return false;
    }
    return true;
}

bool ChannelStream::Holding() const {
    if (!lossless_ || ended_ || nobody_) return false;
    const CChannelBuffer* view = View();
    return view != nullptr && view->Count() > 0;
}

void ChannelStream::PushPending() {
    CChannelBuffer* tx = doc_.txBuffer_.get();
    if (doc_.port_ != nullptr && tx != nullptr && tx->Count() > 0)
        doc_.port_->PushTransmit(tx->Count());
}

bool ChannelStream::TakeDirty() {
    const bool was = dirty_;
    dirty_ = false;
    return was;
}

void ChannelStream::Install(CDocComm& doc, std::unique_ptr<ChannelStream> stream) {
    doc.stream_ = std::move(stream);
    doc.stream_->PortChanged();
}

void ChannelStream::End() {
    if (doc_.stream_.get() == this) doc_.stream_.reset();
}

StreamInfo ChannelStream::Info() const {
    StreamInfo info;
    info.active = true;
    info.kind = kind_;
    info.terminalPath = path_;
    info.holder = holder_;
    info.lossless = lossless_;
    info.programOpen = kind_ == StreamKind::Socket || !nobody_;
    info.passed = passed_;
    info.lost = lost_;
    info.sent = sent_;
    const CChannelBuffer* view = View();
    info.held = view != nullptr ? view->Count() : 0;
    return info;
}

int OpenStreamTerminal(CDocComm& doc, bool lossless, std::string* path, std::string* error) {
    plat::ServerLockGuard guard;
    if (ChannelStream* s = doc.Stream()) {
        if (s->kind_ == StreamKind::Terminal) {
            *path = s->path_;
            return 0;
        }
        *error = "the channel's received bytes go to a stream that " + s->holder_ +
                 " holds; it has no terminal while that stream is open";
        return -1;
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::array<char, 128> name{};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name.data(), name.size()) != 0) {
        *error = std::string("no pseudo-terminal can be had: ") + strerror(errno);
        if (master >= 0) close(master);
        return -1;
    }
    // Raw from the start: no echo back to the device, no line editing. The settings stay
    // with the pty while its master is open; closing the slave here leaves the master
    // hung up until a program opens it.
    const int slave = open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (slave < 0 || tcgetattr(slave, &raw) != 0) {
        *error = std::string("the pseudo-terminal cannot be set up: ") + strerror(errno);
        if (slave >= 0) close(slave);
        close(master);
        return -1;
    }
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    close(slave);

    std::unique_ptr<ChannelStream> stream(new ChannelStream(doc, StreamKind::Terminal, master));
    stream->path_ = name.data();
    stream->lossless_ = lossless;
    stream->watchFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (stream->watchFd_ < 0 || inotify_add_watch(stream->watchFd_, name.data(), IN_OPEN) < 0) {
        *error = std::string("cannot watch the terminal for programs: ") + strerror(errno);
        return -1;
    }
    // Opened between our close and the watch: the master no longer hangs up.
    pollfd probe{master, POLLOUT, 0};
    if (poll(&probe, 1, 0) == 1 && (probe.revents & POLLHUP) == 0) stream->nobody_ = false;
    *path = stream->path_;
    ChannelStream::Install(doc, std::move(stream));
    return 0;
}

int AcquireChannelStream(CDocComm& doc, const std::string& holder, int* clientFd,
                         std::string* error) {
    plat::ServerLockGuard guard;
    if (ChannelStream* s = doc.Stream()) {
        *error = s->kind_ == StreamKind::Terminal
                     ? "the channel's received bytes go to its terminal " + s->path_
                     : "the channel's received bytes go to a stream that " + s->holder_ +
                           " holds; one stream per channel";
        return -1;
    }
    std::array<int, 2> ends{-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data()) != 0) {
        *error = std::string("no socket pair can be had: ") + strerror(errno);
        return -1;
    }
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    std::unique_ptr<ChannelStream> stream(new ChannelStream(doc, StreamKind::Socket, ends[0]));
    stream->holder_ = holder;
    stream->nobody_ = false;
    ChannelStream::Install(doc, std::move(stream));
    *clientFd = ends[1];
    return 0;
}

StreamInfo DescribeStream(const CDocComm& doc) {
    plat::ServerLockGuard guard;
    const ChannelStream* s = doc.Stream();
    return s != nullptr ? s->Info() : StreamInfo{};
}

}  // namespace tolvan

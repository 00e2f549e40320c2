// A channel's stream: a file descriptor that takes the channel's received bytes as they
// arrive and gives bytes to send as the channel's own writes. Two kinds:
//   terminal  the master of a pseudo-terminal whose slave any serial program opens
//             (OpenTerminal); it outlives the programs that open and close it
//   socket    our end of a Unix stream socket pair whose other end a client holds
//             (AcquireStream); it ends when the client closes its end
// One stream per channel at a time. While a channel has one, its polled reads return
// nothing: the stream takes the bytes.
//
// Received bytes go through the channel's own receive view, so a stream that cannot keep
// up overflows only its own view: the bytes it loses are counted and the view's Overflow
// bit reports them. A lossless terminal instead holds the port (nothing more is read from
// the device) until it has taken what it holds. Bytes for a terminal that no program has
// open are dropped and counted.
//
// Bytes a program writes go out in order as the channel's writes; they wait, never
// dropped, while another channel holds the port's write lock (the stream stops reading
// its descriptor, so the writer blocks). The program's terminal settings never reach the
// port, and modem-line requests on the terminal fail as on any pty.
//
// The stream's reader is the port's StreamHub (channels/stream_hub.h). Everything here
// runs under the server lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvan {

class CDocComm;
class CChannelBuffer;
class StreamHub;

enum class StreamKind { Terminal, Socket };

// What the window and clients may see of a channel's stream.
struct StreamInfo {
    bool active = false;
    StreamKind kind = StreamKind::Terminal;
    std::string terminalPath;  // the slave ("/dev/pts/4"), terminals only
    std::string holder;        // who holds the socket's other end, sockets only
    bool lossless = false;
    bool programOpen = false;  // a program has the terminal open (sockets: always)
    uint64_t passed = 0;       // received bytes the stream took
    uint64_t lost = 0;         // received bytes it lost (overflow, or nobody had it open)
    uint64_t sent = 0;         // bytes it gave the channel to send
    uint32_t held = 0;         // received bytes waiting in the channel's view for it
};

class ChannelStream {
public:
    ~ChannelStream();  // leaves the hub, closes its descriptors
    ChannelStream(const ChannelStream&) = delete;
    ChannelStream& operator=(const ChannelStream&) = delete;

    StreamKind Kind() const { return kind_; }
    const std::string& TerminalPath() const { return path_; }
    StreamInfo Info() const;

    // --- for the hub ---------------------------------------------------------------
    // The channel's port changed (connected, moved, disconnected): joins that port's hub.
    void PortChanged();
    // Appends what the stream wants to sleep on: descriptors and events, each with a tag
    // that Service gets back. Also says whether it holds bytes to send that the device has
    // not taken yet (then the hub wakes now and then to push them).
    struct Wanted {
        int fd;
        short events;
        int tag;
    };
    void Want(std::vector<Wanted>& out, bool* sendPending);
    // Something happened on a descriptor it asked for. False when the stream has ended
    // (the client closed its end): the hub then ends it.
    bool Service(int tag, short revents);
    // Writes what the channel's receive view holds on to the descriptor, as far as it
    // takes it; drops it when nobody can read it. False when the stream has ended.
    bool Deliver();
    // A lossless stream that still holds received bytes: the port must wait.
    bool Holding() const;
    // Pushes bytes the device did not take at once.
    void PushPending();
    // Counts changed since the views last heard (the hub tells them now and then).
    bool TakeDirty();
    CDocComm& Channel() const { return doc_; }

private:
    friend class StreamHub;
    friend int OpenStreamTerminal(CDocComm&, bool, std::string*, std::string*);
    friend int AcquireChannelStream(CDocComm&, const std::string&, int*, std::string*);
    ChannelStream(CDocComm& doc, StreamKind kind, int fd);
    // Makes it the channel's stream and lets it join the port's hub.
    static void Install(CDocComm& doc, std::unique_ptr<ChannelStream> stream);
    // The channel lets go of it (this is destroyed).
    void End();

    CChannelBuffer* View() const;
    void NoteLost(const CChannelBuffer& view);
    bool MayTakeInput() const;
    // Reads what the descriptor has and sends it; false when the stream ended.
    bool TakeInput();
    void WatchOpen();

    CDocComm& doc_;
    StreamKind kind_;
    int fd_ = -1;       // terminal master / our socket end (non-blocking)
    int watchFd_ = -1;  // terminals: inotify on the slave, wakes when a program opens it
    std::string path_;  // terminals: the slave
    std::string holder_;
    bool lossless_ = false;
    bool nobody_ = true;        // terminals: no program has the slave open (master hung up)
    bool peerClosed_ = false;   // sockets: the client closed its end
    StreamHub* hub_ = nullptr;  // the hub of the channel's port, while connected
    const CChannelBuffer* seenView_ = nullptr;
    uint64_t seenLost_ = 0;
    uint64_t passed_ = 0;
    uint64_t lost_ = 0;
    uint64_t sent_ = 0;
    bool dirty_ = false;
    bool ended_ = false;  // the hub ends it at its next round
};

// The channel's terminal: its slave's path in *path, made raw on the first call; the same
// path on later calls (*lossless is taken only then). 0; or -1 with *error saying why (the
// channel has a socket stream, no pty can be had).
int OpenStreamTerminal(CDocComm& doc, bool lossless, std::string* path, std::string* error);
// A socket stream for `holder`: the client's end in *clientFd (the caller passes it on and
// closes it). 0; or -1 with *error saying why (the channel has a stream already).
int AcquireChannelStream(CDocComm& doc, const std::string& holder, int* clientFd,
                         std::string* error);
// What the window shows (inactive when the channel has no stream).
StreamInfo DescribeStream(const CDocComm& doc);

}  // namespace tolvan

// The automation server on D-Bus. It owns the bus names RiVo32.Document, DaRi32.Document
// and ViDA.Document (one bus connection per name, so that a call tells by its connection
// which class the client asked for) and publishes on each:
//   /                  Tolvan32.ClassFactory (the name's channel class)
//   /Server            Tolvan32.Server (global atoms)
//   /Channels/<n>      Tolvan32.Dispatch, Tolvan32.Unknown, Tolvan32.Transfer, Tolvan32.Stream
//                      (automation/stream_calls.h) and the typed
//                      interfaces of the channel's class (RiVo32.Document; DaRi32.Document
//                      too on a modem channel), with their properties
// References belong to the client connection that took them and are released when it
// disconnects or dies. The interfaces are documented in automation/interfaces/*.xml.
//
// Threads: bus messages arrive on the window thread. Introspection, Ping, AddRef and
// Release are answered there (they create and destroy documents), and so are calls that
// cannot wait (automation/prompt_calls.h) while no call of their channel is under way and
// the server lock is free: a hand-over to a worker and back would cost more than the call.
// Every other channel call is answered later (a delayed reply) by a worker of the call
// queue: one lane per client and channel, so a client's calls on a channel keep their
// order while a call that waits holds up no other client and not the window. The channel operations
// take the server lock themselves and the one wait function lets it go while waiting. A channel a
// worker is calling stays alive: Releases that arrive meanwhile take effect when its calls end.
// Stop() lets the queued calls finish and answer before the server leaves the bus.
//
// What a channel call does is the channel router's (automation/channel_router.h); the
// server keeps the channels, their references and the threads the calls run on.
//
// The application:
//   AutomationServer server(host);              // host: its ChannelHost
//   if (!server.Start()) ...                    // session bus; a test passes an address
//   connect(&server, &AutomationServer::LastObjectReleased, ...)   // automation mode: quit
//   server.EmitXferProgress(...)                // from the transfer progress sink
#pragma once

#include "automation/call_queue.h"
#include "automation/channel_host.h"
#include "automation/channel_router.h"
#include "automation/reference_book.h"
#include "automation/transfer_signal.h"
#include "automation/wait_reactor.h"
#include "platform/ranked_mutex.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tdbus {

class ChannelObjects;
class ClassFactoryObject;
class ServerObject;

// Channel calls run side by side on at most this many workers; more wait in their lanes.
constexpr std::size_t kCallWorkers = 16;

class AutomationServer : public QObject {
    Q_OBJECT
public:
    explicit AutomationServer(ChannelHost& host, QObject* parent = nullptr);
    ~AutomationServer() override;  // Stop()

    // Connects to the bus at `busAddress` (the session bus when empty), publishes the
    // objects and claims the three names. False when the bus cannot be reached or a name
    // is taken (another server runs); nothing stays published then. `error` says why.
    bool Start(const QString& busAddress = {}, QString* error = nullptr);
    // Lets the calls under way finish and answer, gives the names up and leaves the bus.
    // Channels are not released: they belong to the application, which destroys them at
    // exit.
    void Stop();
    bool IsRunning() const { return running_; }

    // Channels that clients hold.
    int ObjectCount() const;
    // Channel calls taken from the bus and not yet answered (queued or running).
    int CallsUnderWay() const;
    // The path of a hosted channel ("" when clients do not hold it).
    QString PathOf(const HostedChannel* channel) const;

    // Work of the window on a channel that may wait on its device (the menu's modem
    // commands, a file sent, a connect): runs on the workers that run client calls, in
    // the window's own lane of that channel, so that it keeps its order with the window's
    // other work there and never stalls the window. Window thread. False when the server does
    // not run (the work is dropped then). ChannelDestroyed and Stop wait for it like for
    // a call.
    bool PostWindowWork(const void* channel, std::function<void()> work);

    // The application destroys a channel that clients may still hold (at exit): the calls
    // under way end first, then its path goes away and its references are forgotten
    // without Release.
    void ChannelDestroyed(HostedChannel* channel);

    // Any thread: publishes an XMODEM report (Tolvan32.Transfer.XferProgress) on the
    // channel whose ReceiveXModemFile started the running reception. Reports of a
    // reception started otherwise (from the menu) are not published. An end report
    // (wParam other than 1) ends the association.
    void EmitXferProgress(std::int16_t window, std::int32_t wParam, std::int32_t lParam);
    // The sink to install with tolvan::SetXferProgressSink; it reports through this
    // server's route and drops reports once the server has stopped.
    std::shared_ptr<tolvan::XferProgressSink> MakeTransferSink() const;

    // Entry points of the bus objects.
    QString CreateInstance(ChannelClass cls, const QString& client, QString* errorName,
                           QString* errorMessage);
    bool HandleChannelMessage(const QDBusMessage& message, const QDBusConnection& connection);
    QString IntrospectChannels(const QString& path) const;

Q_SIGNALS:
    // The last client reference went away (emitted after the reply to the call that
    // released it). In automation mode the application ends then.
    void LastObjectReleased();

private Q_SLOTS:
    // A client that held references left the bus: what it held is released.
    void OnClientGone(const QString& client);
    // The workers' ended calls, on the window thread.
    void OnCallsDone();

private:
    // Window thread only.
    struct ChannelRecord {
        ChannelClass cls;
        HostedChannel* channel;
        int calls = 0;                   // queued or running on workers
        std::uint32_t heldReleases = 0;  // Releases waiting for those calls to end
        bool published = true;           // false: no client holds it, calls still run
    };
    // One more reference of `client` on `id`; a client's first has it watched.
    std::uint32_t TakeReference(const QString& client, std::uint32_t id);
    ChannelRecord* Find(std::uint32_t id);              // published channels only
    std::uint32_t IdOfPath(const QString& path) const;  // 0 when not a channel path
    void ReleaseReferences(std::uint32_t id, std::uint32_t count);
    void FlushReleases(std::uint32_t id);
    void Erase(std::map<std::uint32_t, ChannelRecord>::iterator it);
    // Answers a call that cannot wait at once, on this thread; false when it must be queued.
    bool AnswerHere(const QDBusMessage& message, const QDBusConnection& connection,
                    std::uint32_t id, ChannelRecord& record);
    void QueueCall(const QDBusMessage& message, const QDBusConnection& connection, std::uint32_t id,
                   ChannelRecord& record);
    void CallDone(std::uint32_t id);
    // Workers and the reactor: a call has answered; the window thread learns it.
    void CallEnded(std::uint32_t id);
    // A worker: a timed read (automation/waiting_read.h) tried at once, and when it is
    // not done handed to the reactor with its lane held; else a modem command
    // (StartWaitingModem). False: not such a call.
    bool StartWaitingRead(const QDBusMessage& message, const QDBusConnection& connection,
                          const CallTarget& target);
    // A worker: a modem command (automation/waiting_modem.h) begun, its answer awaited in
    // the reactor with its lane held. False: not such a call, or the conversation is busy.
    bool StartWaitingModem(ResolvedCall call, const QDBusMessage& message,
                           const QDBusConnection& connection, const CallTarget& target);
    // A worker: the waiting call goes to the reactor with its lane held until it answers.
    template <typename Waiting>
    void HandToReactor(std::unique_ptr<Waiting> waiting, WaitReactor::Clock::time_point deadline,
                       std::uint32_t id);

    // Window thread.
    QDBusMessage DispatchUnknown(const QDBusMessage& message, std::uint32_t id,
                                 ChannelRecord& record);

    ChannelHost& host_;
    bool running_ = false;
    std::array<QString, kChannelClassCount> connectionNames_;
    std::unique_ptr<ChannelObjects> channelObjects_;
    std::array<std::unique_ptr<ClassFactoryObject>, kChannelClassCount> factories_;
    std::unique_ptr<ServerObject> serverObject_;
    // The clients holding references, watched for leaving the bus.
    std::unique_ptr<QDBusServiceWatcher> clients_;

    std::map<std::uint32_t, ChannelRecord> channels_;
    ReferenceBook references_;
    std::uint32_t nextId_ = 1;

    std::unique_ptr<CallQueue> calls_;
    // The waits of timed reads that found nothing at once: no worker is kept for them.
    std::unique_ptr<WaitReactor> waits_;
    // Channel ids of ended calls, handed from the workers to the window thread.
    tolvan::plat::RankedMutex doneMutex_{tolvan::plat::LockRank::kCallsDone};
    std::vector<std::uint32_t> doneIds_;

    // The channel whose reception is running (used on the transfer thread).
    std::shared_ptr<TransferRoute> transferRoute_ = std::make_shared<TransferRoute>();
    // Turns the calls into Invokes; after the names and the route it reads.
    ChannelRouter router_{transferRoute_, connectionNames_};
};

}  // namespace tdbus

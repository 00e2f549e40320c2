// Transfer reports of XMODEM receptions to Tolvan32.Transfer.XferProgress. The route
// says on which channel object (path and bus connection) the running reception reports;
// the sink is what the transfer thread calls. Both are safe on any thread, and a sink
// that outlives its server only drops the reports.
//
//   tolvan::SetXferProgressSink(server.MakeTransferSink());   // the application, at start
//   tolvan::SetXferProgressSink(nullptr);                     // before the server goes
#pragma once

#include "channels/file_transfer.h"
#include "platform/ranked_mutex.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

namespace tdbus {

class TransferRoute {
public:
    // Reports go to `path` on the bus connection named `connection` from now on. Returns
    // the route before, for Restore.
    struct Target {
        QString path;
        QString connection;
    };
    Target Set(Target target);
    void Restore(Target previous) { Set(std::move(previous)); }
    void Clear() { Set({}); }

    // Sends the signal when a route is set; an end report (wParam other than 1) clears
    // the route.
    void Emit(std::int16_t window, std::int32_t wParam, std::int32_t lParam);

private:
    tolvan::plat::RankedMutex mutex_{tolvan::plat::LockRank::kTransferRoute};
    Target target_;
};

class TransferSignalSink : public tolvan::XferProgressSink {
public:
    explicit TransferSignalSink(std::shared_ptr<TransferRoute> route) : route_(std::move(route)) {}
    void XferProgress(std::int16_t window, std::int32_t wParam, std::int32_t lParam) override {
        route_->Emit(window, wParam, lParam);
    }

private:
    std::shared_ptr<TransferRoute> route_;
};

}  // namespace tdbus

// Records the transfer reports of a reception, as a client window would receive them,
// and lets a test wait for the end report.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "channels/file_transfer.h"

namespace tolvan::test {

struct XferReport {
    int16_t window;
    int32_t wParam;
    int32_t lParam;
};

class XferRecorder final : public XferProgressSink {
public:
    // Runs on the transfer thread for each progress report, after it is recorded (the
    // thread waits for it, as for a window's handler).
    std::function<void(int32_t totalBytes)> onProgress;

    void XferProgress(int16_t window, int32_t wParam, int32_t lParam) override {
        {
            std::lock_guard lock(mutex_);
            reports_.push_back({window, wParam, lParam});
            if (wParam != 1) ended_ = true;
        }
        changed_.notify_all();
        if (wParam == 1 && onProgress) onProgress(lParam);
    }

    // The end status, or nothing when no end report came within `limit` (real time; only
    // reached when a test fails).
    std::optional<int32_t> WaitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, limit, [this] { return ended_; })) return std::nullopt;
        return reports_.back().wParam;
    }

    std::vector<XferReport> Reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }
    // lParam of every progress report, in order.
    std::vector<int32_t> Progress() const {
        std::lock_guard lock(mutex_);
        std::vector<int32_t> out;
        for (const auto& r : reports_)
            if (r.wParam == 1) out.push_back(r.lParam);
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<XferReport> reports_;
    bool ended_ = false;
};

}  // namespace tolvan::test

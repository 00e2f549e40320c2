// A tick source for the fuzz targets: a wait of n ms adds n ms at once and gives up
// nothing, so a run is not slowed by yielding the processor between checks. Only for
// single-threaded targets whose far end answers at once.
#pragma once

#include "platform/ticks.h"

#include <cstdint>

namespace tolvan::fuzzing {

class InstantTicks final : public plat::TickSource {
public:
    std::uint32_t Now() override { return now_; }
    bool Pause(std::uint32_t ms, int, short) override {
        now_ += ms;
        return false;
    }

private:
    std::uint32_t now_ = 1000;
};

}  // namespace tolvan::fuzzing

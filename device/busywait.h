#pragma once

#include <cstdint>
#include <optional>

// Waiting for a controller that stores written settings: it answers status
// report 0x21 with byte 0 set while busy.
namespace vorkast {

// A controller storing its settings may stay busy for a few seconds, but a
// vanished or wedged one must never hang the caller.
constexpr int kMaxBusyPolls = 100;
constexpr int kMaxFailedStatusReads = 3;  // in a row: the controller is gone

// Polls until the controller answers idle. `readBusy()` gives the busy byte,
// or nothing when the read failed; `pause()` runs after every poll, the first
// included, so that a controller has time to raise its flag. False after
// kMaxBusyPolls polls without an idle answer, or kMaxFailedStatusReads failed
// reads in a row (a failure between busy answers is a hiccup).
template <typename ReadBusy, typename Pause>
bool awaitIdle(ReadBusy readBusy, Pause pause)
{
    std::uint8_t busy = 0;
    int failedReads = 0;
    for (int poll = 0; poll < kMaxBusyPolls; ++poll) {
        if (const std::optional<std::uint8_t> answer = readBusy()) {
            busy = *answer;
            failedReads = 0;
        } else {
            ++failedReads;
        }
        pause();
        if (busy == 0 || failedReads >= kMaxFailedStatusReads)
            break;
    }
    return busy == 0 && failedReads < kMaxFailedStatusReads;
}

} // namespace vorkast

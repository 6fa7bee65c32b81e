#pragma once

#include "protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "device.h"

// HID feature-report transport to a Vorkast controller: the four operations
// the window uses, on a Device of either route (device.h).
//
// A null device means "controller not present": nothing is transferred, no
// buffer is touched, and the result is LIBUSB_ERROR_NO_DEVICE. Otherwise the
// result is the route's: bytes transferred, or a negative libusb error code.
// No function retries; every transfer waits at most about 1000 ms. Not
// thread-safe: one thread for every device.
namespace vorkast {

// GET_REPORT of the Feature report `reportId` with wLength `length`. At most
// `length` reply bytes are written to `buffer`, which must hold `length` bytes;
// a failed transfer writes nothing, a short reply only the bytes that arrived.
int getReport(Device *device, std::uint8_t reportId, std::uint8_t *buffer,
              std::uint16_t length);

// SET_REPORT of Feature report 0x1E. `buffer` holds the complete report, report
// id in byte 0; `length` is 65 in every use. The buffer is sent unchanged.
int sendReport(Device *device, std::uint8_t *buffer, std::uint16_t length);

// Sends a 65-byte report 0x1E: byte 1 `command`, `payload` from byte 2, zeros
// after it. A payload of more than 63 bytes sends nothing and gives
// LIBUSB_ERROR_INVALID_PARAM.
int sendCommand(Device *device, std::uint8_t command,
                std::span<const std::uint8_t> payload = {});

// Sends `length` record bytes as chunk reports of `command` (0x03 effect, 0x04
// hardware): bytes 2..3 offset and 4..5 remaining (both little-endian), up to 58
// data bytes from byte 6. One buffer serves the whole write, so a short last
// chunk still carries the previous chunk's bytes past its count; controller
// firmware has only ever seen this form. A closing report with remaining 0xFFFF
// and the last chunk's offset and data ends the write. Chunk results are not
// checked; the result is that of the closing report.
int sendChunked(Device *device, std::uint8_t command, const std::uint8_t *record,
                std::uint16_t length);

namespace detail {

using CommandReport = std::array<std::uint8_t, protocol::kCommandReportSize>;

// The report sendCommand sends; none for a payload that does not fit.
std::optional<CommandReport> commandReport(std::uint8_t command,
                                           std::span<const std::uint8_t> payload);

// `length` bytes of `report` followed by zeros up to `required` bytes: a
// report as long as Windows' HID driver wants it, its own bytes unchanged.
std::vector<std::uint8_t> paddedReport(const std::uint8_t *report, std::uint16_t length,
                                       std::size_t required);

} // namespace detail

} // namespace vorkast

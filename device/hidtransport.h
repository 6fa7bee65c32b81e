#pragma once

#include "protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct libusb_device_handle;

// HID feature-report transport to a Vorkast controller over the control endpoint.
//
// Every function takes an open handle first. A null handle means "controller not
// present": nothing is transferred, no buffer is touched, and the result is
// LIBUSB_ERROR_NO_DEVICE. Otherwise the result is that of libusb_control_transfer:
// the number of bytes in the data stage, or a negative libusb error code. No
// function retries; every transfer waits at most 1000 ms. Interface 0 is not claimed.
//
// Not thread-safe: call every function, for every handle, from one thread (the
// window's). The routes kept per handle below are plain tables without locks.
//
// On Linux, when a kernel driver holds interface 0 (the HID driver, on any
// desktop), the same requests go through that interface's hidraw node instead:
// the controller receives the same bytes, results mean the same, nothing is
// claimed or detached, and the kernel's own time-out (5 s) applies. The node is
// opened at a handle's first transfer and kept open; if it cannot be opened (no
// access), every transfer on that handle fails. On that path a report's byte 0
// must be its id (0x1E), or nothing is sent (LIBUSB_ERROR_INVALID_PARAM).
// Close handles with closeDevice(), which also closes the node.
//
// On Windows the HID driver owns the controllers and libusb's HID backend
// passes the same requests to it (see windowshid.h). The driver takes a
// SET_REPORT buffer only as long as the longest feature report, so the
// 65-byte report goes out zero-padded to that length (wLength then says so);
// its first 65 bytes are unchanged, and the result counts at most those 65.
namespace vorkast {

// GET_REPORT of the Feature report `reportId` with wLength `length`. At most
// `length` reply bytes are written to `buffer`, which must hold `length` bytes;
// a failed transfer writes nothing, a short reply only the bytes that arrived.
int getReport(libusb_device_handle *device, std::uint8_t reportId, std::uint8_t *buffer,
              std::uint16_t length);

// SET_REPORT of Feature report 0x1E. `buffer` holds the complete report, report
// id in byte 0; `length` is 65 in every use. The buffer is sent unchanged.
int sendReport(libusb_device_handle *device, std::uint8_t *buffer, std::uint16_t length);

// Sends a 65-byte report 0x1E: byte 1 `command`, `payload` from byte 2, zeros
// after it. A payload of more than 63 bytes sends nothing and gives
// LIBUSB_ERROR_INVALID_PARAM.
int sendCommand(libusb_device_handle *device, std::uint8_t command,
                std::span<const std::uint8_t> payload = {});

// Sends `length` record bytes as chunk reports of `command` (0x03 effect, 0x04
// hardware): bytes 2..3 offset and 4..5 remaining (both little-endian), up to 58
// data bytes from byte 6. One buffer serves the whole write, so a short last
// chunk still carries the previous chunk's bytes past its count; controller
// firmware has only ever seen this form. A closing report with remaining 0xFFFF
// and the last chunk's offset and data ends the write. Chunk results are not
// checked; the result is that of the closing report.
int sendChunked(libusb_device_handle *device, std::uint8_t command, const std::uint8_t *record,
                std::uint16_t length);

namespace detail {

using CommandReport = std::array<std::uint8_t, protocol::kCommandReportSize>;

// The report sendCommand sends; none for a payload that does not fit.
std::optional<CommandReport> commandReport(std::uint8_t command,
                                           std::span<const std::uint8_t> payload);

// `length` bytes of `report` followed by zeros up to `required` bytes.
std::vector<std::uint8_t> paddedReport(const std::uint8_t *report, std::uint16_t length,
                                       std::size_t required);

// The result of a padded transfer as the caller's `length`-byte report's:
// errors as they are, a count of at most `length`.
int reportResult(int transferred, std::uint16_t length);

} // namespace detail

// libusb_close() and whatever the functions above keep open for the handle.
// A null handle is ignored.
void closeDevice(libusb_device_handle *device);

} // namespace vorkast

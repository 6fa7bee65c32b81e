#pragma once

#include <cstddef>
#include <cstdint>

// Wire constants shared by the transport, the window and the tests.
namespace vorkast::protocol {

constexpr std::uint16_t CONTROLLER_VENDOR_ID = 0x045B;
constexpr std::uint16_t JOYSTICK_PRODUCT_ID = 0x58BD; // joystick base: roll X, pitch Y
constexpr std::uint16_t PEDALS_PRODUCT_ID = 0x5922;   // pedals unit: yaw Z

// Feature report ids.
constexpr std::uint8_t kCommandReportId = 0x1E;   // host to controller, every command
constexpr std::uint8_t kEffectReportId = 0x1F;    // controller's effect settings record
constexpr std::uint8_t kHardwareReportId = 0x20;  // controller's hardware settings record
constexpr std::uint8_t kStatusReportId = 0x21;    // byte 0: busy flag

// Command byte (byte 1) of report 0x1E.
constexpr std::uint8_t kCommandDfu = 0x01;            // switch to firmware-update mode
constexpr std::uint8_t kCommandTelemetry = 0x02;      // 28-byte telemetry packet in bytes 2..29
constexpr std::uint8_t kCommandEffectChunk = 0x03;    // one chunk of the effect settings record
constexpr std::uint8_t kCommandHardwareChunk = 0x04;  // one chunk of the hardware settings record

constexpr int kCommandReportSize = 65;  // report id + command + 63 data bytes
constexpr int kCommandAt = 1;           // byte of the command in every report 0x1E
constexpr int kCommandPayloadOffset = 2;  // data bytes follow id and command
constexpr int kCommandPayloadSize = kCommandReportSize - kCommandPayloadOffset;
constexpr int kChunkHeaderSize = 6;     // report id, command, offset (u16 LE), remaining (u16 LE)
constexpr int kChunkOffsetAt = 2;       // u16 LE: where in the record this chunk's data goes
constexpr int kChunkRemainingAt = 4;    // u16 LE: record bytes from that offset on
constexpr int kChunkDataSize = 58;      // record bytes per chunk report, bytes 6..63
constexpr std::uint16_t kClosingRemaining = 0xFFFF;  // "remaining" of the report that ends a write

constexpr std::uint16_t kReadLength = 1024;  // wLength of every GET_REPORT the tool issues

// HID class requests on the control endpoint, recipient interface 0.
constexpr std::uint8_t kGetReportRequestType = 0xA1;  // device to host, class, interface
constexpr std::uint8_t kSetReportRequestType = 0x21;  // host to device, class, interface
constexpr std::uint8_t kHidGetReport = 0x01;
constexpr std::uint8_t kHidSetReport = 0x09;
constexpr std::uint16_t kFeatureReportType = 0x0300;  // report type 3 (Feature) in the high byte
constexpr std::uint16_t kInterface = 0;
constexpr unsigned int kTransferTimeoutMs = 1000;

} // namespace vorkast::protocol

#include "hidtransport.h"

#include "protocol.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vorkast {

using namespace protocol;

namespace {

void putLe16(std::uint8_t *at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

namespace detail {

std::optional<CommandReport> commandReport(std::uint8_t command,
                                           std::span<const std::uint8_t> payload)
{
    if (payload.size() > std::size_t(kCommandPayloadSize))
        return std::nullopt;
    CommandReport report{};
    report[0] = kCommandReportId;
    report[kCommandAt] = command;
    std::copy(payload.begin(), payload.end(), report.begin() + kCommandPayloadOffset);
    return report;
}

std::vector<std::uint8_t> paddedReport(const std::uint8_t *report, std::uint16_t length,
                                       std::size_t required)
{
    std::vector<std::uint8_t> padded(std::max<std::size_t>(length, required), 0);
    std::memcpy(padded.data(), report, length);
    return padded;
}

} // namespace detail

int getReport(Device *device, std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;
    return device->getFeature(reportId, buffer, length);
}

int sendReport(Device *device, std::uint8_t *buffer, std::uint16_t length)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;
    if (length == 0 || buffer[0] != kCommandReportId)
        return LIBUSB_ERROR_INVALID_PARAM;
    return device->setFeature(buffer, length);
}

int sendCommand(Device *device, std::uint8_t command,
                std::span<const std::uint8_t> payload)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;
    std::optional<detail::CommandReport> report = detail::commandReport(command, payload);
    if (!report)
        return LIBUSB_ERROR_INVALID_PARAM;
    return device->setFeature(report->data(), kCommandReportSize);
}

int sendChunked(Device *device, std::uint8_t command, const std::uint8_t *record,
                std::uint16_t length)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;

    std::array<std::uint8_t, kCommandReportSize> report{};
    report[0] = kCommandReportId;
    report[kCommandAt] = command;

    // One more chunk than whole 58-byte blocks: a record of exactly n*58 bytes
    // ends with a chunk that carries no new data, as the firmware expects.
    const int chunks = length / kChunkDataSize + 1;
    for (int i = 0; i < chunks; ++i) {
        const auto offset = static_cast<std::uint16_t>(i * kChunkDataSize);
        const auto remaining = static_cast<std::uint16_t>(length - offset);
        const int count = std::min<int>(remaining, kChunkDataSize);
        putLe16(&report[kChunkOffsetAt], offset);
        putLe16(&report[kChunkRemainingAt], remaining);
        if (count > 0)
            std::memcpy(&report[kChunkHeaderSize], record + offset, static_cast<std::size_t>(count));
        device->setFeature(report.data(), kCommandReportSize);
    }

    putLe16(&report[kChunkRemainingAt], kClosingRemaining);
    return device->setFeature(report.data(), kCommandReportSize);
}

} // namespace vorkast

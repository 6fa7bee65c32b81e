#include "hidtransport.h"

#include "hidrawlink.h"
#include "protocol.h"
#include "windowshid.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace vorkast {

using namespace protocol;

namespace {

int setReportTransfer(libusb_device_handle *device, std::uint8_t *buffer, std::uint16_t length)
{
    return libusb_control_transfer(device, kSetReportRequestType, kHidSetReport,
                                   kFeatureReportType | kCommandReportId, kInterface, buffer,
                                   length, kTransferTimeoutMs);
}

int setFeatureReport(libusb_device_handle *device, std::uint8_t *buffer, std::uint16_t length)
{
#ifdef __linux__
    if (const auto link = hidraw::linkFor(device))
        return hidraw::setFeature(*link, kCommandReportId, buffer, length);
#endif
#ifdef _WIN32
    const std::size_t required = windowshid::featureReportLength(device);
    if (required > length && required <= kMaxFeatureReportLength) {
        std::vector<std::uint8_t> padded = detail::paddedReport(buffer, length, required);
        const int result =
            setReportTransfer(device, padded.data(), static_cast<std::uint16_t>(padded.size()));
        return detail::reportResult(result, length);
    }
#endif
    return setReportTransfer(device, buffer, length);
}

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

int reportResult(int transferred, std::uint16_t length)
{
    return transferred < 0 ? transferred : std::min<int>(transferred, length);
}

} // namespace detail

int getReport(libusb_device_handle *device, std::uint8_t reportId, std::uint8_t *buffer,
              std::uint16_t length)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;
#ifdef __linux__
    if (const auto link = hidraw::linkFor(device))
        return hidraw::getFeature(*link, reportId, buffer, length);
#endif
    return libusb_control_transfer(device, kGetReportRequestType, kHidGetReport,
                                   kFeatureReportType | reportId, kInterface, buffer, length,
                                   kTransferTimeoutMs);
}

int sendReport(libusb_device_handle *device, std::uint8_t *buffer, std::uint16_t length)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;
    return setFeatureReport(device, buffer, length);
}

int sendCommand(libusb_device_handle *device, std::uint8_t command,
                std::span<const std::uint8_t> payload)
{
    if (!device)
        return LIBUSB_ERROR_NO_DEVICE;
    std::optional<detail::CommandReport> report = detail::commandReport(command, payload);
    if (!report)
        return LIBUSB_ERROR_INVALID_PARAM;
    return setFeatureReport(device, report->data(), kCommandReportSize);
}

int sendChunked(libusb_device_handle *device, std::uint8_t command, const std::uint8_t *record,
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
        setFeatureReport(device, report.data(), kCommandReportSize);
    }

    putLe16(&report[kChunkRemainingAt], kClosingRemaining);
    return setFeatureReport(device, report.data(), kCommandReportSize);
}

void closeDevice(libusb_device_handle *device)
{
    if (!device)
        return;
#ifdef __linux__
    hidraw::forget(device);
#endif
#ifdef _WIN32
    windowshid::forget(device);
#endif
    libusb_close(device);
}

} // namespace vorkast

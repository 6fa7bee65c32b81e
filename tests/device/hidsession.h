#pragma once

#include "device.h"
#include "hidtransport.h"
#include "protocol.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// A controller's working life through the transport, as the window leads it:
// both reads, both chunked writes each with its status polls and read-back,
// DFU, one telemetry report and one more status read (script it to stall to
// see a stall go through). One line per call: its result and the bytes
// the caller got back. Shared by the Linux route tests and the Windows probe,
// so that both routes are held to one reference.
inline QByteArray countingRecord(int size, int from = 1)
{
    QByteArray record(size, '\0');
    for (int i = 0; i < size; ++i)
        record[i] = char((i + from) & 0xFF);
    return record;
}

// Status polls after the effect write and after the hardware write; script the
// controller's busy flags to match (for example 1, 1, 0 then 1, 0).
constexpr int kEffectStatusPolls = 3;
constexpr int kHardwareStatusPolls = 2;

// One GET_REPORT: its result and the whole buffer as the caller has it after.
inline QString readLine(vorkast::Device *device, std::uint8_t reportId)
{
    using namespace vorkast::protocol;
    std::array<std::uint8_t, kReadLength> buffer;
    buffer.fill(0xCC);
    const int result = vorkast::getReport(device, reportId, buffer.data(), kReadLength);
    return QString::number(result) + ' '
        + QString::fromLatin1(
               QByteArray(reinterpret_cast<const char *>(buffer.data()), int(buffer.size())).toHex());
}

inline QStringList runSession(vorkast::Device *device, int effectSize, int hardwareSize)
{
    using namespace vorkast;
    using namespace vorkast::protocol;
    QStringList results;
    const auto read = [&](std::uint8_t id) { results << readLine(device, id); };
    const auto noted = [&](int result) { results << QString::number(result); };
    const auto send = [&](std::uint8_t command, const QByteArray &record) {
        noted(sendChunked(device, command, reinterpret_cast<const std::uint8_t *>(record.constData()),
                          std::uint16_t(record.size())));
    };

    read(kEffectReportId);
    read(kHardwareReportId);
    send(kCommandEffectChunk, countingRecord(effectSize, 0x40));
    for (int i = 0; i < kEffectStatusPolls; ++i)
        read(kStatusReportId);
    read(kEffectReportId);
    send(kCommandHardwareChunk, countingRecord(hardwareSize, 0x10));
    for (int i = 0; i < kHardwareStatusPolls; ++i)
        read(kStatusReportId);
    read(kHardwareReportId);
    noted(sendCommand(device, kCommandDfu));
    QByteArray telemetry = QByteArray::fromHex("1e 02") + countingRecord(28, 0x61) + QByteArray(35, '\0');
    noted(sendReport(device, reinterpret_cast<std::uint8_t *>(telemetry.data()),
                     std::uint16_t(telemetry.size())));
    read(kStatusReportId);
    return results;
}

#include "dcstelemetryreader.h"
#include "telemetrycheck.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// One datagram on UDP port 6666, as the DCS source reads it into its buffer,
// parses it and forwards the held packet.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const TelemetryData record = DcsTelemetryReader::parse(datagram);
    checkPacket(record);

    static TelemetryPacket held{};
    static std::uint16_t invalidCount = 0;
    vorkast::updateHeldPacket(held, invalidCount, record);
    FUZZ_CHECK(invalidCount <= vorkast::kHeldInvalidRecords);
    return 0;
}

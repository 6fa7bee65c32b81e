#include "telemetrycheck.h"
#include "warthundertelemetryreader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The body of one answer from the game's state page.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const TelemetryData record = WarthunderTelemetryReader::parse(body);
    // The game gives none of these.
    FUZZ_CHECK(record.airbrake == 0 && record.brake == 0 && !record.on_ground
               && !record.trim_override);
    checkPacket(record);
    return 0;
}

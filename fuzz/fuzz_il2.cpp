#include "il2telemetryreader.h"
#include "telemetrycheck.h"

#include <cstddef>
#include <cstdint>

// One datagram on UDP port 29777. The indicators persist across inputs as they
// do across datagrams, and so does the process-wide altitude ring.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Il2TelemetryReader::Indicators state;
    // libFuzzer's buffer is exactly the datagram: any read past it is reported.
    Il2TelemetryReader::parse(reinterpret_cast<const char *>(data), qsizetype(size), state);
    for (const auto &array : state.arrays)
        FUZZ_CHECK(array.count >= 0 && array.count <= Il2TelemetryReader::kArrayCapacity);

    const TelemetryData record = Il2TelemetryReader::derive(state);
    FUZZ_CHECK(record.valid);
    checkPacket(record);
    return 0;
}

#include "fuzzcheck.h"
#include "protocol.h"
#include "virtualcontroller.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Arbitrary control transfers into the virtual controller's firmware model,
// above all chunked writes in any order, with any offsets and counts.
//
// Input: one byte choosing the controller (bit 0: pedals), then transfers, each
// an operation byte and its bytes (missing bytes read as 0):
//   op % 3 == 0  SET_REPORT of command report 0x1E: bytes 1..64 of the report
//   op % 3 == 1  GET_REPORT: report id, wLength (LE)
//   op % 3 == 2  any setup packet (8 bytes), then wLength data bytes if OUT

using namespace vorkast::protocol;

namespace {

class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size) : data(data), size(size) {}
    bool atEnd() const { return at >= size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::uint16_t le16()
    {
        const std::uint8_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }

private:
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at = 0;
};

// One transfer as the emulated bus runs it: setup packet and data stage in one
// buffer of exactly that size, the model seeing the data stage only. `stage`
// holds the OUT bytes, or wLength zeros for an IN transfer.
void transfer(VirtualController &controller, std::uint8_t requestType, std::uint8_t request,
              std::uint16_t value, std::uint16_t index, const std::vector<std::uint8_t> &stage)
{
    constexpr std::size_t kSetupSize = 8;
    std::vector<std::uint8_t> urb(kSetupSize);
    urb.insert(urb.end(), stage.begin(), stage.end());
    const auto length = static_cast<std::uint16_t>(stage.size());
    const int result = controller.handleControl(requestType, request, value, index, length,
                                                urb.data() + kSetupSize);
    FUZZ_CHECK(result <= int(length));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input input(data, size);
    VirtualController controller((input.byte() & 1) ? VirtualController::Kind::Pedals
                                                     : VirtualController::Kind::Joystick);

    while (!input.atEnd()) {
        const std::uint8_t op = input.byte();
        switch (op % 3) {
        case 0: {
            std::vector<std::uint8_t> report(kCommandReportSize);
            report[0] = kCommandReportId;
            std::generate(report.begin() + 1, report.end(), [&] { return input.byte(); });
            transfer(controller, kSetReportRequestType, kHidSetReport,
                     kFeatureReportType | kCommandReportId, kInterface, report);
            break;
        }
        case 1: {
            const std::uint8_t id = input.byte();
            transfer(controller, kGetReportRequestType, kHidGetReport, kFeatureReportType | id,
                     kInterface, std::vector<std::uint8_t>(input.le16()));
            break;
        }
        default: {
            const std::uint8_t requestType = input.byte();
            const std::uint8_t request = input.byte();
            const std::uint16_t value = input.le16();
            const std::uint16_t index = input.le16();
            std::vector<std::uint8_t> stage(input.le16());
            if (!(requestType & 0x80))
                std::generate(stage.begin(), stage.end(), [&] { return input.byte(); });
            transfer(controller, requestType, request, value, index, stage);
            break;
        }
        }

        // Whatever arrives, the records keep their size.
        FUZZ_CHECK(controller.effectRecord().size() == controller.effectRecordSize());
        FUZZ_CHECK(controller.hardwareRecord().size() == controller.hardwareRecordSize());
    }
    return 0;
}

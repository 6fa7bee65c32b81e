#include "reportdescriptor.h"

#include "protocol.h"

#include <algorithm>
#include <map>

namespace vorkast::hid {

namespace {

// Item prefixes (HID 1.11, 6.2.2): tag in bits 4..7, type in 2..3, size code in 0..1.
enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2 };
constexpr std::uint8_t kLongItem = 0xFE;
constexpr std::uint8_t kMainFeature = 0xB;
constexpr std::uint8_t kMainCollection = 0xA;
constexpr std::uint8_t kMainEndCollection = 0xC;
constexpr std::uint8_t kGlobalUsagePage = 0x0;
constexpr std::uint8_t kGlobalReportSize = 0x7;
constexpr std::uint8_t kGlobalReportId = 0x8;
constexpr std::uint8_t kGlobalReportCount = 0x9;
constexpr std::uint8_t kGlobalPush = 0xA;
constexpr std::uint8_t kGlobalPop = 0xB;
constexpr std::uint8_t kLocalUsage = 0x0;

struct Globals
{
    std::uint16_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

} // namespace

std::size_t TopLevelCollection::featureReportByteLength() const
{
    std::size_t longest = 0;
    for (const FeatureReport &report : featureReports)
        longest = std::max(longest, report.bytes + 1);  // Windows counts the id byte even without ids
    return longest;
}

std::vector<TopLevelCollection> topLevelCollections(std::span<const std::uint8_t> descriptor)
{
    std::vector<TopLevelCollection> collections;
    Globals globals;
    std::vector<Globals> stack;
    std::uint32_t usage = 0;
    bool usageHasPage = false;
    int depth = 0;
    // Feature bits per report id within the current top-level collection.
    std::map<std::uint8_t, std::uint64_t> featureBits;

    for (std::size_t at = 0; at < descriptor.size();) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == kLongItem) {
            if (at + 1 >= descriptor.size())
                break;
            at += 3 + std::size_t(descriptor[at + 1]);  // carries nothing we need
            continue;
        }
        const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        if (at + 1 + size > descriptor.size())
            break;
        std::uint32_t data = 0;
        for (std::size_t i = 0; i < size; ++i)
            data |= std::uint32_t(descriptor[at + 1 + i]) << (8 * i);
        const auto type = std::uint8_t((prefix >> 2) & 0x3);
        const auto tag = std::uint8_t(prefix >> 4);
        at += 1 + size;

        if (type == Global) {
            switch (tag) {
            case kGlobalUsagePage: globals.usagePage = std::uint16_t(data); break;
            case kGlobalReportSize: globals.reportSize = data; break;
            case kGlobalReportCount: globals.reportCount = data; break;
            case kGlobalReportId: globals.reportId = std::uint8_t(data); break;
            case kGlobalPush: stack.push_back(globals); break;
            case kGlobalPop:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                }
                break;
            default: break;
            }
        } else if (type == Local) {
            if (tag == kLocalUsage) {
                usage = data;
                usageHasPage = size == 4;
            }
        } else if (type == Main) {
            if (tag == kMainCollection) {
                if (depth == 0) {
                    TopLevelCollection collection;
                    collection.usagePage = usageHasPage ? std::uint16_t(usage >> 16) : globals.usagePage;
                    collection.usage = std::uint16_t(usage & 0xFFFF);
                    collections.push_back(collection);
                    featureBits.clear();
                }
                ++depth;
            } else if (tag == kMainEndCollection) {
                if (depth > 0 && --depth == 0) {
                    for (FeatureReport &report : collections.back().featureReports)
                        report.bytes = std::size_t((featureBits[report.id] + 7) / 8);
                }
            } else if (tag == kMainFeature && depth > 0) {
                auto &reports = collections.back().featureReports;
                const std::uint8_t id = globals.reportId;
                if (std::none_of(reports.begin(), reports.end(),
                                 [id](const FeatureReport &r) { return r.id == id; }))
                    reports.push_back(FeatureReport{id, 0});
                featureBits[id] += std::uint64_t(globals.reportSize) * globals.reportCount;
            }
            usage = 0;  // local items last one main item
            usageHasPage = false;
        }
    }
    // A collection the descriptor never closed still counts what it declared.
    if (depth > 0 && !collections.empty()) {
        for (FeatureReport &report : collections.back().featureReports)
            report.bytes = std::size_t((featureBits[report.id] + 7) / 8);
    }
    return collections;
}

bool carriesControllerReports(std::span<const std::uint8_t> featureReportIds)
{
    using namespace protocol;
    return std::ranges::all_of(
        std::initializer_list<std::uint8_t>{kCommandReportId, kEffectReportId, kHardwareReportId,
                                            kStatusReportId},
        [&](std::uint8_t id) { return std::ranges::find(featureReportIds, id) != featureReportIds.end(); });
}

} // namespace vorkast::hid

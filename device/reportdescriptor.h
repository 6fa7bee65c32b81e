#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// What a HID report descriptor says about its top-level collections: enough to
// tell which of a controller's collections carries the settings reports.
namespace vorkast::hid {

struct FeatureReport
{
    std::uint8_t id = 0;      // 0: the descriptor declares no report ids
    std::size_t bytes = 0;    // data bytes, the id byte not counted
};

struct TopLevelCollection
{
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::vector<FeatureReport> featureReports;  // in order of first appearance

    // The longest feature report, id byte included, as Windows' HID driver
    // reports it (FeatureReportByteLength); 0 without feature reports.
    std::size_t featureReportByteLength() const;
};

// The top-level collections of `descriptor`, in order. Parsing stops quietly
// at a truncated item: what came before it stands.
std::vector<TopLevelCollection> topLevelCollections(std::span<const std::uint8_t> descriptor);

// True when `featureReportIds` holds all four reports the tool exchanges with
// a controller (0x1E command, 0x1F and 0x20 records, 0x21 status).
bool carriesControllerReports(std::span<const std::uint8_t> featureReportIds);

} // namespace vorkast::hid

#pragma once

#ifdef _WIN32

#include <cstddef>

struct libusb_device_handle;

// What Windows' HID driver asks of feature reports (Windows).
//
// There the HID driver owns the controllers, and libusb's HID backend turns
// our GET_REPORT and SET_REPORT requests into the driver's feature-report
// calls, passing our buffers through. The driver reads replies of any length
// up to the buffer, but refuses (ERROR_INVALID_PARAMETER) a SET_REPORT buffer
// shorter than the collection's longest feature report, which here is the
// 0x1F settings record, not the 65-byte command report.
namespace vorkast::windowshid {

// The length, report id byte included, that every SET_REPORT buffer for
// `device` must have (the collection's FeatureReportByteLength); 0 when it is
// unknown. Looked up at a handle's first use and kept until forget().
std::size_t featureReportLength(libusb_device_handle *device);

void forget(libusb_device_handle *device);

} // namespace vorkast::windowshid

#endif

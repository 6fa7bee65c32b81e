#include "windowshid.h"

#ifdef _WIN32

#include <libusb.h>

#include <windows.h>
// setupapi.h and hidsdi.h need windows.h first.
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace vorkast::windowshid {

namespace {

struct Entry
{
    libusb_device *device = nullptr;  // identity only: a reused handle address is a new entry
    std::size_t length = 0;
};

// GUI thread only, as every transfer.
std::map<libusb_device_handle *, Entry> entries;

// The capabilities of one HID interface path; 0 when it is not the controller.
std::size_t lengthAt(const wchar_t *path, std::uint16_t vendor, std::uint16_t product)
{
    // No access rights asked: attributes and capabilities need none, and
    // nobody else's use of the device is disturbed.
    const HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    std::size_t length = 0;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (HidD_GetAttributes(file, &attributes) && attributes.VendorID == vendor
        && attributes.ProductID == product && HidD_GetPreparsedData(file, &preparsed)) {
        HIDP_CAPS caps{};
        if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS)
            length = caps.FeatureReportByteLength;
        HidD_FreePreparsedData(preparsed);
    }
    CloseHandle(file);
    return length;
}

// The longest feature report among the controller's top-level collections:
// the one carrying the settings reports is the one libusb talks to.
std::size_t lookUp(std::uint16_t vendor, std::uint16_t product)
{
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const HDEVINFO set =
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;

    std::size_t longest = 0;
    SP_DEVICE_INTERFACE_DATA interface{};
    interface.cbSize = sizeof interface;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &interface); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interface, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        // DWORD elements keep the structure aligned.
        std::vector<DWORD> storage(size / sizeof(DWORD) + 1);
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &interface, detail, size, nullptr, nullptr))
            longest = std::max(longest, lengthAt(detail->DevicePath, vendor, product));
    }
    SetupDiDestroyDeviceInfoList(set);
    return longest;
}

} // namespace

std::size_t featureReportLength(libusb_device_handle *handle)
{
    libusb_device *device = libusb_get_device(handle);
    auto it = entries.find(handle);
    if (it != entries.end() && it->second.device == device)
        return it->second.length;

    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS)
        return 0;
    const std::size_t length = lookUp(descriptor.idVendor, descriptor.idProduct);
    entries[handle] = Entry{device, length};
    return length;
}

void forget(libusb_device_handle *handle)
{
    entries.erase(handle);
}

} // namespace vorkast::windowshid

#endif

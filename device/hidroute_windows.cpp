// The HID route on Windows: the controller's HID collection through hid.dll
// and SetupAPI, without libusb and without hidapi.
//
// Neither meets what the transport promises. libusb's HID backend drops a
// reply's first byte when it is 0 (an idle status, many records) and sends
// every request to the first collection it enumerated. hidapi 0.13 waits
// without limit on every feature transfer (GetOverlappedResult with bWait,
// HidD_SetFeature), counts one byte more than arrived when a reply starts
// with 0, and does not tell which report ids a collection declares. Here each
// collection is asked for its feature reports, and every transfer is an
// overlapped DeviceIoControl given at most 1000 ms, then cancelled. It runs on
// a thread of its own (BoundedCaller): under wine the call itself does not
// return until the driver has answered, overlapped or not.

#include "boundedcall.h"
#include "hidtransport.h"
#include "protocol.h"
#include "reportdescriptor.h"
#include "routes.h"

#include <libusb.h>

#include <windows.h>
// setupapi.h, hidsdi.h and winioctl.h need windows.h first.
#include <setupapi.h>
#include <winioctl.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <functional>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#ifndef IOCTL_HID_GET_FEATURE
// As the DDK's hidclass.h defines them; MinGW's lacks them.
#define IOCTL_HID_GET_FEATURE CTL_CODE(FILE_DEVICE_KEYBOARD, 100, METHOD_OUT_DIRECT, FILE_ANY_ACCESS)
#define IOCTL_HID_SET_FEATURE CTL_CODE(FILE_DEVICE_KEYBOARD, 100, METHOD_IN_DIRECT, FILE_ANY_ACCESS)
#endif

namespace vorkast::routes {

using namespace protocol;

namespace {

int libusbErrorOf(DWORD error)
{
    switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_COMMAND:  // a handle whose device was removed
    // Delete pending, as wine's HID class driver answers for a controller
    // pulled out while this handle stayed open: the route keeps only handles
    // opened with read and write access, so it cannot mean a refusal.
    case ERROR_ACCESS_DENIED:
        return LIBUSB_ERROR_NO_DEVICE;
    case ERROR_GEN_FAILURE:  // the controller stalled the request
        return LIBUSB_ERROR_PIPE;
    case ERROR_SEM_TIMEOUT:
    case ERROR_TIMEOUT:
        return LIBUSB_ERROR_TIMEOUT;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_USER_BUFFER:
        return LIBUSB_ERROR_INVALID_PARAM;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
        return LIBUSB_ERROR_NO_MEM;
    default:
        return LIBUSB_ERROR_IO;
    }
}

std::string narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

class WindowsHidDevice final : public Device
{
public:
    WindowsHidDevice(HANDLE file, std::wstring path, std::size_t featureLength)
        : m_file(file)
        , m_path(std::move(path))
        , m_featureLength(featureLength)
    {
    }
    ~WindowsHidDevice() override
    {
        CancelIoEx(m_file, nullptr);
        m_caller.reset();  // no request may still run on the handle
        CloseHandle(m_file);
    }

    Route route() const override { return Route::Hid; }
    std::string name() const override { return narrow(m_path); }

    int requestFeature(std::uint8_t reportId, std::uint8_t *buffer, std::uint16_t length) override
    {
        if (length == 0)
            return LIBUSB_ERROR_INVALID_PARAM;
        // The driver wants room for the collection's longest feature report.
        auto reply = std::make_shared<std::vector<std::uint8_t>>(std::max<std::size_t>(m_featureLength, 1));
        (*reply)[0] = reportId;
        const int result = call([file = m_file, reply] {
            return transfer(file, IOCTL_HID_GET_FEATURE, reply->data(), DWORD(reply->size()),
                            reply->data(), DWORD(reply->size()));
        });
        if (result < 0)
            return result;
        const int count = std::min<int>({result, int(length), int(reply->size())});
        std::memcpy(buffer, reply->data(), std::size_t(count));
        return count;
    }

    int sendFeature(const std::uint8_t *report, std::uint16_t length) override
    {
        if (length == 0)
            return LIBUSB_ERROR_INVALID_PARAM;
        // The driver refuses a buffer shorter than the collection's longest
        // feature report and cuts a longer one to it.
        auto padded = std::make_shared<std::vector<std::uint8_t>>(
            detail::paddedReport(report, length, m_featureLength));
        const int result = call([file = m_file, padded] {
            return transfer(file, IOCTL_HID_SET_FEATURE, padded->data(), DWORD(padded->size()),
                            nullptr, 0);
        });
        // A set reports no byte count; success means the whole report went out.
        return result < 0 ? result : int(length);
    }

private:
    int call(std::function<int()> request)
    {
        const std::optional<int> result =
            m_caller->run(std::move(request), std::chrono::milliseconds(kTransferTimeoutMs));
        if (result)
            return *result;
        CancelIoEx(m_file, nullptr);  // ends it early where the driver lets it
        return LIBUSB_ERROR_TIMEOUT;
    }

    // One overlapped request, waited for to its end.
    static int transfer(HANDLE file, DWORD code, void *in, DWORD inLength, void *out, DWORD outLength)
    {
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!overlapped.hEvent)
            return LIBUSB_ERROR_NO_MEM;
        DWORD transferred = 0;
        int result = 0;
        if (!DeviceIoControl(file, code, in, inLength, out, outLength, &transferred, &overlapped)
            && GetLastError() != ERROR_IO_PENDING)
            result = libusbErrorOf(GetLastError());
        else if (!GetOverlappedResult(file, &overlapped, &transferred, TRUE))
            result = libusbErrorOf(GetLastError());
        else
            result = int(transferred);
        CloseHandle(overlapped.hEvent);
        return result;
    }

    const HANDLE m_file;
    const std::wstring m_path;
    const std::size_t m_featureLength;
    std::unique_ptr<BoundedCaller> m_caller = std::make_unique<BoundedCaller>();
};

// The ids of the feature reports a collection declares, from its buttons and values.
std::vector<std::uint8_t> featureReportIds(PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS &caps)
{
    std::vector<std::uint8_t> ids;
    USHORT buttons = caps.NumberFeatureButtonCaps;
    if (buttons > 0) {
        std::vector<HIDP_BUTTON_CAPS> list(buttons);
        if (HidP_GetButtonCaps(HidP_Feature, list.data(), &buttons, preparsed) == HIDP_STATUS_SUCCESS)
            for (USHORT i = 0; i < buttons; ++i)
                ids.push_back(list[i].ReportID);
    }
    USHORT values = caps.NumberFeatureValueCaps;
    if (values > 0) {
        std::vector<HIDP_VALUE_CAPS> list(values);
        if (HidP_GetValueCaps(HidP_Feature, list.data(), &values, preparsed) == HIDP_STATUS_SUCCESS)
            for (USHORT i = 0; i < values; ++i)
                ids.push_back(list[i].ReportID);
    }
    return ids;
}

struct Collection
{
    bool isController = false;      // the vendor and product asked for
    bool carriesReports = false;    // declares 0x1E..0x21
    std::size_t featureLength = 0;  // FeatureReportByteLength
};

Collection inspect(HANDLE file, std::uint16_t productId)
{
    Collection collection;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(file, &attributes) || attributes.VendorID != CONTROLLER_VENDOR_ID
        || attributes.ProductID != productId)
        return collection;
    collection.isController = true;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(file, &preparsed))
        return collection;
    HIDP_CAPS caps{};
    if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
        collection.featureLength = caps.FeatureReportByteLength;
        collection.carriesReports = hid::carriesControllerReports(featureReportIds(preparsed, caps));
    }
    HidD_FreePreparsedData(preparsed);
    return collection;
}

// Every present HID collection's device path.
std::vector<std::wstring> hidInterfacePaths()
{
    std::vector<std::wstring> paths;
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    const HDEVINFO set =
        SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    SP_DEVICE_INTERFACE_DATA interface{};
    interface.cbSize = sizeof interface;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &interface); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interface, nullptr, 0, &size, nullptr);
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<DWORD> storage(size / sizeof(DWORD) + 1);  // DWORDs keep it aligned
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &interface, detail, size, nullptr, nullptr))
            paths.emplace_back(detail->DevicePath);
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

HANDLE openPath(const std::wstring &path, DWORD access)
{
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

} // namespace

DeviceHandle openHid(std::uint16_t productId, std::string &problem)
{
    for (const std::wstring &path : hidInterfacePaths()) {
        HANDLE file = openPath(path, GENERIC_READ | GENERIC_WRITE);
        const bool writable = file != INVALID_HANDLE_VALUE;
        const DWORD openError = writable ? 0 : GetLastError();
        if (!writable)
            file = openPath(path, 0);  // attributes and capabilities need no access
        if (file == INVALID_HANDLE_VALUE)
            continue;
        const Collection collection = inspect(file, productId);
        if (collection.isController && collection.carriesReports && writable)
            return std::make_unique<WindowsHidDevice>(file, path, collection.featureLength);
        CloseHandle(file);
        if (collection.isController && collection.carriesReports)
            problem = "cannot open " + narrow(path) + " (Windows error " + std::to_string(openError) + ")";
        else if (collection.isController && problem.empty())
            problem = "no HID collection declares the controller's settings reports";
    }
    return nullptr;
}

} // namespace vorkast::routes

#pragma once

#include "hidtransport.h"
#include "protocol.h"

#include <libusb.h>

#include <QString>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <vector>

// A private libusb context with its open handles; closed before the bus goes.
class LibusbSession
{
public:
    LibusbSession() { m_initResult = libusb_init(&m_context); }
    ~LibusbSession()
    {
        for (libusb_device_handle *handle : m_handles)
            vorkast::closeDevice(handle);
        if (m_initResult == LIBUSB_SUCCESS)
            libusb_exit(m_context);
    }
    LibusbSession(const LibusbSession &) = delete;
    LibusbSession &operator=(const LibusbSession &) = delete;

    int initResult() const { return m_initResult; }

    libusb_device_handle *open(std::uint16_t productId)
    {
        libusb_device_handle *handle = libusb_open_device_with_vid_pid(
            m_context, vorkast::protocol::CONTROLLER_VENDOR_ID, productId);
        if (handle)
            m_handles.push_back(handle);
        return handle;
    }

    // Closes one handle early, as the window does (closeDevice) or as a
    // program that knows only libusb would (libusb_close).
    void close(libusb_device_handle *handle, bool plainLibusb = false)
    {
        m_handles.erase(std::remove(m_handles.begin(), m_handles.end(), handle), m_handles.end());
        if (plainLibusb)
            libusb_close(handle);
        else
            vorkast::closeDevice(handle);
    }

private:
    libusb_context *m_context = nullptr;
    int m_initResult = LIBUSB_ERROR_OTHER;
    std::vector<libusb_device_handle *> m_handles;
};

// For the cases every transport function must meet alike: one row each.
inline void addTransportOperationRows()
{
    QTest::addColumn<QString>("operation");
    for (const char *name : {"getReport", "sendReport", "sendCommand", "sendChunked"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Runs the named function on `handle`; `bytes` holds at least 1024 bytes and
// serves as the report, record or reply buffer.
inline int runTransportOperation(const QString &operation, libusb_device_handle *handle,
                                 std::uint8_t *bytes)
{
    using namespace vorkast::protocol;
    if (operation == QLatin1StringView("getReport"))
        return vorkast::getReport(handle, kEffectReportId, bytes, kReadLength);
    if (operation == QLatin1StringView("sendReport"))
        return vorkast::sendReport(handle, bytes, kCommandReportSize);
    if (operation == QLatin1StringView("sendCommand"))
        return vorkast::sendCommand(handle, kCommandDfu);
    return vorkast::sendChunked(handle, kCommandEffectChunk, bytes, 223);
}

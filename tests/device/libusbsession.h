#pragma once

#include "device.h"
#include "hidtransport.h"
#include "protocol.h"

#include <libusb.h>

#include <QString>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <vector>

// A private libusb context with the controllers opened on it; closed before
// the bus goes.
class LibusbSession
{
public:
    LibusbSession() { m_initResult = libusb_init(&m_context); }
    ~LibusbSession()
    {
        m_devices.clear();
        if (m_initResult == LIBUSB_SUCCESS)
            libusb_exit(m_context);
    }
    LibusbSession(const LibusbSession &) = delete;
    LibusbSession &operator=(const LibusbSession &) = delete;

    int initResult() const { return m_initResult; }

    // The controller as the window opens it, on whichever route it is found.
    vorkast::Device *open(std::uint16_t productId)
    {
        vorkast::OpenedController opened = vorkast::openController(productId, m_context);
        m_problem = QString::fromStdString(opened.problem);
        if (!opened.device)
            return nullptr;
        m_devices.push_back(std::move(opened.device));
        return m_devices.back().get();
    }
    // Why the last open() found a controller it could not use.
    QString problem() const { return m_problem; }

    void close(vorkast::Device *device)
    {
        std::erase_if(m_devices, [device](const auto &owned) { return owned.get() == device; });
    }

private:
    libusb_context *m_context = nullptr;
    int m_initResult = LIBUSB_ERROR_OTHER;
    std::vector<vorkast::DeviceHandle> m_devices;
    QString m_problem;
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
inline int runTransportOperation(const QString &operation, vorkast::Device *handle,
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

#pragma once

#include "emulatedusbbus.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QVariant>
#include <QVariantList>

#include <cstring>

// The messages between a Windows test program under wine and the Linux
// process that hosts its emulated bus (BusService on the host, remotebus.cpp
// in the test). A connection opens with one byte, kCalls or kHooks; then each
// message is a frame: a 32-bit little-endian length and a QDataStream of a
// QVariantList. Both ends are built from the same Qt sources, so QDataStream's
// format is the same on both.
namespace buswire {

// Calls: {method, arguments...} answered by {true, value} or {false, why}.
constexpr char kCalls = 'C';
// Status-read hooks: the host says {controller, read} and waits for {} back;
// calls the hook makes go over a calls connection of the hook's thread.
constexpr char kHooks = 'H';

// The port the host listens on (loopback), for the program under test.
constexpr const char *kPortVariable = "VORKAST_BUS_PORT";

inline QByteArray frame(const QVariantList &message)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << message;
    const auto size = quint32(payload.size());
    QByteArray framed(4, '\0');
    for (int i = 0; i < 4; ++i)
        framed[i] = char((size >> (8 * i)) & 0xFF);
    return framed + payload;
}

// Takes one whole frame off the front of `buffer`; false while it is incomplete.
inline bool takeFrame(QByteArray &buffer, QVariantList &message)
{
    if (buffer.size() < 4)
        return false;
    quint32 size = 0;
    for (int i = 0; i < 4; ++i)
        size |= quint32(quint8(buffer[i])) << (8 * i);
    if (quint32(buffer.size() - 4) < size)
        return false;
    QDataStream in(buffer.mid(4, qsizetype(size)));
    in.setVersion(QDataStream::Qt_6_4);
    message.clear();
    in >> message;
    buffer.remove(0, qsizetype(size) + 4);
    return true;
}

inline QVariant toWire(const VirtualController::Transfer &t)
{
    return QVariantList{t.requestType, t.request, t.value, t.index, t.length, t.data,
                        t.stalled, t.sequence, qint64(t.arrivedNs)};
}

inline VirtualController::Transfer transferFromWire(const QVariant &wire)
{
    const QVariantList f = wire.toList();
    VirtualController::Transfer t;
    if (f.size() != 9)
        return t;
    t.requestType = std::uint8_t(f[0].toUInt());
    t.request = std::uint8_t(f[1].toUInt());
    t.value = std::uint16_t(f[2].toUInt());
    t.index = std::uint16_t(f[3].toUInt());
    t.length = std::uint16_t(f[4].toUInt());
    t.data = f[5].toByteArray();
    t.stalled = f[6].toBool();
    t.sequence = f[7].toULongLong();
    t.arrivedNs = f[8].toLongLong();
    return t;
}

inline QVariant toWire(const EmulatedUsbBus::Traffic &t)
{
    return QVariantList{t.usbfsControl, t.usbfsRefused, t.hidrawFeature, t.goneRequests, t.driverGrabs};
}

inline EmulatedUsbBus::Traffic trafficFromWire(const QVariant &wire)
{
    const QVariantList f = wire.toList();
    EmulatedUsbBus::Traffic t;
    if (f.size() != 5)
        return t;
    t.usbfsControl = f[0].toInt();
    t.usbfsRefused = f[1].toInt();
    t.hidrawFeature = f[2].toInt();
    t.goneRequests = f[3].toInt();
    t.driverGrabs = f[4].toStringList();
    return t;
}

} // namespace buswire

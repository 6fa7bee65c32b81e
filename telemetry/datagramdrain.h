#pragma once

#include <QByteArray>

class QUdpSocket;

namespace vorkast {

// What one tick took from a UDP socket.
struct DrainedDatagrams
{
    int count = 0;          // datagrams taken, empty and unreadable ones included
    bool anyBytes = false;  // at least one of them carried bytes
    bool kept = false;      // `newest` holds one of them
};

// Whether a datagram is one the source reads at all.
using DatagramFilter = bool (*)(const char *data, qsizetype size);

// Takes every datagram waiting on `socket`, so that a tick yields at most one
// record however many arrived and leaves none behind for the next. The newest
// one `accept` takes (any, without it) replaces `newest`, exactly the bytes
// read; a failed read replaces nothing. `scratch` is the read buffer, kept by
// the caller so that ticks reuse its allocation. A socket that is not bound is
// left alone: Qt warns on every query of one, and it has nothing anyway.
DrainedDatagrams drainDatagrams(QUdpSocket &socket, QByteArray &newest, QByteArray &scratch,
                                DatagramFilter accept = nullptr);

} // namespace vorkast

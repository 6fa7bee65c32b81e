#include "datagramdrain.h"

#include <QUdpSocket>

namespace vorkast {

DrainedDatagrams drainDatagrams(QUdpSocket &socket, QByteArray &newest, QByteArray &scratch,
                                DatagramFilter accept)
{
    DrainedDatagrams drained;
    if (socket.state() != QAbstractSocket::BoundState)
        return drained;
    while (socket.hasPendingDatagrams()) {
        ++drained.count;
        scratch.resize(qMax<qint64>(socket.pendingDatagramSize(), 0));
        const qint64 read = socket.readDatagram(scratch.data(), scratch.size());
        if (read < 0)
            continue;
        // Bytes past a short read are left over from earlier datagrams.
        scratch.resize(read);
        drained.anyBytes = drained.anyBytes || read > 0;
        if (!accept || accept(scratch.constData(), scratch.size())) {
            newest.swap(scratch);
            drained.kept = true;
        }
    }
    return drained;
}

} // namespace vorkast

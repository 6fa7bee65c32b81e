#pragma once

#include "telemetrypacket.h"
#include "telemetryreader.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

class QNetworkReply;

// War Thunder: while a battle runs the game serves its flight state as one
// JSON object at http://127.0.0.1:8111/state. One request is outstanding at a
// time; each answer, or failure, gives one record, and the next request leaves
// on the first tick after it. Ticks while a request is outstanding emit nothing.
// A request fails after kTransferTimeoutMs in all, or as soon as its answer
// reaches kMaxBodyBytes.
class WarthunderTelemetryReader : public TelemetryReader
{
    Q_OBJECT

public:
    static constexpr quint16 kPort = 8111;
    // A game that accepts the connection but never answers would otherwise
    // keep the controllers on their last forces for good.
    static constexpr int kTransferTimeoutMs = 1000;
    // The state page is about a kilobyte; a larger answer is no state page.
    static constexpr qint64 kMaxBodyBytes = 1024 * 1024;

    explicit WarthunderTelemetryReader(TelemetryHandler *handler, quint16 port = kPort);
    ~WarthunderTelemetryReader() override;
    void poll() override;

    // The record one state page gives; anything but a JSON object gives an
    // invalid all-zero record.
    static TelemetryData parse(const QByteArray &body);

private:
    void replyFinished();

    QNetworkAccessManager manager;
    QNetworkRequest request;
    QNetworkReply *reply = nullptr;
    bool requestPending = false;
};

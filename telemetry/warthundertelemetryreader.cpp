#include "warthundertelemetryreader.h"

#include "singleprecision.h"
#include "telemetryhandler.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

using namespace vorkast;

WarthunderTelemetryReader::WarthunderTelemetryReader(TelemetryHandler *handler, quint16 port)
    : TelemetryReader(handler)
{
    request.setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(port)));
    request.setTransferTimeout(kTransferTimeoutMs);
}

WarthunderTelemetryReader::~WarthunderTelemetryReader()
{
    // The manager deletes an outstanding reply after this reader's own members
    // are gone; that reply must not call back into it.
    if (reply)
        disconnect(reply, nullptr, this, nullptr);
}

void WarthunderTelemetryReader::poll()
{
    if (requestPending)
        return;
    requestPending = true;
    reply = manager.get(request);
    connect(reply, &QNetworkReply::finished, this, &WarthunderTelemetryReader::replyFinished);
    // The transfer timeout only notices silence: a server that trickles bytes,
    // or streams without end (buffered in memory), would hold the request and
    // so every record. Both end in a failed request.
    QNetworkReply *pending = reply;
    // Without a bounded read buffer Qt's network thread keeps reading for as
    // long as the socket has data, so a server that streams without pause
    // holds that thread, and with it every later request, for as long as it
    // likes. Bounded, the network thread hands over one chunk at a time; twice
    // the limit, because Qt stops short of its bound by up to a chunk.
    pending->setReadBufferSize(2 * kMaxBodyBytes);
    // readyRead, not downloadProgress: Qt emits that at most every 100 ms.
    connect(reply, &QNetworkReply::readyRead, pending, [pending] {
        if (pending->bytesAvailable() >= kMaxBodyBytes)
            pending->abort();
    });
    QTimer::singleShot(kTransferTimeoutMs, pending, &QNetworkReply::abort);
}

void WarthunderTelemetryReader::replyFinished()
{
    const TelemetryData data = reply->error() == QNetworkReply::NoError
        ? parse(reply->readAll())
        : TelemetryData{};
    reply->deleteLater();
    reply = nullptr;
    requestPending = false;
    // Last, so that a receiver may even replace this reader.
    emit handler->telemetryUpdate(data);
}

TelemetryData WarthunderTelemetryReader::parse(const QByteArray &body)
{
    // A parse error leaves an empty document, whose object is empty too.
    const QJsonObject state = QJsonDocument::fromJson(body).object();
    const auto number = [&](const char *key) { return state.value(QLatin1StringView(key)).toDouble(0.0); };

    TelemetryData data;
    data.valid = state.value(QLatin1StringView("valid")).toBool(false);
    data.airspeed = toSingle(number("IAS, km/h"));
    data.g_force = toSingle(number("Ny"));
    data.aoa = toSingle(number("AoA, deg"));
    data.vertical_speed = toSingle(number("Vy, m/s"));
    data.thrust = toSingle(number("throttle 1, %"));  // engine 1 throttle percent, as the game gives it
    data.flaps = truncatedLowByte(number("flaps, %"));
    data.gear = truncatedLowByte(number("gear, %"));
    return data;
}

#include "warthundertelemetryreader.h"

#include "singleprecision.h"
#include "telemetryhandler.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QUrl>

WarthunderTelemetryReader::WarthunderTelemetryReader(TelemetryHandler *handler)
    : TelemetryReader(handler)
{
    request.setUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(kPort)));
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
    data.thrust = toSingle(number("throttle 1, %"));  // engine 1 throttle percent, as the game gives it
    data.flaps = truncatedLowByte(number("flaps, %"));
    data.gear = truncatedLowByte(number("gear, %"));
    return data;
}

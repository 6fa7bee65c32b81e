#include "telemetryhandler.h"

#include "dcstelemetryreader.h"
#include "debugtelemetryreader.h"
#include "il2telemetryreader.h"
#include "msfstelemetryreader.h"
#include "warthundertelemetryreader.h"

#include <QAbstractSocket>
#include <QDebug>

static_assert(TelemetryPorts{}.dcs == DcsTelemetryReader::kPort);
static_assert(TelemetryPorts{}.warthunder == WarthunderTelemetryReader::kPort);
static_assert(TelemetryPorts{}.il2 == Il2TelemetryReader::kPort);

TelemetryHandler::TelemetryHandler(Ui::MainWindow *layout, TelemetryPorts ports)
    : layout(layout)
    , ports(ports)
{
    qRegisterMetaType<TelemetryData>();
    timer.setInterval(kPollIntervalMs);
    connect(&timer, &QTimer::timeout, this, &TelemetryHandler::pollReader);
    timer.start();
}

TelemetryHandler::~TelemetryHandler() = default;

void TelemetryHandler::setMode(int mode)
{
    reader.reset();
    switch (mode) {
    case Dcs:
        reader = std::make_unique<DcsTelemetryReader>(this, ports.dcs);
        break;
    case Warthunder:
        reader = std::make_unique<WarthunderTelemetryReader>(this, ports.warthunder);
        break;
    case Msfs:
        reader = std::make_unique<MSFSTelemetryReader>(this);
        break;
    case Il2:
        reader = std::make_unique<Il2TelemetryReader>(this, ports.il2);
        break;
    default:
        reader = std::make_unique<DebugTelemetryReader>(this, layout);
        break;
    }
}

void TelemetryHandler::reportUnboundSocket(const char *source, const QAbstractSocket &socket,
                                           quint16 port)
{
    qWarning().nospace() << source << " telemetry: cannot listen on UDP port " << port << ": "
                         << socket.errorString();
    const QString why = socket.error() == QAbstractSocket::AddressInUseError
        ? QStringLiteral("UDP port %1 is in use by another program").arg(port)
        : QStringLiteral("UDP port %1: %2").arg(port).arg(socket.errorString());
    emit sourceProblem(QStringLiteral("%1 telemetry cannot start: %2").arg(QLatin1StringView(source), why));
}

void TelemetryHandler::pollReader()
{
    if (reader)
        reader->poll();
}

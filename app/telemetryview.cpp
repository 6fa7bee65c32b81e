#include "telemetryview.h"
#include "telemetrygraph.h"

#include "ui_mainwindow.h"

#include <QEvent>
#include <QWidget>

#include <cstring>

namespace vorkast {

namespace {

QString yesNo(std::uint8_t flags, std::uint8_t bit)
{
    return (flags & bit) ? QStringLiteral("YES") : QStringLiteral("NO");
}

QString real(float value)
{
    return QString::number(static_cast<double>(value), 'g', 6);
}

// Unchanged text is left alone: setting it again would cost a relayout and an
// accessibility update 50 times a second, and drop a selection the user is
// making to copy a value.
void show(QLineEdit *edit, const QString &text)
{
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

void showTelemetryPacket(const TelemetryPacket &packet, Ui::MainWindow &view)
{
    show(view.telemetry_out_valid, yesNo(packet.flags, TelemetryFlags::Valid));
    show(view.telemetry_out_trim_override, yesNo(packet.flags, TelemetryFlags::TrimOverride));
    show(view.telemetry_out_on_ground, yesNo(packet.flags, TelemetryFlags::OnGround));
    show(view.telemetry_out_flaps, QString::number(packet.flaps));
    show(view.telemetry_out_airbrake, QString::number(packet.airbrake));
    show(view.telemetry_out_brake, QString::number(packet.brake));
    show(view.telemetry_out_gear, QString::number(packet.gear));
    show(view.telemetry_out_trim_roll, QString::number(packet.trim_roll));
    show(view.telemetry_out_trim_pitch, QString::number(packet.trim_pitch));
    show(view.telemetry_out_trim_yaw, QString::number(packet.trim_yaw));
    show(view.telemetry_out_thrust, real(packet.thrust));
    show(view.telemetry_out_airspeed, real(packet.airspeed));
    show(view.telemetry_out_vertical_speed, real(packet.vertical_speed));
    show(view.telemetry_out_g_force, real(packet.g_force));
    show(view.telemetry_out_aoa, real(packet.aoa));
}

TelemetryView::TelemetryView(Ui::MainWindow &view, QWidget *page)
    : QObject(page)
    , m_view(view)
    , m_page(page)
{
    page->installEventFilter(this);
}

void TelemetryView::update(const TelemetryPacket &packet)
{
    m_latest = packet;
    if (m_page->isVisible())
        refresh();
}

void TelemetryView::refresh()
{
    if (m_showsLatest && std::memcmp(&m_shown, &m_latest, sizeof m_latest) == 0)
        return;
    showTelemetryPacket(m_latest, m_view);
    m_shown = m_latest;
    m_showsLatest = true;
}

bool TelemetryView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_page && event->type() == QEvent::Show)
        refresh();
    return false;
}

TelemetryGraph *addTelemetryGraph(Ui::MainWindow &view)
{
    auto *graph = new TelemetryGraph(view.tab_9);
    graph->setObjectName(QStringLiteral("telemetry_graph"));
    // Stretched, it takes the free space the spacer below would otherwise hold.
    QBoxLayout *page = view.verticalLayout_17;
    page->insertWidget(page->indexOf(view.groupBox_2) + 1, graph, 1);
    return graph;
}

} // namespace vorkast

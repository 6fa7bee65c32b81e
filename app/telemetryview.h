#pragma once

#include "telemetrypacket.h"

#include <QObject>

class QWidget;
class TelemetryGraph;

namespace Ui {
class MainWindow;
}

namespace vorkast {

// Shows the packet last sent in the telemetry_out_ fields of the window.
void showTelemetryPacket(const TelemetryPacket &packet, Ui::MainWindow &view);

// Keeps the telemetry_out_ fields showing the packet last sent, at no cost
// while nobody can see them: they are set only while `page` (their tab) is on
// screen and the packet has changed, and `page` catches up as it comes on
// screen. At 50 records a second the fields are most of a tick's work.
class TelemetryView : public QObject
{
public:
    TelemetryView(Ui::MainWindow &view, QWidget *page);

    // The packet just sent: on the 20 ms path.
    void update(const TelemetryPacket &packet);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    Ui::MainWindow &m_view;
    QWidget *const m_page;
    TelemetryPacket m_latest{};
    TelemetryPacket m_shown{};
    bool m_showsLatest = false;
};
// The graph of the last seconds, placed below the "Telemetry debug" group.
TelemetryGraph *addTelemetryGraph(Ui::MainWindow &view);

} // namespace vorkast

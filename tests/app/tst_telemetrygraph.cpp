#include "telemetrygraph.h"
#include "testmain.h"
#include "windowrig.h"
#include "workdir.h"

#include <QTabWidget>
#include <QTimer>
#include <QTest>

#include <vector>

using namespace vorkast;

Q_DECLARE_METATYPE(std::vector<vorkast::TimeSpan>)

namespace {

constexpr std::int64_t kTickMs = 20;

// One character per packet, one packet per tick from 0 ms: 'v' valid, 'x' not.
TelemetryHistory historyOf(const QString &pattern)
{
    TelemetryHistory history;
    for (qsizetype i = 0; i < pattern.size(); ++i)
        history.append({i * kTickMs, pattern[i] == QLatin1Char('v'), {}});
    return history;
}

TelemetrySample withValue(std::int64_t ms, int line, float value)
{
    TelemetrySample sample{ms, true, {}};
    sample.values[line] = value;
    return sample;
}

// Paint events that reach a widget.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestTelemetryGraph : public QObject
{
    Q_OBJECT

private:
    FreshWorkDir workDir;

private slots:
    void initTestCase() { QVERIFY(workDir.isEntered()); }

    // More packets than the ring holds: the oldest go, the order stays.
    void ringKeepsTheNewest()
    {
        TelemetryHistory history;
        const int appended = TelemetryHistory::kCapacity + 88;
        for (int i = 0; i < appended; ++i)
            history.append(withValue(i * kTickMs, 0, float(i)));
        QCOMPARE(history.size(), TelemetryHistory::kCapacity);
        QCOMPARE(history.at(0).ms, 88 * kTickMs);
        QCOMPARE(history.at(0).values[0], 88.0f);
        QCOMPARE(history.at(history.size() - 1).ms, (appended - 1) * kTickMs);
        // 10 s at one packet per tick fit.
        QVERIFY(TelemetryHistory::kCapacity * kTickMs >= TelemetryHistory::kWindowMs);
        const std::int64_t now = (appended - 1) * kTickMs;
        QCOMPARE(history.at(history.firstShown(now)).ms, now - TelemetryHistory::kWindowMs);
    }

    void invalidSpans_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<std::int64_t>("after");  // now = last packet + after
        QTest::addColumn<std::vector<TimeSpan>>("expected");
        using Spans = std::vector<TimeSpan>;
        const std::int64_t none = 0;
        QTest::newRow("one invalid packet") << "vvxvv" << none << Spans{{40, 60}};
        QTest::newRow("two gaps") << "xvvxxxvv" << none << Spans{{0, 20}, {60, 120}};
        QTest::newRow("no packet since, still not valid")
            << "vvvxx" << std::int64_t(500) << Spans{{60, 580}};
        // 600 packets: the last at 11980 ms, the window from 1980 ms.
        QTest::newRow("gap begun before the window")
            << QString(150, 'x') + QString(450, 'v') << none << Spans{{1980, 3000}};
        QTest::newRow("gap ended where the window begins")
            << QString(99, 'x') + QString(501, 'v') << none << Spans{};
        QTest::newRow("gap ended just inside the window")
            << QString(100, 'x') + QString(500, 'v') << none << Spans{{1980, 2000}};
    }

    void invalidSpans()
    {
        QFETCH(QString, pattern);
        QFETCH(std::int64_t, after);
        QFETCH(std::vector<TimeSpan>, expected);
        const TelemetryHistory history = historyOf(pattern);
        const std::int64_t last = (pattern.size() - 1) * kTickMs;
        QCOMPARE(history.invalidSpans(last + after), expected);
    }

    // Each line keeps its usual range unless a value of the window leaves it.
    void ranges_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<float>("value");
        QTest::addColumn<bool>("old");  // the value has left the window
        QTest::addColumn<float>("low");
        QTest::addColumn<float>("high");
        QTest::newRow("airspeed inside") << 0 << 350.0f << false << 0.0f << 1000.0f;
        QTest::newRow("airspeed above, by tenths") << 0 << 1234.0f << false << 0.0f << 1300.0f;
        QTest::newRow("vertical speed below") << 1 << -37.0f << false << -38.0f << 10.0f;
        QTest::newRow("AoA far below") << 3 << -180.0f << false << -182.0f << 30.0f;
        QTest::newRow("older than the window") << 0 << 5000.0f << true << 0.0f << 1000.0f;
    }

    void ranges()
    {
        QFETCH(int, line);
        QFETCH(float, value);
        QFETCH(bool, old);
        QFETCH(float, low);
        QFETCH(float, high);
        TelemetryHistory history;
        history.append(withValue(0, line, value));
        std::int64_t now = 0;
        if (old) {
            history.append(withValue(500, line, kGraphLines[line].low));
            now = 500 + TelemetryHistory::kWindowMs;
            history.append(withValue(now, line, kGraphLines[line].low));
        }
        const auto range = history.range(line, now);
        QCOMPARE(range.first, low);
        QCOMPARE(range.second, high);
    }

    // The telemetry tick records every packet; only a visible graph draws,
    // and then at most ten times a second.
    void hiddenTabDoesNotRepaint()
    {
        WindowRig rig(false, false);
        MainWindow &window = rig.start();
        auto *tabs = rig.control<QTabWidget>("main_tabplane");
        auto *graph = rig.control<TelemetryGraph>("telemetry_graph");
        QVERIFY(graph);
        tabs->setCurrentIndex(0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintCounter counter;
        graph->installEventFilter(&counter);

        auto *refresh = graph->findChild<QTimer *>();
        QVERIFY(refresh);
        QTest::qWait(600);
        QCOMPARE(counter.paints, 0);
        QVERIFY(!refresh->isActive());
        QVERIFY2(graph->history().size() >= 10, "packets are recorded while the tab is hidden");

        tabs->setCurrentWidget(rig.control<QWidget>("tab_9"));
        QTest::qWait(1000);
        QVERIFY(counter.paints > 0);
        QVERIFY(refresh->isActive());
        QVERIFY2(counter.paints <= 12, qPrintable(QString::number(counter.paints)));

        tabs->setCurrentIndex(0);
        QTest::qWait(50);
        counter.paints = 0;
        QTest::qWait(400);
        QCOMPARE(counter.paints, 0);
        QVERIFY(!refresh->isActive());
    }
};

VORKAST_USB_TEST_MAIN(TestTelemetryGraph)
#include "tst_telemetrygraph.moc"

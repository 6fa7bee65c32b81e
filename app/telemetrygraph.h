#pragma once

#include "telemetrypacket.h"

#include <QElapsedTimer>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace vorkast {

// The values of one packet the graph draws, at the moment it was sent.
struct TelemetrySample
{
    std::int64_t ms = 0;  // monotonic
    bool valid = false;
    std::array<float, 4> values{};  // in the order of kGraphLines
};

struct GraphLine
{
    const char *name;
    const char *unit;  // UTF-8
    float low;   // the range drawn while every sample fits in it
    float high;
    int decimals;  // of the value shown
};

inline constexpr std::array<GraphLine, 4> kGraphLines{{
    {"Airspeed", "km/h", 0.0f, 1000.0f, 0},
    {"Vertical speed", "m/s", -10.0f, 10.0f, 1},
    {"G force", "G", -2.0f, 10.0f, 2},
    {"AoA", "\xC2\xB0", -10.0f, 30.0f, 1},  // degree sign
}};

TelemetrySample sampleOf(const TelemetryPacket &packet, std::int64_t ms);

// A span of time, in ms of the sample clock.
struct TimeSpan
{
    std::int64_t from;
    std::int64_t to;
    bool operator==(const TimeSpan &) const = default;
};

// The packets of the last seconds: a fixed ring, so that appending at 50 Hz
// never allocates.
class TelemetryHistory
{
public:
    static constexpr int kCapacity = 512;  // 10 s at one packet per 20 ms, and some slack
    static constexpr std::int64_t kWindowMs = 10000;

    void append(const TelemetrySample &sample);
    void clear() { count = 0; }
    int size() const { return count; }
    // Oldest first.
    const TelemetrySample &at(int index) const;

    // The first sample still to be drawn at `now`: the newest one older than
    // the window, so that the lines reach its left edge.
    int firstShown(std::int64_t now) const;
    // Where the packet sent was not valid, within the window ending at `now`:
    // from an invalid sample to the next valid one (or to `now`).
    std::vector<TimeSpan> invalidSpans(std::int64_t now) const;
    // Line `line`'s range: its usual one, widened in whole tenths of that to
    // take every sample of the window.
    std::pair<float, float> range(int line, std::int64_t now) const;

private:
    std::array<TelemetrySample, kCapacity> ring{};
    int next = 0;
    int count = 0;
};

// Where time `ms` lies across `area` for a window ending at `now` on its right edge.
double timeToX(const QRectF &area, std::int64_t now, std::int64_t ms);

} // namespace vorkast

// The last seconds of what the controllers were sent. Appending is all the
// telemetry tick does; drawing follows at most ten times a second, and only
// while the graph can be seen.
class TelemetryGraph : public QWidget
{
    Q_OBJECT

public:
    using Clock = std::function<std::int64_t()>;

    // `clock`: monotonic milliseconds; by default since the graph was made.
    explicit TelemetryGraph(QWidget *parent = nullptr, Clock clock = {});

    void append(const TelemetryPacket &packet);
    const vorkast::TelemetryHistory &history() const { return samples; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    vorkast::TelemetryHistory samples;
    Clock clock;
    QElapsedTimer elapsed;
    QTimer refresh;
    bool changed = false;
};

#include "telemetrygraph.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vorkast {

TelemetrySample sampleOf(const TelemetryPacket &packet, std::int64_t ms)
{
    return {ms, (packet.flags & TelemetryFlags::Valid) != 0,
            {packet.airspeed, packet.vertical_speed, packet.g_force, packet.aoa}};
}

void TelemetryHistory::append(const TelemetrySample &sample)
{
    ring[next] = sample;
    next = (next + 1) % kCapacity;
    count = std::min(count + 1, kCapacity);
}

const TelemetrySample &TelemetryHistory::at(int index) const
{
    return ring[(next - count + index + kCapacity) % kCapacity];
}

int TelemetryHistory::firstShown(std::int64_t now) const
{
    const std::int64_t start = now - kWindowMs;
    int first = 0;
    while (first + 1 < count && at(first + 1).ms <= start)
        ++first;
    return first;
}

std::vector<TimeSpan> TelemetryHistory::invalidSpans(std::int64_t now) const
{
    const std::int64_t start = now - kWindowMs;
    std::vector<TimeSpan> spans;
    bool open = false;
    std::int64_t from = 0;
    for (int i = firstShown(now); i < count; ++i) {
        const TelemetrySample &sample = at(i);
        const std::int64_t ms = std::max(sample.ms, start);
        if (!sample.valid && !open) {
            open = true;
            from = ms;
        } else if (sample.valid && open) {
            open = false;
            if (ms > from)
                spans.push_back({from, ms});
        }
    }
    if (open && now > from)
        spans.push_back({from, now});
    return spans;
}

std::pair<float, float> TelemetryHistory::range(int line, std::int64_t now) const
{
    const GraphLine &usual = kGraphLines[line];
    const double step = (double(usual.high) - double(usual.low)) / 10.0;
    double low = usual.low;
    double high = usual.high;
    for (int i = firstShown(now); i < count; ++i) {
        const double value = at(i).values[line];
        if (!std::isfinite(value))
            continue;
        if (value < low)
            low = usual.low - std::ceil((usual.low - value) / step) * step;
        if (value > high)
            high = usual.high + std::ceil((value - usual.high) / step) * step;
    }
    return {float(low), float(high)};
}

double timeToX(const QRectF &area, std::int64_t now, std::int64_t ms)
{
    return area.right() - double(now - ms) / double(TelemetryHistory::kWindowMs) * area.width();
}

} // namespace vorkast

using namespace vorkast;

namespace {

constexpr int kRefreshMs = 100;
// Longer without a packet (a busy wait, a source that stalls) breaks the lines.
constexpr std::int64_t kGapMs = 200;
constexpr std::array<int, 4> kHues{210, 25, 130, 300};

// Four hues that stay apart on light and on dark backgrounds.
QColor lineColour(int line, const QPalette &palette)
{
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    return QColor::fromHsl(kHues[line], 200, dark ? 165 : 95);
}

QString formatted(float value) { return QString::number(double(value), 'g', 6); }

} // namespace

TelemetryGraph::TelemetryGraph(QWidget *parent, Clock clock)
    : QWidget(parent), clock(std::move(clock)), refresh(this)
{
    elapsed.start();
    if (!this->clock)
        this->clock = [this] { return elapsed.elapsed(); };
    refresh.setInterval(kRefreshMs);
    // While packets flow the time axis moves on, so the graph is redrawn
    // whether or not a packet came since the last time.
    connect(&refresh, &QTimer::timeout, this, [this] {
        if (changed || samples.size() > 0)
            update();
        changed = false;
    });
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TelemetryGraph::append(const TelemetryPacket &packet)
{
    samples.append(sampleOf(packet, clock()));
    changed = true;
}

QSize TelemetryGraph::sizeHint() const
{
    return {560, 240};
}

QSize TelemetryGraph::minimumSizeHint() const
{
    return {280, 140};
}

void TelemetryGraph::showEvent(QShowEvent *event)
{
    refresh.start();
    QWidget::showEvent(event);
}

void TelemetryGraph::hideEvent(QHideEvent *event)
{
    refresh.stop();
    QWidget::hideEvent(event);
}

void TelemetryGraph::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const QFontMetrics metrics = fontMetrics();
    // Legend and time labels lie on the page, not on the plot's base.
    const QColor text = colours.color(QPalette::WindowText);
    const std::int64_t now = clock();
    const int newest = samples.size() - 1;

    // The legend: each line's name, its value now and its range, flowed over
    // as many rows as the width needs.
    QStringList entries;
    for (std::size_t line = 0; line < kGraphLines.size(); ++line) {
        const auto [low, high] = samples.range(int(line), now);
        const QString value =
            newest >= 0 ? QString::number(double(samples.at(newest).values[line]), 'f',
                                          kGraphLines[line].decimals)
                        : QStringLiteral("-");
        entries << QStringLiteral("%1 %2 %3 (%4 to %5)")
                       .arg(QLatin1StringView(kGraphLines[line].name), value,
                            QString::fromUtf8(kGraphLines[line].unit), formatted(low), formatted(high));
    }
    entries << QStringLiteral("not valid");
    const int swatch = metrics.height() - 2;
    double x = 4;
    double y = 2;
    for (int i = 0; i < entries.size(); ++i) {
        const double width = swatch + 4 + metrics.horizontalAdvance(entries[i]) + 14;
        if (x > 4 && x + width > this->width()) {
            x = 4;
            y += metrics.height() + 2;
        }
        const QRectF box(x, y + 1, swatch, swatch);
        if (i < int(kGraphLines.size())) {
            painter.fillRect(box.adjusted(0, swatch / 2.0 - 1.5, 0, -(swatch / 2.0 - 1.5)),
                             lineColour(i, colours));
        } else {
            QColor shade = colours.color(QPalette::Mid);
            shade.setAlpha(90);
            painter.fillRect(box, shade);
        }
        painter.setPen(text);
        painter.drawText(QPointF(x + swatch + 4, y + metrics.ascent()), entries[i]);
        x += width;
    }

    const double bottomMargin = metrics.height() + 4;
    const QRectF area = QRectF(rect()).adjusted(4, y + metrics.height() + 6, -4, -bottomMargin);
    if (area.height() < 10 || area.width() < 10)
        return;
    painter.fillRect(area, colours.base());

    QColor shade = colours.color(QPalette::Mid);
    shade.setAlpha(90);
    for (const TimeSpan &span : samples.invalidSpans(now)) {
        const double from = std::max(timeToX(area, now, span.from), area.left());
        painter.fillRect(QRectF(from, area.top(), timeToX(area, now, span.to) - from, area.height()),
                         shade);
    }

    QColor grid = colours.color(QPalette::Mid);
    grid.setAlpha(110);
    for (int quarter = 1; quarter < 4; ++quarter) {
        const double gy = area.top() + area.height() * quarter / 4;
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(area.left(), gy), QPointF(area.right(), gy));
    }
    for (int second = 0; second <= 10; ++second) {
        const double gx = area.right() - area.width() * second / 10;
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(gx, area.top()), QPointF(gx, area.bottom()));
        if (second % 2)
            continue;
        const QString label = second == 0 ? QStringLiteral("now") : QStringLiteral("-%1 s").arg(second);
        const double width = metrics.horizontalAdvance(label);
        const double left = std::clamp(gx - width / 2, area.left(), area.right() - width);
        painter.setPen(text);
        painter.drawText(QPointF(left, area.bottom() + 2 + metrics.ascent()), label);
    }

    painter.save();
    painter.setClipRect(area);
    const int first = samples.firstShown(now);
    for (std::size_t line = 0; line < kGraphLines.size(); ++line) {
        const auto [low, high] = samples.range(int(line), now);
        QPainterPath path;
        for (int i = first; i <= newest; ++i) {
            const TelemetrySample &sample = samples.at(i);
            const double value = sample.values[line];
            if (!std::isfinite(value))
                continue;
            const QPointF point(timeToX(area, now, sample.ms),
                                area.bottom() - (value - low) / (double(high) - low) * area.height());
            if (i == first || sample.ms - samples.at(i - 1).ms > kGapMs)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        painter.setPen(QPen(lineColour(int(line), colours), 1.5));
        painter.drawPath(path);
    }
    painter.restore();

    painter.setPen(QPen(colours.color(QPalette::Mid), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);
}

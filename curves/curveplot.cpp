#include "curveplot.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vorkast::curves {

namespace {

constexpr int kLastPoint = kCurvePoints - 1;

double span(int minimum, int maximum) { return double(maximum) - double(minimum); }

} // namespace

QPointF pointPosition(const QRectF &area, int index, int value, int minimum, int maximum)
{
    const double x = area.left() + area.width() * index / kLastPoint;
    const double share = maximum > minimum ? (value - minimum) / span(minimum, maximum) : 0.0;
    return {x, area.bottom() - area.height() * share};
}

int valueAt(const QRectF &area, double y, int minimum, int maximum)
{
    if (maximum <= minimum || area.height() <= 0)
        return minimum;
    const double share = (area.bottom() - y) / area.height();
    const double value = std::round(minimum + share * span(minimum, maximum));
    return int(std::clamp(value, double(minimum), double(maximum)));
}

int nearestPoint(const QRectF &area, double x)
{
    if (area.width() <= 0)
        return 0;
    const double column = std::round((x - area.left()) / area.width() * kLastPoint);
    return int(std::clamp(column, 0.0, double(kLastPoint)));
}

std::optional<int> pointUnder(const QRectF &area, const CurvePoints &points, QPointF position,
                              int minimum, int maximum, double radius)
{
    const int index = nearestPoint(area, position.x());
    const QPointF centre = pointPosition(area, index, points[index], minimum, maximum);
    if (std::hypot(position.x() - centre.x(), position.y() - centre.y()) > radius)
        return std::nullopt;
    return index;
}

KeyEdit editByKey(const CurvePoints &points, int selected, int key, int minimum, int maximum)
{
    selected = std::clamp(selected, 0, kLastPoint);
    int step = 0;
    switch (key) {
    case Qt::Key_Left:
        selected = std::max(selected - 1, 0);
        break;
    case Qt::Key_Right:
        selected = std::min(selected + 1, kLastPoint);
        break;
    case Qt::Key_Home:
        selected = 0;
        break;
    case Qt::Key_End:
        selected = kLastPoint;
        break;
    case Qt::Key_Up:
        step = 1;
        break;
    case Qt::Key_Down:
        step = -1;
        break;
    case Qt::Key_PageUp:
        step = 10;
        break;
    case Qt::Key_PageDown:
        step = -10;
        break;
    default:
        return {false, selected, points[selected]};
    }
    // A point stored outside the range moves back into it with the first step.
    return {true, selected, std::clamp(points[selected] + step, minimum, maximum)};
}

const char *shapeName(CurveShape shape)
{
    switch (shape) {
    case CurveShape::Linear:
        return "Linear";
    case CurveShape::Constant:
        return "Constant";
    case CurveShape::Progressive:
        return "Progressive";
    case CurveShape::Degressive:
        return "Degressive";
    case CurveShape::SCurve:
        return "S-curve";
    }
    return "";
}

CurvePoints shapePoints(CurveShape shape, int minimum, int maximum)
{
    CurvePoints points{};
    for (int i = 0; i < kCurvePoints; ++i) {
        const double t = double(i) / kLastPoint;
        double share = t;
        switch (shape) {
        case CurveShape::Linear:
            break;
        case CurveShape::Constant:
            share = 1.0;
            break;
        case CurveShape::Progressive:
            share = t * t;
            break;
        case CurveShape::Degressive:
            share = std::sqrt(t);
            break;
        case CurveShape::SCurve:
            // Smoothstep: flat at both ends, steepest in the middle.
            share = t * t * (3.0 - 2.0 * t);
            break;
        }
        points[i] = minimum + int(std::lround(share * span(minimum, maximum)));
    }
    return points;
}

std::optional<double> markerFraction(double input, double xMaximum)
{
    if (!(xMaximum > 0) || !std::isfinite(input))
        return std::nullopt;
    return std::clamp(input / xMaximum, 0.0, 1.0);
}

} // namespace vorkast::curves

using namespace vorkast::curves;

namespace {

constexpr double kPointRadius = 4.0;
constexpr double kGrabRadius = 10.0;  // wider than a point: a mouse is not that precise
constexpr int kValueGridLines = 5;

} // namespace

CurvePlot::CurvePlot(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CurvePlot::setRange(int newMinimum, int newMaximum)
{
    minimum = newMinimum;
    maximum = std::max(newMinimum, newMaximum);
    for (int &value : points)
        value = std::clamp(value, minimum, maximum);
    update();
}

void CurvePlot::setLabels(const QStringList &newLabels)
{
    labels = newLabels;
    update();
}

void CurvePlot::setPoint(int index, int value)
{
    value = std::clamp(value, minimum, maximum);
    if (points[index] == value)
        return;
    points[index] = value;
    update();
}

void CurvePlot::setMarker(std::optional<double> fraction)
{
    if (fraction == markerAt)
        return;
    markerAt = fraction;
    update();
}

QRectF CurvePlot::plotArea() const
{
    const QFontMetrics metrics = fontMetrics();
    const double left = metrics.horizontalAdvance(QString::number(maximum)) + 10;
    double labelWidth = 0;
    for (const QString &label : labels)
        labelWidth = std::max<double>(labelWidth, metrics.horizontalAdvance(label));
    const double right = std::max(labelWidth / 2, kGrabRadius) + 2;
    const double top = std::max(metrics.height() / 2.0, kGrabRadius);
    const double bottom = metrics.height() + 8;
    return QRectF(rect()).adjusted(left, top, -right, -bottom);
}

QSize CurvePlot::sizeHint() const
{
    return {480, 200};
}

QSize CurvePlot::minimumSizeHint() const
{
    return {240, 120};
}

void CurvePlot::edit(int index, int value)
{
    value = std::clamp(value, minimum, maximum);
    if (points[index] == value)
        return;
    points[index] = value;
    update();
    emit pointEdited(index, value);
}

void CurvePlot::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const QRectF area = plotArea();
    dragged = pointUnder(area, points, event->position(), minimum, maximum, kGrabRadius);
    selected = dragged.value_or(nearestPoint(area, event->position().x()));
    update();
}

// Tracks the drag state itself rather than the event's buttons, which not
// every source of synthetic events fills in.
void CurvePlot::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragged)
        return QWidget::mouseMoveEvent(event);
    edit(*dragged, valueAt(plotArea(), event->position().y(), minimum, maximum));
}

void CurvePlot::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && dragged) {
        edit(*dragged, valueAt(plotArea(), event->position().y(), minimum, maximum));
        dragged.reset();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CurvePlot::keyPressEvent(QKeyEvent *event)
{
    const KeyEdit result = editByKey(points, selected, event->key(), minimum, maximum);
    // Everything else, Enter and Escape above all, goes on to the dialog.
    if (!result.handled)
        return QWidget::keyPressEvent(event);
    if (result.selected != selected) {
        selected = result.selected;
        update();
    }
    edit(selected, result.value);
}

void CurvePlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &colours = palette();
    const QRectF area = plotArea();
    const QFontMetrics metrics = fontMetrics();

    painter.fillRect(rect(), colours.window());
    painter.fillRect(area, colours.base());

    QColor grid = colours.color(QPalette::Mid);
    grid.setAlpha(110);
    painter.setPen(QPen(grid, 1));
    for (int line = 0; line <= kValueGridLines; ++line) {
        const int value = minimum + int(std::lround(span(minimum, maximum) * line / kValueGridLines));
        const double y = pointPosition(area, 0, value, minimum, maximum).y();
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(colours.color(QPalette::WindowText));
        painter.drawText(QRectF(0, y - metrics.height(), area.left() - 6, 2 * metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(value));
        painter.setPen(QPen(grid, 1));
    }
    // Labels that would overlap their left neighbour are left out; the
    // column's grid line stays.
    double labelsEnd = -1e9;
    for (int i = 0; i < kCurvePoints; ++i) {
        const double x = pointPosition(area, i, minimum, minimum, maximum).x();
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        if (i >= labels.size())
            continue;
        const double width = metrics.horizontalAdvance(labels[i]);
        if (x - width / 2 < labelsEnd + 4)
            continue;
        labelsEnd = x + width / 2;
        painter.setPen(colours.color(QPalette::WindowText));
        painter.drawText(QRectF(x - width / 2 - 1, area.bottom() + 5, width + 2, metrics.height()),
                         Qt::AlignCenter, labels[i]);
    }
    painter.setPen(QPen(colours.color(QPalette::Mid), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);

    if (markerAt) {
        const double x = area.left() + area.width() * *markerAt;
        QColor line = colours.color(QPalette::Text);
        line.setAlpha(140);
        painter.setPen(QPen(line, 1, Qt::DashLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        QPainterPath triangle;
        triangle.moveTo(x, area.bottom() - 7);
        triangle.lineTo(x - 5, area.bottom());
        triangle.lineTo(x + 5, area.bottom());
        triangle.closeSubpath();
        painter.fillPath(triangle, colours.color(QPalette::Text));
    }

    const QColor curve = colours.color(QPalette::Highlight);
    QPolygonF line;
    for (int i = 0; i < kCurvePoints; ++i)
        line << pointPosition(area, i, points[i], minimum, maximum);
    painter.setPen(QPen(curve, 2));
    painter.drawPolyline(line);
    for (int i = 0; i < kCurvePoints; ++i) {
        const bool chosen = i == selected;
        painter.setPen(QPen(curve, chosen && hasFocus() ? 2.5 : 1.5));
        painter.setBrush(chosen ? curve : colours.base().color());
        const double radius = chosen ? kPointRadius + 1.5 : kPointRadius;
        painter.drawEllipse(line[i], radius, radius);
    }
}

#pragma once

#include <QPointF>
#include <QRectF>
#include <QStringList>
#include <QWidget>

#include <array>
#include <optional>

namespace vorkast::curves {

inline constexpr int kCurvePoints = 11;
using CurvePoints = std::array<int, kCurvePoints>;

// Where point `index` with magnitude `value` lies in `area`: point 0 on the
// left edge, point 10 on the right, `minimum` at the bottom, `maximum` at the top.
QPointF pointPosition(const QRectF &area, int index, int value, int minimum, int maximum);

// The whole magnitude at height `y`, held within minimum..maximum.
int valueAt(const QRectF &area, double y, int minimum, int maximum);

// The point whose column is nearest to `x`.
int nearestPoint(const QRectF &area, double x);

// The point a press at `position` takes hold of: the one of the nearest
// column, if the press lies within `radius` of it.
std::optional<int> pointUnder(const QRectF &area, const CurvePoints &points, QPointF position,
                              int minimum, int maximum, double radius);

// A key on the focused plot: Left/Right and Home/End choose the point,
// Up/Down change it by 1, Page Up/Down by 10, held within minimum..maximum.
struct KeyEdit
{
    bool handled;
    int selected;
    int value;  // of the selected point, after the key
};
KeyEdit editByKey(const CurvePoints &points, int selected, int key, int minimum, int maximum);

// Shapes to start a curve from, over the whole input range.
enum class CurveShape { Linear, Constant, Progressive, Degressive, SCurve };
inline constexpr std::array<CurveShape, 5> kCurveShapes{
    CurveShape::Linear, CurveShape::Constant, CurveShape::Progressive, CurveShape::Degressive,
    CurveShape::SCurve};
const char *shapeName(CurveShape shape);
CurvePoints shapePoints(CurveShape shape, int minimum, int maximum);

// Where an input value lies on an axis from 0 to `xMaximum`, as a fraction of
// the axis, pinned to its ends; none for an axis of no length or a value that
// is not a number.
std::optional<double> markerFraction(double input, double xMaximum);

} // namespace vorkast::curves

// The curve drawn over its input axis; its points follow the mouse (drag) and
// the keyboard. It only shows and reports: the dialog keeps the values.
class CurvePlot : public QWidget
{
    Q_OBJECT

public:
    explicit CurvePlot(QWidget *parent = nullptr);

    void setRange(int minimum, int maximum);
    // One text per point, under its column.
    void setLabels(const QStringList &labels);
    void setPoint(int index, int value);
    int point(int index) const { return points[index]; }
    int selectedPoint() const { return selected; }
    // The current input as a fraction of the axis; none hides the marker.
    void setMarker(std::optional<double> fraction);
    std::optional<double> marker() const { return markerAt; }
    // The rectangle the points are drawn in, in widget coordinates.
    QRectF plotArea() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A point was moved by the user (mouse or keyboard), not by setPoint().
    void pointEdited(int index, int value);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void edit(int index, int value);

    vorkast::curves::CurvePoints points{};
    QStringList labels;
    int minimum = 0;
    int maximum = 100;
    int selected = 0;
    std::optional<int> dragged;
    std::optional<double> markerAt;
};

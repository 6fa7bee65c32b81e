#include "curveplot.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace vorkast::curves;

Q_DECLARE_METATYPE(CurveShape)
Q_DECLARE_METATYPE(CurvePoints)
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

// Not at the origin and not a whole number of pixels per step, so a mapping
// that forgets the offset or truncates shows.
const QRectF kArea(12.0, 20.0, 203.0, 117.0);

} // namespace

class TestCurvePlot : public QObject
{
    Q_OBJECT

private slots:
    // Every whole percent comes back from its own height, at both ends too.
    void everyValueRoundTrips()
    {
        for (int value = 0; value <= 100; ++value)
            QCOMPARE(valueAt(kArea, pointPosition(kArea, 4, value, 0, 100).y(), 0, 100), value);
        for (int value = -20; value <= 20; ++value)
            QCOMPARE(valueAt(kArea, pointPosition(kArea, 4, value, -20, 20).y(), -20, 20), value);
    }

    void valuesFromHeights_data()
    {
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("expected");
        const double perPercent = 117.0 / 100.0;
        QTest::newRow("rounds up past half") << 137.0 - 36.6 * perPercent << 37;
        QTest::newRow("rounds down below half") << 137.0 - 36.4 * perPercent << 36;
        QTest::newRow("above the area") << 0.0 << 100;
        QTest::newRow("below the area") << 500.0 << 0;
    }

    void valuesFromHeights()
    {
        QFETCH(double, y);
        QFETCH(int, expected);
        QCOMPARE(valueAt(kArea, y, 0, 100), expected);
    }

    void pointsUnderPresses_data()
    {
        QTest::addColumn<QPointF>("press");
        QTest::addColumn<int>("expected");  // -1: none
        // Point 3 at 40: (72.9, 90.2); point 4 at 0 lies at the bottom.
        QTest::newRow("on the point") << QPointF(72.9, 90.2) << 3;
        QTest::newRow("just within the radius") << QPointF(72.9 + 6, 90.2 + 6) << 3;
        QTest::newRow("above, out of reach") << QPointF(72.9, 90.2 - 11) << -1;
        QTest::newRow("nearer the next column") << QPointF(72.9 + 12, 90.2) << -1;
        QTest::newRow("next column's point") << QPointF(93.2 - 3, 137.0 - 2) << 4;
        QTest::newRow("left of the area, point 0") << QPointF(12.0 - 8, 137.0) << 0;
    }

    void pointsUnderPresses()
    {
        QFETCH(QPointF, press);
        QFETCH(int, expected);
        const CurvePoints points{0, 10, 20, 40, 0, 50, 60, 70, 80, 90, 100};
        const std::optional<int> under = pointUnder(kArea, points, press, 0, 100, 10.0);
        QCOMPARE(under.value_or(-1), expected);
    }

    void keys_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<int>("nowSelected");
        QTest::addColumn<int>("value");
        // Points: 0, 5, 50, 95, 100, 120 (stored out of range), -3, ...
        QTest::newRow("up") << 2 << int(Qt::Key_Up) << true << 2 << 51;
        QTest::newRow("page up near the top") << 3 << int(Qt::Key_PageUp) << true << 3 << 100;
        QTest::newRow("page down near the bottom") << 1 << int(Qt::Key_PageDown) << true << 1 << 0;
        QTest::newRow("up from above the range") << 5 << int(Qt::Key_Up) << true << 5 << 100;
        QTest::newRow("right takes the next") << 2 << int(Qt::Key_Right) << true << 3 << 95;
        QTest::newRow("left at the first") << 0 << int(Qt::Key_Left) << true << 0 << 0;
        QTest::newRow("end") << 2 << int(Qt::Key_End) << true << 10 << 77;
        QTest::newRow("home") << 7 << int(Qt::Key_Home) << true << 0 << 0;
        QTest::newRow("Enter is the dialog's") << 2 << int(Qt::Key_Return) << false << 2 << 50;
    }

    void keys()
    {
        QFETCH(int, selected);
        QFETCH(int, key);
        QFETCH(bool, handled);
        QFETCH(int, nowSelected);
        QFETCH(int, value);
        const CurvePoints points{0, 5, 50, 95, 100, 120, -3, 30, 40, 50, 77};
        const KeyEdit edit = editByKey(points, selected, key, 0, 100);
        QCOMPARE(edit.handled, handled);
        QCOMPARE(edit.selected, nowSelected);
        QCOMPARE(edit.value, value);
    }

    void shapes_data()
    {
        QTest::addColumn<CurveShape>("shape");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<CurvePoints>("expected");
        QTest::newRow("linear") << CurveShape::Linear << 0 << 100
                                << CurvePoints{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        QTest::newRow("constant") << CurveShape::Constant << 0 << 100
                                  << CurvePoints{100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100};
        QTest::newRow("progressive (square)")
            << CurveShape::Progressive << 0 << 100
            << CurvePoints{0, 1, 4, 9, 16, 25, 36, 49, 64, 81, 100};
        QTest::newRow("degressive (square root)")
            << CurveShape::Degressive << 0 << 100
            << CurvePoints{0, 32, 45, 55, 63, 71, 77, 84, 89, 95, 100};
        QTest::newRow("S-curve") << CurveShape::SCurve << 0 << 100
                                 << CurvePoints{0, 3, 10, 22, 35, 50, 65, 78, 90, 97, 100};
        QTest::newRow("S-curve over 20..80") << CurveShape::SCurve << 20 << 80
                                             << CurvePoints{20, 22, 26, 33, 41, 50, 59, 67, 74, 78, 80};
    }

    void shapes()
    {
        QFETCH(CurveShape, shape);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(CurvePoints, expected);
        QCOMPARE(shapePoints(shape, minimum, maximum), expected);
    }

    void markers_data()
    {
        QTest::addColumn<double>("input");
        QTest::addColumn<double>("xMaximum");
        QTest::addColumn<std::optional<double>>("expected");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("AoA 15 of 30") << 15.0 << 30.0 << std::optional(0.5);
        QTest::newRow("beyond the axis") << 45.0 << 30.0 << std::optional(1.0);
        QTest::newRow("negative AoA") << -4.0 << 30.0 << std::optional(0.0);
        QTest::newRow("axis of no length") << 5.0 << 0.0 << std::optional<double>();
        QTest::newRow("not a number") << nan << 30.0 << std::optional<double>();
    }

    void markers()
    {
        QFETCH(double, input);
        QFETCH(double, xMaximum);
        QFETCH(std::optional<double>, expected);
        QCOMPARE(markerFraction(input, xMaximum), expected);
    }
};

QTEST_MAIN(TestCurvePlot)
#include "tst_curveplot.moc"

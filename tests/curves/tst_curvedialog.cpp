#include "curveaxis.h"
#include "curvedialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <array>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr int kPoints = CurveDialog::kPoints;

// A curve with a guard byte on either side, so a write past either end shows.
struct GuardedCurve
{
    static constexpr std::int8_t kGuard = 0x5A;
    std::array<std::int8_t, kPoints + 2> bytes;

    explicit GuardedCurve(const std::array<int, kPoints> &points)
    {
        bytes.fill(kGuard);
        for (int i = 0; i < kPoints; ++i)
            bytes[i + 1] = std::int8_t(points[i]);
    }
    std::int8_t *points() { return bytes.data() + 1; }
    int point(int i) const { return bytes[i + 1]; }
    bool guardsIntact() const { return bytes.front() == kGuard && bytes.back() == kGuard; }
};

QSpinBox *spinBox(const QDialog &dialog, int i)
{
    return dialog.findChild<QSpinBox *>(QStringLiteral("spinBox_v%1").arg(i));
}
QSlider *slider(const QDialog &dialog, int i)
{
    return dialog.findChild<QSlider *>(QStringLiteral("slider_v%1").arg(i));
}
QLabel *label(const QDialog &dialog, int i)
{
    return dialog.findChild<QLabel *>(QStringLiteral("label_v%1").arg(i));
}
QPushButton *button(const QDialog &dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
}

// Runs the dialog modally, as the window does, with `drive` acting as the user.
int runModal(CurveDialog &dialog, const std::function<void()> &drive)
{
    QTimer::singleShot(0, &dialog, drive);
    return dialog.exec();
}

enum class Ending { OkButton, EnterKey, CancelButton, EscapeKey, Close };

void end(CurveDialog &dialog, Ending ending)
{
    QWidget *focused = QApplication::focusWidget() ? QApplication::focusWidget() : &dialog;
    switch (ending) {
    case Ending::OkButton:
        QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        break;
    case Ending::EnterKey:
        QTest::keyClick(focused, Qt::Key_Return);
        break;
    case Ending::CancelButton:
        QTest::mouseClick(button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
        break;
    case Ending::EscapeKey:
        QTest::keyClick(focused, Qt::Key_Escape);
        break;
    case Ending::Close:
        dialog.close();
        break;
    }
    // Whatever went wrong above, never leave the modal loop running.
    if (dialog.isVisible())
        dialog.done(-1);
}

} // namespace

Q_DECLARE_METATYPE(Ending)

class TestCurveDialog : public QObject
{
    Q_OBJECT

private slots:
    // Column i of the grid belongs to point i; a widget in the wrong column
    // would show one point under another's label.
    void columnsBelongToTheirPoints()
    {
        std::array<std::int8_t, kPoints> curve{};
        CurveDialog dialog(nullptr, curve.data(), 0, 100, 100);
        QCOMPARE(dialog.objectName(), QStringLiteral("CurveDialog"));
        QCOMPARE(dialog.size(), QSize(513, 540));
        auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
        QVERIFY(grid);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->columnCount(), kPoints);
        for (int i = 0; i < kPoints; ++i) {
            QCOMPARE(grid->itemAtPosition(0, i)->widget(), label(dialog, i));
            QCOMPARE(grid->itemAtPosition(1, i)->widget(), slider(dialog, i));
            QCOMPARE(grid->itemAtPosition(2, i)->widget(), spinBox(dialog, i));
            QCOMPARE(slider(dialog, i)->orientation(), Qt::Vertical);
            QCOMPARE(label(dialog, i)->minimumWidth(), 40);
            QCOMPARE(label(dialog, i)->maximumWidth(), 40);
        }
    }

    void labels_data()
    {
        QTest::addColumn<int>("xMaximum");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("deflection 100")
            << 100 << QStringList{"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"};
        QTest::newRow("AoA 30")
            << 30 << QStringList{"0", "3", "6", "9", "12", "15", "18", "21", "24", "27", "30"};
        QTest::newRow("G 10")
            << 10 << QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
        QTest::newRow("speed 900")
            << 900
            << QStringList{"0", "90", "180", "270", "360", "450", "540", "630", "720", "810", "900"};
        QTest::newRow("speed 555")
            << 555 << QStringList{"0",   "55.5",  "111", "166.5", "222", "277.5",
                                  "333", "388.5", "444", "499.5", "555"};
        QTest::newRow("speed 1")
            << 1 << QStringList{"0",   "0.1", "0.2", "0.3", "0.4", "0.5",
                                "0.6", "0.7", "0.8", "0.9", "1"};
        QTest::newRow("zero") << 0 << QStringList(kPoints, "0");
        QTest::newRow("largest")
            << 65535 << QStringList{"0",     "6553.5", "13107", "19660.5", "26214", "32767.5",
                                    "39321", "45874.5", "52428", "58981.5", "65535"};
    }

    void labels()
    {
        QFETCH(int, xMaximum);
        QFETCH(QStringList, expected);
        std::array<std::int8_t, kPoints> curve{};
        CurveDialog dialog(nullptr, curve.data(), 0, 100, std::uint16_t(xMaximum));
        for (int i = 0; i < kPoints; ++i) {
            QCOMPARE(label(dialog, i)->text(), expected[i]);
            QCOMPARE(label(dialog, i)->alignment(), Qt::AlignCenter);
        }
    }

    // A record read from a controller may hold any byte; the editor shows it
    // within range, and only an accepted edit stores the clamped value.
    void storedPointOutsideRangeIsClamped_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("afterwards");
        QTest::newRow("negative, OK") << -5 << true << 0 << 0;
        QTest::newRow("negative, Cancel") << -5 << false << 0 << -5;
        QTest::newRow("lowest byte, OK") << -128 << true << 0 << 0;
        QTest::newRow("above 100, OK") << 127 << true << 100 << 100;
        QTest::newRow("above 100, Cancel") << 101 << false << 100 << 101;
    }

    void storedPointOutsideRangeIsClamped()
    {
        QFETCH(int, stored);
        QFETCH(bool, accept);
        QFETCH(int, shown);
        QFETCH(int, afterwards);

        GuardedCurve curve({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0});
        curve.bytes[1 + 7] = std::int8_t(stored);
        CurveDialog dialog(nullptr, curve.points(), 0, 100, 100);
        QCOMPARE(spinBox(dialog, 7)->value(), shown);
        QCOMPARE(slider(dialog, 7)->value(), shown);

        runModal(dialog, [&] { end(dialog, accept ? Ending::OkButton : Ending::CancelButton); });
        QCOMPARE(curve.point(7), afterwards);
        QCOMPARE(curve.point(6), 70);
        QVERIFY(curve.guardsIntact());
    }

    void okWritesEverySpinBox()
    {
        GuardedCurve curve({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        CurveDialog dialog(nullptr, curve.points(), 0, 100, 100);
        const std::array<int, kPoints> edited{100, 1, 99, 2, 98, 3, 97, 4, 96, 5, 77};
        const int result = runModal(dialog, [&] {
            for (int i = 0; i < kPoints; ++i)
                spinBox(dialog, i)->setValue(edited[i]);
            end(dialog, Ending::OkButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        for (int i = 0; i < kPoints; ++i) {
            QCOMPARE(curve.point(i), spinBox(dialog, i)->value());
            QCOMPARE(curve.point(i), edited[i]);
        }
        QVERIFY(curve.guardsIntact());
    }

    // Slider and spin box of a column mirror each other; other columns and the
    // caller's curve stay as they were until OK.
    void columnPairsMirrorEachOther()
    {
        const std::array<int, kPoints> initial{5, 15, 25, 35, 45, 55, 65, 75, 85, 95, 100};
        GuardedCurve curve(initial);
        CurveDialog dialog(nullptr, curve.points(), 0, 100, 100);
        dialog.show();

        slider(dialog, 4)->setValue(37);
        QCOMPARE(spinBox(dialog, 4)->value(), 37);

        spinBox(dialog, 6)->setFocus();
        spinBox(dialog, 6)->selectAll();
        QTest::keyClicks(spinBox(dialog, 6), QStringLiteral("12"));
        QCOMPARE(spinBox(dialog, 6)->value(), 12);
        QCOMPARE(slider(dialog, 6)->value(), 12);

        for (int i = 0; i < kPoints; ++i) {
            QCOMPARE(curve.point(i), initial[i]);
            if (i == 4 || i == 6)
                continue;
            QCOMPARE(spinBox(dialog, i)->value(), initial[i]);
            QCOMPARE(slider(dialog, i)->value(), initial[i]);
        }
    }

    void endings_data()
    {
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<bool>("written");
        QTest::newRow("OK button") << Ending::OkButton << true;
        QTest::newRow("Enter") << Ending::EnterKey << true;
        QTest::newRow("Cancel button") << Ending::CancelButton << false;
        QTest::newRow("Escape") << Ending::EscapeKey << false;
        QTest::newRow("closed") << Ending::Close << false;
    }

    void endings()
    {
        QFETCH(Ending, ending);
        QFETCH(bool, written);

        const std::array<int, kPoints> initial{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
        GuardedCurve curve(initial);
        CurveDialog dialog(nullptr, curve.points(), 0, 100, 100);
        const int result = runModal(dialog, [&] {
            slider(dialog, 0)->setValue(33);
            spinBox(dialog, 10)->setFocus();
            spinBox(dialog, 10)->setValue(44);
            end(dialog, ending);
        });

        QCOMPARE(result, int(written ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(curve.point(0), written ? 33 : 0);
        QCOMPARE(curve.point(10), written ? 44 : 100);
        for (int i = 1; i < kPoints - 1; ++i)
            QCOMPARE(curve.point(i), initial[i]);
        QVERIFY(curve.guardsIntact());
    }

    // The default-constructible form has no curve to show or write.
    void withoutCurveNothingIsWritten()
    {
        CurveDialog dialog(nullptr, nullptr, 0, 100, 100);
        for (int i = 0; i < kPoints; ++i)
            QCOMPARE(spinBox(dialog, i)->value(), 0);
        const int result = runModal(dialog, [&] {
            spinBox(dialog, 3)->setValue(50);
            end(dialog, Ending::OkButton);
        });
        QCOMPARE(result, int(QDialog::Accepted));
    }

    void axisMaximum_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("whole") << 1000.0f << 1000;
        QTest::newRow("G full scale") << 10.0f << 10;
        QTest::newRow("truncated, not rounded") << 999.9f << 999;
        QTest::newRow("below one") << 0.99f << 0;
        QTest::newRow("small negative") << -0.5f << 0;
        QTest::newRow("negative") << -1.0f << 65535;
        QTest::newRow("largest 16-bit") << 65535.9f << 65535;
        QTest::newRow("wraps at 65536") << 65536.0f << 0;
        QTest::newRow("low bits above 65536") << 100000.0f << 34464;
        QTest::newRow("beyond 64 bits") << 1e30f << 0;
        QTest::newRow("largest float") << std::numeric_limits<float>::max() << 0;
        QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << 0;
        QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << 0;
        QTest::newRow("minus infinity") << -std::numeric_limits<float>::infinity() << 0;
    }

    void axisMaximum()
    {
        QFETCH(float, value);
        QFETCH(int, expected);
        QCOMPARE(int(vorkast::curves::axisMaximum(value)), expected);
    }
};

QTEST_MAIN(TestCurveDialog)
#include "tst_curvedialog.moc"

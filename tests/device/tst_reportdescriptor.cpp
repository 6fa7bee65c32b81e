// Which of a controller's HID collections carries its settings reports, read
// from report descriptors as controllers and other devices declare them.

#include "reportdescriptor.h"

#include <QByteArray>
#include <QTest>

#include <vector>

using namespace vorkast::hid;

namespace {

std::vector<std::uint8_t> bytes(const char *hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

// "page:usage ids/length" per collection, e.g. "ff00:0001 1e,1f/224".
QStringList summary(const std::vector<TopLevelCollection> &collections)
{
    QStringList out;
    for (const TopLevelCollection &c : collections) {
        QStringList ids;
        for (const FeatureReport &r : c.featureReports)
            ids << QString::asprintf("%02x", r.id);
        out << QString::asprintf("%04x:%04x ", c.usagePage, c.usage) + ids.join(',') + '/'
                + QString::number(c.featureReportByteLength());
    }
    return out;
}

// Vendor collection with the controller's reports: 0x1E 64 bytes, 0x1F 223,
// 0x20 85, 0x21 1.
constexpr const char kVendor[] = "0600ff0901a101150026ff007508"
                                 "851e9640000902b102" "851f96df000903b102"
                                 "85209655000904b102" "85219601000905b102" "c0";
// Joystick: X and Y in input report 1.
constexpr const char kJoystick[] = "05010904a1018501093009311500" "26ff00750895028102c0";

} // namespace

class ReportDescriptorTest : public QObject
{
    Q_OBJECT

private slots:
    void collections_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QStringList>("expected");
        const QString vendor = QStringLiteral("ff00:0001 1e,1f,20,21/224");
        const QString joystick = QStringLiteral("0001:0004 /0");

        QTest::newRow("vendor") << QByteArray(kVendor) << QStringList{vendor};
        QTest::newRow("joystick first") << QByteArray(kJoystick) + kVendor
                                        << QStringList{joystick, vendor};
        QTest::newRow("joystick only") << QByteArray(kJoystick) << QStringList{joystick};
        // Without Report ID items every report is report 0.
        QTest::newRow("no report ids") << QByteArray("0600ff0901a1017508950809 01b102c0")
                                       << QStringList{QStringLiteral("ff00:0001 00/9")};
        // A usage with its page in the high half; a nested collection belongs to its parent.
        QTest::newRow("extended usage, nested")
            << QByteArray("0b0100a0ffa101" "a102851e7508954009 01b102c0" "c0")
            << QStringList{QStringLiteral("ffa0:0001 1e/65")};
        // The id and size pushed and popped around another report.
        QTest::newRow("push and pop")
            << QByteArray("0600ff0901a101" "851f750895 02 a4 8520 7510 950 1 b102 b4 b102 c0")
            << QStringList{QStringLiteral("ff00:0001 20,1f/3")};
        // A long item is skipped whole; a truncated item ends the parse quietly.
        QTest::newRow("long item") << QByteArray("fe02aa1122") + kVendor << QStringList{vendor};
        QTest::newRow("truncated") << QByteArray("0600ff0901a101851e96")
                                   << QStringList{QStringLiteral("ff00:0001 /0")};
        QTest::newRow("empty") << QByteArray() << QStringList{};
    }

    void collections()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QStringList, expected);
        descriptor.replace(' ', "");
        QCOMPARE(summary(topLevelCollections(bytes(descriptor.constData()))), expected);
    }

    void controllerReports_data()
    {
        QTest::addColumn<QByteArray>("ids");
        QTest::addColumn<bool>("carries");
        QTest::newRow("all four") << QByteArray("1e1f2021") << true;
        QTest::newRow("any order, among others") << QByteArray("0121201e1f") << true;
        QTest::newRow("status missing") << QByteArray("1e1f20") << false;
        QTest::newRow("command missing") << QByteArray("1f2021") << false;
        QTest::newRow("none") << QByteArray() << false;
    }

    void controllerReports()
    {
        QFETCH(QByteArray, ids);
        QFETCH(bool, carries);
        QCOMPARE(carriesControllerReports(bytes(ids.constData())), carries);
    }
};

QTEST_APPLESS_MAIN(ReportDescriptorTest)
#include "tst_reportdescriptor.moc"

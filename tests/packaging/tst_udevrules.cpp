// The udev rules give the seat's user access to exactly the controllers the
// code talks to: both nodes of each, with the ids of protocol.h.

#include "protocol.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace vorkast::protocol;

namespace {

// One rule line: its key/operator/value triples, e.g. "ATTRS{idVendor}==" -> "045b".
using Rule = QMap<QString, QString>;

QList<Rule> readRules(QString *error)
{
    QFile file(QStringLiteral(VORKAST_UDEV_RULES));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return {};
    }
    static const QRegularExpression assignment(
        QStringLiteral(R"re(^\s*([A-Za-z_]+(?:\{[^}]*\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*$)re"));
    QList<Rule> rules;
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        Rule rule;
        for (const QString &part : line.split(',')) {
            const QRegularExpressionMatch match = assignment.match(part);
            if (!match.hasMatch()) {
                *error = QStringLiteral("line %1: cannot read \"%2\"").arg(lineNumber).arg(part);
                return {};
            }
            rule.insert(match.captured(1) + match.captured(2), match.captured(3));
        }
        rules.append(rule);
    }
    return rules;
}

bool isUsbDeviceRule(const Rule &rule)
{
    return rule.value("SUBSYSTEM==") == "usb" && rule.value("ENV{DEVTYPE}==") == "usb_device";
}

bool isHidrawRule(const Rule &rule)
{
    return rule.value("KERNEL==") == "hidraw*";
}

QString hex(std::uint16_t id)
{
    return QString::asprintf("%04x", id);
}

} // namespace

class TestUdevRules : public QObject
{
    Q_OBJECT

private slots:
    void eachNodeOfEachController_data()
    {
        QTest::addColumn<int>("productId");
        QTest::addColumn<bool>("hidraw");
        QTest::newRow("joystick, USB device") << int(JOYSTICK_PRODUCT_ID) << false;
        QTest::newRow("joystick, hidraw") << int(JOYSTICK_PRODUCT_ID) << true;
        QTest::newRow("pedals, USB device") << int(PEDALS_PRODUCT_ID) << false;
        QTest::newRow("pedals, hidraw") << int(PEDALS_PRODUCT_ID) << true;
    }

    void eachNodeOfEachController()
    {
        QFETCH(int, productId);
        QFETCH(bool, hidraw);

        QString error;
        const QList<Rule> rules = readRules(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));

        int matching = 0;
        for (const Rule &rule : rules) {
            if ((hidraw ? isHidrawRule(rule) : isUsbDeviceRule(rule))
                && rule.value("ATTRS{idVendor}==") == hex(CONTROLLER_VENDOR_ID)
                && rule.value("ATTRS{idProduct}==") == hex(std::uint16_t(productId))) {
                ++matching;
                QCOMPARE(rule.value("TAG+="), QStringLiteral("uaccess"));
            }
        }
        QCOMPARE(matching, 1);
    }

    // Nothing but those four: no other device gets opened up, and an id in
    // upper case (which udev would compare as text and never match) shows here.
    void nothingElse()
    {
        QString error;
        const QList<Rule> rules = readRules(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rules.size(), 4);

        const QStringList products{hex(JOYSTICK_PRODUCT_ID), hex(PEDALS_PRODUCT_ID)};
        for (const Rule &rule : rules) {
            QVERIFY(isUsbDeviceRule(rule) != isHidrawRule(rule));
            QCOMPARE(rule.value("ATTRS{idVendor}=="), hex(CONTROLLER_VENDOR_ID));
            QVERIFY2(products.contains(rule.value("ATTRS{idProduct}==")),
                     qPrintable(rule.value("ATTRS{idProduct}==")));
        }
    }

    // uaccess takes effect only when set before 73-seat-late.rules runs.
    void runsBeforeTheSeatRules()
    {
        const QString name = QFileInfo(QStringLiteral(VORKAST_UDEV_RULES)).fileName();
        const QRegularExpressionMatch number =
            QRegularExpression(QStringLiteral(R"(^(\d\d)-.+\.rules$)")).match(name);
        QVERIFY2(number.hasMatch(), qPrintable(name));
        QVERIFY(number.captured(1).toInt() < 73);
    }

    // The package applies the rules to plugged-in controllers of that vendor.
    void packageTriggersTheVendor()
    {
        QFile postinst(QStringLiteral(VORKAST_POSTINST));
        QVERIFY2(postinst.open(QIODevice::ReadOnly), qPrintable(postinst.errorString()));
        const QString script = QString::fromUtf8(postinst.readAll());
        const auto vendors = QRegularExpression(QStringLiteral(R"(idVendor=(\S+))")).globalMatch(script);
        QVERIFY(vendors.hasNext());
        for (auto it = vendors; it.hasNext();)
            QCOMPARE(it.next().captured(1), hex(CONTROLLER_VENDOR_ID));
    }
};

QTEST_GUILESS_MAIN(TestUdevRules)
#include "tst_udevrules.moc"

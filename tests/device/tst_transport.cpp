// The transport through the real libusb, against virtual controllers on an
// emulated USB bus: what arrives at the controller is what the firmware sees.

#include "emulatedusbbus.h"
#include "hidtransport.h"
#include "libusbsession.h"
#include "protocol.h"
#include "testmain.h"

#include <libusb.h>

#include <QTest>

#include <algorithm>
#include <array>
#include <span>

using namespace vorkast;
using namespace vorkast::protocol;
using Kind = VirtualController::Kind;

namespace {

// Record bytes 1, 2, 3, ...: no zero, and every byte tells where it came from.
QByteArray countingRecord(int size)
{
    QByteArray record(size, '\0');
    for (int i = 0; i < size; ++i)
        record[i] = char((i + 1) & 0xFF);
    return record;
}

std::uint16_t le16(const QByteArray &report, int at)
{
    return std::uint16_t(std::uint8_t(report[at]) | (std::uint8_t(report[at + 1]) << 8));
}

std::uint16_t productIdOf(Kind kind)
{
    return kind == Kind::Joystick ? JOYSTICK_PRODUCT_ID : PEDALS_PRODUCT_ID;
}

// Where the 58 data bytes (6..63) of one report come from: runs of record bytes.
struct Run
{
    int from;
    int count;
};

struct ExpectedReport
{
    std::uint16_t offset;
    std::uint16_t remaining;
    QList<Run> data;
};

} // namespace

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(QList<ExpectedReport>)

class TransportTest : public QObject
{
    Q_OBJECT

private slots:
    void chunkedWrite_data();
    void chunkedWrite();
    void chunkedWriteCarriesStaleTail();
    void singleReport_data();
    void singleReport();
    void commandReportFraming();
    void overlongPayloadSendsNothing();
    void modelKeepsChunksInsideTheRecord_data();
    void modelKeepsChunksInsideTheRecord();
    void getReport_data();
    void getReport();
    void nullHandleTransfersNothing_data();
    void nullHandleTransfersNothing();
    void handlesReachOnlyTheirController_data();
    void handlesReachOnlyTheirController();
    void openFindsAttachedControllersOnly_data();
    void openFindsAttachedControllersOnly();
    void windowsPaddingKeepsTheReport();
};

void TransportTest::chunkedWrite_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<ExpectedReport>>("reports");

    // Each report: offset, remaining, then the record bytes in its data area.
    // A short chunk keeps the previous chunk's bytes behind its own; the
    // closing report repeats the last chunk with remaining 0xFFFF.
    QTest::newRow("joystick effect, 223")
        << Kind::Joystick << int(kCommandEffectChunk) << 223
        << QList<ExpectedReport>{
               {0, 223, {{0, 58}}},
               {58, 165, {{58, 58}}},
               {116, 107, {{116, 58}}},
               {174, 49, {{174, 49}, {165, 9}}},
               {174, 0xFFFF, {{174, 49}, {165, 9}}},
           };
    QTest::newRow("pedals effect, 176")
        << Kind::Pedals << int(kCommandEffectChunk) << 176
        << QList<ExpectedReport>{
               {0, 176, {{0, 58}}},
               {58, 118, {{58, 58}}},
               {116, 60, {{116, 58}}},
               {174, 2, {{174, 2}, {118, 56}}},
               {174, 0xFFFF, {{174, 2}, {118, 56}}},
           };
    QTest::newRow("joystick hardware, 85")
        << Kind::Joystick << int(kCommandHardwareChunk) << 85
        << QList<ExpectedReport>{
               {0, 85, {{0, 58}}},
               {58, 27, {{58, 27}, {27, 31}}},
               {58, 0xFFFF, {{58, 27}, {27, 31}}},
           };
    QTest::newRow("pedals hardware, 69")
        << Kind::Pedals << int(kCommandHardwareChunk) << 69
        << QList<ExpectedReport>{
               {0, 69, {{0, 58}}},
               {58, 11, {{58, 11}, {11, 47}}},
               {58, 0xFFFF, {{58, 11}, {11, 47}}},
           };
    // A whole multiple of 58 ends with a chunk that carries no new data.
    QTest::newRow("two whole chunks, 116")
        << Kind::Joystick << int(kCommandEffectChunk) << 116
        << QList<ExpectedReport>{
               {0, 116, {{0, 58}}},
               {58, 58, {{58, 58}}},
               {116, 0, {{58, 58}}},
               {116, 0xFFFF, {{58, 58}}},
           };
}

void TransportTest::chunkedWrite()
{
    QFETCH(Kind, kind);
    QFETCH(int, command);
    QFETCH(int, length);
    QFETCH(QList<ExpectedReport>, reports);

    EmulatedUsbBus bus;
    VirtualController &controller = bus.attach(kind);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(productIdOf(kind));
    QVERIFY(handle);

    const QByteArray record = countingRecord(length);
    const int result = sendChunked(handle, std::uint8_t(command),
                                   reinterpret_cast<const std::uint8_t *>(record.constData()),
                                   std::uint16_t(length));
    QCOMPARE(result, kCommandReportSize);

    const QList<QByteArray> sent = controller.setReports();
    QCOMPARE(sent.size(), reports.size());
    for (int i = 0; i < reports.size(); ++i) {
        const QByteArray &report = sent[i];
        const ExpectedReport &expected = reports[i];
        QByteArray data;
        for (const Run &run : expected.data)
            data += record.mid(run.from, run.count);
        QCOMPARE(data.size(), kChunkDataSize);

        QCOMPARE(report.size(), kCommandReportSize);
        QCOMPARE(std::uint8_t(report[0]), kCommandReportId);
        QCOMPARE(int(std::uint8_t(report[1])), command);
        QCOMPARE(le16(report, 2), expected.offset);
        QCOMPARE(le16(report, 4), expected.remaining);
        QCOMPARE(report.mid(kChunkHeaderSize, kChunkDataSize), data);
        QCOMPARE(report[kCommandReportSize - 1], '\0');
    }

    // The firmware model reassembles the write into its record.
    QCOMPARE(controller.completedWrites(std::uint8_t(command)), 1);
    const QByteArray stored = command == kCommandEffectChunk ? controller.effectRecord()
                                                             : controller.hardwareRecord();
    QCOMPARE(stored, record + QByteArray(stored.size() - length, '\0'));
}

void TransportTest::chunkedWriteCarriesStaleTail()
{
    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(JOYSTICK_PRODUCT_ID);
    QVERIFY(handle);

    const QByteArray record = countingRecord(223);  // record byte i holds i + 1
    sendChunked(handle, kCommandEffectChunk,
                reinterpret_cast<const std::uint8_t *>(record.constData()), 223);

    const QByteArray fourthReport = QByteArray::fromHex(
        "1e 03"                                            // report 0x1E, effect chunk
        "ae 00"                                            // offset 174
        "31 00"                                            // remaining 49
        "af b0 b1 b2 b3 b4 b5 b6 b7 b8 b9 ba bb bc bd be"  // record bytes 174..222
        "bf c0 c1 c2 c3 c4 c5 c6 c7 c8 c9 ca cb cc cd ce"
        "cf d0 d1 d2 d3 d4 d5 d6 d7 d8 d9 da db dc dd de"
        "df"
        "a6 a7 a8 a9 aa ab ac ad ae"                       // record bytes 165..173, left over
        "00");                                             // byte 64, never written
    const QList<QByteArray> sent = joystick.setReports();
    QCOMPARE(sent.size(), 5);
    QCOMPARE(sent[3], fourthReport);

    const QList<VirtualController::Transfer> transfers = joystick.transfers();
    QCOMPARE(transfers.size(), 5);
    for (const VirtualController::Transfer &t : transfers) {
        QCOMPARE(t.requestType, 0x21);
        QCOMPARE(t.request, 0x09);
        QCOMPARE(t.value, 0x031E);
        QCOMPARE(t.index, 0);
        QCOMPARE(t.length, 65);
        QVERIFY(!t.stalled);
    }

    QCOMPARE(joystick.completedWrites(kCommandEffectChunk), 1);
    QCOMPARE(joystick.completedWrites(kCommandHardwareChunk), 0);
    QCOMPARE(joystick.effectRecord(), record);
    QCOMPARE(joystick.hardwareRecord(), QByteArray(85, '\0'));
}

void TransportTest::singleReport_data()
{
    // Bytes 2.. of `report` given to sendCommand as its payload; -1: sendReport of `report` as built.
    QTest::addColumn<int>("payload");
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("dfuRequests");
    QTest::addColumn<int>("telemetryReports");

    QTest::newRow("DFU command") << 0
        << QByteArray::fromHex("1e 01")  // report 0x1E, command DFU
               + QByteArray(63, '\0')    // nothing else
        << 1 << 0;
    const QByteArray telemetry =
        QByteArray::fromHex("1e 02"                                            // report 0x1E, telemetry
                            "01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10"  // 28-byte packet
                            "11 12 13 14 15 16 17 18 19 1a 1b 1c")
        + QByteArray(35, '\0');                                                // bytes 30..64
    QTest::newRow("telemetry report") << -1 << telemetry << 0 << 1;
    QTest::newRow("telemetry command") << 28 << telemetry << 0 << 1;
}

void TransportTest::singleReport()
{
    QFETCH(int, payload);
    QFETCH(QByteArray, report);
    QFETCH(int, dfuRequests);
    QFETCH(int, telemetryReports);

    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(JOYSTICK_PRODUCT_ID);
    QVERIFY(handle);

    QByteArray buffer = report;
    auto *bytes = reinterpret_cast<std::uint8_t *>(buffer.data());
    const int result = payload >= 0
        ? sendCommand(handle, bytes[1], std::span(bytes + 2, std::size_t(payload)))
        : sendReport(handle, bytes, std::uint16_t(buffer.size()));
    QCOMPARE(result, kCommandReportSize);
    QCOMPARE(buffer, report);

    QCOMPARE(joystick.setReports(), QList<QByteArray>{report});
    const VirtualController::Transfer t = joystick.transfers().first();
    QCOMPARE(t.requestType, 0x21);
    QCOMPARE(t.request, 0x09);
    QCOMPARE(t.value, 0x031E);
    QCOMPARE(t.index, 0);
    QCOMPARE(t.length, 65);
    QCOMPARE(joystick.dfuRequests(), dfuRequests);
    QCOMPARE(joystick.telemetryReports().size(), telemetryReports);
    QCOMPARE(joystick.completedWrites(kCommandEffectChunk), 0);
}

// The payload from byte 2, zeros after it, up to the longest payload that fits.
void TransportTest::commandReportFraming()
{
    std::array<std::uint8_t, kCommandPayloadSize + 1> payload{};
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = std::uint8_t(0xA0 + i);
    const auto isZero = [](std::uint8_t b) { return b == 0; };

    for (std::size_t size : {0, 28, kCommandPayloadSize}) {
        const auto report = detail::commandReport(kCommandTelemetry, std::span(payload).first(size));
        QVERIFY(report);
        QCOMPARE(report->size(), std::size_t(kCommandReportSize));
        QCOMPARE((*report)[0], kCommandReportId);
        QCOMPARE((*report)[1], kCommandTelemetry);
        QVERIFY(std::equal(payload.begin(), payload.begin() + size, report->begin() + 2));
        QVERIFY(std::all_of(report->begin() + 2 + size, report->end(), isZero));
    }
    QVERIFY(!detail::commandReport(kCommandTelemetry, payload));
}

void TransportTest::overlongPayloadSendsNothing()
{
    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(JOYSTICK_PRODUCT_ID);
    QVERIFY(handle);

    const std::array<std::uint8_t, kCommandPayloadSize + 1> payload{};
    QCOMPARE(sendCommand(handle, kCommandTelemetry, payload), int(LIBUSB_ERROR_INVALID_PARAM));
    QVERIFY(joystick.transfers().isEmpty());
}

void TransportTest::modelKeepsChunksInsideTheRecord_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("stored");  // record bytes the chunk may fill

    QTest::newRow("overlapping the end") << 200 << 23;
    QTest::newRow("just past the end") << 223 << 0;
    QTest::newRow("far past the end") << 0xFFC0 << 0;
}

void TransportTest::modelKeepsChunksInsideTheRecord()
{
    QFETCH(int, offset);
    QFETCH(int, stored);

    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(JOYSTICK_PRODUCT_ID);
    QVERIFY(handle);

    // A hand-made full chunk at `offset`, then the closing report.
    QByteArray report = QByteArray::fromHex("1e 03 0000 3a00")  // effect chunk, remaining 58
                        + QByteArray(58, char(0x77)) + QByteArray(1, '\0');
    report[2] = char(offset & 0xFF);
    report[3] = char(offset >> 8);
    auto *bytes = reinterpret_cast<std::uint8_t *>(report.data());
    QCOMPARE(sendReport(handle, bytes, kCommandReportSize), kCommandReportSize);
    report[4] = char(0xFF);
    report[5] = char(0xFF);
    QCOMPARE(sendReport(handle, bytes, kCommandReportSize), kCommandReportSize);

    QCOMPARE(joystick.completedWrites(kCommandEffectChunk), 1);
    const QByteArray record = joystick.effectRecord();
    QCOMPARE(record.size(), 223);
    QCOMPARE(record.count(char(0x77)), stored);
    QCOMPARE(record.right(stored), QByteArray(stored, char(0x77)));
}

void TransportTest::getReport_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("reportId");
    QTest::addColumn<int>("replyLength");  // -1: the controller's own length
    QTest::addColumn<bool>("statusFails");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<QByteArray>("expectedReply");

    // Records as set up in getReport(): effect bytes count up from 1, hardware
    // bytes count down from 0xFF; the status answers busy 0x07.
    QByteArray hardwareDown(85, '\0');
    for (int i = 0; i < hardwareDown.size(); ++i)
        hardwareDown[i] = char(0xFF - i);

    QTest::newRow("effect record") << Kind::Joystick << 0x1F << -1 << false << 223
                                   << countingRecord(223);
    QTest::newRow("pedals effect record") << Kind::Pedals << 0x1F << -1 << false << 176
                                          << countingRecord(176);
    QTest::newRow("hardware record") << Kind::Joystick << 0x20 << -1 << false << 85
                                     << hardwareDown;
    QTest::newRow("status") << Kind::Joystick << 0x21 << -1 << false << 1
                            << QByteArray::fromHex("07");
    QTest::newRow("short reply") << Kind::Joystick << 0x1F << 10 << false << 10
                                 << QByteArray::fromHex("01 02 03 04 05 06 07 08 09 0a");
    QTest::newRow("empty reply") << Kind::Joystick << 0x20 << 0 << false << 0 << QByteArray();
    QTest::newRow("unknown report stalls") << Kind::Joystick << 0x22 << -1 << false
                                           << int(LIBUSB_ERROR_PIPE) << QByteArray();
    QTest::newRow("failing status stalls") << Kind::Pedals << 0x21 << -1 << true
                                           << int(LIBUSB_ERROR_PIPE) << QByteArray();
}

void TransportTest::getReport()
{
    QFETCH(Kind, kind);
    QFETCH(int, reportId);
    QFETCH(int, replyLength);
    QFETCH(bool, statusFails);
    QFETCH(int, expectedResult);
    QFETCH(QByteArray, expectedReply);

    EmulatedUsbBus bus;
    VirtualController &controller = bus.attach(kind);
    controller.setEffectRecord(countingRecord(controller.effectRecordSize()));
    QByteArray hardware(controller.hardwareRecordSize(), '\0');
    for (int i = 0; i < hardware.size(); ++i)
        hardware[i] = char(0xFF - i);
    controller.setHardwareRecord(hardware);
    controller.scriptBusy({0x07});
    controller.setStatusFails(statusFails);
    controller.setReplyLength(std::uint8_t(reportId), replyLength);

    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handle = usb.open(productIdOf(kind));
    QVERIFY(handle);

    constexpr char untouched = char(0xCC);
    std::array<std::uint8_t, kReadLength> buffer;
    buffer.fill(std::uint8_t(untouched));
    const int result = vorkast::getReport(handle, std::uint8_t(reportId), buffer.data(), kReadLength);
    QCOMPARE(result, expectedResult);

    const QByteArray received(reinterpret_cast<const char *>(buffer.data()), kReadLength);
    QCOMPARE(received.left(expectedReply.size()), expectedReply);
    QCOMPARE(received.mid(expectedReply.size()),
             QByteArray(kReadLength - expectedReply.size(), untouched));

    const QList<VirtualController::Transfer> transfers = controller.transfers();
    QCOMPARE(transfers.size(), 1);
    const VirtualController::Transfer &t = transfers.first();
    QCOMPARE(t.requestType, 0xA1);
    QCOMPARE(t.request, 0x01);
    QCOMPARE(t.value, 0x0300 + reportId);
    QCOMPARE(t.index, 0);
    QCOMPARE(t.length, 1024);
    QCOMPARE(t.stalled, expectedResult < 0);
}

void TransportTest::nullHandleTransfersNothing_data()
{
    addTransportOperationRows();
}

void TransportTest::nullHandleTransfersNothing()
{
    QFETCH(QString, operation);

    // Both controllers are there and open: a null handle must still reach neither.
    EmulatedUsbBus bus;
    VirtualController &joystick = bus.attach(Kind::Joystick);
    VirtualController &pedals = bus.attach(Kind::Pedals);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    QVERIFY(usb.open(JOYSTICK_PRODUCT_ID));
    QVERIFY(usb.open(PEDALS_PRODUCT_ID));

    QByteArray buffer = countingRecord(kReadLength);
    const QByteArray before = buffer;
    auto *bytes = reinterpret_cast<std::uint8_t *>(buffer.data());

    QCOMPARE(runTransportOperation(operation, nullptr, bytes), int(LIBUSB_ERROR_NO_DEVICE));
    QCOMPARE(buffer, before);
    QVERIFY(joystick.transfers().isEmpty());
    QVERIFY(pedals.transfers().isEmpty());
}

void TransportTest::handlesReachOnlyTheirController_data()
{
    QTest::addColumn<Kind>("first");  // on 001/002; the other kind on 001/003
    QTest::newRow("joystick first") << Kind::Joystick;
    QTest::newRow("pedals first") << Kind::Pedals;
}

void TransportTest::handlesReachOnlyTheirController()
{
    QFETCH(Kind, first);
    const Kind second = first == Kind::Joystick ? Kind::Pedals : Kind::Joystick;

    EmulatedUsbBus bus;
    VirtualController &a = bus.attach(first);
    VirtualController &b = bus.attach(second);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    vorkast::Device *handleA = usb.open(productIdOf(first));
    vorkast::Device *handleB = usb.open(productIdOf(second));
    QVERIFY(handleA);
    QVERIFY(handleB);
    QVERIFY(handleA != handleB);

    // Reads come from the handle's own controller, with its own record size.
    a.setEffectRecord(QByteArray(a.effectRecordSize(), char(0xA0)));
    b.setEffectRecord(QByteArray(b.effectRecordSize(), char(0xB0)));
    std::array<std::uint8_t, kReadLength> buffer{};
    QCOMPARE(vorkast::getReport(handleA, kEffectReportId, buffer.data(), kReadLength),
             a.effectRecordSize());
    QCOMPARE(buffer[0], 0xA0);
    QCOMPARE(vorkast::getReport(handleB, kEffectReportId, buffer.data(), kReadLength),
             b.effectRecordSize());
    QCOMPARE(buffer[0], 0xB0);

    // Writes land at the handle's controller only.
    const QByteArray hardware = countingRecord(b.hardwareRecordSize());
    sendChunked(handleB, kCommandHardwareChunk,
                reinterpret_cast<const std::uint8_t *>(hardware.constData()),
                std::uint16_t(hardware.size()));
    sendCommand(handleA, kCommandDfu);

    QCOMPARE(a.transfers().size(), 2);  // its read and the DFU command
    QCOMPARE(a.dfuRequests(), 1);
    QCOMPARE(a.completedWrites(kCommandHardwareChunk), 0);
    QCOMPARE(a.hardwareRecord(), QByteArray(a.hardwareRecordSize(), '\0'));

    QCOMPARE(b.transfers().size(), 4);  // its read, two chunks and the closing report
    QCOMPARE(b.dfuRequests(), 0);
    QCOMPARE(b.completedWrites(kCommandHardwareChunk), 1);
    QCOMPARE(b.hardwareRecord(), hardware);
}

void TransportTest::openFindsAttachedControllersOnly_data()
{
    QTest::addColumn<QList<Kind>>("attached");
    QTest::addColumn<bool>("joystickFound");
    QTest::addColumn<bool>("pedalsFound");

    QTest::newRow("no controller") << QList<Kind>{} << false << false;
    QTest::newRow("joystick only") << QList<Kind>{Kind::Joystick} << true << false;
    QTest::newRow("pedals only") << QList<Kind>{Kind::Pedals} << false << true;
    QTest::newRow("both") << QList<Kind>{Kind::Pedals, Kind::Joystick} << true << true;
}

void TransportTest::openFindsAttachedControllersOnly()
{
    QFETCH(QList<Kind>, attached);
    QFETCH(bool, joystickFound);
    QFETCH(bool, pedalsFound);

    EmulatedUsbBus bus;
    for (Kind kind : attached)
        bus.attach(kind);
    LibusbSession usb;
    QCOMPARE(usb.initResult(), LIBUSB_SUCCESS);
    QCOMPARE(usb.open(JOYSTICK_PRODUCT_ID) != nullptr, joystickFound);
    QCOMPARE(usb.open(PEDALS_PRODUCT_ID) != nullptr, pedalsFound);
}

// Windows' HID driver wants a report as long as the collection's longest: the
// report's own bytes stay first and unchanged.
void TransportTest::windowsPaddingKeepsTheReport()
{
    std::array<std::uint8_t, kCommandReportSize> report{};
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = std::uint8_t(0xA0 + i);

    const auto padded = detail::paddedReport(report.data(), kCommandReportSize, 224);
    QCOMPARE(padded.size(), std::size_t(224));
    QVERIFY(std::equal(report.begin(), report.end(), padded.begin()));
    QVERIFY(std::all_of(padded.begin() + kCommandReportSize, padded.end(),
                        [](std::uint8_t b) { return b == 0; }));
    // Never shorter than the report itself.
    QCOMPARE(detail::paddedReport(report.data(), kCommandReportSize, 10).size(),
             std::size_t(kCommandReportSize));
}

VORKAST_USB_TEST_MAIN(TransportTest)
#include "tst_transport.moc"

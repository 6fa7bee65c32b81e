#include "il2telemetryreader.h"
#include "loopback.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>

using namespace vorkast;

// The IL-2 source through its real UDP port: indicator blocks in, records out,
// including datagrams no simulator would send.

namespace {

// Ten header bytes: the telemetry packet id 0x54000101, then size and tick,
// which the reader ignores.
const QByteArray kHeader = QByteArray::fromHex("01 01 00 54 07 00 00 00 2a 00");
constexpr int kAuto = 1000;

QByteArray le32(float value)
{
    const auto bits = std::bit_cast<quint32>(value);
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((bits >> (8 * i)) & 0xFF));
    return bytes;
}

// id (u16), count (s8, the number of values unless given), values.
QByteArray block(quint16 id, const QList<float> &values, int count = kAuto)
{
    QByteArray bytes;
    bytes.append(char(id & 0xFF)).append(char(id >> 8));
    bytes.append(char(count == kAuto ? values.size() : count));
    for (float value : values)
        bytes += le32(value);
    return bytes;
}

QByteArray datagram(const QList<QByteArray> &blocks, int count = kAuto)
{
    QByteArray bytes = kHeader;
    bytes.append(char(count == kAuto ? blocks.size() : count));
    for (const QByteArray &b : blocks)
        bytes += b;
    return bytes;
}

QByteArray le16(quint16 value)
{
    return QByteArray(1, char(value & 0xFF)) + char(value >> 8);
}

// A datagram as the game sends it: packet id, size and tick; the blocks; then
// the events (u16 type, u8 size, data): here an engine set-up and a gun fired.
QByteArray gameDatagram(const QList<QByteArray> &blocks, quint32 packetId = 0x54000101)
{
    QByteArray body(1, char(blocks.size()));
    for (const QByteArray &b : blocks)
        body += b;
    body += QByteArray::fromHex("02") + le16(1) + char(4) + QByteArray::fromHex("00 00 00 00")
        + le16(4) + char(1) + '\x01';
    QByteArray header;
    for (int i = 0; i < 4; ++i)
        header.append(char((packetId >> (8 * i)) & 0xFF));
    header += le16(quint16(10 + body.size())) + QByteArray::fromHex("e8 03 00 00");  // tick 1000
    return header + body;
}

// Level flight: 360 km/h, 9.80665 m/s² vertical, 2 m/s climb (newer versions send it).
const QByteArray kLevelFlight = gameDatagram(
    {block(6, {100.0f}), block(8, {0.2f, 9.80665f, -0.1f}), block(13, {0.01f}),
     block(14, {2.0f}), block(10, {1500.0f})});
// A motion packet of the same size, all zero after its id.
const QByteArray kMotion = QByteArray::fromHex("00 01 4c 49") + QByteArray(kLevelFlight.size() - 4, '\0');
// What the game sends while paused: header, no blocks, no events.
const QByteArray kPaused = gameDatagram({}).left(10) + QByteArray(2, '\0');

float bits(quint32 pattern)
{
    return std::bit_cast<float>(pattern);
}

QByteArray hexOf(const TelemetryData &data)
{
    const TelemetryPacket packet = toPacket(data);
    return QByteArray(reinterpret_cast<const char *>(&packet), sizeof packet).toHex(' ');
}

void send(const QList<QByteArray> &datagrams)
{
    QVERIFY(sendOverLoopback(testPorts().il2, datagrams));
}

// A handler with a fresh IL-2 reader; each tick sends, polls once and
// returns what was emitted.
struct Il2Source
{
    TelemetryHandler handler{nullptr, testPorts()};
    QSignalSpy spy{&handler, &TelemetryHandler::telemetryUpdate};

    Il2Source() { handler.setMode(TelemetryHandler::Il2); }

    QList<TelemetryData> tick(const QList<QByteArray> &datagrams)
    {
        send(datagrams);
        spy.clear();
        handler.pollReader();
        QList<TelemetryData> records;
        for (const QList<QVariant> &args : std::as_const(spy))
            records << args.at(0).value<TelemetryData>();
        return records;
    }
};

} // namespace

class TestIl2Reader : public QObject
{
    Q_OBJECT

    // The difference ring outlives readers. Twenty-five altitudes of 0 on a
    // fresh reader (previous altitude 0) fill it with zero differences, so
    // every test starts from a ring as a fresh process has it.
    void zeroAltitudeRing()
    {
        Il2Source source;
        QList<QByteArray> zeros;
        for (int i = 0; i < Il2TelemetryReader::kAltitudeSamples; ++i)
            zeros << block(10, {0.0f});
        const auto records = source.tick({datagram(zeros)});
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].vertical_speed, 0.0f);
    }

private slots:
    void init() { zeroAltitudeRing(); }

    // One datagram on a fresh reader; the whole record is compared.
    void oneDatagram_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<TelemetryData>("expected");

        QTest::newRow("airspeed 100 m/s") << datagram({block(6, {100.0f})})
                                          << TelemetryData{.valid = true, .airspeed = 360.0f};
        // 100.3f x 3.6 in double is 361.08002 (0x43b48a3e); single would give ...3d.
        QTest::newRow("airspeed in double") << datagram({block(6, {100.3f})})
                                            << TelemetryData{.valid = true, .airspeed = bits(0x43b48a3e)};
        QTest::newRow("aoa 0.1 rad") << datagram({block(7, {0.1f})})
                                     << TelemetryData{.valid = true, .aoa = bits(0x40b758b8)};  // 5.72958
        // 1.1f x 57.2958 in double is 0x427c19fe; single would give ...fd.
        QTest::newRow("aoa in double") << datagram({block(7, {1.1f})})
                                       << TelemetryData{.valid = true, .aoa = bits(0x427c19fe)};
        // m/s² longitudinal, vertical, lateral: the vertical one in G.
        QTest::newRow("g: vertical in G") << datagram({block(8, {-5.0f, 19.6133f, 1.0f})})
                                          << TelemetryData{.valid = true, .g_force = 2.0f};
        QTest::newRow("vertical speed, id 14") << datagram({block(14, {-3.5f}), block(10, {800.0f})})
                                               << TelemetryData{.valid = true, .vertical_speed = -3.5f};

        QTest::newRow("on ground: mean 0.15") << datagram({block(5, {0.0f, 0.3f})})
                                              << TelemetryData{.valid = true, .on_ground = true};
        QTest::newRow("in the air: mean 0.05") << datagram({block(5, {0.0f, 0.1f})})
                                               << TelemetryData{.valid = true};
        // The single-precision mean 0.1f is just above the double 0.1.
        QTest::newRow("on ground: mean 0.1f") << datagram({block(5, {0.1f, 0.1f})})
                                              << TelemetryData{.valid = true, .on_ground = true};
        QTest::newRow("no wheel values") << datagram({block(5, {})})
                                         << TelemetryData{.valid = true};

        QTest::newRow("gear mean") << datagram({block(4, {1.0f, 0.5f, 1.0f, 0.5f})})
                                   << TelemetryData{.valid = true, .gear = 75};
        // 0.29f x 100 is 28.9999992 exactly but 29.0f in single precision.
        QTest::newRow("flaps x 100 in single") << datagram({block(11, {0.29f})})
                                               << TelemetryData{.valid = true, .flaps = 29};
        QTest::newRow("flaps, airbrake low bytes")
            << datagram({block(11, {1.5f}), block(12, {-0.1f})})
            << TelemetryData{.valid = true, .flaps = 150, .airbrake = 246};

        QTest::newRow("thrust") << datagram({block(0, {2000.0f, 2000.0f}), block(1, {50.0f, 100.0f})})
                                << TelemetryData{.valid = true, .thrust = 1.5f};
        // The second array is read at the first one's positions; its second value is still 0.
        QTest::newRow("thrust, short second array")
            << datagram({block(0, {2000.0f, 2000.0f}), block(1, {50.0f})})
            << TelemetryData{.valid = true, .thrust = 0.5f};
        // 1e8 + 1 is 1e8 in single precision, so the sum from index 0 is 0; in double it would not be.
        QTest::newRow("thrust summed in single")
            << datagram({block(0, {1e8f, 1.0f, -1e8f}), block(1, {1.0f, 1.0f, 1.0f})})
            << TelemetryData{.valid = true};
        QTest::newRow("thrust needs the first array")
            << datagram({block(1, {50.0f, 100.0f})}) << TelemetryData{.valid = true};

        QTest::newRow("unused ids 2, 3, 9")
            << datagram({block(2, {7.0f}), block(3, {7.0f}), block(9, {7.0f, 7.0f})})
            << TelemetryData{.valid = true};

        const float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("NaN values become 0")
            << datagram({block(6, {nan}), block(7, {nan}), block(8, {nan}), block(11, {nan}),
                         block(4, {nan}), block(5, {nan}), block(0, {nan}), block(1, {1.0f})})
            << TelemetryData{.valid = true};

        // id 13, n 2: 3 + 8 bytes skipped, then the airspeed block.
        QTest::newRow("id 13 skipped") << datagram({block(13, {6.0f, 6.0f}), block(6, {100.0f})})
                                       << TelemetryData{.valid = true, .airspeed = 360.0f};
        QTest::newRow("count 0: paused") << datagram({block(6, {100.0f})}, 0) << TelemetryData{};
        QTest::newRow("motion packet") << kMotion << TelemetryData{};
    }

    void oneDatagram()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(TelemetryData, expected);
        Il2Source source;
        const auto records = source.tick({datagram});
        QCOMPARE(records.size(), 1);
        QCOMPARE(hexOf(records[0]), hexOf(expected));
    }

    // A tick without a datagram emits an invalid all-zero record; a tick whose
    // only datagram is empty emits nothing.
    void ticksWithoutData()
    {
        Il2Source source;
        auto records = source.tick({});
        QCOMPARE(records.size(), 1);
        QCOMPARE(hexOf(records[0]), hexOf(TelemetryData{}));

        QCOMPARE(source.tick({datagram({block(6, {100.0f})})}).size(), 1);
        QCOMPARE(source.tick({QByteArray()}).size(), 0);
        records = source.tick({});
        QCOMPARE(records.size(), 1);
        QVERIFY(!records[0].valid);
    }

    // Several datagrams in one tick: only the newest telemetry datagram is parsed.
    void newestDatagramOnly()
    {
        Il2Source source;
        const auto records = source.tick({datagram({block(6, {100.0f})}), datagram({block(7, {0.1f})})});
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].airspeed, 0.0f);
        QCOMPARE(records[0].aoa, bits(0x40b758b8));
    }

    // The game's own stream: flight, a motion packet on the same port, a pause.
    void gameStream()
    {
        Il2Source source;
        const QByteArray flying = hexOf(TelemetryData{.valid = true, .airspeed = 360.0f,
                                                      .vertical_speed = 2.0f, .g_force = 1.0f});
        QCOMPARE(hexOf(source.tick({kLevelFlight}).value(0)), flying);
        // Neither displaces the tick's telemetry datagram nor counts on its own.
        QCOMPARE(hexOf(source.tick({kLevelFlight, kMotion}).value(0)), flying);
        QCOMPARE(hexOf(source.tick({kMotion}).value(0)), hexOf(TelemetryData{}));
        // Paused: not valid, and the indicators wait for the game to resume.
        QCOMPARE(hexOf(source.tick({kPaused, kPaused}).value(0)), hexOf(TelemetryData{}));
        QCOMPARE(hexOf(source.tick({gameDatagram({block(7, {0.0f})})}).value(0)), flying);
    }

    // Indicators a datagram lacks keep their values; arrays take the new count.
    void absentIndicatorsKeepValues()
    {
        Il2Source source;
        source.tick({datagram({block(6, {100.0f}), block(11, {0.5f}), block(5, {0.3f, 0.3f}),
                               block(0, {2000.0f, 2000.0f}), block(1, {50.0f, 100.0f})})});
        auto records = source.tick({datagram({block(7, {0.1f})})});
        QCOMPARE(hexOf(records.value(0)),
                 hexOf(TelemetryData{.valid = true, .on_ground = true, .flaps = 50, .thrust = 1.5f,
                                     .airspeed = 360.0f, .aoa = bits(0x40b758b8)}));

        records = source.tick({datagram({block(0, {1000.0f})})});  // one engine now: 1000 x 50
        QCOMPARE(records.value(0).thrust, 0.5f);
        QCOMPARE(records.value(0).airspeed, 360.0f);
    }

    // Differences against the previous altitude, the first one against 0.
    void altitudeDifferences()
    {
        Il2Source source;
        for (float altitude : {1000.0f, 1010.0f, 1020.0f}) {
            const auto records = source.tick({datagram({block(10, {altitude})})});
            QCOMPARE(records.size(), 1);
            QCOMPARE(records[0].vertical_speed, altitude);
        }
    }

    // Twenty-six samples 1, 2, ... 26 in one datagram: 26 differences of 1, of
    // which the ring keeps 25; then a climb of 100 replaces the oldest.
    void ringKeepsLast25Differences()
    {
        Il2Source source;
        QList<QByteArray> samples;
        for (int altitude = 1; altitude <= 26; ++altitude)
            samples << block(10, {float(altitude)});
        QCOMPARE(source.tick({datagram(samples)}).value(0).vertical_speed, 25.0f);
        QCOMPARE(source.tick({datagram({block(10, {126.0f})})}).value(0).vertical_speed, 124.0f);
    }

    // The ring outlives the reader; the previous altitude does not.
    void ringSurvivesModeChange()
    {
        Il2Source source;
        QCOMPARE(source.tick({datagram({block(10, {1000.0f})})}).value(0).vertical_speed, 1000.0f);
        source.handler.setMode(TelemetryHandler::Debug);
        source.handler.setMode(TelemetryHandler::Il2);
        // 1000 from the old reader plus 500 - 0 from the new one.
        QCOMPARE(source.tick({datagram({block(10, {500.0f})})}).value(0).vertical_speed, 1500.0f);
    }

    // Blocks that carry fewer values than a slot holds change only what they carry.
    void shortBlocksKeepEarlierValues()
    {
        Il2Source source;
        source.tick({datagram({block(6, {100.0f}), block(8, {2.0f, 3.0f, 4.0f}),
                               block(10, {50.0f})})});
        const auto records = source.tick({datagram({block(6, {}), block(8, {5.0f}), block(10, {}),
                                                    block(11, {}, -1), block(12, {0.5f})})});
        QCOMPARE(hexOf(records.value(0)),
                 hexOf(TelemetryData{.valid = true, .airbrake = 50, .airspeed = 360.0f,
                                     .vertical_speed = 50.0f, .g_force = 3.0f / 9.80665f}));
    }

    // Datagrams no simulator sends. Parsed from a buffer of exactly their size
    // (so AddressSanitizer sees any read past it) and sent to the reader.
    void hostileDatagrams_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<TelemetryData>("expected");  // on a fresh reader
        QTest::addColumn<int>("firstArrayCount");

        const TelemetryData nothing{.valid = true};
        const TelemetryData airspeed{.valid = true, .airspeed = 360.0f};
        const QByteArray airspeedBlock = block(6, {100.0f});
        const QByteArray aoaBlock = block(7, {0.1f});
        QList<float> hundred;
        for (int i = 1; i <= 100; ++i)
            hundred << float(i);

        QTest::newRow("header cut at 9") << kHeader.left(9) << TelemetryData{} << 0;
        QTest::newRow("header, no count") << kHeader << TelemetryData{} << 0;
        QTest::newRow("count 127, no blocks") << kHeader + '\x7f' << nothing << 0;
        QTest::newRow("count 127, one block") << datagram({airspeedBlock}, 127) << airspeed << 0;
        QTest::newRow("count -128: one block") << datagram({airspeedBlock, aoaBlock}, -128) << airspeed << 0;
        // id 6 with only its id and count; then a block whose id is cut after one byte.
        QTest::newRow("block header cut") << datagram({airspeedBlock, QByteArray("\x07")}, 2) << airspeed << 0;
        QTest::newRow("block cut mid-float")
            << datagram({airspeedBlock, aoaBlock.left(5)}) << airspeed << 0;
        QTest::newRow("n 127, no values") << datagram({block(0xFFFF, {}, 127), airspeedBlock})
                                          << nothing << 0;
        // n -1: no values, so the next block starts 3 bytes on.
        QTest::newRow("n -1 for id 6") << datagram({block(6, {}, -1), aoaBlock})
                                       << TelemetryData{.valid = true, .aoa = bits(0x40b758b8)} << 0;
        QTest::newRow("n -1 for id 0") << datagram({block(0, {}, -1), block(1, {1.0f}), airspeedBlock})
                                       << airspeed << 0;
        QTest::newRow("n -128 for id 5") << datagram({block(5, {}, -128), airspeedBlock}) << airspeed << 0;
        // 100 values of id 0: the slot keeps 1, 2, 3, 4; the next block follows all 400 bytes.
        QTest::newRow("100 values for id 0")
            << datagram({block(0, hundred), block(1, {100000.0f, 100000.0f, 100000.0f, 100000.0f, 7.0f}),
                         airspeedBlock})
            << TelemetryData{.valid = true, .thrust = 2.5f, .airspeed = 360.0f} << 4;
        QTest::newRow("100 values for id 0, 10 sent")
            << datagram({airspeedBlock, block(0, hundred.mid(0, 10), 100)}) << airspeed << 0;
        QTest::newRow("5 values for id 5")
            << datagram({block(5, {0.0f, 0.0f, 0.0f, 0.0f, 100.0f})}) << nothing << 0;
        QTest::newRow("id 8 with 10 values, id 9 with 1")
            << datagram({block(8, {3.0f, 1, 2, 3, 4, 5, 6, 7, 8, 9}), block(9, {1.0f}), airspeedBlock})
            << TelemetryData{.valid = true, .airspeed = 360.0f, .g_force = 1.0f / 9.80665f} << 0;
    }

    void hostileDatagrams()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(TelemetryData, expected);
        QFETCH(int, firstArrayCount);

        const auto exact = std::make_unique<char[]>(std::size_t(datagram.size()));
        std::memcpy(exact.get(), datagram.constData(), std::size_t(datagram.size()));
        Il2TelemetryReader::Indicators state;
        Il2TelemetryReader::parse(exact.get(), datagram.size(), state);
        for (const auto &array : state.arrays)
            QVERIFY(array.count >= 0 && array.count <= Il2TelemetryReader::kArrayCapacity);
        QCOMPARE(state.arrays[0].count, firstArrayCount);
        if (firstArrayCount == 4)
            QCOMPARE(state.arrays[0].values, (std::array<float, 4>{1.0f, 2.0f, 3.0f, 4.0f}));

        Il2Source source;
        const auto records = source.tick({datagram});
        QCOMPARE(records.size(), 1);
        QCOMPARE(hexOf(records[0]), hexOf(expected));
    }
};

QTEST_GUILESS_MAIN(TestIl2Reader)
#include "tst_il2reader.moc"

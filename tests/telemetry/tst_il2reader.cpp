#include "il2telemetryreader.h"
#include "loopback.h"
#include "telemetryhandler.h"
#include "telemetrypacket.h"
#include "testbytes.h"

#include <QSignalSpy>
#include <QTest>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>

// The IL-2 source: indicator blocks in, records out, including datagrams no
// simulator would send; parsed directly, and once through the reader's socket.

using namespace vorkast;

namespace {

// Ten header bytes: the telemetry packet id 0x54000101, then size and tick,
// which the reader ignores.
const QByteArray kHeader = QByteArray::fromHex("01 01 00 54 07 00 00 00 2a 00");
constexpr int kAuto = 1000;

// id (u16), count (s8, the number of values unless given), values.
QByteArray block(quint16 id, const QList<float> &values, int count = kAuto)
{
    QByteArray bytes = le16(id) + char(count == kAuto ? values.size() : count);
    for (float value : values)
        bytes += f32(value);
    return bytes;
}

QByteArray datagram(const QList<QByteArray> &blocks, int count = kAuto)
{
    return kHeader + char(count == kAuto ? blocks.size() : count) + blocks.join();
}

// A datagram as the game sends it: packet id, size and tick; the blocks; then
// the events (u16 type, u8 size, data): here an engine set-up and a gun fired.
QByteArray gameDatagram(const QList<QByteArray> &blocks)
{
    const QByteArray body = char(blocks.size()) + blocks.join() + QByteArray::fromHex("02") + le16(1)
        + char(4) + QByteArray(4, '\0') + le16(4) + char(1) + '\x01';
    return le32(0x54000101) + le16(quint16(10 + body.size())) + le32(1000) + body;  // tick 1000
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
    return bytesOf(toPacket(data)).toHex(' ');
}

// Datagrams in, in order, as the reader parses them; false for one it does
// not read or that has no blocks. Each is parsed from a buffer of exactly its
// size, so that AddressSanitizer sees any read past it.
bool parseExact(const QByteArray &datagram, Il2TelemetryReader::Indicators &state)
{
    const auto exact = std::make_unique<char[]>(std::size_t(datagram.size()));
    std::memcpy(exact.get(), datagram.constData(), std::size_t(datagram.size()));
    return Il2TelemetryReader::isTelemetry(exact.get(), datagram.size())
        && Il2TelemetryReader::parse(exact.get(), datagram.size(), state);
}

// The difference ring outlives readers. Twenty-five altitudes of 0 on fresh
// indicators (previous altitude 0) fill it with zero differences, as a fresh
// process has it.
void zeroAltitudeRing()
{
    Il2TelemetryReader::Indicators state;
    parseExact(datagram(QList<QByteArray>(Il2TelemetryReader::kAltitudeSamples, block(10, {0.0f}))),
               state);
}

} // namespace

class TestIl2Reader : public QObject
{
    Q_OBJECT

private slots:
    void init() { zeroAltitudeRing(); }

    // Datagrams into fresh indicators; the record of the last one is compared whole.
    void records_data()
    {
        QTest::addColumn<QByteArrayList>("datagrams");
        QTest::addColumn<TelemetryData>("expected");
        const auto row = [](const char *name, const QByteArrayList &datagrams, TelemetryData expected) {
            QTest::newRow(name) << datagrams << expected;
        };
        const TelemetryData nothing{.valid = true};
        const TelemetryData airspeed{.valid = true, .airspeed = 360.0f};
        const QByteArray airspeedBlock = block(6, {100.0f});
        const QByteArray aoaBlock = block(7, {0.1f});
        const float nan = std::numeric_limits<float>::quiet_NaN();
        QList<float> hundred;
        for (int i = 1; i <= 100; ++i)
            hundred << float(i);

        row("airspeed 100 m/s", {datagram({airspeedBlock})}, airspeed);
        // 100.3f x 3.6 in double is 361.08002 (0x43b48a3e); single would give ...3d.
        row("airspeed in double", {datagram({block(6, {100.3f})})},
            {.valid = true, .airspeed = bits(0x43b48a3e)});
        row("aoa 0.1 rad", {datagram({aoaBlock})}, {.valid = true, .aoa = bits(0x40b758b8)});  // 5.72958
        // 1.1f x 57.2958 in double is 0x427c19fe; single would give ...fd.
        row("aoa in double", {datagram({block(7, {1.1f})})}, {.valid = true, .aoa = bits(0x427c19fe)});
        // m/s² longitudinal, vertical, lateral: the vertical one in G.
        row("g: vertical in G", {datagram({block(8, {-5.0f, 19.6133f, 1.0f})})},
            {.valid = true, .g_force = 2.0f});
        row("vertical speed, id 14", {datagram({block(14, {-3.5f}), block(10, {800.0f})})},
            {.valid = true, .vertical_speed = -3.5f});

        row("on ground: mean 0.15", {datagram({block(5, {0.0f, 0.3f})})}, {.valid = true, .on_ground = true});
        row("in the air: mean 0.05", {datagram({block(5, {0.0f, 0.1f})})}, nothing);
        // The single-precision mean 0.1f is just above the double 0.1.
        row("on ground: mean 0.1f", {datagram({block(5, {0.1f, 0.1f})})}, {.valid = true, .on_ground = true});
        row("no wheel values", {datagram({block(5, {})})}, nothing);

        row("gear mean", {datagram({block(4, {1.0f, 0.5f, 1.0f, 0.5f})})}, {.valid = true, .gear = 75});
        // 0.29f x 100 is 28.9999992 exactly but 29.0f in single precision.
        row("flaps x 100 in single", {datagram({block(11, {0.29f})})}, {.valid = true, .flaps = 29});
        row("flaps, airbrake low bytes", {datagram({block(11, {1.5f}), block(12, {-0.1f})})},
            {.valid = true, .flaps = 150, .airbrake = 246});

        row("thrust", {datagram({block(0, {2000.0f, 2000.0f}), block(1, {50.0f, 100.0f})})},
            {.valid = true, .thrust = 1.5f});
        // The second array is read at the first one's positions; its second value is still 0.
        row("thrust, short second array", {datagram({block(0, {2000.0f, 2000.0f}), block(1, {50.0f})})},
            {.valid = true, .thrust = 0.5f});
        // 1e8 + 1 is 1e8 in single precision, so the sum from index 0 is 0; in double it would not be.
        row("thrust summed in single",
            {datagram({block(0, {1e8f, 1.0f, -1e8f}), block(1, {1.0f, 1.0f, 1.0f})})}, nothing);
        row("thrust needs the first array", {datagram({block(1, {50.0f, 100.0f})})}, nothing);

        row("unused ids 2, 3, 9", {datagram({block(2, {7.0f}), block(3, {7.0f}), block(9, {7.0f, 7.0f})})},
            nothing);
        row("NaN values become 0",
            {datagram({block(6, {nan}), block(7, {nan}), block(8, {nan}), block(11, {nan}),
                       block(4, {nan}), block(5, {nan}), block(0, {nan}), block(1, {1.0f})})},
            nothing);
        // id 13, n 2: 3 + 8 bytes skipped, then the airspeed block.
        row("id 13 skipped", {datagram({block(13, {6.0f, 6.0f}), airspeedBlock})}, airspeed);
        row("count 0: paused", {datagram({airspeedBlock}, 0)}, {});
        row("motion packet", {kMotion}, {});

        // Datagrams no simulator sends.
        row("header cut at 9", {kHeader.left(9)}, {});
        row("header, no count", {kHeader}, {});
        row("count 127, no blocks", {kHeader + '\x7f'}, nothing);
        row("count 127, one block", {datagram({airspeedBlock}, 127)}, airspeed);
        row("count -128: one block", {datagram({airspeedBlock, aoaBlock}, -128)}, airspeed);
        // id 6 with only its id and count; then a block whose id is cut after one byte.
        row("block header cut", {datagram({airspeedBlock, QByteArray("\x07")}, 2)}, airspeed);
        row("block cut mid-float", {datagram({airspeedBlock, aoaBlock.left(5)})}, airspeed);
        row("n 127, no values", {datagram({block(0xFFFF, {}, 127), airspeedBlock})}, nothing);
        // n -1: no values, so the next block starts 3 bytes on.
        row("n -1 for id 6", {datagram({block(6, {}, -1), aoaBlock})}, {.valid = true, .aoa = bits(0x40b758b8)});
        row("n -1 for id 0", {datagram({block(0, {}, -1), block(1, {1.0f}), airspeedBlock})}, airspeed);
        row("n -128 for id 5", {datagram({block(5, {}, -128), airspeedBlock})}, airspeed);
        // 100 values of id 0: the slot keeps 1, 2, 3, 4; the next block follows all 400 bytes.
        row("100 values for id 0",
            {datagram({block(0, hundred), block(1, {100000.0f, 100000.0f, 100000.0f, 100000.0f, 7.0f}),
                       airspeedBlock})},
            {.valid = true, .thrust = 2.5f, .airspeed = 360.0f});
        // Nothing of a block cut short is kept: the thrust is the earlier blocks'.
        row("100 values for id 0, 10 sent",
            {datagram({airspeedBlock, block(0, {2000.0f, 2000.0f}), block(1, {50.0f, 100.0f}),
                       block(0, hundred.mid(0, 10), 100)})},
            {.valid = true, .thrust = 1.5f, .airspeed = 360.0f});
        row("5 values for id 5", {datagram({block(5, {0.0f, 0.0f, 0.0f, 0.0f, 100.0f})})}, nothing);
        row("id 8 with 10 values, id 9 with 1",
            {datagram({block(8, {3.0f, 1, 2, 3, 4, 5, 6, 7, 8, 9}), block(9, {1.0f}), airspeedBlock})},
            {.valid = true, .airspeed = 360.0f, .g_force = 1.0f / 9.80665f});

        // Indicators a datagram lacks keep their values; arrays take the new count.
        const QByteArray plenty = datagram({airspeedBlock, block(11, {0.5f}), block(5, {0.3f, 0.3f}),
                                            block(0, {2000.0f, 2000.0f}), block(1, {50.0f, 100.0f})});
        row("absent indicators keep values", {plenty, datagram({aoaBlock})},
            {.valid = true, .on_ground = true, .flaps = 50, .thrust = 1.5f, .airspeed = 360.0f,
             .aoa = bits(0x40b758b8)});
        row("one engine now: 1000 x 50", {plenty, datagram({block(0, {1000.0f})})},
            {.valid = true, .on_ground = true, .flaps = 50, .thrust = 0.5f, .airspeed = 360.0f});
        // Blocks that carry fewer values than a slot holds change only what they carry.
        row("short blocks keep earlier values",
            {datagram({airspeedBlock, block(8, {2.0f, 3.0f, 4.0f}), block(10, {50.0f})}),
             datagram({block(6, {}), block(8, {5.0f}), block(10, {}), block(11, {}, -1), block(12, {0.5f})})},
            {.valid = true, .airbrake = 50, .airspeed = 360.0f, .vertical_speed = 50.0f,
             .g_force = 3.0f / 9.80665f});
        // Differences against the previous altitude, the first one against 0.
        row("altitude differences",
            {datagram({block(10, {1000.0f})}), datagram({block(10, {1010.0f})}),
             datagram({block(10, {1020.0f})})},
            {.valid = true, .vertical_speed = 1020.0f});
        // Twenty-six samples 1, 2, ... 26: 26 differences of 1, of which the
        // ring keeps 25; then a climb of 100 replaces the oldest.
        QList<QByteArray> samples;
        for (int altitude = 1; altitude <= 26; ++altitude)
            samples << block(10, {float(altitude)});
        row("ring keeps 25 differences", {datagram(samples)}, {.valid = true, .vertical_speed = 25.0f});
        row("ring drops the oldest", {datagram(samples), datagram({block(10, {126.0f})})},
            {.valid = true, .vertical_speed = 124.0f});
    }

    void records()
    {
        QFETCH(QByteArrayList, datagrams);
        QFETCH(TelemetryData, expected);
        Il2TelemetryReader::Indicators state;
        bool flying = false;
        for (const QByteArray &datagram : datagrams) {
            flying = parseExact(datagram, state);
            for (const auto &array : state.arrays)
                QVERIFY(array.count >= 0 && array.count <= Il2TelemetryReader::kArrayCapacity);
        }
        QCOMPARE(hexOf(flying ? Il2TelemetryReader::derive(state) : TelemetryData{}), hexOf(expected));
    }

    // The reader on its socket, tick by tick: only the newest telemetry
    // datagram of a tick counts, the game's other packets on the port and
    // empty datagrams do not, and the ring outlives the reader.
    void throughTheSocket()
    {
        TelemetryHandler handler(nullptr, testPorts());
        QSignalSpy spy(&handler, &TelemetryHandler::telemetryUpdate);
        handler.setMode(TelemetryHandler::Il2);
        const auto tick = [&](const QList<QByteArray> &datagrams) {
            if (!sendOverLoopback(testPorts().il2, datagrams))
                return QByteArrayList{"not delivered"};
            spy.clear();
            handler.pollReader();
            QByteArrayList records;
            for (const QList<QVariant> &args : std::as_const(spy))
                records << hexOf(args.at(0).value<TelemetryData>());
            return records;
        };
        const QByteArrayList none{hexOf({})};
        TelemetryData flying{.valid = true, .airspeed = 360.0f, .vertical_speed = 2.0f, .g_force = 1.0f};

        QCOMPARE(tick({}), none);
        QCOMPARE(tick({kLevelFlight}), QByteArrayList{hexOf(flying)});
        // Neither displaces the tick's telemetry datagram nor counts on its own.
        QCOMPARE(tick({kLevelFlight, kMotion}), QByteArrayList{hexOf(flying)});
        QCOMPARE(tick({kMotion}), none);
        // Paused: not valid, and the indicators wait for the game to resume.
        QCOMPARE(tick({kPaused, kPaused}), none);
        QCOMPARE(tick({gameDatagram({block(7, {0.0f})})}), QByteArrayList{hexOf(flying)});
        QCOMPARE(tick({QByteArray()}), QByteArrayList{});
        // The flaps of the first datagram are never parsed.
        flying.airbrake = 50;
        QCOMPARE(tick({datagram({block(11, {0.5f})}), datagram({block(12, {0.5f})})}),
                 QByteArrayList{hexOf(flying)});

        // A fresh reader: the ring still holds the climb of 1500 from 0, and the
        // new altitude counts from 0 again.
        handler.setMode(TelemetryHandler::Debug);
        handler.setMode(TelemetryHandler::Il2);
        QCOMPARE(tick({datagram({block(10, {500.0f})})}),
                 QByteArrayList{hexOf({.valid = true, .vertical_speed = 2000.0f})});
    }
};

QTEST_GUILESS_MAIN(TestIl2Reader)
#include "tst_il2reader.moc"

#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <functional>
#include <mutex>

// A model of one Vorkast controller's firmware as the tool sees it over the
// control endpoint. The emulated USB bus hands it every control transfer; it
// keeps the effect and hardware records, reassembles chunked writes, answers
// GET_REPORTs and records everything that arrives, so tests can assert on the
// bytes exactly as a controller would receive them.
//
// Thread-safe: the bus calls handleControl() from umockdev's worker thread
// while the test thread reads and scripts the model.
class VirtualController
{
public:
    enum class Kind { Joystick, Pedals };

    // One control transfer as it reached the controller.
    struct Transfer
    {
        std::uint8_t requestType = 0;
        std::uint8_t request = 0;
        std::uint16_t value = 0;
        std::uint16_t index = 0;
        std::uint16_t length = 0;  // wLength of the setup packet
        QByteArray data;           // OUT: bytes received; IN: bytes answered
        bool stalled = false;
        quint64 sequence = 0;      // order of arrival across all controllers
        std::int64_t arrivedNs = 0;  // std::chrono::steady_clock, as it arrived

        bool isSetReport() const { return requestType == 0x21 && request == 0x09; }
        bool isGetReport() const { return requestType == 0xA1 && request == 0x01; }
        std::uint8_t reportId() const { return static_cast<std::uint8_t>(value & 0xFF); }
    };

    explicit VirtualController(Kind kind);

    Kind kind() const { return m_kind; }
    std::uint16_t productId() const;
    int effectRecordSize() const;    // 223 joystick, 176 pedals
    int hardwareRecordSize() const;  // 85 joystick, 69 pedals

    // Records the firmware holds; reads answer them, completed writes replace them.
    QByteArray effectRecord() const;
    void setEffectRecord(const QByteArray &record);
    QByteArray hardwareRecord() const;
    void setHardwareRecord(const QByteArray &record);

    // Busy flags answered by successive status (0x21) reads; 0 once used up.
    void scriptBusy(const QList<std::uint8_t> &flags);
    // As scriptBusy, where -1 makes that read fail (stall).
    void scriptStatus(const QList<int> &answers);
    // Runs on the bus thread at every status read, before it is answered, with
    // the number of status reads before this one. The caller of the transfer is
    // blocked meanwhile. May call the other members.
    void onStatusRead(std::function<void(int read)> hook);
    // Status reads fail (stall) from now on, as a controller that vanished.
    void setStatusFails(bool fails);
    // Pulled from the bus: the bus fails every transfer to it (ENODEV, as the
    // kernel does for a device that is gone) and nothing reaches the model.
    void setUnplugged(bool unplugged);
    bool unplugged() const;
    // After each completed chunked write, the next `reads` status reads answer
    // busy (1), as firmware storing settings does; scripted answers come first.
    // 0 (default): not busy.
    void setBusyAfterWrite(int reads);
    // Reply length for GET_REPORT of `reportId`; -1 (default) answers the record
    // size (1 byte for status). Never more than the request's wLength.
    void setReplyLength(std::uint8_t reportId, int length);

    // Everything that arrived, in order.
    QList<Transfer> transfers() const;
    // Only the SET_REPORT data stages (65-byte reports 0x1E as received).
    QList<QByteArray> setReports() const;
    // SET_REPORTs with command 0x02 / 0x01.
    QList<QByteArray> telemetryReports() const;
    int dfuRequests() const;
    // Completed chunked writes (closing report seen), per command 0x03 / 0x04.
    int completedWrites(std::uint8_t command) const;
    void clearTransfers();
    // transfers() and clearTransfers() at once: nothing arriving between them is lost.
    QList<Transfer> takeTransfers();

    // Called by the bus for each control transfer. For IN transfers fills `data`
    // (capacity wLength) and returns the reply length; for OUT transfers consumes
    // `length` bytes of `data`. Returns -1 to stall the request.
    int handleControl(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::uint16_t length, std::uint8_t *data);

private:
    int answerGetReport(std::uint8_t reportId, std::uint16_t length, std::uint8_t *data);
    // False when the firmware refuses the report (unknown command): a stall.
    bool receiveSetReport(const std::uint8_t *data, std::uint16_t length);

    const Kind m_kind;
    mutable std::mutex m_mutex;
    QByteArray m_effect;
    QByteArray m_hardware;
    QByteArray m_staging[2];  // reassembly per chunk command (0x03, 0x04)
    QList<int> m_statusScript;
    std::function<void(int)> m_statusHook;
    int m_statusReads = 0;
    bool m_statusFails = false;
    bool m_unplugged = false;
    int m_busyAfterWrite = 0;
    int m_busyReads = 0;  // busy answers still due from the last completed write
    int m_replyLength[3] = {-1, -1, -1};  // 0x1F, 0x20, 0x21
    int m_completed[2] = {0, 0};
    QList<Transfer> m_transfers;
};

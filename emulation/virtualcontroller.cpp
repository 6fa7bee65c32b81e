#include "virtualcontroller.h"

#include "protocol.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <utility>

using namespace vorkast::protocol;

namespace {

constexpr int kJoystickEffectSize = 223;
constexpr int kPedalsEffectSize = 176;
constexpr int kJoystickHardwareSize = 85;
constexpr int kPedalsHardwareSize = 69;

// What a reply carries past the record when a test asks for a longer one: not
// zero, so that a reader that keeps surplus bytes shows up in the record.
constexpr char kReplyFiller = char(0xA5);

int replySlot(std::uint8_t reportId)
{
    switch (reportId) {
    case kEffectReportId: return 0;
    case kHardwareReportId: return 1;
    case kStatusReportId: return 2;
    default: return -1;
    }
}

int chunkSlot(std::uint8_t command)
{
    return command == kCommandEffectChunk ? 0 : 1;
}

std::uint16_t le16(const std::uint8_t *at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

QByteArray fitted(const QByteArray &bytes, int size)
{
    QByteArray record = bytes.left(size);
    if (record.size() < size)
        record.append(size - record.size(), '\0');
    return record;
}

} // namespace

VirtualController::VirtualController(Kind kind)
    : m_kind(kind)
    , m_effect(effectRecordSize(), '\0')
    , m_hardware(hardwareRecordSize(), '\0')
{
    m_staging[0] = m_effect;
    m_staging[1] = m_hardware;
}

std::uint16_t VirtualController::productId() const
{
    return m_kind == Kind::Joystick ? JOYSTICK_PRODUCT_ID : PEDALS_PRODUCT_ID;
}

int VirtualController::effectRecordSize() const
{
    return m_kind == Kind::Joystick ? kJoystickEffectSize : kPedalsEffectSize;
}

int VirtualController::hardwareRecordSize() const
{
    return m_kind == Kind::Joystick ? kJoystickHardwareSize : kPedalsHardwareSize;
}

QByteArray VirtualController::effectRecord() const
{
    std::lock_guard lock(m_mutex);
    return m_effect;
}

void VirtualController::setEffectRecord(const QByteArray &record)
{
    std::lock_guard lock(m_mutex);
    m_effect = fitted(record, effectRecordSize());
    m_staging[0] = m_effect;
}

QByteArray VirtualController::hardwareRecord() const
{
    std::lock_guard lock(m_mutex);
    return m_hardware;
}

void VirtualController::setHardwareRecord(const QByteArray &record)
{
    std::lock_guard lock(m_mutex);
    m_hardware = fitted(record, hardwareRecordSize());
    m_staging[1] = m_hardware;
}

void VirtualController::scriptBusy(const QList<std::uint8_t> &flags)
{
    scriptStatus(QList<int>(flags.cbegin(), flags.cend()));
}

void VirtualController::scriptStatus(const QList<int> &answers)
{
    std::lock_guard lock(m_mutex);
    m_statusScript = answers;
}

void VirtualController::onStatusRead(std::function<void(int)> hook)
{
    std::lock_guard lock(m_mutex);
    m_statusHook = std::move(hook);
    m_statusReads = 0;
}

void VirtualController::setStatusFails(bool fails)
{
    std::lock_guard lock(m_mutex);
    m_statusFails = fails;
}

void VirtualController::setBusyAfterWrite(int reads)
{
    std::lock_guard lock(m_mutex);
    m_busyAfterWrite = std::max(reads, 0);
}

void VirtualController::setUnplugged(bool unplugged)
{
    std::lock_guard lock(m_mutex);
    m_unplugged = unplugged;
}

bool VirtualController::unplugged() const
{
    std::lock_guard lock(m_mutex);
    return m_unplugged;
}

void VirtualController::setReplyLength(std::uint8_t reportId, int length)
{
    std::lock_guard lock(m_mutex);
    const int slot = replySlot(reportId);
    if (slot >= 0)
        m_replyLength[slot] = length;
}

QList<VirtualController::Transfer> VirtualController::takeTransfers()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_transfers, {});
}

QList<VirtualController::Transfer> VirtualController::transfers() const
{
    std::lock_guard lock(m_mutex);
    return m_transfers;
}

QList<QByteArray> VirtualController::setReports() const
{
    std::lock_guard lock(m_mutex);
    QList<QByteArray> reports;
    for (const Transfer &t : m_transfers) {
        if (t.isSetReport())
            reports.append(t.data);
    }
    return reports;
}

QList<QByteArray> VirtualController::telemetryReports() const
{
    std::lock_guard lock(m_mutex);
    QList<QByteArray> reports;
    for (const Transfer &t : m_transfers) {
        if (t.isSetReport() && t.data.size() > kCommandAt
            && std::uint8_t(t.data[kCommandAt]) == kCommandTelemetry)
            reports.append(t.data);
    }
    return reports;
}

int VirtualController::dfuRequests() const
{
    std::lock_guard lock(m_mutex);
    return int(std::count_if(m_transfers.cbegin(), m_transfers.cend(), [](const Transfer &t) {
        return t.isSetReport() && !t.stalled && t.data.size() > 1
            && std::uint8_t(t.data[kCommandAt]) == kCommandDfu;
    }));
}

int VirtualController::completedWrites(std::uint8_t command) const
{
    std::lock_guard lock(m_mutex);
    if (command != kCommandEffectChunk && command != kCommandHardwareChunk)
        return 0;
    return m_completed[chunkSlot(command)];
}

void VirtualController::clearTransfers()
{
    std::lock_guard lock(m_mutex);
    m_transfers.clear();
}

int VirtualController::handleControl(std::uint8_t requestType, std::uint8_t request,
                                     std::uint16_t value, std::uint16_t index,
                                     std::uint16_t length, std::uint8_t *data)
{
    static std::atomic<quint64> arrivals{0};
    const auto arrived = std::chrono::steady_clock::now().time_since_epoch();

    if (requestType == kGetReportRequestType && value == (kFeatureReportType | kStatusReportId)) {
        std::function<void(int)> hook;
        int read = 0;
        {
            std::lock_guard lock(m_mutex);
            hook = m_statusHook;
            read = m_statusReads++;
        }
        if (hook)
            hook(read);
    }

    std::lock_guard lock(m_mutex);

    Transfer transfer;
    transfer.requestType = requestType;
    transfer.request = request;
    transfer.value = value;
    transfer.index = index;
    transfer.length = length;
    transfer.sequence = ++arrivals;
    transfer.arrivedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(arrived).count();

    const bool featureReport = (value & 0xFF00) == kFeatureReportType && index == kInterface;
    int result = -1;

    if (requestType == kGetReportRequestType && request == kHidGetReport && featureReport) {
        result = answerGetReport(std::uint8_t(value & 0xFF), length, data);
        if (result >= 0)
            transfer.data = QByteArray(reinterpret_cast<const char *>(data), result);
    } else if (!(requestType & 0x80)) {
        // OUT: whatever arrived is on record, even when the firmware refuses it.
        transfer.data = QByteArray(reinterpret_cast<const char *>(data), length);
        const bool commandReport = requestType == kSetReportRequestType
            && request == kHidSetReport && featureReport
            && std::uint8_t(value & 0xFF) == kCommandReportId && length == kCommandReportSize
            && data[0] == kCommandReportId;
        if (commandReport && receiveSetReport(data, length))
            result = length;
    }

    transfer.stalled = result < 0;
    m_transfers.append(transfer);
    return result;
}

int VirtualController::answerGetReport(std::uint8_t reportId, std::uint16_t length,
                                       std::uint8_t *data)
{
    QByteArray reply;
    switch (reportId) {
    case kEffectReportId:
        reply = m_effect;
        break;
    case kHardwareReportId:
        reply = m_hardware;
        break;
    case kStatusReportId:
        if (m_statusFails)
            return -1;
        if (!m_statusScript.isEmpty()) {
            if (const int answer = m_statusScript.takeFirst(); answer < 0)
                return -1;
            else
                reply = QByteArray(1, char(answer));
        } else if (m_busyReads > 0) {
            --m_busyReads;
            reply = QByteArray(1, char(1));
        } else {
            reply = QByteArray(1, '\0');
        }
        break;
    default:
        return -1;
    }

    const int configured = m_replyLength[replySlot(reportId)];
    if (configured >= 0) {
        if (configured > reply.size())
            reply.append(configured - reply.size(), kReplyFiller);
        else
            reply.truncate(configured);
    }
    const int count = std::min<int>(reply.size(), length);
    std::memcpy(data, reply.constData(), std::size_t(count));
    return count;
}

bool VirtualController::receiveSetReport(const std::uint8_t *data, std::uint16_t length)
{
    Q_UNUSED(length);
    const std::uint8_t command = data[kCommandAt];
    switch (command) {
    case kCommandDfu:
    case kCommandTelemetry:
        return true;  // counted from the transfer log
    case kCommandEffectChunk:
    case kCommandHardwareChunk:
        break;
    default:
        return false;
    }

    const int slot = chunkSlot(command);
    QByteArray &staging = m_staging[slot];
    const std::uint16_t offset = le16(data + kChunkOffsetAt);
    const std::uint16_t remaining = le16(data + kChunkRemainingAt);

    if (remaining == kClosingRemaining) {
        (slot == 0 ? m_effect : m_hardware) = staging;
        ++m_completed[slot];
        m_busyReads = m_busyAfterWrite;
        return true;
    }

    // Chunks past the end of the record are dropped bytewise, never written.
    const int wanted = std::min<int>(remaining, kChunkDataSize);
    const int count = std::clamp(int(staging.size()) - int(offset), 0, wanted);
    if (count > 0)
        std::memcpy(staging.data() + offset, data + kChunkHeaderSize, std::size_t(count));
    return true;
}

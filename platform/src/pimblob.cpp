#include "pimblob.h"

namespace vplat {
namespace {

constexpr uint32_t kExceptionsVersion = 1;

// Appends little-endian numbers and counted texts.
class Writer {
public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) m_bytes.push_back(BYTE(v >> (8 * i)));
    }
    void I64(int64_t v) {
        for (int i = 0; i < 8; ++i) m_bytes.push_back(BYTE(uint64_t(v) >> (8 * i)));
    }
    void Text(const std::u16string &text) {
        U32(uint32_t(text.size()));
        for (char16_t unit : text) {
            m_bytes.push_back(BYTE(unit));
            m_bytes.push_back(BYTE(unit >> 8));
        }
    }
    std::vector<BYTE> Take() { return std::move(m_bytes); }

private:
    std::vector<BYTE> m_bytes;
};

// Reads within the blob; once a read fails every later one fails too.
class Reader {
public:
    explicit Reader(const std::vector<BYTE> &bytes) : m_bytes(bytes) {}
    bool U32(uint32_t *v) {
        if (!Have(4)) return false;
        *v = 0;
        for (int i = 0; i < 4; ++i) *v |= uint32_t(m_bytes[m_at++]) << (8 * i);
        return true;
    }
    bool I32(int32_t *v) {
        uint32_t u;
        if (!U32(&u)) return false;
        *v = int32_t(u);
        return true;
    }
    bool I64(int64_t *v) {
        if (!Have(8)) return false;
        uint64_t u = 0;
        for (int i = 0; i < 8; ++i) u |= uint64_t(m_bytes[m_at++]) << (8 * i);
        *v = int64_t(u);
        return true;
    }
    bool Bool(bool *v) {
        uint32_t u;
        if (!U32(&u)) return false;
        *v = u != 0;
        return true;
    }
    bool Text(std::u16string *text) {
        uint32_t units;
        if (!U32(&units) || units > (m_bytes.size() - m_at) / 2) return Fail();
        text->resize(units);
        for (uint32_t i = 0; i < units; ++i, m_at += 2) {
            (*text)[i] = char16_t(m_bytes[m_at] | (m_bytes[m_at + 1] << 8));
        }
        return true;
    }
    // A count of items of at least minimum bytes each that the rest can hold.
    bool Count(uint32_t *count, size_t minimum) {
        return U32(count) && (*count <= (m_bytes.size() - m_at) / minimum || Fail());
    }
    bool AtEnd() const { return m_ok && m_at == m_bytes.size(); }

private:
    bool Have(size_t n) { return (m_ok && m_bytes.size() - m_at >= n) || Fail(); }
    bool Fail() { return m_ok = false; }

    const std::vector<BYTE> &m_bytes;
    size_t m_at = 0;
    bool m_ok = true;
};

}  // namespace

std::vector<BYTE> PimEncodeRecipients(const std::vector<PimRecipient> &list) {
    Writer w;
    w.U32(uint32_t(list.size()));
    for (const PimRecipient &r : list) {
        w.Text(r.name);
        w.Text(r.address);
    }
    return w.Take();
}

bool PimDecodeRecipients(const std::vector<BYTE> &blob, std::vector<PimRecipient> *list) {
    Reader r(blob);
    uint32_t count;
    std::vector<PimRecipient> out;
    if (!r.Count(&count, 8)) return false;
    out.resize(count);
    for (PimRecipient &item : out) {
        if (!r.Text(&item.name) || !r.Text(&item.address)) return false;
    }
    if (!r.AtEnd()) return false;
    *list = std::move(out);
    return true;
}

std::vector<BYTE> PimEncodeExceptions(const std::vector<PimException> &list) {
    Writer w;
    w.U32(kExceptionsVersion);
    w.U32(uint32_t(list.size()));
    for (const PimException &e : list) {
        const uint32_t fields = e.deleted ? 0 : e.fields;
        w.I64(e.originalDay);
        w.U32(e.deleted ? 1 : 0);
        w.U32(fields);
        if (fields & kExSubject) w.Text(e.subject);
        if (fields & kExLocation) w.Text(e.location);
        if (fields & kExBody) w.Text(e.body);
        if (fields & kExReminderMinutes) w.U32(uint32_t(e.reminderMinutes));
        if (fields & kExReminderSet) w.U32(e.reminderSet ? 1 : 0);
        if (fields & kExAllDay) w.U32(e.allDay ? 1 : 0);
        if (fields & kExBusyStatus) w.U32(uint32_t(e.busyStatus));
        if (fields & kExSensitivity) w.U32(uint32_t(e.sensitivity));
        if (fields & kExStart) w.I64(e.start);
        if (fields & kExEnd) w.I64(e.end);
    }
    return w.Take();
}

bool PimDecodeExceptions(const std::vector<BYTE> &blob, std::vector<PimException> *list) {
    Reader r(blob);
    uint32_t version, count;
    if (!r.U32(&version) || version != kExceptionsVersion || !r.Count(&count, 16)) return false;
    std::vector<PimException> out(count);
    for (PimException &e : out) {
        bool ok = r.I64(&e.originalDay) && r.Bool(&e.deleted) && r.U32(&e.fields);
        const uint32_t f = e.fields;
        if (ok && (f & kExSubject)) ok = r.Text(&e.subject);
        if (ok && (f & kExLocation)) ok = r.Text(&e.location);
        if (ok && (f & kExBody)) ok = r.Text(&e.body);
        if (ok && (f & kExReminderMinutes)) ok = r.I32(&e.reminderMinutes);
        if (ok && (f & kExReminderSet)) ok = r.Bool(&e.reminderSet);
        if (ok && (f & kExAllDay)) ok = r.Bool(&e.allDay);
        if (ok && (f & kExBusyStatus)) ok = r.I32(&e.busyStatus);
        if (ok && (f & kExSensitivity)) ok = r.I32(&e.sensitivity);
        if (ok && (f & kExStart)) ok = r.I64(&e.start);
        if (ok && (f & kExEnd)) ok = r.I64(&e.end);
        if (!ok) return false;
    }
    if (!r.AtEnd()) return false;
    *list = std::move(out);
    return true;
}

}  // namespace vplat

// One record's properties as an item holds them: what was read, and what
// was put since, which the next save writes in one call. A text put empty
// and a property removed are written with the delete flag. Numbers cover
// the integer, boolean and FILETIME types (a FILETIME as its 64-bit count).
#ifndef VPLATFORM_PIMRECORD_H
#define VPLATFORM_PIMRECORD_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "windbase.h"

namespace vplat {

struct PimValue {
    int64_t num = 0;
    std::u16string text;
    std::vector<BYTE> blob;
};

using PimValues = std::map<CEPROPID, PimValue>;

// The values of a read buffer of CeReadRecordPropsEx (properties not found skipped).
PimValues PimValuesFromBuffer(const CEPROPVAL *props, WORD count);

class PimRecord {
public:
    // Replaces what was read; drops nothing pending.
    void SetLoaded(PimValues values) { m_loaded = std::move(values); }
    // Forgets every pending change.
    void Revert() { m_pending.clear(); }

    bool Has(CEPROPID id) const { return Find(id) != nullptr; }
    std::u16string Text(CEPROPID id) const;
    int64_t Num(CEPROPID id, int64_t fallback = 0) const;
    std::vector<BYTE> Blob(CEPROPID id) const;

    void PutText(CEPROPID id, const char16_t *text);  // null or empty: removes
    void PutNum(CEPROPID id, int64_t value);
    void PutBlob(CEPROPID id, std::vector<BYTE> blob);  // empty: removes
    void Remove(CEPROPID id);
    bool Pending(CEPROPID id) const { return m_pending.count(id) != 0; }
    bool AnyPending() const { return !m_pending.empty(); }

    // The pending changes as one write's values; they point into this
    // record, so keep it unchanged until the write is done.
    std::vector<CEPROPVAL> Changes() const;
    // The write succeeded: what was pending is now what was read.
    void Commit();

private:
    const PimValue *Find(CEPROPID id) const;

    PimValues m_loaded;
    std::map<CEPROPID, std::optional<PimValue>> m_pending;  // nullopt: remove
};

}  // namespace vplat

#endif

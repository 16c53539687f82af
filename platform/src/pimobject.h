// What the model's objects share: the reference count (an object is made
// holding one reference for its receiver and deletes itself at the last
// Release), a counted hold on another object, and the core of every item:
// its store, kind, record id and record.
#ifndef VPLATFORM_PIMOBJECT_H
#define VPLATFORM_PIMOBJECT_H

#include <atomic>
#include <functional>
#include <memory>

#include "pimdate.h"
#include "pimrecord.h"
#include "pimstore.h"
#include "vplatform_pim.h"

namespace vplat {

// Counts references to an object of interface I.
template <class I>
class PimObject : public I {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

protected:
    PimObject() = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// A new counted reference to an object the caller holds.
template <class T>
PimRef<T> PimHold(T *object) {
    if (object != nullptr) object->AddRef();
    return PimRef<T>(object);
}

// An item's binding to its record. Save writes the record's pending changes
// in one call (a new item's record is made by it); Delete removes the
// record, after which the core names nothing.
class PimItemCore {
public:
    PimItemCore(std::shared_ptr<PimStore> store, PimKind kind) : m_store(std::move(store)), m_kind(kind) {}

    PimRecord &Record() { return m_record; }
    const PimRecord &Record() const { return m_record; }
    PimStore &Store() { return *m_store; }
    PimKind Kind() const { return m_kind; }
    CEOID Oid() const { return m_oid; }

    // Reads the record with that id.
    HRESULT Load(CEOID oid);
    // S_OK, or why the item cannot be written now.
    HRESULT Usable() const;
    HRESULT Save();
    HRESULT Delete();

    // Text and date properties in the model's forms.
    HRESULT GetText(CEPROPID id, std::u16string *text) const;
    HRESULT PutText(CEPROPID id, LPCWSTR text);
    HRESULT GetDate(CEPROPID id, DATE *date) const;  // absent: PIM_DATE_NONE
    HRESULT PutDate(CEPROPID id, DATE date);  // PIM_DATE_NONE removes
    HRESULT GetNum(CEPROPID id, LONG *value) const;  // absent: 0
    HRESULT PutNum(CEPROPID id, LONG value);
    HRESULT GetBool(CEPROPID id, VARIANT_BOOL *value) const;  // absent: false
    HRESULT PutBool(CEPROPID id, VARIANT_BOOL value);

private:
    std::shared_ptr<PimStore> m_store;
    PimKind m_kind;
    CEOID m_oid = 0;
    bool m_deleted = false;
    PimRecord m_record;
};

// Seconds of a record's date property; false when absent.
bool PimRecordSeconds(const PimRecord &record, CEPROPID id, int64_t *seconds);
// Puts a date property from seconds; E_INVALIDARG before 1601.
HRESULT PimPutSeconds(PimRecord &record, CEPROPID id, int64_t seconds);

}  // namespace vplat

#endif

// What every object of the store shares behind IMAPIProp: reading,
// setting and deleting properties, named properties and streams.
// - Stores and folders write at once: each SetProps or DeleteProps is one
//   committed write (a folder's new name must not clash with a sibling's).
// - Messages and attachments are transacted: changes wait in the object
//   until SaveChanges writes them in one transaction; reads see them at
//   once. SaveChanges without KEEP_OPEN_READWRITE ends the object's writes.
// MapiProp<I> puts this behind one of the store's interfaces.
#ifndef VPLATFORM_MAPIPROP_H
#define VPLATFORM_MAPIPROP_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "mapiprops.h"
#include "mapix.h"

namespace vplat {

// The streams opened for writing on one object: its SaveChanges commits
// them. Shared with the streams, which may outlive the object.
struct MapiWriteStreams {
    std::set<IStream *> open;
};

// The property calls of one object of the file (kind: its object type).
class MapiPropCore {
public:
    MapiPropCore(int64_t store, int64_t id, ULONG kind)
        : m_store(store), m_id(id), m_kind(kind), m_transacted(kind == MAPI_MESSAGE || kind == MAPI_ATTACH),
          m_streams(std::make_shared<MapiWriteStreams>()) {}

    int64_t Store() const { return m_store; }
    int64_t Id() const { return m_id; }
    bool Writable() const { return m_writable; }

    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG *lpcValues, LPSPropValue *lppPropArray);
    HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray *lppProblems);
    HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray *lppProblems);
    HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID *lppPropNames, ULONG ulFlags,
                            LPSPropTagArray *lppPropTags);
    HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                         LPUNKNOWN *lppUnk);
    // Writes the held changes (transacted objects; a no-op for the others).
    // extra runs inside the same transaction and adds the tags it changed.
    HRESULT SaveChanges(ULONG ulFlags,
                        const std::function<HRESULT(SqliteDb &, std::vector<ULONG> *)> &extra = nullptr);
    // Values of the tags (all when tags is null), held changes included.
    HRESULT ReadValues(const std::vector<ULONG> *tags, std::vector<MapiValue> *values);

private:
    HRESULT WriteNow(const std::vector<MapiValue> &set, const std::vector<ULONG> &removed);
    void Hold(ULONG tag, std::optional<MapiValue> value);

    int64_t m_store;
    int64_t m_id;
    ULONG m_kind;
    bool m_transacted;
    std::shared_ptr<MapiWriteStreams> m_streams;
    bool m_writable = true;
    // Held changes of a transacted object: a value, or none for a deletion;
    // m_order keeps the order the caller made them in, which the events
    // report (a reader may act on the last tag).
    std::map<ULONG, std::optional<MapiValue>> m_pending;
    std::vector<ULONG> m_order;
};

// IUnknown and IMAPIProp of one store object over a MapiPropCore.
template <class I>
class MapiProp : public I {
public:
    MapiProp(int64_t store, int64_t id, ULONG kind) : m_core(store, id, kind) {}

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override {
        if (ppvObject == nullptr) return MAPI_E_INVALID_PARAMETER;
        *ppvObject = nullptr;
        if (!Implements(riid)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
        AddRef();
        *ppvObject = this;
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }
    HRESULT SaveChanges(ULONG ulFlags) override { return m_core.SaveChanges(ulFlags); }
    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG, ULONG *lpcValues, LPSPropValue *lppPropArray) override {
        return m_core.GetProps(lpPropTagArray, lpcValues, lppPropArray);
    }
    HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                         LPUNKNOWN *lppUnk) override {
        return m_core.OpenProperty(ulPropTag, lpiid, ulInterfaceOptions, ulFlags, lppUnk);
    }
    HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray *lppProblems) override {
        return m_core.SetProps(cValues, lpPropArray, lppProblems);
    }
    HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray *lppProblems) override {
        return m_core.DeleteProps(lpPropTagArray, lppProblems);
    }
    HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID *lppPropNames, ULONG ulFlags,
                            LPSPropTagArray *lppPropTags) override {
        return m_core.GetIDsFromNames(cPropNames, lppPropNames, ulFlags, lppPropTags);
    }

protected:
    virtual ~MapiProp() = default;
    // Whether QueryInterface answers riid with this object.
    virtual bool Implements(REFIID riid) const = 0;

    MapiPropCore m_core;

private:
    std::atomic<ULONG> m_refs{1};
};

// Named properties of a store (GetIDsFromNames).
HRESULT MapiResolveNames(int64_t store, ULONG cPropNames, LPMAPINAMEID *lppPropNames, ULONG ulFlags,
                         LPSPropTagArray *lppPropTags);
// A stream over a bytes-typed property of an object (OpenProperty); one
// opened for writing joins owner's streams while it lives.
HRESULT MapiOpenStream(int64_t store, int64_t object, ULONG tag, ULONG stgmMode, ULONG flags,
                       const std::shared_ptr<MapiWriteStreams> &owner, IStream **stream);

}  // namespace vplat

#endif

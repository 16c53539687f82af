// The items' makers: each gives a new item of its kind over the store,
// read from its record (an id not in that kind's database:
// PIM_E_NOTFOUND), or a new unsaved one for oid 0.
#ifndef VPLATFORM_PIMITEMS_H
#define VPLATFORM_PIMITEMS_H

#include <memory>

#include "pimobject.h"

namespace vplat {

HRESULT PimNewContact(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item);
HRESULT PimNewTask(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item);
HRESULT PimNewAppointment(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item);

// Makes an item of class T (constructed over the store, with Load(oid)).
template <class T>
HRESULT PimMakeItem(std::shared_ptr<PimStore> store, CEOID oid, IPimItem **item) {
    if (item == nullptr) return E_POINTER;
    auto *made = new T(std::move(store));
    if (oid != 0) {
        HRESULT hr = made->Load(oid);
        if (FAILED(hr)) {
            made->Release();
            return hr;
        }
    }
    *item = made;
    return S_OK;
}

}  // namespace vplat

#endif

#include "handles.h"

#include <mutex>
#include <unordered_map>

#include "winerror.h"
#include "winfile.h"

namespace vplat {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 1;
};

HandleTable &Table() {
    static HandleTable *table = new HandleTable;  // outlives static destructors
    return *table;
}

}  // namespace

HANDLE HandleInsert(std::shared_ptr<KernelObject> object) {
    HandleTable &t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    // Multiples of 4, as the platform's handles are.
    uintptr_t value = (t.next++) << 2;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleLookup(HANDLE handle) {
    HandleTable &t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool HandleClose(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        HandleTable &t = Table();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == t.objects.end()) return false;
        object = std::move(it->second);
        t.objects.erase(it);
    }
    object->Close();
    return true;
}

}  // namespace vplat

extern "C" PLATAPI BOOL CloseHandle(HANDLE hObject) {
    if (!vplat::HandleClose(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

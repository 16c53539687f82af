#include "DSimpleDBWriteHook.h"

#include <atomic>

namespace {
std::atomic<DBWriteHook> g_hook{nullptr};
}  // namespace

void DBSetWriteHook(DBWriteHook hook) { g_hook.store(hook); }

void DBAfterWrite() {
    if (DBWriteHook hook = g_hook.load()) hook();
}

// A test module: its DllMain counts how often it is entered and left,
// resets the module's value and asks the platform for its own file name on
// every entry; the counts live as long as the process, the rest only until
// the module is entered again. It also passes on libm's names that start
// with "f" (floor, fmod...) as its own exports.
#include "winmodule.h"

namespace {
int g_attaches = 0;
int g_detaches = 0;
int g_value = 0;
HANDLE g_instance = nullptr;
WCHAR g_attachName[MAX_PATH];
}  // namespace

extern "C" PLATAPI BOOL DllMain(HANDLE hinstDLL, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        ++g_attaches;
        g_instance = hinstDLL;
        g_value = 0;
        GetModuleFileNameW(static_cast<HMODULE>(hinstDLL), g_attachName, MAX_PATH);
#ifdef TESTMOD_ATTACH_FAILS
        return FALSE;
#endif
    } else if (dwReason == DLL_PROCESS_DETACH) {
        ++g_detaches;
    }
    return TRUE;
}

extern "C" PLATAPI void TestModCounts(int *attaches, int *detaches) {
    *attaches = g_attaches;
    *detaches = g_detaches;
}

extern "C" PLATAPI HANDLE TestModInstance() { return g_instance; }
extern "C" PLATAPI const WCHAR *TestModAttachName() { return g_attachName; }
extern "C" PLATAPI void TestModSetValue(int value) { g_value = value; }
extern "C" PLATAPI int TestModGetValue() { return g_value; }

VPLATFORM_STRING_TABLE = {
    {1, u"One"},
    {2, u"Hello, world"},
    {3, u""},
    {0, nullptr},
};

VPLATFORM_EXPORT_FORWARDS = {
    {"libm.so.6", "f"},
    {nullptr, nullptr},
};

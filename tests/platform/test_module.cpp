#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device.h"
#include "support/ScopedEnv.h"
#include "support/TestDevice.h"
#include "windows.h"

// The program's own strings, read through a null module.
VPLATFORM_STRING_TABLE = {
    {7, u"Program text"},
    {0, nullptr},
};

namespace {

// The host folder that holds the built libraries (the platform library's).
std::string BuiltLibraryFolder() {
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&LoadLibraryW), &info) == 0) return std::string();
    return std::filesystem::path(info.dli_fname).parent_path().string();
}

std::u16string FileName(HMODULE module) {
    WCHAR buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH);
    return std::u16string(buffer, n);
}

// The test module's exports. With -z nodelete the module stays mapped after
// its last free, so these stay callable and its counts survive.
struct TestMod {
    void (*counts)(int *, int *) = nullptr;
    HANDLE (*instance)() = nullptr;
    const WCHAR *(*attachName)() = nullptr;
    void (*setValue)(int) = nullptr;
    int (*getValue)() = nullptr;

    explicit TestMod(HMODULE module) {
        Get(module, u"TestModCounts", &counts);
        Get(module, u"TestModInstance", &instance);
        Get(module, u"TestModAttachName", &attachName);
        Get(module, u"TestModSetValue", &setValue);
        Get(module, u"TestModGetValue", &getValue);
    }
    template <class F>
    static void Get(HMODULE module, const char16_t *name, F *proc) {
        *proc = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddressW(module, name)));
    }
    bool Complete() const { return counts && instance && attachName && setValue && getValue; }
    int Attaches() const {
        int a = 0, d = 0;
        counts(&a, &d);
        return a;
    }
    int Detaches() const {
        int a = 0, d = 0;
        counts(&a, &d);
        return d;
    }
};

class ModuleTest : public DeviceTest {
protected:
    // Built libraries from their usual folder, whatever the environment says.
    ScopedEnv m_modulePath{VANTREL_MODULE_PATH_ENV, nullptr};
};

TEST_F(ModuleTest, NamesOfOneModuleShareItsLoadAndCount) {
    HMODULE first = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, first) << GetLastError();
    TestMod mod(first);
    ASSERT_TRUE(mod.Complete());
    int attaches = mod.Attaches(), detaches = mod.Detaches();
    EXPECT_EQ(static_cast<HANDLE>(first), mod.instance());
    // DllMain may use the module calls on itself.
    EXPECT_EQ(u"\\Windows\\TestMod.dll", std::u16string(mod.attachName()));

    // The last is no device file either, so it is the same built library.
    const char16_t *names[] = {u"\\Windows\\TestMod.dll", u"testmod.DLL", u"/WINDOWS//testmod.dll", u"TestMod",
                               u"\\Other\\TestMod.dll"};
    for (const char16_t *name : names) {
        EXPECT_EQ(first, LoadLibraryW(name)) << vplat::Utf16ToUtf8(name);
        EXPECT_EQ(first, GetModuleHandleW(name)) << vplat::Utf16ToUtf8(name);
    }
    EXPECT_EQ(attaches, mod.Attaches());
    EXPECT_EQ(u"\\Windows\\TestMod.dll", FileName(first));

    for (size_t i = 0; i < std::size(names); ++i) EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(detaches, mod.Detaches());
    EXPECT_EQ(first, GetModuleHandleW(u"TestMod.dll"));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(detaches + 1, mod.Detaches());

    EXPECT_EQ(nullptr, GetModuleHandleW(u"TestMod.dll"));
    EXPECT_EQ(DWORD(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(ModuleTest, ReloadAfterFullUnloadEntersTheModuleAfresh) {
    HMODULE first = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, first);
    TestMod mod(first);
    ASSERT_TRUE(mod.Complete());
    int attaches = mod.Attaches();
    mod.setValue(42);
    ASSERT_TRUE(FreeLibrary(first));

    HMODULE second = LoadLibraryW(u"\\windows\\testmod.dll");
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);  // handles are not reused
    EXPECT_EQ(attaches + 1, mod.Attaches());
    EXPECT_EQ(0, mod.getValue());
    EXPECT_EQ(static_cast<HANDLE>(second), mod.instance());
    EXPECT_EQ(nullptr, GetProcAddressW(first, u"TestModGetValue"));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    // Named by a path this time, so that is its name.
    EXPECT_EQ(u"\\windows\\testmod.dll", FileName(second));
    EXPECT_TRUE(FreeLibrary(second));
}

TEST_F(ModuleTest, LoadFailures) {
    std::filesystem::create_directories(Device().Host(u"\\Windows"));
    std::ofstream(Device().Host(u"\\Windows\\Junk.dll")) << "not a library";
    const struct {
        const char16_t *name;
        DWORD error;
    } cases[] = {
        {u"TestModFail.dll", ERROR_DLL_INIT_FAILED},
        {u"NoSuchModule.dll", ERROR_MOD_NOT_FOUND},
        {u"\\Program Files\\Missing\\NoSuchModule.dll", ERROR_MOD_NOT_FOUND},
        {u"Junk.dll", ERROR_BAD_EXE_FORMAT},
        {u"Bad?.dll", ERROR_INVALID_NAME},
        {u"", ERROR_INVALID_PARAMETER},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(nullptr, LoadLibraryW(c.name)) << vplat::Utf16ToUtf8(c.name);
        EXPECT_EQ(c.error, GetLastError()) << vplat::Utf16ToUtf8(c.name);
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(u"TestModFail.dll"));
}

TEST_F(ModuleTest, LibrariesComeFromTheDeviceFirstThenTheModuleFolders) {
    std::string built = BuiltLibraryFolder();
    ASSERT_FALSE(built.empty());
    std::string empty = Device().Root() + "/no-modules";
    std::filesystem::create_directories(empty);

    {
        ScopedEnv path(VANTREL_MODULE_PATH_ENV, empty.c_str());
        EXPECT_EQ(nullptr, LoadLibraryW(u"TestMod.dll"));
        EXPECT_EQ(DWORD(ERROR_MOD_NOT_FOUND), GetLastError());
    }
    {
        ScopedEnv path(VANTREL_MODULE_PATH_ENV, (empty + "::" + built).c_str());
        HMODULE module = LoadLibraryW(u"TestMod.dll");
        EXPECT_NE(nullptr, module);
        FreeLibrary(module);
    }

    // An installed copy under its device name is taken even when no module
    // folder holds the library.
    std::filesystem::create_directories(Device().Host(u"\\Program Files\\Vantrel"));
    std::filesystem::copy_file(built + "/libTestMod.so", Device().Host(u"\\Program Files\\Vantrel") + "/TestMod.dll");
    ScopedEnv path(VANTREL_MODULE_PATH_ENV, empty.c_str());
    HMODULE installed = LoadLibraryW(u"\\program files\\vantrel\\testmod.dll");
    ASSERT_NE(nullptr, installed) << GetLastError();
    EXPECT_EQ(u"\\program files\\vantrel\\testmod.dll", FileName(installed));
    EXPECT_NE(nullptr, GetProcAddressW(installed, u"TestModGetValue"));
    EXPECT_TRUE(FreeLibrary(installed));
}

TEST_F(ModuleTest, ProcAddresses) {
    HMODULE module = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, module);
    EXPECT_NE(nullptr, GetProcAddressW(module, u"DllMain"));
    // Only the module's own exports: not those of the platform library it uses.
    const char16_t *missing[] = {u"NoSuchExport", u"LoadLibraryW"};
    for (const char16_t *name : missing) {
        EXPECT_EQ(nullptr, GetProcAddressW(module, name));
        EXPECT_EQ(DWORD(ERROR_PROC_NOT_FOUND), GetLastError());
    }
    EXPECT_TRUE(FreeLibrary(module));
}

// The test module forwards libm's names that start with "f": only those
// that libm itself defines are found through it.
TEST_F(ModuleTest, ForwardedNamesComeOnlyFromTheirLibrary) {
    HMODULE module = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, module);
    auto floorProc =
        reinterpret_cast<double (*)(double)>(reinterpret_cast<void (*)()>(GetProcAddressW(module, u"floor")));
    ASSERT_NE(nullptr, floorProc) << GetLastError();
    EXPECT_EQ(2.0, floorProc(2.5));

    const char16_t *hidden[] = {
        u"sqrt",           // libm's, outside the prefix
        u"fopen",          // inside it, but the C library's
        u"fNoSuchExport",  // inside it, and nobody's
    };
    for (const char16_t *name : hidden) {
        SetLastError(0);
        EXPECT_EQ(nullptr, GetProcAddressW(module, name)) << vplat::Utf16ToUtf8(name);
        EXPECT_EQ(DWORD(ERROR_PROC_NOT_FOUND), GetLastError()) << vplat::Utf16ToUtf8(name);
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, FileNamesAreCutToTheBuffer) {
    HMODULE module = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, module);
    const std::u16string full = u"\\Windows\\TestMod.dll";  // 20 units
    const struct {
        DWORD size;
        DWORD result;
        std::u16string text;
        DWORD error;
    } cases[] = {
        {MAX_PATH, 20, full, 0},
        {21, 20, full, 0},
        {20, 20, full.substr(0, 19), ERROR_INSUFFICIENT_BUFFER},
        {5, 5, u"\\Win", ERROR_INSUFFICIENT_BUFFER},
        {1, 1, u"", ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto &c : cases) {
        WCHAR buffer[MAX_PATH];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        SetLastError(0);
        EXPECT_EQ(c.result, GetModuleFileNameW(module, buffer, c.size)) << c.size;
        EXPECT_EQ(c.text, std::u16string(buffer)) << c.size;
        EXPECT_EQ(c.error, GetLastError()) << c.size;
    }
    EXPECT_EQ(0u, GetModuleFileNameW(module, nullptr, 0));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModuleTest, TheProgramsOwnPath) {
    {
        ScopedEnv program(VANTREL_PROGRAM_PATH_ENV, nullptr);
        EXPECT_EQ(u"\\Windows\\platform_tests.exe", FileName(nullptr));
    }
    ScopedEnv program(VANTREL_PROGRAM_PATH_ENV, "\\Program Files\\Vantrel\\Vantrel.exe");
    EXPECT_EQ(u"\\Program Files\\Vantrel\\Vantrel.exe", FileName(nullptr));
    EXPECT_EQ(u"\\Program Files\\Vantrel\\Vantrel.exe", FileName(GetModuleHandleW(nullptr)));
}

TEST_F(ModuleTest, StringsAreCutToTheBuffer) {
    HMODULE module = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, module);
    const struct {
        HMODULE module;
        UINT id;
        int size;
        int result;
        std::u16string text;
        DWORD error;
    } cases[] = {
        {module, 2, 64, 12, u"Hello, world", 0},
        {module, 2, 13, 12, u"Hello, world", 0},
        {module, 2, 6, 5, u"Hello", 0},
        {module, 2, 1, 0, u"", 0},
        {module, 99, 64, 0, u"", ERROR_RESOURCE_NAME_NOT_FOUND},
        {module, 3, 64, 0, u"", ERROR_RESOURCE_NAME_NOT_FOUND},  // empty: none
        {nullptr, 7, 64, 12, u"Program text", 0},
        {nullptr, 2, 64, 0, u"", ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const auto &c : cases) {
        WCHAR buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        SetLastError(0);
        EXPECT_EQ(c.result, LoadStringW(c.module, c.id, buffer, c.size)) << c.id << "/" << c.size;
        EXPECT_EQ(c.text, std::u16string(buffer)) << c.id << "/" << c.size;
        EXPECT_EQ(c.error, GetLastError()) << c.id << "/" << c.size;
    }

    // Size 0: a pointer to the module's own text instead of a copy.
    LPCWSTR text = nullptr;
    EXPECT_EQ(12, LoadStringW(module, 2, reinterpret_cast<LPWSTR>(&text), 0));
    EXPECT_EQ(u"Hello, world", std::u16string(text, 12));
    EXPECT_TRUE(FreeLibrary(module));

    WCHAR buffer[8];
    EXPECT_EQ(0, LoadStringW(module, 1, buffer, 8));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(ModuleTest, ConcurrentLoadsEnterAndLeaveOnce) {
    HMODULE module = LoadLibraryW(u"TestMod.dll");
    ASSERT_NE(nullptr, module);
    TestMod mod(module);
    ASSERT_TRUE(mod.Complete());
    int attaches = mod.Attaches(), detaches = mod.Detaches();

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                HMODULE h = LoadLibraryW(u"\\Windows\\TestMod.dll");
                if (h != module || !FreeLibrary(h)) ++failures;
            }
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(attaches, mod.Attaches());
    EXPECT_EQ(detaches, mod.Detaches());
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(detaches + 1, mod.Detaches());
}

}  // namespace

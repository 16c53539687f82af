#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TestDevice.h"
#include "windows.h"
#include "winreg.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Units(const std::u16string &text, bool terminated = true) {
    std::u16string all = text;
    if (terminated) all.push_back(0);
    Bytes bytes(all.size() * 2);
    std::memcpy(bytes.data(), all.data(), bytes.size());
    return bytes;
}

Bytes Dword(DWORD value) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

HKEY Create(HKEY parent, const std::u16string &path, DWORD *disposition = nullptr) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                              disposition);
    EXPECT_EQ(ERROR_SUCCESS, rc) << "creating a key";
    return key;
}

LONG Open(HKEY parent, const std::u16string &path, HKEY *key) {
    return RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, key);
}

// Whether a key can be opened; it is closed again.
bool Exists(HKEY parent, const std::u16string &path) {
    HKEY key = nullptr;
    if (Open(parent, path, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

LONG Set(HKEY key, const char16_t *name, DWORD type, const Bytes &data) {
    return RegSetValueExW(key, name, 0, type, data.data(), DWORD(data.size()));
}

struct Value {
    LONG rc = -1;
    DWORD type = 0;
    Bytes data;
};

// Reads a value the way callers do: its size first, then its data.
Value Query(HKEY key, const char16_t *name) {
    Value value;
    DWORD size = 0;
    value.rc = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
    if (value.rc != ERROR_SUCCESS) return value;
    value.data.resize(size);
    value.rc = RegQueryValueExW(key, name, nullptr, nullptr, value.data.data(), &size);
    EXPECT_EQ(value.data.size(), size);
    return value;
}

DWORD QueryDword(HKEY key, const char16_t *name) {
    DWORD value = 0xDEAD, size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size));
    return value;
}

std::vector<std::u16string> SubKeys(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        LONG rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, rc);
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::u16string> ValueNames(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        LONG rc = RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, rc);
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// A thread that keeps its own registry connection and runs the steps it is
// given, one at a time, while the test waits.
class OtherThread {
public:
    OtherThread() : m_thread([this] { Loop(); }) {}
    ~OtherThread() {
        Run(nullptr);
        m_thread.join();
    }
    void Run(std::function<void()> step) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_steps.push_back(std::move(step));
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_steps.empty() && !m_busy; });
    }

private:
    void Loop() {
        for (;;) {
            std::function<void()> step;
            {
                std::unique_lock<std::mutex> lock(m_lock);
                m_changed.wait(lock, [this] { return !m_steps.empty(); });
                step = std::move(m_steps.front());
                m_steps.pop_front();
                m_busy = true;
            }
            if (step) step();
            std::lock_guard<std::mutex> lock(m_lock);
            m_busy = false;
            m_changed.notify_all();
            if (!step) return;
        }
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_steps;
    bool m_busy = false;
    std::thread m_thread;
};

}  // namespace

using RegistryTest = DeviceTest;

// Every type comes back with exactly the bytes stored, through the handle
// that wrote it and through another one; a null or empty name is the
// key's default value.
TEST_F(RegistryTest, ValuesRoundTripAsStored) {
    const struct {
        const char16_t *name;
        DWORD type;
        Bytes data;
    } cases[] = {
        {u"Server", REG_SZ, Units(u"mail.example.com")},
        {u"Signature", REG_SZ, Units(u"Grüße — ☺")},
        {u"Unterminated", REG_SZ, Units(u"abc", false)},
        {u"Path", REG_EXPAND_SZ, Units(u"%windir%\\x")},
        {u"Blob", REG_BINARY, Bytes{0, 1, 0, 0xFF, 0}},
        {u"Nothing", REG_BINARY, Bytes{}},
        {u"Heartbeat", REG_DWORD, Dword(0xFFFFFFFE)},
        {u"List", REG_MULTI_SZ, Units(std::u16string(u"a\0bc\0", 5))},
        {u"", REG_SZ, Units(u"default")},
    };
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel");
    for (const auto &c : cases) ASSERT_EQ(ERROR_SUCCESS, Set(key, c.name, c.type, c.data));
    HKEY again = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", &again));
    for (HKEY handle : {key, again}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
            Value value = Query(handle, c.name);
            EXPECT_EQ(ERROR_SUCCESS, value.rc);
            EXPECT_EQ(c.type, value.type);
            EXPECT_EQ(c.data, value.data);
        }
    }
    EXPECT_EQ(Units(u"default"), Query(key, nullptr).data);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, u"").rc);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, u"Missing").rc);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Missing"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(again));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

// A short buffer gives 234 with the size needed and is left alone; a
// buffer with no size to go with it is refused.
TEST_F(RegistryTest, ShortBufferGivesMoreDataAndTheSize) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Sizes");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Text", REG_SZ, Units(u"abcdef")));  // 14 bytes
    const struct {
        DWORD room;
        LONG rc;
    } cases[] = {{0, ERROR_MORE_DATA}, {12, ERROR_MORE_DATA}, {13, ERROR_MORE_DATA}, {14, ERROR_SUCCESS},
                 {64, ERROR_SUCCESS}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.room);
        BYTE buffer[64];
        std::memset(buffer, 0xAA, sizeof buffer);
        DWORD type = 0, size = c.room;
        EXPECT_EQ(c.rc, RegQueryValueExW(key, u"text", nullptr, &type, buffer, &size));
        EXPECT_EQ(14u, size);
        EXPECT_EQ(DWORD(REG_SZ), type);
        if (c.rc == ERROR_SUCCESS) {
            EXPECT_EQ(Units(u"abcdef"), Bytes(buffer, buffer + 14));
        } else {
            EXPECT_EQ(Bytes(64, 0xAA), Bytes(buffer, buffer + 64));
        }
    }
    BYTE buffer[4];
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(key, u"Text", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Text", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

// Key and value names match in any case (non-ASCII letters folded as the
// device folds them) and with stray backslashes; they keep the spelling
// they were created with.
TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirSpelling) {
    const struct {
        const char16_t *created, *other;
    } cases[] = {
        {u"ControlPanel\\Phone", u"\\ControlPanel\\Phone"},
        {u"Software\\Brellow\\Vantrel", u"SOFTWARE\\brellow\\VANTREL\\"},
        {u"Software\\Brellow\\Vantrel", u"\\\\Software\\\\\\Brellow\\Vantrel"},
        {u"Ärger\\Почта\\Ωμέγα", u"äRGER\\ПОЧТА\\ωΜΈΓΑ"},
    };
    int i = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(i++);
        DWORD disposition = 0;
        HKEY key = Create(HKEY_LOCAL_MACHINE, c.created);
        ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Ünïcode-Wert", REG_DWORD, Dword(7)));
        HKEY other = Create(HKEY_LOCAL_MACHINE, c.other, &disposition);
        EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);
        EXPECT_EQ(7u, QueryDword(other, u"üNÏCODE-wERT"));
        EXPECT_EQ(ERROR_SUCCESS, Set(other, u"ÜNÏCODE-WERT", REG_DWORD, Dword(8)));
        EXPECT_EQ(std::vector<std::u16string>{u"Ünïcode-Wert"}, ValueNames(key));
        RegCloseKey(other);
        RegCloseKey(key);
        EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, c.other));
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, c.other));  // roots are apart
    }
    EXPECT_EQ((std::vector<std::u16string>{u"ControlPanel", u"Software", u"Ärger"}), SubKeys(HKEY_LOCAL_MACHINE));
}

// Creating makes every missing key of the path and says whether the last
// one was new; opening never creates.
TEST_F(RegistryTest, CreateMakesThePathAndOpenDoesNot) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CURRENT_USER, u"A\\B", &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"A"));

    DWORD disposition = 0;
    HKEY c = Create(HKEY_CURRENT_USER, u"A\\B\\C", &disposition);
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"A\\B"));
    RegCloseKey(Create(HKEY_CURRENT_USER, u"a\\b", &disposition));
    EXPECT_EQ(DWORD(REG_OPENED_EXISTING_KEY), disposition);

    // Paths below an opened key, and the opened key itself.
    HKEY d = Create(c, u"D", &disposition);
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"A\\B\\C\\D"));
    HKEY self = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(d, u"", &self));
    EXPECT_NE(d, self);
    ASSERT_EQ(ERROR_SUCCESS, Set(self, u"V", REG_DWORD, Dword(1)));
    EXPECT_EQ(1u, QueryDword(d, u"V"));
    HKEY root = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"", &root));
    EXPECT_EQ(HKEY_CURRENT_USER, root);
    for (HKEY k : {self, d, c}) EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(k));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(c));
    EXPECT_EQ(ERROR_INVALID_HANDLE, Open(reinterpret_cast<HKEY>(0x1230), u"A", &key));
}

// Deleting a key takes every key below it and all their values; a key of
// the same name made later starts empty.
TEST_F(RegistryTest, DeleteKeyTakesItsSubtree) {
    HKEY leaf = Create(HKEY_CURRENT_USER, u"Top\\Mid\\Leaf");
    HKEY sibling = Create(HKEY_CURRENT_USER, u"Top\\Sibling");
    HKEY top = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Top", &top));
    for (HKEY k : {leaf, sibling, top}) ASSERT_EQ(ERROR_SUCCESS, Set(k, u"V", REG_DWORD, Dword(1)));

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"top\\MID"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Top\\Mid\\Leaf"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Top\\Mid"));
    EXPECT_EQ(1u, QueryDword(sibling, u"V"));
    EXPECT_EQ(1u, QueryDword(top, u"V"));
    EXPECT_EQ(std::vector<std::u16string>{u"Sibling"}, SubKeys(top));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(top, u"Mid"));

    DWORD disposition = 0;
    HKEY mid = Create(top, u"Mid", &disposition);
    EXPECT_EQ(DWORD(REG_CREATED_NEW_KEY), disposition);
    EXPECT_TRUE(SubKeys(mid).empty());
    EXPECT_TRUE(ValueNames(mid).empty());

    // An empty sub-key deletes the opened key itself; a root stays.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(sibling, u""));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Top\\Sibling"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_CURRENT_USER, nullptr));
    for (HKEY k : {mid, leaf, sibling, top}) RegCloseKey(k);
}

// Sub-keys and values are listed in the order they were made, up to 259;
// a value replaced (even by another type) keeps its place and its
// spelling; short name or data buffers give 234.
TEST_F(RegistryTest, EnumerationFollowsCreationOrder) {
    HKEY key = Create(HKEY_CURRENT_USER, u"List");
    for (const char16_t *name : {u"b", u"A", u"c"}) RegCloseKey(Create(key, name));
    for (const char16_t *name : {u"z", u"Y", u"x"}) ASSERT_EQ(ERROR_SUCCESS, Set(key, name, REG_DWORD, Dword(1)));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Z", REG_SZ, Units(u"longer text")));
    EXPECT_EQ((std::vector<std::u16string>{u"b", u"A", u"c"}), SubKeys(key));
    EXPECT_EQ((std::vector<std::u16string>{u"z", u"Y", u"x"}), ValueNames(key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"y"));
    EXPECT_EQ((std::vector<std::u16string>{u"z", u"x"}), ValueNames(key));

    WCHAR name[8];
    DWORD length = 1;  // no room for "b" and its terminator
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 2;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1u, length);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExW(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr));

    BYTE data[64];
    DWORD type = 0, size = 4;
    length = 8;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &length, nullptr, &type, data, &size));
    EXPECT_EQ(24u, size);
    length = 1;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &length, nullptr, &type, data, &size));
    length = 8;
    size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 0, name, &length, nullptr, &type, data, &size));
    EXPECT_EQ(std::u16string(u"z"), std::u16string(name, length));
    EXPECT_EQ(DWORD(REG_SZ), type);
    EXPECT_EQ(Units(u"longer text"), Bytes(data, data + size));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(key, 2, name, &length, nullptr, &type, data, &size));

    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                              &maxValueName, &maxValue, nullptr, nullptr));
    EXPECT_EQ(3u, subKeys);
    EXPECT_EQ(1u, maxSubKey);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(1u, maxValueName);
    EXPECT_EQ(24u, maxValue);
    RegCloseKey(key);
}

// A value of another type is replaced, whatever the sizes.
TEST_F(RegistryTest, SetReplacesAValueOfAnotherType) {
    const struct {
        DWORD firstType;
        Bytes first;
        DWORD secondType;
        Bytes second;
    } cases[] = {
        {REG_DWORD, Dword(5), REG_SZ, Units(u"mail.example.com")},
        {REG_SZ, Units(u"480"), REG_DWORD, Dword(480)},
        {REG_BINARY, Bytes(100, 1), REG_EXPAND_SZ, Units(u"")},
        {REG_MULTI_SZ, Units(std::u16string(u"a\0", 2)), REG_BINARY, Bytes{}},
    };
    HKEY key = Create(HKEY_CURRENT_USER, u"Replace");
    for (const auto &c : cases) {
        ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Server", c.firstType, c.first));
        ASSERT_EQ(ERROR_SUCCESS, Set(key, u"SERVER", c.secondType, c.second));
        Value value = Query(key, u"server");
        EXPECT_EQ(c.secondType, value.type);
        EXPECT_EQ(c.second, value.data);
        EXPECT_EQ(std::vector<std::u16string>{u"Server"}, ValueNames(key));
    }
    RegCloseKey(key);
}

// Once its key is deleted, every call on a handle fails with 1018, even
// after a key of that name is made again; closing it still works.
TEST_F(RegistryTest, HandleOfADeletedKeyFails) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Gone\\Child");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"V", REG_DWORD, Dword(1)));
    RegCloseKey(Create(key, u"Sub"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"Gone"));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        WCHAR name[16];
        DWORD length = 16, size = 4, disposition = 0, count = 0;
        BYTE data[4];
        HKEY sub = nullptr;
        const LONG results[] = {
            RegQueryValueExW(key, u"V", nullptr, nullptr, data, &size),
            Set(key, u"V", REG_DWORD, Dword(2)),
            RegDeleteValueW(key, u"V"),
            RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            RegOpenKeyExW(key, u"Sub", 0, KEY_READ, &sub),
            RegCreateKeyExW(key, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, &disposition),
            RegDeleteKeyW(key, u"Sub"),
            RegFlushKey(key),
        };
        for (LONG rc : results) EXPECT_EQ(ERROR_KEY_DELETED, rc);
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Gone\\Child\\New"));
        RegCloseKey(Create(HKEY_CURRENT_USER, u"Gone\\Child\\Sub"));  // a new key of the same name
    }
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

// A new device holds the platform's account key, empty, in a registry kept
// with a write-ahead log; it is made only with the registry, so a deleted
// one stays deleted for later connections.
TEST_F(RegistryTest, NewDeviceHoldsTheAccountKey) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\Microsoft\\AirSync\\Connection", &key));
    DWORD subKeys = 9, values = 9;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(0u, values);
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
    RegCloseKey(key);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\AirSync\\Connection"));

    std::ifstream file(Device().Root() + "/registry.db", std::ios::binary);
    char header[20] = {};
    ASSERT_TRUE(file.read(header, sizeof header));
    EXPECT_EQ(2, header[18]);  // the file format's write-ahead-log marks
    EXPECT_EQ(2, header[19]);

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\Microsoft\\AirSync\\Connection"));
    OtherThread other;
    other.Run([] { EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\Microsoft\\AirSync\\Connection")); });
}

// A write is seen at once by another connection of this process that was
// open before it, and the other way round.
TEST_F(RegistryTest, WriteSeenAtOnceByAnotherConnection) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Shared");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Counter", REG_DWORD, Dword(1)));
    OtherThread other;
    other.Run([&] { EXPECT_EQ(1u, QueryDword(key, u"Counter")); });
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Counter", REG_DWORD, Dword(2)));
    other.Run([&] {
        EXPECT_EQ(2u, QueryDword(key, u"Counter"));
        EXPECT_EQ(ERROR_SUCCESS, Set(key, u"counter", REG_DWORD, Dword(3)));
    });
    EXPECT_EQ(3u, QueryDword(key, u"Counter"));
    RegCloseKey(key);
}

// The same between processes: the child reads and writes while both are
// running, each seeing the other's last write.
TEST_F(RegistryTest, WriteSeenAtOnceByAnotherProcess) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Shared");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Counter", REG_DWORD, Dword(1)));
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain calls only, then _exit: no test machinery in the child.
        auto counter = [] {
            HKEY k = nullptr;
            DWORD value = 0, size = 4;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, u"shared", 0, KEY_READ, &k) != ERROR_SUCCESS) return char(0);
            RegQueryValueExW(k, u"Counter", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
            RegCloseKey(k);
            return char(value);
        };
        char message = counter(), go;
        if (write(toParent[1], &message, 1) != 1 || read(toChild[0], &go, 1) != 1) _exit(1);
        message = counter();
        DWORD three = 3;
        if (RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<BYTE *>(&three), 4) != ERROR_SUCCESS)
            message = 0;
        if (write(toParent[1], &message, 1) != 1) _exit(1);
        (void)!read(toChild[0], &go, 1);
        _exit(0);
    }
    char message = 0;
    ASSERT_EQ(1, read(toParent[0], &message, 1));
    EXPECT_EQ(1, message);
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Counter", REG_DWORD, Dword(2)));
    ASSERT_EQ(1, write(toChild[1], "x", 1));
    ASSERT_EQ(1, read(toParent[0], &message, 1));
    EXPECT_EQ(2, message);
    EXPECT_EQ(3u, QueryDword(key, u"Counter"));  // the child is still running
    ASSERT_EQ(1, write(toChild[1], "x", 1));
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    RegCloseKey(key);
}

// Threads creating one key in different spellings and writing at once:
// one key is made, and no write is lost.
TEST_F(RegistryTest, ConcurrentWritersQueue) {
    const std::u16string names[] = {u"Race\\Key", u"RACE\\KEY", u"race\\key", u"\\Race\\Key\\",
                                    u"rAcE\\kEy", u"Race\\\\KEY", u"RACE\\key", u"race\\KEY"};
    const int kThreads = sizeof names / sizeof names[0];
    std::vector<DWORD> dispositions(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            HKEY key = Create(HKEY_CURRENT_USER, names[i], &dispositions[i]);
            std::u16string value = u"V" + std::u16string(1, char16_t(u'0' + i));
            EXPECT_EQ(ERROR_SUCCESS, Set(key, value.c_str(), REG_DWORD, Dword(i)));
            RegCloseKey(key);
        });
    }
    for (std::thread &t : threads) t.join();
    int created = 0;
    for (DWORD d : dispositions) created += d == REG_CREATED_NEW_KEY ? 1 : 0;
    EXPECT_EQ(1, created);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Race\\Key", &key));
    EXPECT_EQ(size_t(kThreads), ValueNames(key).size());
    RegCloseKey(key);
}

// A registry file removed while the device is in use is made again, new.
TEST_F(RegistryTest, RemovedRegistryIsMadeAgain) {
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Old"));
    for (const char *suffix : {"", "-wal", "-shm"}) std::remove((Device().Root() + "/registry.db" + suffix).c_str());
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Old"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Microsoft\\AirSync\\Connection"));
}

// A transaction's writes are seen by no other connection until its commit,
// then all at once; an ended-without-commit one leaves nothing behind.
TEST_F(RegistryTest, TransactionIsSeenWholeOrNotAtAll) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Batch");
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Hour", REG_DWORD, Dword(8)));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Minute", REG_DWORD, Dword(0)));
    OtherThread other;

    ASSERT_EQ(ERROR_SUCCESS, RegBeginTransaction());
    EXPECT_EQ(ERROR_BUSY, RegBeginTransaction());
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Hour", REG_DWORD, Dword(18)));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Minute", REG_DWORD, Dword(30)));
    EXPECT_EQ(18u, QueryDword(key, u"Hour"));  // this thread reads its own writes
    other.Run([&] {
        EXPECT_EQ(8u, QueryDword(key, u"Hour"));
        EXPECT_EQ(0u, QueryDword(key, u"Minute"));
    });
    ASSERT_EQ(ERROR_SUCCESS, RegEndTransaction(TRUE));
    other.Run([&] {
        EXPECT_EQ(18u, QueryDword(key, u"Hour"));
        EXPECT_EQ(30u, QueryDword(key, u"Minute"));
    });

    ASSERT_EQ(ERROR_SUCCESS, RegBeginTransaction());
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Hour", REG_DWORD, Dword(7)));
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Batch\\Sub"));
    ASSERT_EQ(ERROR_SUCCESS, RegEndTransaction(FALSE));
    EXPECT_EQ(18u, QueryDword(key, u"Hour"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Batch\\Sub"));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, RegEndTransaction(TRUE));
    RegCloseKey(key);
}

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "device.h"
#include "filetestutil.h"
#include "support/ScopedEnv.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace fs = std::filesystem;

namespace {

bool IsDir(const std::string &path) { return fs::is_directory(path); }

// A scratch host folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "vantrel-scratch-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

using DeviceRootTest = DeviceTest;

TEST_F(DeviceRootTest, OpenLaysOutTheRootAndPublishesIt) {
    const std::string &root = Device().Root();
    for (const char *sub : {"/fs", "/fs/Temp", "/fs/Windows", "/run"}) EXPECT_TRUE(IsDir(root + sub)) << sub;
    EXPECT_EQ(root, DeviceRootPath());
    ASSERT_NE(nullptr, getenv(VANTREL_DEVICE_ENV));
    EXPECT_EQ(root, getenv(VANTREL_DEVICE_ENV));
}

TEST(DeviceOpenTest, RelativeRootBecomesAbsolute) {
    ScratchDir scratch;
    ScopedEnv env(VANTREL_DEVICE_ENV, nullptr);
    std::string cwd = fs::current_path().string();
    ASSERT_EQ(0, chdir(scratch.Path().c_str()));
    BOOL opened = DeviceOpen("dev/");
    ASSERT_EQ(0, chdir(cwd.c_str()));
    ASSERT_TRUE(opened);
    std::string expected = fs::canonical(scratch.Path()).string() + "/dev";
    EXPECT_EQ(expected, fs::weakly_canonical(DeviceRootPath()).string());
    EXPECT_EQ('/', DeviceRootPath()[0]);
    EXPECT_TRUE(IsDir(std::string(DeviceRootPath()) + "/fs/Temp"));
    DeviceClose();
}

// With no device open, the first platform call opens the default one.
TEST(DeviceOpenTest, DefaultRootComesFromTheEnvironment) {
    ScratchDir scratch;
    const std::string s = scratch.Path();
    struct Case {
        std::optional<std::string> device, xdg, home;
        std::string expected;
    } cases[] = {
        {s + "/named", s + "/xdg", s + "/home", s + "/named"},
        {std::nullopt, s + "/xdg", s + "/home", s + "/xdg/vantrel/device"},
        {std::string(), s + "/xdg", s + "/home", s + "/xdg/vantrel/device"},
        {std::nullopt, std::string("relative"), s + "/home", s + "/home/.local/share/vantrel/device"},
        {std::nullopt, std::nullopt, s + "/home", s + "/home/.local/share/vantrel/device"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        ScopedEnv device(VANTREL_DEVICE_ENV, c.device ? c.device->c_str() : nullptr);
        ScopedEnv xdg("XDG_DATA_HOME", c.xdg ? c.xdg->c_str() : nullptr);
        ScopedEnv home("HOME", c.home ? c.home->c_str() : nullptr);
        DeviceClose();
        EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\Temp"));
        EXPECT_EQ(c.expected, DeviceRootPath());
        EXPECT_EQ(c.expected, getenv(VANTREL_DEVICE_ENV));
        EXPECT_TRUE(IsDir(c.expected + "/fs/Windows"));
        DeviceClose();
    }
}

TEST_F(DeviceRootTest, MapsDevicePathsUnderFs) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Ärger", nullptr));
    const std::string fsRoot = Device().Root() + "/fs";
    struct Case {
        const char16_t *device;
        std::string host;
    } cases[] = {
        {u"\\Program Files\\Vantrel\\Logs\\x.log", "/Program Files/Vantrel/Logs/x.log"},
        {u"/a//b\\\\c/", "/a/b/c"},
        {u"Temp\\x", "/Temp/x"},
        {u"\\TEMP\\New\\Name", "/Temp/New/Name"},
        {u"\\wInDoWs", "/Windows"},
        {u"\\äRGER\\x", "/Ärger/x"},
        {u"\\", ""},
        {u"", ""},
    };
    for (const Case &c : cases) {
        std::string host;
        EXPECT_TRUE(vplat::DeviceMapPath(c.device, &host)) << c.host;
        EXPECT_EQ(fsRoot + c.host, host);
    }
}

TEST_F(DeviceRootTest, MapPrefersTheExactSpelling) {
    const std::string fsRoot = Device().Root() + "/fs";
    ASSERT_EQ(0, mkdir((fsRoot + "/abc").c_str(), 0777));
    ASSERT_EQ(0, mkdir((fsRoot + "/ABC").c_str(), 0777));
    EXPECT_EQ(fsRoot + "/abc", Device().Host(u"\\abc"));
    EXPECT_EQ(fsRoot + "/ABC", Device().Host(u"\\ABC"));
    EXPECT_EQ(fsRoot + "/ABC", Device().Host(u"\\aBc"));  // no exact match: the same one every time
}

TEST_F(DeviceRootTest, RefusesNamesTheDeviceCannotHold) {
    std::u16string longest(MAX_PATH - 1, u'a');
    longest[0] = u'\\';
    std::u16string tooLong = longest + u"a";
    const struct {
        std::u16string path;
        DWORD error;
    } cases[] = {
        {u".", ERROR_INVALID_NAME},         {u"\\Temp\\..\\..\\x", ERROR_INVALID_NAME},
        {u"\\.\\x", ERROR_INVALID_NAME},    {u"a<b", ERROR_INVALID_NAME},
        {u"a>b", ERROR_INVALID_NAME},       {u"c:\\x", ERROR_INVALID_NAME},
        {u"a\"b", ERROR_INVALID_NAME},      {u"a|b", ERROR_INVALID_NAME},
        {u"a?b", ERROR_INVALID_NAME},       {u"*.txt", ERROR_INVALID_NAME},
        {u"a\x01" u"b", ERROR_INVALID_NAME}, {u"a\x1F", ERROR_INVALID_NAME},
        {u"\xD800x", ERROR_INVALID_NAME},   {tooLong, ERROR_FILENAME_EXCED_RANGE},
    };
    for (const auto &c : cases) {
        std::string host;
        SetLastError(0);
        EXPECT_FALSE(vplat::DeviceMapPath(c.path.c_str(), &host)) << vplat::Utf16ToUtf8(c.path.c_str());
        EXPECT_EQ(c.error, GetLastError()) << vplat::Utf16ToUtf8(c.path.c_str());
    }
    std::string host;
    EXPECT_TRUE(vplat::DeviceMapPath(longest.c_str(), &host));
    EXPECT_TRUE(vplat::DeviceMapPath(u"\\a..b\\...x", &host));
}

// No call reaches outside fs/ through "..".
TEST_F(DeviceRootTest, DotDotNeverLeavesTheDevice) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(u"\\Temp\\..\\..\\escape.txt", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(DWORD(ERROR_INVALID_NAME), GetLastError());
    EXPECT_FALSE(CreateDirectoryW(u"..\\escape", nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_NAME), GetLastError());
    EXPECT_FALSE(HostExists(Device().Root() + "/escape.txt"));
    EXPECT_FALSE(HostExists(Device().Root() + "/escape"));
}

// Fuzz target: any bytes as the folder-info store's database file on a device, opened and walked as the engine
// walks it. The first byte chooses how: bit 0 puts the same bytes in the snapshot too (else there is none),
// bit 1 opens read-only (else read/write), bit 2 opens with create, bit 3 changes the folders and saves, bit 4
// reads the file as a plain record database as well. A file is either refused with an error or read whole;
// what a save wrote must open again. A crash, a sanitizer report, a hang or a saved file that no longer opens
// is a fault.

#include "DEASFolderInfoStore.h"
#include "DSimpleDBVFile.h"
#include "VFile.h"
#include "device.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const char16_t kDatabase[] = u"\\Temp\\FolderInfo.brw";
const char16_t kSnapshot[] = u"\\Temp\\FolderInfo.ro";

// A temporary device for the whole run, removed at exit; in memory where the host offers it, since every save
// flushes its file to disk.
struct FuzzDevice {
    std::string root;
    FuzzDevice()
    {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "vantrel-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr || !DeviceOpen(pattern.c_str()))
            std::abort();
        root = pattern;
    }
    ~FuzzDevice()
    {
        DeviceClose();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

std::string Host(const char16_t* path)
{
    std::string host;
    vplat::DeviceMapPath(path, &host);
    return host;
}

// Leaves the Temp folder empty, then writes the file (and the snapshot).
void Lay(const std::string& bytes, bool snapshot)
{
    const std::filesystem::path temp = std::filesystem::path(Host(kDatabase)).parent_path();
    std::error_code ec;
    std::filesystem::remove_all(temp, ec);
    std::filesystem::create_directories(temp, ec);
    std::ofstream(Host(kDatabase), std::ios::binary) << bytes;
    if (snapshot)
        std::ofstream(Host(kSnapshot), std::ios::binary) << bytes;
}

volatile uint32_t g_sink;

// Every field of every folder, and the store's walks and lookups, as the engine makes them.
void WalkFolders(DEASFolderInfoStore& store)
{
    const char* key = nullptr;
    if (store.GetFolderSyncKey(&key) == kNoError && key != nullptr)
        g_sink = uint32_t(std::string(key).size());
    uint32_t count = 0;
    if (store.GetRecordCount(&count) != kNoError)
        return;
    for (uint32_t i = 0; i < count; ++i) {
        DEASFolderInfoRecord* folder = nullptr;
        if (store.GetFolderAt(i, &folder) != kNoError || folder == nullptr)
            continue;
        uint32_t sum = 0;
        for (uint32_t field : {kFolderFieldType, kFolderFieldFlags, kFolderFieldParentRecordID})
            sum += folder->GetInt(field);
        for (uint32_t field :
             {kFolderFieldServerID, kFolderFieldDisplayName, kFolderFieldSyncKey, kFolderFieldPendingParent})
            sum += uint32_t(std::string(folder->GetString(field)).size());
        const BYTE* data = folder->GetData();
        for (uint32_t b = 0; data != nullptr && b < folder->GetDataSize(); ++b)
            sum += data[b];
        const char* parent = nullptr;
        if (folder->GetParentServerID(&store, &parent) == kNoError && parent != nullptr)
            sum += uint32_t(std::string(parent).size());
        sum += folder->HasPendingParent() ? 1 : 0;
        DEASFolderInfoRecord* found = nullptr;
        store.FindFolderByServerID(folder->GetString(kFolderFieldServerID), &found);
        if (data != nullptr)
            store.FindFolderByData(data, folder->GetDataSize(), &found);
        DEASFolderInfoRecord* child = nullptr;
        for (uint32_t n = 0; n <= count && store.FindNextChild(folder, &child) == kNoError && child != nullptr; ++n)
            sum += child->GetRecordID();
        g_sink = sum;
    }
    for (uint32_t n = 0; n <= count + 1 && store.NextSyncFolder(n % 2 == 0) == kNoError; ++n) {
        DEASFolderInfoRecord* current = nullptr;
        store.GetCurrentFolder(&current);
    }
    bool found = false;
    for (uint32_t n = 0; n <= count + 1 && store.NextFlaggedFolder(&found) == kNoError && found; ++n) {
        DEASFolderInfoRecord* current = nullptr;
        store.GetCurrentFlaggedFolder(&current);
    }
    for (uint32_t type = kFolderTypeGeneric; type <= kFolderTypeUserNotes; ++type) {
        DEASFolderInfoRecord* folder = nullptr;
        store.FindFirstFolderOfType(type, &folder);
        for (uint32_t n = 0; n <= count && folder != nullptr && store.FindNextFolderOfType(type, &folder) == kNoError;
             ++n) {
        }
    }
    bool set = false;
    store.IsMailFolderFlagSet(kFolderFlagSync, &set);
}

// Changes as a sync makes them: a folder tree removed, keys reset, a folder added, flags set; then saved.
DErrorCode ChangeAndSave(DEASFolderInfoStore& store)
{
    DEASFolderInfoRecord* first = nullptr;
    if (store.GetFolderAt(0, &first) == kNoError && first != nullptr)
        store.RemoveFolderTree(first);
    store.ResetMailFolders(false);
    store.SetMailFolderFlag(kFolderFlagWalk, true);
    DEASFolderInfoRecord* added = nullptr;
    store.AddFolder(&added, kFolderTypeUserMail, "fuzz", "Fuzz", nullptr, "id", 2, kQvUnknown, kFolderFlagSync);
    store.SetFolderSyncKey("7");
    return store.Save();
}

// Every field of every record of the file read as a plain database.
void WalkPlain(VFile& file, int mode)
{
    DSimpleDBVFile db(&file);
    if (db.Open(mode, false) != kNoError)
        return;
    uint32_t count = 0;
    db.GetRecordCount(&count);
    for (uint32_t i = 0; i < count; ++i) {
        DSimpleDBRecord* record = nullptr;
        if (db.GetRecordAt(i, &record) != kNoError || record == nullptr)
            continue;
        DSimpleDBRecordField* field = nullptr;
        for (uint32_t f = 0; record->GetFieldAt(f, &field) == kNoError && field != nullptr; ++f)
            g_sink = field->GetSerializedSize() + field->GetType();
    }
    db.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzDevice device;
    if (size == 0)
        return 0;
    const uint8_t how = data[0];
    Lay(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), (how & 1) != 0);
    const int mode = (how & 2) != 0 ? kDBReadOnly : kDBReadWrite;
    const bool create = (how & 4) != 0;

    VFile file;
    if (file.SetFileName(kDatabase) != kNoError)
        std::abort();
    if ((how & 16) != 0)
        WalkPlain(file, mode);
    DEASFolderInfoStore store(&file);
    if (store.Open(mode, create) != kNoError)
        return 0;
    WalkFolders(store);
    if ((how & 8) != 0 && mode == kDBReadWrite && ChangeAndSave(store) == kNoError) {
        // What a save wrote opens again, in both modes, and holds the folder it added.
        store.Close();
        for (int again : {kDBReadWrite, kDBReadOnly}) {
            DEASFolderInfoStore reopened(&file);
            DEASFolderInfoRecord* added = nullptr;
            if (reopened.Open(again, false) != kNoError ||
                reopened.FindFolderByServerID("fuzz", &added) != kNoError)
                std::abort();
            WalkFolders(reopened);
            reopened.Close();
        }
    }
    store.Close();
    return 0;
}

// The device's registry as kept in <device root>/registry.db: a table of
// keys (each under its parent, with its name as created and its name folded
// to upper case for lookups) and a table of values (key, name, folded name,
// type, data). Key ids are never reused, so a handle that remembers a
// deleted key's id cannot come to name another key. Names are kept as
// UTF-16 units. Each thread of each process has its own connection to the
// open device's file (RegistryForThread); every operation here reads or
// writes the file directly, nothing is cached between calls.
#ifndef VPLATFORM_REGISTRYSTORE_H
#define VPLATFORM_REGISTRYSTORE_H

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sqlitedb.h"
#include "wintypes.h"

namespace vplat {

// The predefined roots, by the low bits of their HKEY values.
enum RegistryRoot { kRootClasses = 0, kRootCurrentUser = 1, kRootLocalMachine = 2, kRootUsers = 3, kRootCount = 4 };

// A key of the registry: its root and its row. A root's own row is fixed.
struct RegistryKeyRef {
    int root = 0;
    int64_t id = 0;
};
inline RegistryKeyRef RegistryRootKey(int root) { return RegistryKeyRef{root, root + 1}; }

// A sub-key path's names, without empty ones: "\A\\B\" gives A, B.
std::vector<std::u16string> SplitKeyPath(const WCHAR *path);
// A key or value name folded for comparison (each unit upper-cased as the
// device does).
std::u16string FoldName(const std::u16string &name);

// What RegQueryInfoKeyW reports (lengths in characters, data in bytes).
struct RegistryKeyInfo {
    DWORD subKeys = 0, maxSubKeyLen = 0;
    DWORD values = 0, maxValueNameLen = 0, maxValueLen = 0;
};

// One connection to a device's registry and the operations on its rows.
class RegistryStore {
public:
    // Opens (making and seeding when new) the registry of the device at
    // deviceRoot. Returns 0 or an error number.
    DWORD Open(const std::string &deviceRoot);
    // Whether this connection still serves the device root given in this
    // process (the file may have been removed or replaced meanwhile).
    bool Serves(const std::string &deviceRoot) const;
    // Whether this process opened the connection (not a parent before a fork).
    bool OpenedHere() const;
    // Forgets the connection (and an open transaction of the caller's)
    // without touching the file: for a child that inherited it.
    void Abandon();
    const std::string &DeviceRoot() const { return m_deviceRoot; }
    SqliteDb &Db() { return m_db; }

    // The caller's transaction (RegBeginTransaction): while it is open every
    // registry call of this thread joins it instead of making its own.
    DWORD BeginCallerTransaction();
    DWORD EndCallerTransaction(bool commit);
    bool InCallerTransaction() const { return m_callerTx != nullptr; }

    // Each operation below is one statement, or runs inside the caller's
    // SqliteTransaction on Db().
    DWORD KeyExists(int64_t id, bool *exists);
    // Walks names from a key; *found is false when one is missing.
    DWORD FindPath(RegistryKeyRef from, const std::vector<std::u16string> &names, RegistryKeyRef *key, bool *found);
    // Walks names from a key, creating what is missing; *created is true when
    // the last key was made. Call inside a write transaction.
    DWORD CreatePath(RegistryKeyRef from, const std::vector<std::u16string> &names, RegistryKeyRef *key,
                     bool *created);
    // Deletes a key with every key below it and all their values.
    DWORD DeleteTree(int64_t id);
    DWORD SubKeyAt(int64_t id, DWORD index, std::u16string *name, bool *found);
    DWORD GetInfo(int64_t id, RegistryKeyInfo *info);

    DWORD GetValue(int64_t id, const std::u16string &name, DWORD *type, std::vector<BYTE> *data, bool *found);
    DWORD SetValue(int64_t id, const std::u16string &name, DWORD type, const BYTE *data, DWORD size);
    DWORD DeleteValue(int64_t id, const std::u16string &name, bool *found);
    DWORD ValueAt(int64_t id, DWORD index, std::u16string *name, DWORD *type, std::vector<BYTE> *data,
                  bool *found);

    // Pushes the write-ahead log into the main file, as far as no reader
    // holds it back.
    DWORD Checkpoint();

private:
    DWORD SchemaVersion(int64_t *version);
    DWORD MakeSchema();

    SqliteDb m_db;
    std::unique_ptr<SqliteTransaction> m_callerTx;
    std::string m_deviceRoot;
    std::string m_path;
    pid_t m_pid = 0;
    dev_t m_fileDevice = 0;
    ino_t m_fileInode = 0;
};

// Creates the platform's own keys of a new registry (inside the transaction
// that makes it).
DWORD SeedDeviceKeys(RegistryStore &store);

// This thread's connection to the open device's registry, opened (or
// reopened, after a fork or when the device changed) as needed. Returns 0
// or an error number.
DWORD RegistryForThread(RegistryStore **store);

}  // namespace vplat

#endif

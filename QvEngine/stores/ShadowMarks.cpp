#include "ShadowMarks.h"

#include <map>
#include <mutex>
#include <set>
#include <string>

namespace {

struct Marks {
    bool known = false;
    std::set<CEOID> oids;
};

// Sets by database name: every handle of a database in the process shares one.
struct Registry {
    std::mutex lock;
    std::map<HANDLE, std::u16string> names;
    std::map<std::u16string, Marks> marks;
};

Registry &Instance() {
    static Registry *registry = new Registry;  // outlives every static that closes a database
    return *registry;
}

Marks *Find(Registry &r, HANDLE db) {
    auto name = r.names.find(db);
    return name == r.names.end() ? nullptr : &r.marks[name->second];
}

}  // namespace

void ShadowMarksRegister(HANDLE db, const WCHAR *name) {
    Registry &r = Instance();
    std::lock_guard<std::mutex> guard(r.lock);
    r.names[db] = name;
    r.marks[name].known = false;
}

void ShadowMarksUnregister(HANDLE db) {
    Registry &r = Instance();
    std::lock_guard<std::mutex> guard(r.lock);
    r.names.erase(db);
}

void ShadowMarksNote(HANDLE db, CEOID oid, uint32_t flags) {
    if ((flags & kShadowMarkFlags) == 0) return;
    Registry &r = Instance();
    std::lock_guard<std::mutex> guard(r.lock);
    Marks *marks = Find(r, db);
    if (marks != nullptr) {
        marks->oids.insert(oid);
        return;
    }
    // Which database it went to is not known: no set can be trusted.
    for (auto &entry : r.marks) entry.second.known = false;
}

bool ShadowMarksGet(HANDLE db, std::vector<CEOID> *oids) {
    Registry &r = Instance();
    std::lock_guard<std::mutex> guard(r.lock);
    Marks *marks = Find(r, db);
    if (marks == nullptr || !marks->known) return false;
    oids->assign(marks->oids.begin(), marks->oids.end());
    return true;
}

void ShadowMarksComplete(HANDLE db, const std::vector<CEOID> &oids) {
    Registry &r = Instance();
    std::lock_guard<std::mutex> guard(r.lock);
    Marks *marks = Find(r, db);
    if (marks == nullptr) return;
    // Marks noted during the read stay.
    marks->oids.insert(oids.begin(), oids.end());
    marks->known = true;
}

void ShadowMarksDrop(HANDLE db, CEOID oid) {
    Registry &r = Instance();
    std::lock_guard<std::mutex> guard(r.lock);
    Marks *marks = Find(r, db);
    if (marks != nullptr) marks->oids.erase(oid);
}

#include "DWinMobCalendarManager.h"

#include <new>

#include "DWinMobOutlookCalendarItem.h"
#include <map>
#include <mutex>
#include <string>

#include "device.h"

#include "wintime.h"

namespace {

// Two zone records name one zone when their rules agree; the names are
// not compared.
bool SameRules(const TIME_ZONE_INFORMATION &a, const TIME_ZONE_INFORMATION &b) {
    auto same = [](const SYSTEMTIME &x, const SYSTEMTIME &y) {
        return x.wYear == y.wYear && x.wMonth == y.wMonth && x.wDayOfWeek == y.wDayOfWeek && x.wDay == y.wDay &&
               x.wHour == y.wHour && x.wMinute == y.wMinute;
    };
    return a.Bias == b.Bias && a.StandardBias == b.StandardBias && a.DaylightBias == b.DaylightBias &&
           same(a.StandardDate, b.StandardDate) && same(a.DaylightDate, b.DaylightDate);
}

// The device's zone at this program's last open of the calendar, per
// device.
std::mutex g_zoneLock;
std::map<std::string, TIME_ZONE_INFORMATION> g_zones;

const DPimStoreKind kCalendarKind = {olFolderCalendar, u"Appointments Database", kShadowCalendar,
                                     kOutlookItemAppointment, "ERROR - Calendar Manager"};
}  // namespace

DErrorCode AllocateCalendarManager(DOutlookManager **manager, IGlobalData *context, IOutlookManagerClient *client) {
    if (manager == nullptr) return generalErrInvalidParameter;
    *manager = nullptr;
    DWinMobCalendarManager *made = new (std::nothrow) DWinMobCalendarManager;
    if (made == nullptr) return generalErrMemoryError;
    DErrorCode err = made->InitForSync(context, client);
    if (err != kNoError) {
        delete made;
        return err;
    }
    *manager = made;
    return kNoError;
}

DWinMobCalendarManager::DWinMobCalendarManager() : DWinMobPimManager<DCalendarManager>(kCalendarKind) {}

DWinMobCalendarManager::~DWinMobCalendarManager() = default;

DErrorCode DWinMobCalendarManager::Open() {
    const DErrorCode err = DWinMobPimManager<DCalendarManager>::Open();
    TIME_ZONE_INFORMATION device = {};
    if (err != kNoError || GetTimeZoneInformation(&device) == TIME_ZONE_ID_INVALID) return err;
    const char *root = DeviceRootPath();
    std::lock_guard<std::mutex> hold(g_zoneLock);
    auto seen = g_zones.emplace(root != nullptr ? root : "", device);
    const bool changed = !seen.second && !SameRules(seen.first->second, device);
    seen.first->second = device;
    return changed ? ASDataManagerErrTimeZoneChanged : kNoError;
}

DErrorCode DWinMobCalendarManager::CreateItemForOid(LONG objectID, IOutlookItem **item) {
    return LoadItemForOid<DWinMobOutlookCalendarItem>(objectID, item);
}

DErrorCode DWinMobCalendarManager::DeleteItemObject(IOutlookItem *item) {
    auto *meeting = dynamic_cast<IOutlookMeeting *>(item);
    return meeting != nullptr ? meeting->Delete() : generalErrInvalidParameter;
}

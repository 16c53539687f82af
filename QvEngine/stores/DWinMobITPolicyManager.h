// DWinMobITPolicyManager: the IT-policy store on the device: the policy
// values under the current user's "Software\Brellow\Vantrel\ITPolicy",
// shared by the engine and the policy applet and library.
//
// Contract:
// - Load sets both keys to "0", creates the key when it is missing and reads
//   the nine values in table order. A value that is missing is written from
//   the object (so the first Load stores the defaults); a value that is
//   there but cannot be read (another type or shape) ends Load with its
//   error and is left as stored, never overwritten with a default. The
//   values after a failing one keep what the object held. Load reads one
//   consistent state: a Save of another process is seen whole or not at all.
// - Save writes the nine values in table order in one registry transaction.
// - IsPolicySatisfied and CheckPolicyEnabled compare the two keys' text
//   exactly: 0 when equal, else ASDataManagerErrITPolicyNotSatisfied and
//   ASDataManagerErrITPolicyDisabled.
// - MarkPolicySatisfied is Load, the required key copied to the satisfied
//   key, and Save, as one registry transaction, so that a policy another
//   process stores meanwhile is never marked with the old key.
#ifndef QV_DWINMOBITPOLICYMANAGER_H
#define QV_DWINMOBITPOLICYMANAGER_H

#include "DITPolicyManager.h"

class DWinMobITPolicyManager : public DITPolicyManager {
public:
    DWinMobITPolicyManager() = default;
    ~DWinMobITPolicyManager() override = default;

    DErrorCode Load() override;
    DErrorCode Save() override;
    DErrorCode IsPolicySatisfied() override;
    DErrorCode CheckPolicyEnabled() override;

    DErrorCode MarkPolicySatisfied();

private:
    // The key opened (created when missing) for reading and writing.
    DErrorCode LoadValues();
    DErrorCode SaveValues();
    // TRUE when both keys hold the same text.
    bool KeysMatch() const;
};

// A new store, loaded; 0x07370001 when it cannot be made. On any other
// failure *manager is the store as far as it loaded (the caller owns it).
DErrorCode AllocateITPolicyManager(DWinMobITPolicyManager **manager);

#endif

// DITPolicyManager: the server's device-security policy in memory: the key
// the server requires, the key the device last enforced, and the password
// and wipe values, each with a getter and a setter. This base keeps them
// nowhere: Load only sets both keys to "0", Save does nothing, and both
// checks succeed. DWinMobITPolicyManager keeps them in the registry.
//
// Contract: every operation returns an error code (0 on success) and never
// throws. Keys are held as UTF-16LE text of at most 127 characters (as the
// registry keeps them), so that two keys compare by their text whatever
// encoding they were handed in.
#ifndef QV_DITPOLICYMANAGER_H
#define QV_DITPOLICYMANAGER_H

#include <cstdint>

#include "DErrorCode.h"
#include "VString.h"
#include "wintypes.h"

// Longest key text in characters, the terminator included.
constexpr uint32_t kITPolicyKeyMaxChars = 128;

// The defaults a new object holds.
constexpr DWORD kITPolicyDefaultFrequencyType = 0;
constexpr DWORD kITPolicyDefaultFrequencyValue = 0;
constexpr DWORD kITPolicyDefaultDeviceWipeThreshold = 0;
constexpr DWORD kITPolicyDefaultCodewordFrequency = 0xFFFFFFFF;
constexpr DWORD kITPolicyDefaultMinimumPasswordLength = 1;
constexpr DWORD kITPolicyDefaultPasswordComplexity = 2;

class DITPolicyManager {
public:
    DITPolicyManager() = default;
    virtual ~DITPolicyManager() = default;
    DITPolicyManager(const DITPolicyManager &) = delete;
    DITPolicyManager &operator=(const DITPolicyManager &) = delete;

    // Sets both keys to "0".
    virtual DErrorCode Load();
    virtual DErrorCode Save();
    // 0 when the required key equals the satisfied key; see the subclass.
    virtual DErrorCode IsPolicySatisfied();
    virtual DErrorCode CheckPolicyEnabled();

    virtual DErrorCode SetRequiredKey(const VString &key);
    virtual DErrorCode GetRequiredKey(VString *key);
    virtual DErrorCode SetSatisfiedKey(const VString &key);
    virtual DErrorCode GetSatisfiedKey(VString *key);
    virtual DErrorCode SetFrequencyType(DWORD value);
    virtual DErrorCode GetFrequencyType(DWORD *value);
    virtual DErrorCode SetFrequencyValue(DWORD value);
    virtual DErrorCode GetFrequencyValue(DWORD *value);
    virtual DErrorCode SetDeviceWipeThreshold(DWORD value);
    virtual DErrorCode GetDeviceWipeThreshold(DWORD *value);
    virtual DErrorCode SetCodewordFrequency(DWORD value);
    virtual DErrorCode GetCodewordFrequency(DWORD *value);
    virtual DErrorCode SetMinimumPasswordLength(DWORD value);
    virtual DErrorCode GetMinimumPasswordLength(DWORD *value);
    virtual DErrorCode SetPasswordComplexity(DWORD value);
    virtual DErrorCode GetPasswordComplexity(DWORD *value);
    // A flag: any non-zero value is kept as 1.
    virtual DErrorCode SetIsFirstEnforcement(BOOL value);
    virtual DErrorCode GetIsFirstEnforcement(BOOL *value);

    // "0" into the stored "RequiredKey" and "SatisfiedKey" (the global
    // info's ResetITPolicyKeys is the same reset).
    static DErrorCode ResetPolicyKeys();

protected:
    // Both keys to "0".
    DErrorCode ResetKeysInMemory();
    // The keys' text as kept: UTF-16LE, cut to the registry's limit.
    static DErrorCode CopyKey(const VString &from, VString *to);

    VString m_requiredKey;
    VString m_satisfiedKey;
    DWORD m_frequencyType = kITPolicyDefaultFrequencyType;
    DWORD m_frequencyValue = kITPolicyDefaultFrequencyValue;
    DWORD m_deviceWipeThreshold = kITPolicyDefaultDeviceWipeThreshold;
    DWORD m_codewordFrequency = kITPolicyDefaultCodewordFrequency;
    DWORD m_minimumPasswordLength = kITPolicyDefaultMinimumPasswordLength;
    DWORD m_passwordComplexity = kITPolicyDefaultPasswordComplexity;
    BOOL m_isFirstEnforcement = TRUE;
};

#endif

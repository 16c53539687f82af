// The IT-policy store over the registry: first load, the nine values' round
// trip, values that cannot be read, the satisfied rule and the key reset.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "DWinMobITPolicyManager.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "winerror.h"
#include "winreg.h"

namespace {

const char16_t *const kPolicyKey = u"Software\\Brellow\\Vantrel\\ITPolicy";

VString Text(const char *ascii, VStringEncoding tag) {
    VString text;
    EXPECT_EQ(text.AssignCStr(ascii, kVStringWindows1252), kNoError);
    EXPECT_EQ(text.ConvertTo(tag), kNoError);
    return text;
}

std::u16string WideOf(const VString &text) {
    VString wide;
    EXPECT_EQ(wide.Assign(text), kNoError);
    EXPECT_EQ(wide.ConvertTo(kVStringUTF16LE), kNoError);
    return wide.GetWideText();
}

void MakePolicyKey() {
    HKEY h;
    DWORD disposition;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disposition),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

using ITPolicyStoreTest = DeviceTest;

TEST_F(ITPolicyStoreTest, FirstLoadStoresTheNineDefaultsInOrderAndIsSatisfied) {
    DWinMobITPolicyManager *store = nullptr;
    ASSERT_EQ(AllocateITPolicyManager(&store), kNoError);
    EXPECT_EQ(store->IsPolicySatisfied(), kNoError);
    EXPECT_EQ(store->CheckPolicyEnabled(), kNoError);
    delete store;

    const std::vector<std::pair<std::u16string, RawValue>> expected = {
        {u"RequiredKey", TextValue(u"0")},          {u"SatisfiedKey", TextValue(u"0")},
        {u"FrequencyType", DwordValue(0)},          {u"FrequencyValue", DwordValue(0)},
        {u"DeviceWipeThreshold", DwordValue(0)},    {u"CodewordFrequency", DwordValue(0xFFFFFFFF)},
        {u"MinimumPasswordLength", DwordValue(1)},  {u"PasswordComplexity", DwordValue(2)},
        {u"IsFirstEnforcement", DwordValue(1)},
    };
    std::vector<std::u16string> names;
    for (const auto &row : expected) {
        names.push_back(row.first);
        EXPECT_EQ(Raw(kPolicyKey, row.first.c_str()), row.second) << Narrow(row.first);
    }
    EXPECT_EQ(ValueNames(kPolicyKey), names);
}

TEST_F(ITPolicyStoreTest, TheNineValuesRoundTripThroughTheRegistry) {
    {
        DWinMobITPolicyManager store;
        ASSERT_EQ(store.Load(), kNoError);
        ASSERT_EQ(store.SetRequiredKey(Text("3101740659", kVStringWindows1252)), kNoError);
        ASSERT_EQ(store.SetSatisfiedKey(Text("1234", kVStringUTF8)), kNoError);
        store.SetFrequencyType(1);
        store.SetFrequencyValue(15);
        store.SetDeviceWipeThreshold(8);
        store.SetCodewordFrequency(4);
        store.SetMinimumPasswordLength(6);
        store.SetPasswordComplexity(0);
        store.SetIsFirstEnforcement(FALSE);
        ASSERT_EQ(store.Save(), kNoError);
    }
    EXPECT_EQ(Raw(kPolicyKey, u"RequiredKey"), TextValue(u"3101740659"));
    EXPECT_EQ(Raw(kPolicyKey, u"IsFirstEnforcement"), DwordValue(0));

    DWinMobITPolicyManager store;
    ASSERT_EQ(store.Load(), kNoError);
    VString key;
    ASSERT_EQ(store.GetRequiredKey(&key), kNoError);
    EXPECT_EQ(WideOf(key), u"3101740659");
    ASSERT_EQ(store.GetSatisfiedKey(&key), kNoError);
    EXPECT_EQ(WideOf(key), u"1234");
    DWORD n = 0;
    const std::vector<std::pair<DErrorCode (DITPolicyManager::*)(DWORD *), DWORD>> numbers = {
        {&DITPolicyManager::GetFrequencyType, 1},       {&DITPolicyManager::GetFrequencyValue, 15},
        {&DITPolicyManager::GetDeviceWipeThreshold, 8}, {&DITPolicyManager::GetCodewordFrequency, 4},
        {&DITPolicyManager::GetMinimumPasswordLength, 6}, {&DITPolicyManager::GetPasswordComplexity, 0},
    };
    for (size_t i = 0; i < numbers.size(); ++i) {
        ASSERT_EQ((store.*numbers[i].first)(&n), kNoError);
        EXPECT_EQ(n, numbers[i].second) << "value " << i;
    }
    BOOL first = TRUE;
    ASSERT_EQ(store.GetIsFirstEnforcement(&first), kNoError);
    EXPECT_EQ(first, FALSE);

    // Any non-zero flag another program stored reads as 1.
    WriteDword(kPolicyKey, u"IsFirstEnforcement", 5);
    ASSERT_EQ(store.Load(), kNoError);
    ASSERT_EQ(store.GetIsFirstEnforcement(&first), kNoError);
    EXPECT_EQ(first, TRUE);
}

TEST_F(ITPolicyStoreTest, AValueThatCannotBeReadFailsLoadAndIsNeverOverwritten) {
    struct Case {
        const char16_t *name;
        RawValue stored;
    };
    RawValue oddText = TextValue(u"12");
    oddText.bytes.pop_back();  // an odd byte count is no text
    const Case cases[] = {
        {u"RequiredKey", DwordValue(7)},
        {u"SatisfiedKey", oddText},
        {u"FrequencyType", TextValue(u"1")},
        {u"DeviceWipeThreshold", RawValue{REG_BINARY, {8, 0}}},
        {u"IsFirstEnforcement", TextValue(u"0")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        RegDeleteKeyW(HKEY_CURRENT_USER, kPolicyKey);  // each case starts from no key
        MakePolicyKey();
        // A stored policy, one of whose values another program damaged.
        WriteRaw(kPolicyKey, u"RequiredKey", TextValue(u"77"));
        WriteRaw(kPolicyKey, u"SatisfiedKey", TextValue(u"77"));
        WriteDword(kPolicyKey, u"FrequencyType", 1);
        WriteDword(kPolicyKey, u"DeviceWipeThreshold", 8);
        WriteDword(kPolicyKey, u"IsFirstEnforcement", 0);
        WriteRaw(kPolicyKey, c.name, c.stored);
        const auto before = Snapshot(kPolicyKey);

        DWinMobITPolicyManager store;
        EXPECT_EQ(store.Load(), static_cast<DErrorCode>(ERROR_INVALID_DATA));
        EXPECT_EQ(Raw(kPolicyKey, c.name), c.stored);
        // Only values that were missing may have been added.
        for (const auto &kept : before) EXPECT_EQ(Raw(kPolicyKey, kept.first.c_str()), kept.second);
    }
}

TEST_F(ITPolicyStoreTest, APolicyIsSatisfiedOnceItsKeyIsMarked) {
    DWinMobITPolicyManager engine;
    ASSERT_EQ(engine.Load(), kNoError);
    ASSERT_EQ(engine.SetRequiredKey(Text("A", kVStringWindows1252)), kNoError);
    ASSERT_EQ(engine.Save(), kNoError);
    EXPECT_EQ(engine.IsPolicySatisfied(), ASDataManagerErrITPolicyNotSatisfied);
    EXPECT_EQ(engine.CheckPolicyEnabled(), ASDataManagerErrITPolicyDisabled);

    // The policy applet, after enforcing it.
    DWinMobITPolicyManager applet;
    ASSERT_EQ(applet.MarkPolicySatisfied(), kNoError);
    EXPECT_EQ(applet.IsPolicySatisfied(), kNoError);
    EXPECT_EQ(Raw(kPolicyKey, u"SatisfiedKey"), TextValue(u"A"));

    ASSERT_EQ(engine.Load(), kNoError);
    EXPECT_EQ(engine.IsPolicySatisfied(), kNoError);
    EXPECT_EQ(engine.CheckPolicyEnabled(), kNoError);

    // Keys compare by their text, whatever encoding they were handed in; case counts.
    DITPolicyManager *memory = new DWinMobITPolicyManager;
    ASSERT_EQ(memory->SetRequiredKey(Text("Key9", kVStringUTF8)), kNoError);
    ASSERT_EQ(memory->SetSatisfiedKey(Text("Key9", kVStringUTF16LE)), kNoError);
    EXPECT_EQ(memory->IsPolicySatisfied(), kNoError);
    ASSERT_EQ(memory->SetSatisfiedKey(Text("key9", kVStringUTF16LE)), kNoError);
    EXPECT_EQ(memory->IsPolicySatisfied(), ASDataManagerErrITPolicyNotSatisfied);
    delete memory;
}

TEST_F(ITPolicyStoreTest, ResetPolicyKeysWritesZeroesAndCreatesNothing) {
    EXPECT_EQ(DITPolicyManager::ResetPolicyKeys(), kNoError);
    RawValue unused;
    EXPECT_EQ(ReadRaw(kPolicyKey, u"RequiredKey", &unused), ERROR_FILE_NOT_FOUND);

    DWinMobITPolicyManager store;
    ASSERT_EQ(store.Load(), kNoError);
    ASSERT_EQ(store.SetRequiredKey(Text("5", kVStringWindows1252)), kNoError);
    ASSERT_EQ(store.SetSatisfiedKey(Text("5", kVStringWindows1252)), kNoError);
    store.SetMinimumPasswordLength(8);
    ASSERT_EQ(store.Save(), kNoError);

    EXPECT_EQ(DITPolicyManager::ResetPolicyKeys(), kNoError);
    EXPECT_EQ(Raw(kPolicyKey, u"RequiredKey"), TextValue(u"0"));
    EXPECT_EQ(Raw(kPolicyKey, u"SatisfiedKey"), TextValue(u"0"));
    EXPECT_EQ(Raw(kPolicyKey, u"MinimumPasswordLength"), DwordValue(8));
}

}  // namespace

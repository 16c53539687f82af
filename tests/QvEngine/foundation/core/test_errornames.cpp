#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ErrorNames.h"

namespace {

std::string General(unsigned code) {
    char buf[kErrorNameBufferSize];
    memset(buf, 'x', sizeof buf);
    GetGeneralErrorName(buf, code);
    return buf;
}

std::string SyncLayer(unsigned code) {
    char buf[kErrorNameBufferSize];
    memset(buf, 'x', sizeof buf);
    GetActiveSyncErrorName(buf, code);
    return buf;
}

struct NameCase {
    unsigned code;
    const char *name;
};

TEST(ErrorNames, SyncLayerLookupNamesEveryKindOfCode) {
    const NameCase cases[] = {
        {0, "NO_ERROR"},
        {0x07370003, "generalErrNULLPointer"},
        {0x0737010B, "vfileErrFileAccesDenied"},
        {0x07373004, "dbFieldSerialzeOutError"},
        {0x07370D03, "activeSyncErrDataReady (NOT ERROR)"},
        {0x07370C0D, "httpErrTransactionNotSupported"},
        {0x0737110D, "ASDataManagerErrITPolicyDisabled"},
        {0x0737FFFF, "customErrUnknown"},
        // Unlisted codes of the sync layers name their layer.
        {0x07370C0A, "Undefined HTTPLayer Error (10)"},
        {0x07370D10, "Undefined ActiveSync Layer Error (16)"},
        {0x07370E00, "Undefined Active Task Layer Error (0)"},
        {0x073711FF, "Undefined ActiveSync Data Manager Layer Error (255)"},
        // Unlisted codes of the general groups.
        {0x07370110, "Undefined VFile Error (16)"},
        {0x0737000C, "Undefined General Error (12)"},
        {0x073702AA, "Undefined OLE Error (170)"},
        {0x0737F001, "Undefined Custom Error (1)"},
        {0x073715FF, "Undefined Brellow Error (5631)"},
        {0x07371207, "Undefined Brellow Error (4615)"},
        // Platform and COM errors.
        {5, "Windows Error (5)"},
        {0x80004005, "Windows Error (-2147467259)"},
        {0x07380001, "Windows Error (121110529)"},
    };
    for (const NameCase &c : cases) EXPECT_EQ(SyncLayer(c.code), c.name) << std::hex << c.code;
}

TEST(ErrorNames, GeneralLookupAgreesOutsideTheSyncLayers) {
    for (unsigned code : {0u, 5u, 0x07370001u, 0x07370110u, 0x073715FFu, 0x07373008u, 0x80070057u})
        EXPECT_EQ(General(code), SyncLayer(code)) << std::hex << code;
    // The general lookup does not know the sync layers' names.
    EXPECT_EQ(General(0x07370C0A), "Undefined Brellow Error (3082)");
    EXPECT_EQ(General(0x07370D03), "Undefined Brellow Error (3331)");
}

TEST(ErrorNames, EveryTextFitsTheBuffer) {
    // The longest name is 51 characters; sweep the whole system range.
    size_t longest = 0;
    for (unsigned low = 0; low <= 0xFFFF; ++low) {
        longest = std::max(longest, SyncLayer(0x07370000u | low).size());
        longest = std::max(longest, General(0x07370000u | low).size());
    }
    longest = std::max(longest, SyncLayer(0x80000000u).size());
    EXPECT_LE(longest, 51u);
    EXPECT_LT(longest, kErrorNameBufferSize);
}

}  // namespace

#include "ErrorNames.h"

#include <cstdio>
#include <cstring>

namespace {

struct ErrorName {
    DErrorCode code;
    const char *name;
};

// Every named code of the system, grouped by layer.
const ErrorName kErrorNames[] = {
    {0x07370001, "generalErrMemoryError"}, {0x07370002, "generalErrUnknownProc"},
    {0x07370003, "generalErrNULLPointer"}, {0x07370004, "generalErrInvalidParameter"},
    {0x07370005, "generalErrIndexOutOfRange"}, {0x07370006, "generalErrBufferTooSmall"},
    {0x07370007, "generalErrItemNotFound"}, {0x07370008, "generalErrItemAlreadyExists"},
    {0x07370009, "generalErrNotInitialized"}, {0x0737000A, "generalErrCanceled"},
    {0x073700FE, "generalErrNotImplemented"}, {0x073700FF, "generalErrUnknownError"},

    {0x07370101, "vfileErrInitError"}, {0x07370102, "vfileErrMemoryError"},
    {0x07370103, "vfileErrFileNotFound"}, {0x07370104, "vfileErrEOF"},
    {0x07370105, "vfileErrInvalidOpenMode"}, {0x07370106, "vfileErrInvalidSeekMode"},
    {0x07370107, "vfileErrOutOfStorageSpace"}, {0x07370108, "vfileErrReadOnly"},
    {0x07370109, "vfileErrCantCreateFile"}, {0x0737010A, "vfileErrFileAlreadyOpen"},
    {0x0737010B, "vfileErrFileAccesDenied"}, {0x073701FF, "vfileErrUnknown"},

    {0x07370201, "oleErrCorruptFile"}, {0x07370202, "oleErrUnexpectedEOF"},
    {0x07370203, "oleErrOpenMode"}, {0x07370204, "oleErrNotAStream"},
    {0x07370205, "oleErrEOF"}, {0x07370206, "oleErrSeekBounds"},
    {0x07370207, "oleErrNotAStorage"}, {0x07370208, "oleErrMemoryAllocationErr"},
    {0x0737027E, "oleErrNotFound"}, {0x0737027F, "oleErrDifChainNotSupported"},
    {0x07370280, "oleErrNoDirChain"}, {0x07370281, "oleErrStreamWithSameNameExists"},
    {0x073702FE, "oleErrInternal"}, {0x073702FF, "oleErrNotImplemented"},

    {0x07370601, "vstringErrMemoryError"}, {0x07370602, "vstringErrWrongEncodingUsed"},
    {0x07370603, "vstringErrUnsupportedMBEncoding"}, {0x07370604, "vstringErrWideToMBConversionErr"},
    {0x07370605, "vstringErrMBToWideConversionErr"}, {0x07370606, "vstringErrSizeComputationErr"},
    {0x07370607, "vstringErrNoCodePageForEncoding"}, {0x07370608, "vstringErrNoConversionPath"},
    {0x07370609, "vstringErrBufferTooSmall"}, {0x0737060A, "vstringErrInvalidParam"},
    {0x0737060B, "vstringErrInvalidMBSequence"}, {0x0737060C, "vstringErrIncompleteMBSequence"},
    {0x073706FF, "vstringErrUnknown"},

    {0x07370B01, "internetConnectErrNotImplemented"}, {0x07370B02, "internetConnectErrNotConnected"},
    {0x07370B03, "internetConnectErrConnectionLost"}, {0x07370B04, "internetConnectErrUnknownResponse"},
    {0x07370B05, "internetConnectErrCancel"}, {0x07370B06, "internetConnectErrTimedOut"},
    {0x07370B07, "internetConnectSSLError"}, {0x07370B08, "internetConnectFlightMode"},
    {0x07370B09, "internetConnectNetUnavailable"}, {0x07370B0A, "internetConnectNoSignal"},
    {0x07370B0B, "internetConnectPhoneCallActive"}, {0x07370B0C, "internetConnectNoConnection"},
    {0x07370B0D, "internetConnectWifiConnectionFailed"},

    {0x07370C01, "httpErrNotImplemented"}, {0x07370C02, "httpErrUnknownHeaderType"},
    {0x07370C03, "httpErrHeaderNotFound"}, {0x07370C04, "httpErrServerNameMissing"},
    {0x07370C05, "httpErrUnknownResponse"}, {0x07370C06, "httpErrServerConnectFailed"},
    {0x07370C07, "httpErrTransactionTimedOut"}, {0x07370C08, "httpErrInternetConnectFailed"},
    {0x07370C09, "httpErrRequestFailed"}, {0x07370C0B, "httpErrTransactionDisconnected"},
    {0x07370C0C, "httpErrTransactionDisconnectedRepeated"}, {0x07370C0D, "httpErrTransactionNotSupported"},

    {0x07370D01, "activeSyncErrUnexpectedStep"}, {0x07370D02, "activeSyncErrTransactionFailed"},
    {0x07370D03, "activeSyncErrDataReady (NOT ERROR)"}, {0x07370D04, "activeSyncErrLoadLibFailed"},
    {0x07370D05, "activeSyncErrDataManagerUnexpectedResponse"}, {0x07370D06, "activeSyncErrMissingHTTPResponse"},
    {0x07370D07, "activeSyncErrWaitForCallback"}, {0x07370D08, "activeSyncErrStepCanceled"},
    {0x07370D09, "activeSyncErrAlreadyActive"}, {0x07370D0A, "activeSyncErrAnotherActive"},
    {0x07370D0B, "activeSyncErrPolicyStatusError"}, {0x07370D0C, "activeSyncErrPingSyncInterrupted"},
    {0x07370D0D, "activeSyncErrPushLocalChangeError"}, {0x07370D0E, "activeSyncErrNoDataTypeSetToSync"},
    {0x07370D0F, "activeSyncErrSearchPrefsNotReady"}, {0x07370D11, "activeSyncErrSearchFirstTimeSync"},
    {0x07370D12, "activeSyncErrPolicyAcceptError"}, {0x07370D13, "activeSyncErrOutOfStorageSpace"},
    {0x07370D14, "activeSyncErrInfiniteSyncLoop"},

    {0x07370E01, "activeTaskErrAlreadyActive"}, {0x07370E02, "activeTaskErrNotFound"},
    {0x07370E03, "activeTaskNoTaskReady"},

    {0x07370F01, "messageManagerErrInit"}, {0x07370F02, "messageManagerErrAccessDenied"},
    {0x07370F03, "messageManagerErrUnsupportedType"},

    {0x07371101, "ASDataManagerErrMissingData"}, {0x07371102, "ASDataManagerErrInboxNotFound"},
    {0x07371103, "ASDataManagerErrCalendarNotFound"}, {0x07371104, "ASDataManagerErrContactsNotFound"},
    {0x07371105, "ASDataManagerErrUnknownRecurrence"}, {0x07371106, "ASDataManagerErrInvalidDataType"},
    {0x07371107, "ASDataManagerErrBadStatus"}, {0x07371108, "ASDataManagerErrItemNotSupported"},
    {0x07371109, "ASDataManagerErrTimeZoneChanged"}, {0x0737110A, "ASDataManagerErrAttachmentDownload"},
    {0x0737110B, "ASDataManagerErrNoPushTypeSpecified"}, {0x0737110C, "ASDataManagerErrITPolicyNotSatisfied"},
    {0x0737110D, "ASDataManagerErrITPolicyDisabled"},

    {0x07371201, "fontErrInitError"}, {0x07371202, "fontErrNoActiveFont"},
    {0x07371203, "fontErrFontMapFailed"}, {0x07371204, "fontErrFontLoadFailed"},
    {0x073712FF, "fontErrUnknownError"},

    {0x07371301, "graphicsErrMemoryError"}, {0x07371302, "graphicsErrInitError"},
    {0x07371303, "graphicsErrUnsupportedDepth"}, {0x07371304, "graphicsErrScreenDrawError"},
    {0x07371305, "graphicsErrOutOfBounds"}, {0x07371306, "graphicsErrStateStackError"},
    {0x07371308, "graphicsErrUnsupportedColorSpace"}, {0x073713FF, "graphicsErrUnknownError"},

    {0x07371401, "toolbarErrMemoryError"}, {0x07371402, "toolbarErrInvalidParam"},
    {0x07371403, "toolbarErrButtonNotFound"}, {0x07371404, "toolbarErrCanvasNotSet"},
    {0x07371405, "toolbarErrButtonsDoNotFit"}, {0x07371406, "toolbarErrButtonNotSet"},
    {0x07371407, "toolbarErrItemDoesNotFitOnScreen"}, {0x07371408, "toolbarErrPopListEmpty"},
    {0x07371409, "toolbarErrGroupButtonEmpty"}, {0x0737140A, "toolbarErrIllegalFunctionCalled"},

    {0x07371501, "timerErrMemoryError"}, {0x07371502, "timerErrInvalidParam"},
    {0x07371503, "timerErrCouldNotCreate"}, {0x07371504, "timerErrCouldNotStart"},
    {0x07371505, "timerErrCouldNotStop"}, {0x07371506, "timerErrTooManyTimers"},

    {0x07371B01, "zlibErrMemoryError"}, {0x07371B02, "zlibErrInitError"},
    {0x07371B03, "zlibErrInflateError"}, {0x07371B09, "zlibErrNotInitialized"},
    {0x07371BFE, "zlibErrNotImplemented"}, {0x07371BFF, "zlibErrUnknownError"},

    {0x07371E01, "canvasErrMemoryError"}, {0x07371E02, "canvasErrBadCanvasType"},
    {0x07371E04, "canvasErrInvalidParameter"}, {0x07371EFE, "canvasErrNotImplemented"},
    {0x07371EFF, "canvasErrUnknownError"},

    {0x07372101, "fileDBErrMemoryError"}, {0x07372102, "fileDBErrInvalidParam"},
    {0x07372103, "fileDBErrNotInitialized"}, {0x07372104, "fileDBErrFileAlreadyExists"},
    {0x07372105, "fileDBErrIndexOutOfRange"}, {0x07372106, "fileDBErrCorruptDatabase"},
    {0x07372108, "fileDBErrStringError"},

    {0x07372301, "lzwErrMemoryError"}, {0x07372302, "lzwErrExpandError"},
    {0x07372303, "lzwErrGoingBackwards"}, {0x073723FE, "lzwErrNotImplemented"},

    {0x07372401, "ascii85ErrMemoryError"}, {0x07372402, "ascii85ErrExpandError"},
    {0x07372403, "ascii85ErrGoingBackwards"}, {0x073724FE, "ascii85ErrNotImplemented"},

    {0x07373001, "dbIsNotReadyError"}, {0x07373002, "dbRecordIDLimitReachedError"},
    {0x07373003, "dbRecordAlreadyExistsError"}, {0x07373004, "dbFieldSerialzeOutError"},
    {0x07373005, "dbFieldSerialzeInError"}, {0x07373006, "dbFieldInvalidTypeError"},
    {0x07373007, "dbErrDatabaseAlreadyOpen"}, {0x07373008, "dbVariableSizeHeaderSerializeInError"},

    {0x0737FFFF, "customErrUnknown"},
};

enum class Lookup { General, SyncLayer };

struct ErrorGroup {
    unsigned group;
    const char *word;  // null: undefined codes of the group get the maker's word
    Lookup lookup;
};

// The groups whose undefined codes have a word of their own, and which lookup knows them.
const ErrorGroup kErrorGroups[] = {
    {0x00, "General", Lookup::General},
    {0x01, "VFile", Lookup::General},
    {0x02, "OLE", Lookup::General},
    {0x06, "VString", Lookup::General},
    {0x0B, "InternetConnectionLayer", Lookup::SyncLayer},
    {0x0C, "HTTPLayer", Lookup::SyncLayer},
    {0x0D, "ActiveSync Layer", Lookup::SyncLayer},
    {0x0E, "Active Task Layer", Lookup::SyncLayer},
    {0x0F, "Message Manager Layer", Lookup::SyncLayer},
    {0x11, "ActiveSync Data Manager Layer", Lookup::SyncLayer},
    {0xF0, "Custom", Lookup::General},
};

bool IsSystemCode(unsigned code) { return (code & 0xFFFF0000u) == 0x07370000u; }

const ErrorGroup *FindGroup(unsigned code) {
    if (!IsSystemCode(code)) return nullptr;
    unsigned group = (code >> 8) & 0xFF;
    for (const ErrorGroup &g : kErrorGroups)
        if (g.group == group) return &g;
    return nullptr;
}

const char *FindName(unsigned code) {
    for (const ErrorName &e : kErrorNames)
        if (e.code == code) return e.name;
    return nullptr;
}

void WriteName(char *out, const char *name) { snprintf(out, kErrorNameBufferSize, "%s", name); }

void WriteUndefined(char *out, const char *word, unsigned number) {
    snprintf(out, kErrorNameBufferSize, "Undefined %s Error (%u)", word, number);
}

}  // namespace

void GetGeneralErrorName(char *out, unsigned code) {
    if (code == 0) return WriteName(out, "NO_ERROR");
    if (!IsSystemCode(code)) {
        snprintf(out, kErrorNameBufferSize, "Windows Error (%d)", static_cast<int>(code));
        return;
    }
    // The sync layers' names belong to the other lookup.
    const ErrorGroup *group = FindGroup(code);
    bool syncLayer = group != nullptr && group->lookup == Lookup::SyncLayer;
    if (!syncLayer) {
        if (const char *name = FindName(code)) return WriteName(out, name);
        if (group != nullptr) return WriteUndefined(out, group->word, code & 0xFF);
    }
    WriteUndefined(out, "Brellow", code & 0xFFFF);
}

void GetActiveSyncErrorName(char *out, unsigned code) {
    const ErrorGroup *group = FindGroup(code);
    if (group == nullptr || group->lookup != Lookup::SyncLayer) return GetGeneralErrorName(out, code);
    if (const char *name = FindName(code)) return WriteName(out, name);
    WriteUndefined(out, group->word, code & 0xFF);
}

// Error codes: every operation that can fail returns one; 0 is success.
// The system's own codes are 0x0737GGNN (GG the layer, NN the error); any
// other non-zero value is a platform error passed through unchanged.
#ifndef QV_DERRORCODE_H
#define QV_DERRORCODE_H

#include <cstdint>

typedef uint32_t DErrorCode;

constexpr DErrorCode kNoError = 0;
// Stands for unknown, not found, none, or up to the terminator.
constexpr uint32_t kQvUnknown = 0x7FFF7FFF;

constexpr DErrorCode QvErrorCode(uint32_t group, uint32_t code) { return 0x07370000u | (group << 8) | code; }

// 00 general
constexpr DErrorCode generalErrMemoryError = 0x07370001;
constexpr DErrorCode generalErrUnknownProc = 0x07370002;
constexpr DErrorCode generalErrNULLPointer = 0x07370003;
constexpr DErrorCode generalErrInvalidParameter = 0x07370004;
constexpr DErrorCode generalErrIndexOutOfRange = 0x07370005;
constexpr DErrorCode generalErrBufferTooSmall = 0x07370006;
constexpr DErrorCode generalErrItemNotFound = 0x07370007;
constexpr DErrorCode generalErrItemAlreadyExists = 0x07370008;
constexpr DErrorCode generalErrNotInitialized = 0x07370009;
constexpr DErrorCode generalErrCanceled = 0x0737000A;
constexpr DErrorCode generalErrNotImplemented = 0x073700FE;
constexpr DErrorCode generalErrUnknownError = 0x073700FF;

// 01 VFile
constexpr DErrorCode vfileErrInitError = 0x07370101;
constexpr DErrorCode vfileErrMemoryError = 0x07370102;
constexpr DErrorCode vfileErrFileNotFound = 0x07370103;
constexpr DErrorCode vfileErrEOF = 0x07370104;
constexpr DErrorCode vfileErrInvalidOpenMode = 0x07370105;
constexpr DErrorCode vfileErrInvalidSeekMode = 0x07370106;
constexpr DErrorCode vfileErrOutOfStorageSpace = 0x07370107;
constexpr DErrorCode vfileErrReadOnly = 0x07370108;
constexpr DErrorCode vfileErrCantCreateFile = 0x07370109;
constexpr DErrorCode vfileErrFileAlreadyOpen = 0x0737010A;
constexpr DErrorCode vfileErrFileAccesDenied = 0x0737010B;
constexpr DErrorCode vfileErrUnknown = 0x073701FF;

// 06 VString
constexpr DErrorCode vstringErrMemoryError = 0x07370601;
constexpr DErrorCode vstringErrWrongEncodingUsed = 0x07370602;
constexpr DErrorCode vstringErrUnsupportedMBEncoding = 0x07370603;
constexpr DErrorCode vstringErrWideToMBConversionErr = 0x07370604;
constexpr DErrorCode vstringErrMBToWideConversionErr = 0x07370605;
constexpr DErrorCode vstringErrSizeComputationErr = 0x07370606;
constexpr DErrorCode vstringErrNoCodePageForEncoding = 0x07370607;
constexpr DErrorCode vstringErrNoConversionPath = 0x07370608;
constexpr DErrorCode vstringErrBufferTooSmall = 0x07370609;
constexpr DErrorCode vstringErrInvalidParam = 0x0737060A;
constexpr DErrorCode vstringErrInvalidMBSequence = 0x0737060B;
constexpr DErrorCode vstringErrIncompleteMBSequence = 0x0737060C;
constexpr DErrorCode vstringErrUnknown = 0x073706FF;

// 0B Internet connection
constexpr DErrorCode internetConnectErrNotImplemented = 0x07370B01;
constexpr DErrorCode internetConnectErrNotConnected = 0x07370B02;
constexpr DErrorCode internetConnectErrConnectionLost = 0x07370B03;
constexpr DErrorCode internetConnectErrUnknownResponse = 0x07370B04;
constexpr DErrorCode internetConnectErrCancel = 0x07370B05;
constexpr DErrorCode internetConnectErrTimedOut = 0x07370B06;
constexpr DErrorCode internetConnectSSLError = 0x07370B07;
constexpr DErrorCode internetConnectFlightMode = 0x07370B08;
constexpr DErrorCode internetConnectNetUnavailable = 0x07370B09;
constexpr DErrorCode internetConnectNoSignal = 0x07370B0A;
constexpr DErrorCode internetConnectPhoneCallActive = 0x07370B0B;
constexpr DErrorCode internetConnectNoConnection = 0x07370B0C;
constexpr DErrorCode internetConnectWifiConnectionFailed = 0x07370B0D;

// 0C HTTP
constexpr DErrorCode httpErrNotImplemented = 0x07370C01;
constexpr DErrorCode httpErrUnknownHeaderType = 0x07370C02;
constexpr DErrorCode httpErrHeaderNotFound = 0x07370C03;
constexpr DErrorCode httpErrServerNameMissing = 0x07370C04;
constexpr DErrorCode httpErrUnknownResponse = 0x07370C05;
constexpr DErrorCode httpErrServerConnectFailed = 0x07370C06;
constexpr DErrorCode httpErrTransactionTimedOut = 0x07370C07;
constexpr DErrorCode httpErrInternetConnectFailed = 0x07370C08;
constexpr DErrorCode httpErrRequestFailed = 0x07370C09;
constexpr DErrorCode httpErrTransactionDisconnected = 0x07370C0B;
constexpr DErrorCode httpErrTransactionDisconnectedRepeated = 0x07370C0C;
constexpr DErrorCode httpErrTransactionNotSupported = 0x07370C0D;

// 0D ActiveSync engine
constexpr DErrorCode activeSyncErrUnexpectedStep = 0x07370D01;
constexpr DErrorCode activeSyncErrTransactionFailed = 0x07370D02;
constexpr DErrorCode activeSyncErrDataReady = 0x07370D03;  // not an error
constexpr DErrorCode activeSyncErrLoadLibFailed = 0x07370D04;
constexpr DErrorCode activeSyncErrDataManagerUnexpectedResponse = 0x07370D05;
constexpr DErrorCode activeSyncErrMissingHTTPResponse = 0x07370D06;
constexpr DErrorCode activeSyncErrWaitForCallback = 0x07370D07;
constexpr DErrorCode activeSyncErrStepCanceled = 0x07370D08;
constexpr DErrorCode activeSyncErrAlreadyActive = 0x07370D09;
constexpr DErrorCode activeSyncErrAnotherActive = 0x07370D0A;
constexpr DErrorCode activeSyncErrPolicyStatusError = 0x07370D0B;
constexpr DErrorCode activeSyncErrPingSyncInterrupted = 0x07370D0C;
constexpr DErrorCode activeSyncErrPushLocalChangeError = 0x07370D0D;
constexpr DErrorCode activeSyncErrNoDataTypeSetToSync = 0x07370D0E;
constexpr DErrorCode activeSyncErrSearchPrefsNotReady = 0x07370D0F;
constexpr DErrorCode activeSyncErrSearchFirstTimeSync = 0x07370D11;
constexpr DErrorCode activeSyncErrPolicyAcceptError = 0x07370D12;
constexpr DErrorCode activeSyncErrOutOfStorageSpace = 0x07370D13;
constexpr DErrorCode activeSyncErrInfiniteSyncLoop = 0x07370D14;

// 0E active task
constexpr DErrorCode activeTaskErrAlreadyActive = 0x07370E01;
constexpr DErrorCode activeTaskErrNotFound = 0x07370E02;
constexpr DErrorCode activeTaskNoTaskReady = 0x07370E03;

// 0F message manager
constexpr DErrorCode messageManagerErrInit = 0x07370F01;
constexpr DErrorCode messageManagerErrAccessDenied = 0x07370F02;
constexpr DErrorCode messageManagerErrUnsupportedType = 0x07370F03;

// 11 ActiveSync data manager
constexpr DErrorCode ASDataManagerErrMissingData = 0x07371101;
constexpr DErrorCode ASDataManagerErrInboxNotFound = 0x07371102;
constexpr DErrorCode ASDataManagerErrCalendarNotFound = 0x07371103;
constexpr DErrorCode ASDataManagerErrContactsNotFound = 0x07371104;
constexpr DErrorCode ASDataManagerErrUnknownRecurrence = 0x07371105;
constexpr DErrorCode ASDataManagerErrInvalidDataType = 0x07371106;
constexpr DErrorCode ASDataManagerErrBadStatus = 0x07371107;
constexpr DErrorCode ASDataManagerErrItemNotSupported = 0x07371108;
constexpr DErrorCode ASDataManagerErrTimeZoneChanged = 0x07371109;
constexpr DErrorCode ASDataManagerErrAttachmentDownload = 0x0737110A;
constexpr DErrorCode ASDataManagerErrNoPushTypeSpecified = 0x0737110B;
constexpr DErrorCode ASDataManagerErrITPolicyNotSatisfied = 0x0737110C;
constexpr DErrorCode ASDataManagerErrITPolicyDisabled = 0x0737110D;

// 15 timer
constexpr DErrorCode timerErrMemoryError = 0x07371501;
constexpr DErrorCode timerErrInvalidParam = 0x07371502;
constexpr DErrorCode timerErrCouldNotCreate = 0x07371503;
constexpr DErrorCode timerErrCouldNotStart = 0x07371504;
constexpr DErrorCode timerErrCouldNotStop = 0x07371505;
constexpr DErrorCode timerErrTooManyTimers = 0x07371506;

// 21 file database
constexpr DErrorCode fileDBErrMemoryError = 0x07372101;
constexpr DErrorCode fileDBErrInvalidParam = 0x07372102;
constexpr DErrorCode fileDBErrNotInitialized = 0x07372103;
constexpr DErrorCode fileDBErrFileAlreadyExists = 0x07372104;
constexpr DErrorCode fileDBErrIndexOutOfRange = 0x07372105;
constexpr DErrorCode fileDBErrCorruptDatabase = 0x07372106;
constexpr DErrorCode fileDBErrStringError = 0x07372108;

// 30 record database
constexpr DErrorCode dbIsNotReadyError = 0x07373001;
constexpr DErrorCode dbRecordIDLimitReachedError = 0x07373002;
constexpr DErrorCode dbRecordAlreadyExistsError = 0x07373003;
constexpr DErrorCode dbFieldSerialzeOutError = 0x07373004;
constexpr DErrorCode dbFieldSerialzeInError = 0x07373005;
constexpr DErrorCode dbFieldInvalidTypeError = 0x07373006;
constexpr DErrorCode dbErrDatabaseAlreadyOpen = 0x07373007;
constexpr DErrorCode dbVariableSizeHeaderSerializeInError = 0x07373008;
// Has no name in the error-name table.
constexpr DErrorCode dbErrDatabaseAlreadyExists = 0x07373009;

// FF custom
constexpr DErrorCode customErrUnknown = 0x0737FFFF;

#endif

// The texts of "QvRes.dll", one table by id. Callers look a text up by its
// number; some use it as a line of its own, some put a number, a name or a
// time right after it (those texts end in ": " or a blank), and a few have
// a "%" that the caller replaces by a number. A text holds at most 255
// characters.
#include "winmodule.h"

VPLATFORM_STRING_TABLE = {
    // The application's status line between runs (DActiveSyncEngine::GetStatusText);
    // 1 is also the main status after push was interrupted by the network, 40
    // after a failed run. 39 is followed by the time of the last sync.
    {1, u"Push interrupted: no network"},
    {34, u"Account not set up"},
    {35, u"Account settings incomplete"},
    {36, u"Another program is syncing"},
    {37, u"Ready to sync"},
    {38, u"Push on: waiting for changes"},
    {39, u"Last sync: "},
    {40, u"Sync failed"},
    {41, u"Sync cancelled"},
    {42, u"Syncing..."},

    // Main status during a run: the command in hand (DActiveSyncEngine's run
    // steps), the local-change checks and the data manager's preparation.
    // 20 starts every run and every push cycle.
    {20, u"Starting sync..."},
    {25, u"Removing old appointments..."},
    {26, u"Removing old contacts..."},
    {29, u"Removing old e-mail..."},
    {58, u"Checking contact changes..."},
    {59, u"Checking e-mail changes..."},
    {66, u"Contacting server..."},
    {67, u"Creating folder..."},
    {68, u"Loading calendar..."},
    {69, u"Loading contacts..."},
    {70, u"Loading e-mail..."},
    {71, u"Checking for changes..."},
    {72, u"Syncing calendar..."},
    {73, u"Syncing contacts..."},
    {74, u"Sending meeting responses..."},
    {75, u"Sending e-mail..."},
    {76, u"Downloading attachment..."},
    {77, u"Syncing e-mail..."},
    {78, u"Processing server changes..."},
    {79, u"Checking calendar changes..."},
    {115, u"Loading tasks..."},
    {116, u"Syncing tasks..."},
    {118, u"Removing old tasks..."},
    {119, u"Checking task changes..."},
    {125, u"Moving e-mail..."},
    {126, u"Processing moved e-mail..."},
    {148, u"Syncing folders..."},
    // The connection engine once the data connection is up.
    {129, u"Connected"},

    // The engine's error report: the log line written for each error code.
    {6, u"No network connection is available."},
    {8, u"There is not enough storage space on the device."},
    {9, u"Search needs the server, user name and password to be set."},
    {10, u"Search is available after the first sync."},
    {11, u"The data connection is not available during a phone call."},
    {12, u"The server answered with an error status."},
    {13, u"E-mail could not be synchronised."},
    {14, u"The calendar could not be synchronised."},
    {15, u"Contacts could not be synchronised."},
    {16, u"No data type is selected for sync."},
    {17, u"Changes on the device could not be read for push."},
    {45, u"The connection timed out."},
    {46, u"The server did not answer in time."},
    {47, u"Could not connect to the server."},
    {48, u"The connection to the server was lost."},
    {49, u"A secure connection to the server could not be made."},
    {50, u"The server did not accept the user name or password."},
    {51, u"The server denied access to the mailbox."},
    {52, u"The server does not allow this request."},
    {53, u"The mailbox on the server is full."},
    {54, u"The request to the server failed."},
    {55, u"The request could not be completed."},
    {56, u"The server's security policy could not be applied."},
    {110, u"The server does not support this request."},
    {114, u"Tasks could not be synchronised."},
    // Further lines of the error report and of a failed HTTP answer: 43 is
    // followed by the HTTP status, 44 ends a push interrupted by the network,
    // 57 is followed by the time, 123 tells when push is tried again.
    {43, u"HTTP status: "},
    {44, u"Push was interrupted by the network."},
    {57, u"Sync stopped at "},
    {123, u"Push will reconnect in % seconds."},
    // Shown to the user when a sync the user started cannot connect: a
    // caption, then two lines (2-4 flight mode, 5-7 no connection).
    {2, u"Flight Mode"},
    {3, u"The phone is in flight mode."},
    {4, u"Turn the phone on to sync."},
    {5, u"No Connection"},
    {7, u"Check the connection settings and try again."},

    // The run's log: its start (followed by the engine version), its end and
    // each Ping sent (followed by the time).
    {18, u"Push request sent at "},
    {60, u"Sync completed at "},
    {61, u"Sync started, engine version"},

    // Push: the Ping answers and the folder limit of a Ping request (150 and
    // 152 have the numbers of folders wanted and left out).
    {19, u"Push stopped."},
    {62, u"The server could not handle the push request."},
    {63, u"The server asked for another heartbeat interval."},
    {64, u"The server allows fewer push folders."},
    {65, u"The server's folder list changed; folders will be synced again."},
    {80, u"Heartbeat ended without changes."},
    {81, u"Folder list changed: syncing folders."},
    {82, u"Heartbeat interval adjusted to the server's range."},
    {84, u"The server reported changes."},
    {111, u"The server does not support push; push is turned off."},
    {149, u"The server limits the number of push folders."},
    {150, u"Folders to push: %"},
    {152, u"Folders left out of push: %"},

    // The data manager's log: a bad status of a command (followed by the
    // status), the counts of a Sync answer (followed by the count), moves,
    // a time-zone change and an attachment without room (that line starts
    // with a double quote and the attachment's name).
    {85, u"FolderSync failed, status "},
    {86, u"GetItemEstimate failed, status "},
    {87, u"Sync failed, status "},
    {120, u"FolderCreate failed, status "},
    {95, u"Appointments added or changed: "},
    {96, u"Appointments deleted: "},
    {97, u"Contacts added or changed: "},
    {98, u"Contacts deleted: "},
    {99, u"E-mail messages added: "},
    {100, u"E-mail messages changed: "},
    {101, u"E-mail messages deleted: "},
    {112, u"Tasks added or changed: "},
    {113, u"Tasks deleted: "},
    {127, u"The server confirmed the moved e-mail."},
    {147, u"The server could not move an e-mail message."},
    {31, u"The device's time zone changed."},
    {32, u"Calendar times will follow the new time zone."},
    {30, u"\" was not downloaded: not enough storage space."},

    // Outgoing mail: 27 opens a message with attachments, before the first
    // part; 28 ends the text of a reply or forward whose quoted text was
    // edited, before the original message that the server adds.
    {27, u"This is a multi-part message in MIME format.\r\n\r\n"},
    {28, u"-----Original Message-----\r\n"},

    // Items the server or the device could not take, in the log: a heading,
    // then labelled lines followed by the item's subject, name or time.
    {21, u"An exception of a recurring appointment could not be synced:"},
    {22, u"An appointment could not be synced:"},
    {23, u"  Subject: "},
    {24, u"  Start: "},
    {92, u"A contact could not be synced:"},
    {93, u"  Name: "},
    {94, u"  Company: "},
    {117, u"A task could not be synced:"},
    {121, u"  Subject: "},
    {122, u"  Start date: "},

    // The applications: a sync asked for without an account (log), the
    // security policy's message box (142 caption, 143 text) and the log line
    // when its password screen is opened.
    {128, u"Sync not started: the account is not set up."},
    {142, u"Security Policy"},
    {143, u"The server's security policy requires a device password. Please set one now."},
    {144, u"Password settings opened for the server's security policy."},
    // The settings' reset confirmation: 102 or 103, then 104, or any of 105
    // to 107, joined in that order.
    {102, u"The server or user name has changed. "},
    {103, u"Your changes reset data on the device. "},
    {104, u"All e-mail, calendar and contacts data will be removed and loaded again from the server."},
    {105, u"E-mail will be removed and loaded again from the server. "},
    {106, u"The calendar will be removed and loaded again from the server. "},
    {107, u"Contacts will be removed and loaded again from the server. "},
    // The messaging transport's error box: caption and text.
    {145, u"Vantrel"},
    {146, u"Sync failed. Open Vantrel and look at the log for details."},

    {0, nullptr},
};

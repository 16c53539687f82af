// Window messages between the processes of one device. A process that owns
// windows lists them in the device's window directory and listens on its
// own Unix socket; a post or send to a window of another process travels
// over that socket and is queued on the owner's thread (a send is handled
// there and answered).
//
// Only the integers cross: the message, wParam and lParam. A pointer in
// lParam means nothing in the receiving process, so messages between
// processes carry values, never addresses.
//
// Posts from one process to another arrive in the order they were made
// (one connection per receiving process carries them all). A process that
// died is dropped from the directory on first contact, and a post or send
// to its windows fails at once.
#ifndef VPLATFORM_CROSSPROCESS_H
#define VPLATFORM_CROSSPROCESS_H

#include <cstdint>
#include <vector>

#include "windowdirectory.h"
#include "winuser.h"

namespace vplat {

// Rewrites a post that came from another process before it is queued;
// false drops it. Runs on the process's listening thread, not the owner's.
typedef bool (*IncomingPostTranslator)(UINT *msg, WPARAM *wParam, LPARAM *lParam);
// Sets (null: removes) the translator of incoming posts of message msg.
PLATAPI void SetIncomingPostTranslator(UINT msg, IncomingPostTranslator fn);

// The host process id of any window of the device; false when hwnd names
// no window (or one whose process has died).
PLATAPI bool WindowProcessId(HWND hwnd, DWORD *pid);

// SendMessageW with a bound: false (last error ERROR_TIMEOUT) when no
// answer came within timeoutMs, or (ERROR_INVALID_WINDOW_HANDLE) when the
// window is gone or its process or thread ended first. *result is 0 then.
PLATAPI bool SendMessageWithin(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                               LRESULT *result);

// For the window and message code.
// The calling process's number on the open device, taken (and its socket
// opened) on first use; a number from kUnlistedProcessBase up when none
// can be had.
uint32_t OwnProcessNumber();
// Whether hwnd, which is no window of this process, names one of another
// process of the device.
bool IsForeignHandle(HWND hwnd);
// To a window of another process; false with the last error set.
bool ForeignPost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// timeoutMs < 0 waits for the answer as long as the receiver lives.
bool ForeignSend(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int timeoutMs, LRESULT *result);
// HWND_BROADCAST's share for the other processes: every top-level window.
void ForeignBroadcastPost(UINT msg, WPARAM wParam, LPARAM lParam);
void ForeignBroadcastSend(UINT msg, WPARAM wParam, LPARAM lParam);
// The live other processes of the device and their windows.
std::vector<DirectoryEntry> ForeignProcesses();
// The directory's record of a window of another process.
bool ForeignWindow(HWND hwnd, DirectoryWindow *window, DWORD *pid);
// This process's windows changed: its directory entry is rewritten.
void PublishWindows();

}  // namespace vplat

#endif

// Windows, window classes, per-thread message queues, registered messages and
// timers. A thread gets its queue from its first message call; posting to a
// queue is safe from any thread, everything else belongs to the thread that
// owns the window or queue.
//
// Windows made while a device is open are the device's: posts, sends,
// HWND_BROADCAST, FindWindowW, EnumWindows, IsWindow, GetWindowTextW and
// GetWindowThreadProcessId reach the windows of every process of the device.
// Between processes only the integers travel (message, wParam, lParam): a
// pointer passed in lParam means nothing to another process.
#ifndef VPLATFORM_WINUSER_H
#define VPLATFORM_WINUSER_H

#include <functional>

#include "wintypes.h"

typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HMENU__ *HMENU;
typedef struct HICON__ *HICON;
typedef struct HBRUSH__ *HBRUSH;
typedef HICON HCURSOR;
typedef WORD ATOM;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG, *PMSG;

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef BOOL (*WNDENUMPROC)(HWND, LPARAM);

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW, *LPWNDCLASSW;

typedef struct tagCREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ACTIVATE 0x0006
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETTINGCHANGE 0x001A
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define GWL_WNDPROC (-4)
#define GWL_USERDATA (-21)

#define HWND_BROADCAST ((HWND)0xffff)
#define CW_USEDEFAULT ((int)0x80000000)

#define MB_OK 0x00000000L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define IDOK 1

#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_TIMEOUT 1460L

extern "C" {
PLATAPI ATOM RegisterClassW(const WNDCLASSW *lpWndClass);
PLATAPI BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);
// Sends WM_CREATE before it returns; a handler answering -1 destroys the window.
PLATAPI HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                             int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                             LPVOID lpParam);
// Sends WM_DESTROY; later posts and sends to the window are refused.
PLATAPI BOOL DestroyWindow(HWND hWnd);
PLATAPI LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Shows the user a message. The device has no screen: the message goes to
// the device's message list (vplatform_test.h lets a test read it) and to
// standard error, and the call answers IDOK at once, never blocking.
PLATAPI int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
PLATAPI BOOL IsWindow(HWND hWnd);
PLATAPI DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);
PLATAPI LONG GetWindowLongW(HWND hWnd, int nIndex);
PLATAPI LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong);
PLATAPI int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount);
// Top-level windows of the device by class and/or title (null matches any),
// this process's first; a class atom matches this process's windows only.
PLATAPI HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
// Calls lpEnumFunc for each top-level window of the device, this process's
// first, until it answers FALSE (then EnumWindows answers FALSE too).
PLATAPI BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);

// Safe from any thread.
PLATAPI BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
PLATAPI BOOL PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
// The owner thread calls the window procedure directly; another thread or
// process has the owner handle it and waits for the answer, handling messages
// sent to its own windows meanwhile. 0 at once for a window whose process has
// died, and 0 when it dies before answering.
PLATAPI LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
PLATAPI void PostQuitMessage(int nExitCode);

// Returns FALSE on WM_QUIT, -1 on a bad argument. Waits for a message; timers
// due while the queue is otherwise empty come as WM_TIMER.
PLATAPI BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
PLATAPI BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);
PLATAPI BOOL TranslateMessage(const MSG *lpMsg);
// Calls the window procedure, or the TIMERPROC that a WM_TIMER carries.
PLATAPI LRESULT DispatchMessageW(const MSG *lpMsg);
PLATAPI BOOL WaitMessage(void);

// One id in 0xC000-0xFFFF per name (case-insensitive) for the whole device,
// the same in every process while the device exists. 0 on failure.
PLATAPI UINT RegisterWindowMessageW(LPCWSTR lpString);

// With a window: the caller's nIDEvent, WM_TIMER to the window; for 0 the
// timer's id is 0x80000000, which SetTimer answers and WM_TIMER carries,
// and KillTimer takes 0 or that id. Without: a thread timer of the calling
// thread with a new id (increasing, never 0 nor 0x7FFF7FFF, never reused in
// this process). Repeats until killed.
PLATAPI UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
PLATAPI BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);
}

namespace vplat {
// Hands work to another thread of the process: fn runs on that thread the
// next time it retrieves messages, in order with the messages posted to it.
// Safe from any thread. False when the thread has no queue.
PLATAPI bool PostThreadCall(DWORD threadId, std::function<void()> fn);
// Gives the calling thread its queue now (a thread that others will post to).
PLATAPI void EnsureThreadQueue(void);
// Thread timers of another thread (the owner), safe from any thread: the
// timer fires on the owner's loop as if the owner had started it.
PLATAPI UINT_PTR SetThreadTimerFor(DWORD threadId, UINT uElapse, TIMERPROC lpTimerFunc);
PLATAPI BOOL KillThreadTimerFor(DWORD threadId, UINT_PTR uIDEvent);
}  // namespace vplat

#endif

// The messages WindowPeer and the cross-process tests exchange.
#ifndef VANTREL_TESTS_WINDOWPEERMESSAGES_H
#define VANTREL_TESTS_WINDOWPEERMESSAGES_H

#include "windows.h"

constexpr UINT kSeq = WM_USER + 1;
constexpr UINT kAsk = WM_USER + 2;
constexpr UINT kCallBack = WM_USER + 3;
constexpr UINT kBroadcast = WM_USER + 4;
constexpr UINT kNote = WM_USER + 7;
constexpr UINT kDone = WM_USER + 8;
constexpr UINT kBack = WM_USER + 9;

#endif

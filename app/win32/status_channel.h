#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "foundation/shared_string.h"
#include "foundation/win32/win32.h"

// How "/status" travels between a second start and the resident program.
// The second start posts kStatusRequestMessage to the window the resident
// window names in its property kStatusWindowProperty (a window on a thread
// that is never busy with a change; the resident window itself when there
// is none) with its own (message-only) window as wParam; that window sends
// the report back as WM_COPYDATA tagged with kStatusDataTag, its own handle
// as wParam, the text as UTF-16 without a terminator.
inline constexpr UINT kStatusRequestMessage = WM_APP + 3;
inline constexpr wchar_t kStatusWindowProperty[] = L"Pelmora.StatusWindow";
inline constexpr ULONG_PTR kStatusDataTag = 0x50534D52;  // "PSMR"
// Far above any report; a larger block is not ours.
inline constexpr size_t kMaxStatusBytes = 64 * 1024;

// The text of a WM_COPYDATA the second start received, or nothing when it
// is not the answer it waits for: from another window than the one asked,
// another tag, too large, or an odd number of bytes.
std::optional<std::u16string> AcceptStatusReply(HWND asked, HWND sender,
                                                const COPYDATASTRUCT* data);

// Sends the report to the window that asked; false when it is gone or does
// not take it within the time limit. A hung caller cannot stop the
// resident program for longer than that.
bool SendStatusReply(HWND resident, HWND caller, const Orvex::SharedString& text);

// Asks the resident window (or the window it names) for its report and
// waits for the answer,
// handling this thread's messages meanwhile; nothing when none arrives
// within timeout_ms.
std::optional<Orvex::SharedString> AskResidentStatus(HWND resident, DWORD timeout_ms);

#pragma once
// The modal dialogs of the main window: the sign-in dialog (104) and the two
// link-code viewers (106 "HTML Codes", 107 "BBCODE"), and the clipboard copy
// behind the viewers' Copy button.
#include <windows.h>

#include <string>

#include "app/app_state.h"

namespace win32 {

// Longest user name or password the sign-in dialog hands on; longer entries are
// cut to their first 99 characters.
constexpr int kSignInFieldLimit = 99;

// Opens dialog 104 with empty fields. Log In stores the user name, the password
// and the automatic choice in `login` and empties its digest (true); Cancel
// leaves `login` exactly as it was (false).
bool runSignInDialog(HINSTANCE instance, HWND owner, app::LoginInfo& login);

// Opens viewer dialog 106 ("HTML Codes") or 107 ("BBCODE") for `kind`, showing `text`.
void showLinkCodeViewer(HINSTANCE instance, HWND owner, app::CodeKind kind, const std::string& text);

enum class ClipboardResult { kCopied, kNotOpened, kNotStored };
// Puts `text` on the clipboard as CF_TEXT.
ClipboardResult copyToClipboard(HWND owner, const std::string& text);

// The whole text of a window or control.
std::string windowText(HWND window);

}  // namespace win32

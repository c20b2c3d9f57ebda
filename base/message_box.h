// Message boxes. Without a presenter installed (the program installs the desktop one, a dialog
// when a display exists) the text goes to stderr as one line, "caption: text", in UTF-8.
#pragma once

#include "base/win_types.h"

#include <functional>
#include <string>
#include <vector>

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONWARNING = 0x00000030;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
inline constexpr int IDOK = 1;

// Shows the box and returns IDOK once it is dismissed.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// The 8-bit texts are code page 1252.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

namespace halv::base {

struct MessageBoxRequest {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};

using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;

// Installs the presenter every message box goes to and returns the previous one; an empty
// function restores the stderr line. Process-wide.
MessageBoxPresenter installMessageBoxPresenter(MessageBoxPresenter presenter);

// The stderr line ("caption: text", UTF-8) that stands in for a box without a display.
int writeMessageBoxToStderr(const MessageBoxRequest& request);

// Records every message box shown while it lives instead of showing it.
class ScopedMessageBoxCapture {
public:
    ScopedMessageBoxCapture();
    ~ScopedMessageBoxCapture();
    ScopedMessageBoxCapture(const ScopedMessageBoxCapture&) = delete;
    ScopedMessageBoxCapture& operator=(const ScopedMessageBoxCapture&) = delete;

    const std::vector<MessageBoxRequest>& shown() const { return mShown; }

private:
    std::vector<MessageBoxRequest> mShown;
    MessageBoxPresenter mPrevious;
};

} // namespace halv::base

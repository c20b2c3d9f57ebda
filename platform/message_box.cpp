#include "platform/message_box.h"

#include "platform/text_conversion.h"

#include <cstdio>

namespace halv::platform {
namespace {

// Process-wide: where message boxes go; empty means stderr.
MessageBoxPresenter gPresenter;

int showMessageBox(const MessageBoxRequest& request) {
    return gPresenter ? gPresenter(request) : writeMessageBoxToStderr(request);
}

} // namespace

int writeMessageBoxToStderr(const MessageBoxRequest& request) {
    std::fprintf(stderr, "%s: %s\n", utf16ToUtf8(request.caption).c_str(),
                 utf16ToUtf8(request.text).c_str());
    return IDOK;
}

MessageBoxPresenter installMessageBoxPresenter(MessageBoxPresenter presenter) {
    MessageBoxPresenter previous = std::move(gPresenter);
    gPresenter = std::move(presenter);
    return previous;
}

ScopedMessageBoxCapture::ScopedMessageBoxCapture()
    : mPrevious(installMessageBoxPresenter([this](const MessageBoxRequest& request) {
        mShown.push_back(request);
        return IDOK;
    })) {}

ScopedMessageBoxCapture::~ScopedMessageBoxCapture() {
    installMessageBoxPresenter(std::move(mPrevious));
}

} // namespace halv::platform

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    halv::platform::MessageBoxRequest request{owner, text != nullptr ? text : u"",
                                              caption != nullptr ? caption : u"Error", type};
    return halv::platform::showMessageBox(request);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    halv::platform::MessageBoxRequest request{
        owner, halv::platform::ansiToWide(text != nullptr ? text : ""),
        caption != nullptr ? halv::platform::ansiToWide(caption) : u"Error", type};
    return halv::platform::showMessageBox(request);
}

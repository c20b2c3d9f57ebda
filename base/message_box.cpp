#include "base/message_box.h"

#include "base/text_conversion.h"

#include <cstdio>

namespace halv::base {
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

} // namespace halv::base

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    halv::base::MessageBoxRequest request{owner, text != nullptr ? text : u"",
                                          caption != nullptr ? caption : u"Error", type};
    return halv::base::showMessageBox(request);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    halv::base::MessageBoxRequest request{
        owner, halv::base::ansiToWide(text != nullptr ? text : ""),
        caption != nullptr ? halv::base::ansiToWide(caption) : u"Error", type};
    return halv::base::showMessageBox(request);
}

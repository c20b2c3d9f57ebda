#include "base/message_box.h"

#include <gtest/gtest.h>

namespace halv::base {
namespace {

TEST(MessageBox, CaptureRecordsWideAndAnsiBoxes) {
    ScopedMessageBoxCapture capture;
    EXPECT_EQ(MessageBoxW(nullptr, u"Could not find texture", u"Information", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "verf\xFCgt", "Screen Saver Settings", MB_ICONINFORMATION),
              IDOK);
    ASSERT_EQ(capture.shown().size(), 2u);
    EXPECT_EQ(capture.shown()[0].text, u"Could not find texture");
    EXPECT_EQ(capture.shown()[0].caption, u"Information");
    EXPECT_EQ(capture.shown()[0].type, MB_OK);
    EXPECT_EQ(capture.shown()[1].text, u"verfügt");
    EXPECT_EQ(capture.shown()[1].type, MB_ICONINFORMATION);
}

TEST(MessageBox, WithoutPresenterOneLineGoesToStderr) {
    testing::internal::CaptureStderr();
    MessageBoxA(nullptr,
                "Der Bildschirmschoner verf\xFCgt \xFC"
                "ber keine Optionen.",
                "Screen Saver Settings", MB_ICONINFORMATION);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Screen Saver Settings: Der Bildschirmschoner verfügt über keine Optionen.\n");
}

TEST(MessageBox, NestedCapturesRestoreInOrder) {
    ScopedMessageBoxCapture outer;
    {
        ScopedMessageBoxCapture inner;
        MessageBoxW(nullptr, u"inner", u"c", MB_OK);
        EXPECT_EQ(inner.shown().size(), 1u);
    }
    MessageBoxW(nullptr, u"outer", u"c", MB_OK);
    ASSERT_EQ(outer.shown().size(), 1u);
    EXPECT_EQ(outer.shown()[0].text, u"outer");
}

} // namespace
} // namespace halv::base

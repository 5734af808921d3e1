// The helper that answers the message box of the failed-restart path: it must see the box's
// text and caption and close it, so that no test waits on a dialog.
#include <gtest/gtest.h>

#include "support/message_box.h"
#include "support/scratch_key.h"

using zol::test::MessageBoxPresser;

TEST(MessageBoxPresser, ReadsTextAndCaptionAndPressesOk) {
    MessageBoxPresser presser;
    const int answer = MessageBoxW(nullptr, L"StartService failed for service \"AudioSrv\" (text)",
                                   L"Z:\\some\\host.exe", MB_ICONERROR);
    auto box = presser.wait();

    // Without a display driver that makes it wait, MessageBoxW returns -1 at once (Wine).
    ASSERT_NE(answer, -1) << "MessageBoxW did not wait: the test bed's null graphics driver is missing";
    EXPECT_EQ(answer, IDOK);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(zol::test::narrow(box->text), "StartService failed for service \"AudioSrv\" (text)");
    EXPECT_EQ(zol::test::narrow(box->caption), "Z:\\some\\host.exe");
}

TEST(MessageBoxPresser, GivesUpWhenNoBoxAppears) {
    MessageBoxPresser presser(100);
    EXPECT_FALSE(presser.wait().has_value());
}

#include "platform/keyboard-win32.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace qmr {
namespace {

TEST(ControlHandlerTest, CloseLogOffAndShutDownArriveAsAltF4) {
  for (const DWORD notification : {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
    EXPECT_TRUE(win32::queue_control_notification(notification));
    EXPECT_EQ(poll_key(), "\xff\x6b") << "notification " << notification;
  }
  EXPECT_EQ(poll_key(), "");
}

TEST(ControlHandlerTest, CtrlCAndCtrlBreakAreDeclined) {
  EXPECT_FALSE(win32::queue_control_notification(CTRL_C_EVENT));
  EXPECT_FALSE(win32::queue_control_notification(CTRL_BREAK_EVENT));
  EXPECT_EQ(poll_key(), "");
}

TEST(ControlHandlerTest, AWaitEndsAtOnceWhenAKeyWasQueued) {
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode))
    GTEST_SKIP() << "standard input is not a console";
  win32::queue_control_notification(CTRL_CLOSE_EVENT);
  EXPECT_EQ(await_key(), 0);
  EXPECT_EQ(poll_key(), "\xff\x6b");
}

TEST(KeyWaitTest, NoWaitWhenStandardInputIsNotAConsole) {
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode))
    GTEST_SKIP() << "standard input is a console";
  EXPECT_NE(await_key(), 0);
  EXPECT_EQ(poll_key(), "");
}

}  // namespace
}  // namespace qmr

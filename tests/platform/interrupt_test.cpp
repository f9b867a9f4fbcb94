#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/console.h"
#include "platform/dialogue.h"

namespace nagare {
namespace {

const char* const HINT = "本プログラムの終了には Ctrl-C ではなく ESC を使ってください\n";

TEST(Interrupt, SetsTheFlagAndPrintsTheHint) {
    platform::ctrlCPressed = false;
    ::testing::internal::CaptureStdout();
    platform::installInterruptHandler();
    std::raise(SIGINT);
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(platform::ctrlCPressed);
    EXPECT_EQ(printed, platform::toConsoleEncoding(HINT));
    platform::ctrlCPressed = false;
}

TEST(InterruptDeathTest, SecondCtrlCEndsTheProcess) {
    EXPECT_EXIT(
        {
            platform::installInterruptHandler();
            std::raise(SIGINT);
            if (!platform::ctrlCPressed) std::exit(2);
            std::raise(SIGINT);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

TEST(InterruptDeathTest, InstalledAgainItSurvivesAnotherCtrlC) {
    EXPECT_EXIT(
        {
            platform::installInterruptHandler();
            std::raise(SIGINT);
            platform::ctrlCPressed = false;
            platform::installInterruptHandler();
            std::raise(SIGINT);
            std::exit(platform::ctrlCPressed ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nagare

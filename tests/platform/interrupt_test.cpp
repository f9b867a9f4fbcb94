#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "platform/console.h"
#include "run/console_dialogue.h"

namespace nagare {
namespace {

const char* const HINT = "本プログラムの終了には Ctrl-C ではなく ESC を使ってください\n";

TEST(Interrupt, SetsTheFlagAndPrintsTheHint) {
    ctrlCPressed = false;
    ::testing::internal::CaptureStdout();
    installInterruptHandler();
    std::raise(SIGINT);
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ctrlCPressed);
    EXPECT_EQ(printed, platform::toConsoleEncoding(HINT));
    ctrlCPressed = false;
}

TEST(InterruptDeathTest, SecondCtrlCEndsTheProcess) {
    EXPECT_EXIT(
        {
            installInterruptHandler();
            std::raise(SIGINT);
            if (!ctrlCPressed) std::exit(2);
            std::raise(SIGINT);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

TEST(InterruptDeathTest, InstalledAgainItSurvivesAnotherCtrlC) {
    EXPECT_EXIT(
        {
            installInterruptHandler();
            std::raise(SIGINT);
            ctrlCPressed = false;
            installInterruptHandler();
            std::raise(SIGINT);
            std::exit(ctrlCPressed ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nagare

// The monitor of a real long search, driven through a pseudo-terminal as a user would drive it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include "../support/pseudo_terminal.h"
#include "platform/console.h"

namespace nagare {
namespace {

using test::isCooked;
using test::isRaw;

constexpr double PATIENCE_SECONDS = 60;

// 将棋図巧 No. 1, 69 plies: its search runs for minutes.
const std::string LONG_PROBLEM = std::string(NAGARE_TEST_DATA) + "/problems/long/zukou-001.kif";

std::string utf8(const char* sjis) {
    return platform::sjisToUtf8(sjis);
}

// The last line of nagare-bench watch: names and values separated by tabs.
std::map<std::string, long> summary(const std::string& output) {
    std::map<std::string, long> fields;
    const size_t at = output.rfind("state\t");
    if (at == std::string::npos) return fields;
    std::istringstream in(output.substr(at, output.find('\r', at) - at));
    std::string name;
    long value = 0;
    while (in >> name >> value) fields[name] = value;
    return fields;
}

// D until the current line appears: a D pressed while the previous display is still being finished
// joins that display's request, so one may go without a display of its own.
bool showsTheLine(test::PseudoTerminal& pty) {
    constexpr int TRIES = 30;
    constexpr double TRY_SECONDS = 2;
    for (int i = 0; i < TRIES; ++i) {
        pty.send("d");
        if (pty.waitFor(utf8("現在の読み筋（開始0手目、検討深度69）："), TRY_SECONDS))
            return pty.waitFor(utf8("局面表使用率："), PATIENCE_SECONDS);
    }
    return false;
}

TEST(MonitorTerminal, KeysWatchAndStopALongSearchAndTheTerminalComesBack) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    const termios before = pty.mode();
    ASSERT_TRUE(pty.spawnProgram({NAGARE_BENCH_BINARY, "watch", LONG_PROBLEM}));
    ASSERT_TRUE(pty.waitForMode(isRaw, PATIENCE_SECONDS)) << pty.output();
    EXPECT_NE(pty.mode().c_lflag & ISIG, 0u);

    // D: the current line, and the search goes on without a question.
    pty.send("d");
    ASSERT_TRUE(pty.waitFor(utf8("現在の読み筋（開始0手目、検討深度69）："), PATIENCE_SECONDS))
        << pty.output();
    ASSERT_TRUE(pty.waitFor(utf8("局面表使用率："), PATIENCE_SECONDS));
    EXPECT_EQ(pty.output().find(utf8("中断しますか")), std::string::npos);

    // M, +, - and M again.
    pty.send("m");
    ASSERT_TRUE(pty.waitFor(utf8("モニタ開始：2手"), PATIENCE_SECONDS));
    pty.send("+");
    ASSERT_TRUE(pty.waitFor(utf8("モニタ深度：3手"), PATIENCE_SECONDS));
    pty.send("-");
    ASSERT_TRUE(pty.waitFor(utf8("モニタ深度：2手"), PATIENCE_SECONDS));
    pty.send("m");
    ASSERT_TRUE(pty.waitFor(utf8("モニタ停止"), PATIENCE_SECONDS));

    // Ctrl-C prints its hint and the search goes on; the search arms the handler again, so a
    // second Ctrl-C does the same.
    pty.send("\x03");
    ASSERT_TRUE(
        pty.waitFor(utf8("本プログラムの終了には Ctrl-C ではなく ESC を使ってください"), PATIENCE_SECONDS));
    ASSERT_TRUE(showsTheLine(pty));
    pty.send("\x03");
    ASSERT_TRUE(
        pty.waitFor(utf8("本プログラムの終了には Ctrl-C ではなく ESC を使ってください"), PATIENCE_SECONDS));

    // ESC and N: the question gets the terminal in its own mode, the search goes on.
    pty.send("\x1b");
    ASSERT_TRUE(pty.waitFor(utf8("中断しますか？（Y/N）："), PATIENCE_SECONDS));
    ASSERT_TRUE(pty.waitForMode(isCooked, PATIENCE_SECONDS));
    pty.send("n\r");
    ASSERT_TRUE(pty.waitForMode(isRaw, PATIENCE_SECONDS));
    ASSERT_TRUE(showsTheLine(pty));

    // ESC and Y: the search stops.
    pty.send("\x1b");
    ASSERT_TRUE(pty.waitFor(utf8("中断しますか？（Y/N）："), PATIENCE_SECONDS));
    ASSERT_TRUE(pty.waitForMode(isCooked, PATIENCE_SECONDS));
    pty.send("y\r");
    std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
    ASSERT_TRUE(status.has_value()) << pty.rest();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);

    std::map<std::string, long> result = summary(pty.output());
    ASSERT_FALSE(result.empty()) << pty.rest();
    EXPECT_EQ(result["state"], 3);
    EXPECT_EQ(result["proved"], 0);
    EXPECT_GT(result["interruptPly"], 0);
    EXPECT_EQ(result["resumePath"], result["interruptPly"]);
    EXPECT_EQ(result["savedChildren"], result["interruptPly"]);

    // The terminal is as it was.
    const termios after = pty.mode();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
}

}  // namespace
}  // namespace nagare

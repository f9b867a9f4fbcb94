#include "platform/keyboard.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/dialogue.h"

namespace nagare {
namespace {

// A stream holding `text`, as standard input would.
class Input {
  public:
    explicit Input(const std::string& text) : file_(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
    }
    ~Input() { std::fclose(file_); }
    std::FILE* get() const { return file_; }

  private:
    std::FILE* file_;
};

TEST(ReadInputLine, WholeLineWithSpacesWithoutItsEnd) {
    Input in("my problem.kif\r\nnext\nlast");
    std::string line;
    ASSERT_TRUE(platform::readInputLine(line, in.get()));
    EXPECT_EQ(line, "my problem.kif");
    ASSERT_TRUE(platform::readInputLine(line, in.get()));
    EXPECT_EQ(line, "next");
    ASSERT_TRUE(platform::readInputLine(line, in.get()));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(platform::readInputLine(line, in.get()));
    EXPECT_EQ(line, "");
}

struct AnswerCase {
    const char* input;
    char letter;
    bool yes;
};

TEST(AskYes, FirstCharacterOfTheAnswer) {
    const AnswerCase cases[] = {
        {"y\n", 'Y', true},  {"Y\n", 'Y', true},       {"yes\n", 'Y', true}, {"n\n", 'Y', false},
        {"no\n", 'N', true}, {"\n\n  y\n", 'Y', true}, {"", 'Y', false},     {"\n\n", 'Y', false},
        {"x\n", 'Y', false}, {"y", 'Y', true},
    };
    for (const AnswerCase& c : cases) {
        Input in(c.input);
        EXPECT_EQ(platform::askYes(c.letter, in.get()), c.yes) << '"' << c.input << '"';
    }
}

TEST(AskYes, RestOfTheLineGoesWithTheAnswer) {
    Input in("nyy\ny\n");
    EXPECT_FALSE(platform::askYes('Y', in.get()));
    EXPECT_TRUE(platform::askYes('Y', in.get()));
    EXPECT_FALSE(platform::askYes('Y', in.get()));  // the end of input answers no
}

}  // namespace
}  // namespace nagare

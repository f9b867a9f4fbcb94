// Files for tests: problem texts built from string literals (Shift-JIS, as the sources are compiled
// to CP932), temporary files named after the running test, and reading files back.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace nagare::test {

// The tab-separated fields of one line of a table (an index, a tool's rows).
inline std::vector<std::string> tabFields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    return fields;
}

// A path in the temporary folder that no other test uses.
inline std::string tempPath(std::string_view name) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string unique = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : unique)
        if (c == '/') c = '_';
    // Under the build directory, so that two builds' suites (a release and a sanitizer build) can run
    // at the same time without writing over each other's files.
    std::filesystem::path dir = std::filesystem::path(NAGARE_TEST_TEMP) / unique;
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

inline std::string writeTempFile(std::string_view name, std::string_view content) {
    std::string path = tempPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

using Rows = std::array<std::string_view, 9>;

inline constexpr std::string_view EMPTY_ROW = "| ・ ・ ・ ・ ・ ・ ・ ・ ・|";

// A plain board: the second player's king on 5一, the first player's on 5九.
inline constexpr Rows PLAIN_ROWS = {
    "| ・ ・ ・ ・v玉 ・ ・ ・ ・|一",
    EMPTY_ROW,
    EMPTY_ROW,
    EMPTY_ROW,
    EMPTY_ROW,
    EMPTY_ROW,
    EMPTY_ROW,
    EMPTY_ROW,
    "| ・ ・ ・ ・ 玉 ・ ・ ・ ・|九",
};

// The diagram block as a problem file writes it, from the second player's hand line to the first
// player's.
inline std::string diagramBlock(const Rows& rows = PLAIN_ROWS, std::string_view secondHand = "なし",
                                std::string_view firstHand = "なし", std::string_view lineEnd = "\n") {
    std::string text = "後手の持駒：" + std::string(secondHand) + std::string(lineEnd);
    text += "  ９ ８ ７ ６ ５ ４ ３ ２ １" + std::string(lineEnd);
    text += "+---------------------------+" + std::string(lineEnd);
    for (std::string_view row : rows) text += std::string(row) + std::string(lineEnd);
    text += "+---------------------------+" + std::string(lineEnd);
    text += "先手の持駒：" + std::string(firstHand) + std::string(lineEnd);
    return text;
}

}  // namespace nagare::test

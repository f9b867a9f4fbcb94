// The fuzz target's inputs replayed in the ordinary suite: the saved corpus, and every input that once
// broke the reader or the rules behind it. Under the sanitizers an unsafe access fails the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/test_files.h"
#include "problem_reader_target.h"

namespace nagare {
namespace {

std::vector<std::filesystem::path> inputsIn(const std::string& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(NAGARE_FUZZ_INPUTS) + "/" + folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

void replay(const std::string& folder) {
    const std::vector<std::filesystem::path> files = inputsIn(folder);
    ASSERT_FALSE(files.empty()) << folder;
    for (const std::filesystem::path& file : files) {
        SCOPED_TRACE(file.string());
        const std::string bytes = test::readFile(file.string());
        fuzz::exerciseProblemText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}

TEST(FuzzCorpus, SavedInputsReplay) {
    replay("corpus");
}

TEST(FuzzCorpus, InputsThatOnceFailedReplay) {
    replay("regressions");
}

}  // namespace
}  // namespace nagare

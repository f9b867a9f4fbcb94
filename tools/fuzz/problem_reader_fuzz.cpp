// libFuzzer's entry: the problem reader and the rules behind it, one input at a time.
#include <cstddef>
#include <cstdint>

#include "problem_reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nagare::fuzz::exerciseProblemText(data, size);
    return 0;
}

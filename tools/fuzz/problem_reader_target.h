// What the fuzz target does with one input, shared by the libFuzzer build and the replay of the saved
// corpus in the test suite.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nagare::fuzz {

// Reads the bytes as a problem file and puts whatever it yields through the rules: the position set
// up from the diagram, the diagram written and read back, the validation, and for a position fit to
// solve its moves to two plies (each made, checked for legality and written out) and the replay of
// the file's move list. A broken invariant aborts; so does, under the sanitizers, any unsafe access.
void exerciseProblemText(const uint8_t* data, size_t size);

}  // namespace nagare::fuzz

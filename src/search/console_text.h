// Console and report text of the search's displays, built from pieces.
#pragma once

#include <concepts>
#include <string>
#include <string_view>

namespace nagare {

namespace detail {

inline void appendPiece(std::string& out, std::string_view piece) {
    out += piece;
}
inline void appendPiece(std::string& out, std::integral auto number) {
    out += std::to_string(number);
}

}  // namespace detail

// The pieces one after the other: strings as they are, whole numbers in decimal.
template <typename... Pieces>
std::string concat(const Pieces&... pieces) {
    std::string out;
    (detail::appendPiece(out, pieces), ...);
    return out;
}

}  // namespace nagare

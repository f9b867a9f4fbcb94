// A text built in a fixed buffer, for console lines written from places that must not allocate
// (inside a store, inside space recovery). Text that does not fit is cut off, never overrun.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nagare {

template <size_t CAPACITY>
class FixedText {
  public:
    void clear() { length_ = 0; }
    std::string_view view() const { return std::string_view(buffer_.data(), length_); }

    FixedText& append(std::string_view text) {
        size_t n = text.size() < room() ? text.size() : room();
        for (size_t i = 0; i < n; ++i) buffer_[length_ + i] = text[i];
        length_ += n;
        return *this;
    }
    FixedText& appendDecimal(int64_t value) { return appendChars(value, DECIMAL); }
    FixedText& appendUnsigned(uint64_t value) { return appendChars(value, DECIMAL); }
    // Lower-case hexadecimal without leading zeros; zero is "0".
    FixedText& appendHex(uint64_t value) { return appendChars(value, HEXADECIMAL); }
    // Fixed notation with one decimal, as printf's "%.1f" writes it.
    FixedText& appendFixed1(double value) {
        auto [end, error] =
            std::to_chars(tail(), buffer_.data() + CAPACITY, value, std::chars_format::fixed, ONE_DECIMAL);
        if (error == std::errc()) length_ = static_cast<size_t>(end - buffer_.data());
        return *this;
    }

  private:
    static constexpr int DECIMAL = 10;
    static constexpr int HEXADECIMAL = 16;
    static constexpr int ONE_DECIMAL = 1;

    size_t room() const { return CAPACITY - length_; }
    char* tail() { return buffer_.data() + length_; }

    template <typename Integer>
    FixedText& appendChars(Integer value, int base) {
        auto [end, error] = std::to_chars(tail(), buffer_.data() + CAPACITY, value, base);
        if (error == std::errc()) length_ = static_cast<size_t>(end - buffer_.data());
        return *this;
    }

    std::array<char, CAPACITY> buffer_;
    size_t length_ = 0;
};

}  // namespace nagare

// The exact remainder by a divisor fixed for the run, by two multiplications instead of a division:
// the table computes a start slot for every probe.
#pragma once

#include <cstdint>

namespace nagare {

class FastModulo {
  public:
    FastModulo() = default;
    // magic = ceil(2^128 / divisor); then a mod divisor = high 64 bits of ((magic * a) mod 2^128) * divisor.
    explicit FastModulo(uint64_t divisor)
        : divisor_(divisor), magic_(divisor == 0 ? 0 : ~Wide(0) / divisor + 1) {}

    uint64_t operator()(uint64_t a) const {
        const Wide fraction = magic_ * a;
        const Wide low = (fraction & UINT64_MAX) * divisor_;
        const Wide high = (fraction >> 64) * divisor_;
        return static_cast<uint64_t>((high + (low >> 64)) >> 64);
    }

  private:
    using Wide = unsigned __int128;
    uint64_t divisor_ = 0;
    Wide magic_ = 0;
};

}  // namespace nagare

// A monotonic clock for measuring how long work takes. (<chrono> cannot be compiled with the
// Shift-JIS execution character set, so measurements go through here.)
#pragma once

namespace nagare::platform {

// Seconds on a clock that never goes back, from an arbitrary start.
double monotonicSeconds();

class Stopwatch {
  public:
    Stopwatch() : start_(monotonicSeconds()) {}
    double elapsed() const { return monotonicSeconds() - start_; }

  private:
    double start_;
};

}  // namespace nagare::platform

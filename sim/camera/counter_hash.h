// Counter-based randomness for the simulator: the value for a given input
// does not depend on what was drawn before, so images do not depend on call
// order or threads.
#pragma once

#include <cstdint>

namespace cvsim {

inline uint64_t Mix(uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace cvsim

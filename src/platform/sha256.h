// SHA-256 by the system's own library, for the run report's account of the files put in place.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace velmorin::platform {

class Sha256 {
 public:
  virtual ~Sha256() = default;
  virtual void Update(std::span<const char> data) = 0;
  // The digest of everything given since the last Finish; the next Update starts a new one.
  virtual std::array<uint8_t, 32> Finish() = 0;
};

}  // namespace velmorin::platform

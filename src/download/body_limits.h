// The bounds a download's body keeps, whatever the server does: a least average rate, so that
// a body dripped just fast enough to pass every stall window still ends; and room, so that no
// body fills the data drive that holds the back-office program's record files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace velmorin {

inline constexpr int64_t kMinBodyRate = 4096;                         // bytes a second
inline constexpr int64_t kRoomReserve = 64 * 1024 * 1024;             // left free on the target's drive
inline constexpr int64_t kMaxBody = int64_t{2} * 1024 * 1024 * 1024;  // no download is larger

// Whether a body is too slow: once two stall windows have passed since its first byte, the
// bytes received since then average less than kMinBodyRate a second.
bool BelowRateFloor(double seconds_since_first_byte, int64_t bytes_since_first_byte, double stall_window_s);

// The room a body needs on its drive when it does not have it, nothing while it fits. `received`
// bytes are written, `incoming` are about to be, `length` is the announced whole (-1 unknown)
// and `free_room` the drive's free bytes now (-1 unknown: only the size cap applies).
std::optional<int64_t> RoomShortfall(int64_t received, int64_t incoming, int64_t length, int64_t free_room);

// RoomShortfall for one transfer, asking the drive for its free room only now and then (a share
// answers slowly): an announced length once, before any byte, then every kRecheck bytes, with
// what was written since taken off the last answer in between.
class RoomGuard {
 public:
  static constexpr int64_t kRecheck = 4 * 1024 * 1024;

  std::optional<int64_t> Check(int64_t received, int64_t incoming, int64_t length,
                               const std::function<int64_t()>& free_space);

 private:
  bool asked_ = false;
  int64_t free_ = -1;
  int64_t asked_at_ = 0;  // bytes received when the drive was last asked
};

}  // namespace velmorin

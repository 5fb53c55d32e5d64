#include "download/body_limits.h"

#include <algorithm>

namespace velmorin {

bool BelowRateFloor(double seconds_since_first_byte, int64_t bytes_since_first_byte, double stall_window_s) {
  if (seconds_since_first_byte < 2 * stall_window_s) return false;
  return static_cast<double>(bytes_since_first_byte) < kMinBodyRate * seconds_since_first_byte;
}

std::optional<int64_t> RoomShortfall(int64_t received, int64_t incoming, int64_t length, int64_t free_room) {
  const int64_t coming = length >= 0 ? std::max(length - received, incoming) : incoming;
  const int64_t needed = coming + kRoomReserve;
  if (received + coming > kMaxBody) return needed;
  if (free_room >= 0 && free_room < needed) return needed;
  return std::nullopt;
}

std::optional<int64_t> RoomGuard::Check(int64_t received, int64_t incoming, int64_t length,
                                        const std::function<int64_t()>& free_space) {
  if (incoming == 0 && (asked_ || length < 0)) return std::nullopt;
  if (!asked_ || received - asked_at_ >= kRecheck) {
    free_ = free_space ? free_space() : -1;
    asked_ = true;
    asked_at_ = received;
  }
  const int64_t free_room = free_ < 0 ? -1 : std::max<int64_t>(0, free_ - (received - asked_at_));
  return RoomShortfall(received, incoming, length, free_room);
}

}  // namespace velmorin

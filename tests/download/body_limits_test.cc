#include "download/body_limits.h"

#include <gtest/gtest.h>

namespace velmorin {
namespace {

TEST(BodyLimitsTest, TheRateFloorStartsAfterTwoWindowsAndTheRoomKeepsTheReserveAndTheCap) {
  EXPECT_FALSE(BelowRateFloor(59.9, 0, 30));
  EXPECT_TRUE(BelowRateFloor(60, 60 * kMinBodyRate - 1, 30));
  EXPECT_EQ(RoomShortfall(0, 0, 100, kRoomReserve + 100), std::nullopt);
  EXPECT_EQ(RoomShortfall(0, 0, 100, kRoomReserve + 99), kRoomReserve + 100);
  EXPECT_EQ(RoomShortfall(40, 1, 100, kRoomReserve + 60), std::nullopt) << "only the rest must fit";
  EXPECT_EQ(RoomShortfall(kMaxBody, 1, -1, -1), kRoomReserve + 1) << "the cap holds when the room is unknown";
}

// Between two questions to the drive, what was written since the last one counts.
TEST(BodyLimitsTest, TheDriveIsAskedOnceARecheckAndWhatWasWrittenCounts) {
  int asked = 0;
  RoomGuard guard;
  const auto free_space = [&] { return ++asked, kRoomReserve + RoomGuard::kRecheck; };
  EXPECT_EQ(guard.Check(0, RoomGuard::kRecheck, -1, free_space), std::nullopt);
  EXPECT_EQ(guard.Check(1, RoomGuard::kRecheck, -1, free_space), kRoomReserve + RoomGuard::kRecheck);
  EXPECT_EQ(guard.Check(RoomGuard::kRecheck, 1, -1, free_space), std::nullopt);
  EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace velmorin

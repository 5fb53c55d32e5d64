// The seconds-since-midnight clock of the timed waits.
#pragma once

namespace velmorin::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight, with fractions; restarts at 0 at midnight.
  virtual double SecondsSinceMidnight() = 0;
  // Gives the processor away for about this long (waits must not burn a core).
  virtual void Sleep(double seconds) = 0;
};

}  // namespace velmorin::platform

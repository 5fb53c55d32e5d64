// The clocks of the timed waits.
#pragma once

namespace velmorin::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight, with fractions; restarts at 0 at midnight, and moves with
  // every change of the wall clock (a time sync, the end of summer time).
  virtual double SecondsSinceMidnight() = 0;
  // Seconds from some fixed moment, with fractions, on a clock that only moves forward, at
  // the pace of real time: what the waits measure.
  virtual double SteadySeconds() = 0;
  // Gives the processor away for about this long (waits must not burn a core).
  virtual void Sleep(double seconds) = 0;
};

}  // namespace velmorin::platform

// The program clock and the timers (see QORTimer.h).
//
// The clock is a steady clock read in double-precision seconds: single
// precision would quantise readings to milliseconds after a few hours of
// running, and to 8 ms after a day.
#include "QORTimer.h"

#include <chrono>

namespace {

// Function-local so that timers used by other libraries' start-up code read a
// started clock whatever the order of static initialisation.
std::chrono::steady_clock::time_point StopWatchStart()
{
    static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    return start;
}

// Starts the clock when the program is loaded, not at its first reading.
[[maybe_unused]] const auto gStopWatch = StopWatchStart();

} // namespace

double QORGetProgramTime()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - StopWatchStart()).count();
}

void TQORTimer::Start()
{
    StartTime = QORGetProgramTime();
    Timing = true;
}

void TQORTimer::Stop()
{
    Timing = false;
    StopTime = QORGetProgramTime();
}

double TQORTimer::Read() const
{
    return Timing ? QORGetProgramTime() - StartTime : StopTime - StartTime;
}

void TQORTimer::Continue()
{
    if (Timing) return;
    StartTime = QORGetProgramTime() - (StopTime - StartTime);
    Timing = true;
}

void TQORTimer::SetTime(double t)
{
    double now = QORGetProgramTime();
    StartTime = now - t;
    StopTime = now;
}

TQORAverageTime::TQORAverageTime() : Samples(size_t(SampleCapacity), 0.0) {}

void TQORAverageTime::Start()
{
    StartTime = QORGetProgramTime();
}

double TQORAverageTime::Stop()
{
    double d = QORGetProgramTime() - StartTime;
    if (SampleCapacity <= 0) return d;
    if (SampleCount < SampleCapacity) {
        Samples[size_t(SampleCount++)] = d;
    } else {
        for (int i = 1; i < SampleCapacity; ++i) Samples[size_t(i - 1)] = Samples[size_t(i)];
        Samples[size_t(SampleCapacity - 1)] = d;
    }
    return d;
}

void TQORAverageTime::SetSampleCount(int n)
{
    if (n == SampleCapacity) return;
    if (n < 0) n = 0;
    SampleCapacity = n;
    Samples.assign(size_t(n), 0.0);
    SampleCount = 0;
}

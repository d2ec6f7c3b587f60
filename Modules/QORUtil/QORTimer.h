// The program clock and the two timers that read it.
//
// The clock starts when the program is loaded and is never reset; "now" is
// its elapsed time in seconds. TQORTimer is a stopwatch that can be stopped
// and continued; TQORAverageTime keeps the last few measured durations
// (oldest first) for averaging. Neither takes a lock: a timer belongs to the
// thread that uses it.
#pragma once

#include <vector>

// Seconds since the program was loaded (monotonic).
double QORGetProgramTime();

class TQORTimer {
public:
    // Now becomes the start; the timer runs.
    void Start();
    // Stops the timer; Read() then gives stop - start.
    void Stop();
    // Seconds: while running now - start, otherwise stop - start.
    double Read() const;
    // Resumes a stopped timer so that its reading continues from where it stopped.
    void Continue();
    // A stopped timer then reads t seconds; the running state is kept.
    void SetTime(double t);
    bool IsTiming() const { return Timing; }

    bool Timing = false;
    double StartTime = 0.0;   // seconds of program time
    double StopTime = 0.0;    // seconds of program time
};

class TQORAverageTime {
public:
    TQORAverageTime();

    void Start();
    // Stores the duration since Start() (dropping the oldest sample when full) and returns it.
    double Stop();
    // Replaces the sample buffer by an empty one of n samples (nothing when n is the capacity).
    void SetSampleCount(int n);
    // A no-op by design: the timer keeps no per-project analysis to restart after a load.
    void RestartTimeAnalysis() {}

    double StartTime = 0.0;             // seconds of program time
    int SampleCount = 0;                // samples stored, at most SampleCapacity
    int SampleCapacity = 20;
    std::vector<double> Samples;        // SampleCapacity slots; [0, SampleCount) hold durations, oldest first
};

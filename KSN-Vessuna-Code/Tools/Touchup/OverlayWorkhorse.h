// TODO(stub): stands for the touch-up brush's overlay worker (the thread that
// stamps brush dabs into the screen-space overlay during a stroke) and the
// touch-up renderer until the touch-up pipeline exists. The worker is made
// idle at start-up and cleaned up on the way out; no stroke starts it yet.
#pragma once

#include <mutex>

class TOverlay_Workhorse {
public:
    // Idle: no work images, no points, no thread.
    TOverlay_Workhorse() = default;
    TOverlay_Workhorse(const TOverlay_Workhorse&) = delete;
    TOverlay_Workhorse& operator=(const TOverlay_Workhorse&) = delete;

    std::mutex Mutex;
    bool ThreadStarted = false;
};

// The one overlay worker; made at start-up, alive until the process ends.
extern TOverlay_Workhorse* OverlayWorkhorse;

// At exit: stops a running worker thread and frees its data (the object stays).
void CleanupOverlayWorkhorse();
// Cancels the touch-up brush's viewport renderer when one exists.
void CancelTouchupRenderer();

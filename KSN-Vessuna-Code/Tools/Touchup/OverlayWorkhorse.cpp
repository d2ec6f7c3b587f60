#include "OverlayWorkhorse.h"

TOverlay_Workhorse* OverlayWorkhorse = nullptr;

// TODO(stub): no stroke ever starts the worker yet, so there is no thread to
// join and no image to free.
void CleanupOverlayWorkhorse()
{
    if (!OverlayWorkhorse) return;
    std::scoped_lock lock(OverlayWorkhorse->Mutex);
    OverlayWorkhorse->ThreadStarted = false;
}

// TODO(stub): there is no touch-up renderer yet.
void CancelTouchupRenderer() {}

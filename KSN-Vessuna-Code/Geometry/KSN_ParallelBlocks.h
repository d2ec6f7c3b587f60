// KSN_RunInBlocks: a loop over an index range spread over the program's
// worker pool in blocks handed out one at a time, for the bulk passes of the
// mesh builds.
#pragma once

#include "QORThreads.h"

#include <cstddef>

// Whether the program's pool can share work now (it exists, has more than
// one slot and nobody holds it); passes whose parallel form costs more work
// than their serial one take the serial one otherwise.
inline bool KSN_PoolCanShare()
{
    return ThreadCruncher && ThreadCruncher->GetSlotCount() > 1 && !ThreadCruncher->IsBusy() &&
           !ThreadCruncher->IsPoolThread();
}

// Runs job(first, end) over 0..count in blocks of block items on the pool when
// it is free; when the pool is missing, held elsewhere (never waited for) or
// the caller is one of its own jobs, the whole range runs on this thread in
// one call. Which thread runs a block is not fixed: job must write only its
// own block's results.
template <class Job>
void KSN_RunInBlocks(size_t count, size_t block, Job& job)
{
    if (count == 0) return;
    TThreadCruncher_Releaser releaser;
    if (ThreadCruncher && ThreadCruncher->GetSlotCount() > 1 && count > block &&
        ThreadCruncher->TryStartUsing(releaser)) {
        ThreadCruncher->ProcessBlocks(
            count, block, [](size_t first, size_t end, void* user) { (*static_cast<Job*>(user))(first, end); },
            &job);
        return;
    }
    job(size_t(0), count);
}

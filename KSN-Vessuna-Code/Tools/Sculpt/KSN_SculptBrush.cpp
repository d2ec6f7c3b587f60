// The sculpt brushes: settings and keys, the per-dab sequence, the vertex
// search on the pool and the per-kind layer update.
#include "KSN_SculptBrush.h"

#include "KSN_DisplacementBake.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "KSN_Parameter.h"
#include "KSN_SubDMesh.h"
#include "KSN_SymmetryCalculator.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORMemory.h"
#include "QORPolyMesh_Normals.h"
#include "QORThreads.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <functional>
#include <initializer_list>
#include <thread>
#include <typeinfo>
#include <cmath>
#include <chrono>
#include <cstring>
#include <exception>
#include <mutex>
#include <vector>

#include <emmintrin.h>

// A default dab moves at most 0.005 x the diameter; mode 1 moves a whole one.
int32_t SculptBlendMode = 2;
bool SculptSnapToNormals = true;

// [SECTION] Per-vertex work


namespace {

// Mean of the corners of every polygon around v (each occurrence counted);
// false when v has no polygons.
bool CornerMean(TKSN_MeshRoot* level, int v, float out[3])
{
    if (!level->vertexPolygons.IsFinalized() || v >= level->vertexPolygons.GetRowCount()) return false;
    const int* row = level->vertexPolygons[v];
    double sum[3] = {0, 0, 0};
    int n = 0;
    for (int k = 1; k <= row[0]; ++k) {
        const int q = row[k];
        for (int c = 0, corners = level->vGetPolyN(q); c < corners; ++c) {
            const float* p = level->resolvedVertices + 3 * level->vGetPolyV(q, c);
            sum[0] += p[0];
            sum[1] += p[1];
            sum[2] += p[2];
            ++n;
        }
    }
    if (n == 0) return false;
    for (int i = 0; i < 3; ++i) out[i] = float(sum[i] / n);
    return true;
}

// The sum of the normals of the polygons in row (a vertex's, count first),
// normalised into out (zero without a row or polygons).
inline void WriteVertexNormal(const int* row, const float* polygonNormals, float* out)
{
    float sum[3] = {0, 0, 0};
    if (row)
        for (int j = 1; j <= row[0]; ++j)
            for (int i = 0; i < 3; ++i) sum[i] += polygonNormals[3 * row[j] + i];
    const float len2 = sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2];
    // The same arithmetic as KSN_FastInverseSqrt, inline.
    const float inv = len2 > 0.0f ? QORPolyMesh_FastInverseSqrt(len2) : 0.0f;
    for (int i = 0; i < 3; ++i) out[i] = sum[i] * inv;
}

void RecalculateVertexNormal(TKSN_MeshRoot* level, int v)
{
    const bool table = level->vertexPolygons.IsFinalized() && v < level->vertexPolygons.GetRowCount();
    WriteVertexNormal(table ? level->vertexPolygons[v] : nullptr, level->polygonNormals, level->vertexNormals + 3 * v);
}

// Fetches the line holding p ahead of its use. g++ drops some
// __builtin_prefetch calls whose address is read through a member, so on
// x86 the instruction is written out.
inline void FetchEarly(const void* p)
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(p)));
#else
    __builtin_prefetch(p);
#endif
}

// The polygon flags of a level whose hidden and locked tests read nothing
// else (the polygon mesh and the editable mesh, exactly those classes);
// null for any other, which is asked per polygon.
const uint32_t* PolygonMaskFlags(TKSN_MeshRoot* level)
{
    if (typeid(*level) != typeid(TKSN_Mesh) && typeid(*level) != typeid(TQORPolyMesh)) return nullptr;
    return static_cast<TQORPolyMesh*>(level)->PolygonFlags;
}

// Where a level keeps its polygons' corners, for fetching them early: a
// polygon mesh's records and their corner arrays, or a flat corner table.
struct TCornerStore {
    explicit TCornerStore(TKSN_MeshRoot* level)
        : Table(level->GetQuadCornerTable(Stride)),
          Records(Table ? nullptr : dynamic_cast<TQORPolyMesh*>(level)),
          Inline(Records && PolygonMaskFlags(level) && level->polygonNormals && level->resolvedVertices)
    {
    }
    void Prefetch(const int32_t* polygons, int k, int end) const
    {
        constexpr int kAhead = 8;
        if (Records) {
            if (k + 2 * kAhead < end) FetchEarly(&Records->Polygons[polygons[k + 2 * kAhead]]);
            if (k + kAhead < end) FetchEarly(Records->Polygons[polygons[k + kAhead]].Points);
        } else if (Table && k + kAhead < end) {
            FetchEarly(Table + size_t(Stride) * size_t(polygons[k + kAhead]));
        }
    }
    int Stride = 0;
    const int32_t* Table;
    TQORPolyMesh* Records;
    bool Inline;   // Records' polygon normals through the inline mesh formula
};

// The normals of the listed polygons first <= k < end.
void RecalculateListedPolygonNormals(TKSN_MeshRoot* level, const TCornerStore& store, const int32_t* polygons,
                                     int first, int end)
{
    if (store.Inline) {
        for (int k = first; k < end; ++k) {
            store.Prefetch(polygons, k, end);
            QORPolyMesh_WritePolygonNormal(*store.Records, polygons[k]);
        }
        return;
    }
    for (int k = first; k < end; ++k) {
        store.Prefetch(polygons, k, end);
        level->RecalculatePolyNormal(polygons[k]);
    }
}

// Runs fn(first, end) over count entries in blocks of blockSize, handed out
// to the pool's free slots as they take them (fn writes only its block's
// results); a slot that has not begun when the blocks are done is not
// waited for, as a dab's passes are too short to wait out a busy machine.
template <class Fn>
void ForBlocks(int count, int blockSize, Fn fn)
{
    if (count <= 0) return;
    if (count <= blockSize || !ThreadCruncher || ThreadCruncher->IsPoolThread()) {
        fn(0, count);
        return;
    }
    TThreadCruncher_Releaser releaser;
    ThreadCruncher->StartUsing(releaser);
    ThreadCruncher->ProcessBlocksOnFreeSlots(
        size_t(count), size_t(blockSize),
        [](size_t first, size_t end, void* user) { (*static_cast<Fn*>(user))(int(first), int(end)); }, &fn);
}

// Runs the phases one after the other, each over count entries in blocks
// handed to the pool's free slots (each phase once the previous one has
// returned; a single hand-out with waits between the phases measured slower
// on a busy machine); on this thread alone when the work is small, where
// starting the slots costs more than it saves.
struct TDabPhase {
    int Count = 0;
    int BlockSize = 1;
    std::function<void(int, int)> Run;
};
void ForPhases(std::initializer_list<TDabPhase> phases, int totalWork)
{
    constexpr int kSmallDab = 1500;   // listed vertices
    if (totalWork < kSmallDab || !ThreadCruncher || ThreadCruncher->IsPoolThread()) {
        for (const TDabPhase& phase : phases)
            if (phase.Count > 0) phase.Run(0, phase.Count);
        return;
    }
    for (const TDabPhase& phase : phases) ForBlocks(phase.Count, std::max(phase.BlockSize, 1), phase.Run);
}

// Array work: blocks of 512 entries (never fewer than 100 a slot), so a slot
// that starts late holds up at most one small block.
template <class Fn>
void ForRanges(int count, Fn fn)
{
    ForBlocks(count, 512, fn);
}

// The phases of one dab in one hand-out of the pool. The jobs of every phase
// are cut into as many chunks as the pool has slots, and a thread always
// takes the jobs of its own chunk first (the same chunk in every phase, so
// the lines it searched stay in its caches for the layer, the normals and
// the bounds; moving a dab's lines between processors cost more than
// sharing its work saved), then what is left of the others, so a slot that
// starts late or not at all holds nothing up. A job of phase p begins only
// once every job of phase p - 1 has returned. Lives on the caller's stack:
// the pool waits for every thread that joined before the call returns.
class TDabPhaseRun {
public:
    static constexpr int kMaxPhases = 4;
    TDabPhaseRun(const int* jobs, int phases, int chunks) : Phases(std::min(phases, kMaxPhases)), Chunks(chunks)
    {
        Chunks = std::clamp(Chunks, 1, QOR_THREADCRUNCHER_MAX_SLOTS);
        for (int p = 0; p < Phases; ++p) {
            Jobs[p] = std::max(jobs[p], 0);
            for (int c = 0; c < Chunks; ++c) {
                Cursor[p][c].Next.store(ChunkBegin(p, c), std::memory_order_relaxed);
                Cursor[p][c].End = ChunkBegin(p, c + 1);
            }
        }
    }
    // Runs enter(phase, scratch) and then run(phase, job, scratch) for the
    // jobs this thread takes, phase by phase, with a Scratch of this call's
    // own: the n-th thread to join takes kept[n] (kept by the caller from
    // run to run, so a dab allocates nothing: a scratch freed at the end of
    // every join cost each thread microseconds at its next one), any beyond
    // keptCount one of their own; place picks its own chunk. An exception is
    // kept for Rethrow and the remaining jobs only counted.
    template <class Scratch, class Enter, class Run>
    void Join(int place, Scratch* kept, int keptCount, Enter&& enter, Run&& run)
    {
        const int ordinal = Joined.fetch_add(1, std::memory_order_relaxed);
        Scratch spare;
        Scratch& scratch = ordinal < keptCount ? kept[ordinal] : spare;
        const int own = place % Chunks;
        using TClock = std::chrono::steady_clock;
        TThreadTimes times;
        TClock::time_point mark = Timed ? TClock::now() : TClock::time_point();
        // Wall time from mark to now into sum, when timed.
        auto lap = [&](double& sum) {
            if (!Timed) return;
            const TClock::time_point now = TClock::now();
            sum += std::chrono::duration<double, std::micro>(now - mark).count();
            mark = now;
        };
        if (Timed) times.Arrive = std::chrono::duration<double, std::micro>(mark - Start).count();
        for (int p = 0; p < Phases; ++p) {
            for (int q = 0; q < p; ++q) WaitForPhase(q);
            lap(times.Wait[p]);
            if (Jobs[p] == 0) continue;
            if (!Failed.load(std::memory_order_relaxed)) Guard([&] { enter(p, scratch); });
            int done = 0;
            for (int i = 0; i < Chunks; ++i) {
                TCursor& cursor = Cursor[p][(own + i) % Chunks];
                if (cursor.Next.load(std::memory_order_relaxed) >= cursor.End) continue;
                for (int job; (job = cursor.Next.fetch_add(1, std::memory_order_relaxed)) < cursor.End; ++done)
                    if (!Failed.load(std::memory_order_relaxed)) Guard([&] { run(p, job, scratch); });
            }
            lap(times.Work[p]);
            if (done > 0 && Done[p].Jobs.fetch_add(done, std::memory_order_acq_rel) + done == Jobs[p]) {
                if (Timed) PhaseEnd[p] = std::chrono::steady_clock::now();
                Done[p].Jobs.notify_all();
            }
        }
        if (!Timed) return;
        std::scoped_lock lock(ThreadTimesMutex);
        ThreadTimes.Arrive += times.Arrive;
        for (int p = 0; p < kMaxPhases; ++p) {
            ThreadTimes.Wait[p] += times.Wait[p];
            ThreadTimes.Work[p] += times.Work[p];
        }
        ++ThreadTimes.Joins;
    }
    // When timed, the end of each phase's last job (read once the run has
    // returned), and the joining threads' times summed: from Start to their
    // arrival, waiting for each phase, and at its jobs.
    bool Timed = false;
    std::chrono::steady_clock::time_point Start;
    std::chrono::steady_clock::time_point PhaseEnd[kMaxPhases];
    struct TThreadTimes {
        double Arrive = 0.0;
        double Wait[kMaxPhases] = {};
        double Work[kMaxPhases] = {};
        long Joins = 0;
    } ThreadTimes;
    void Rethrow()
    {
        if (Failure) std::rethrow_exception(Failure);
    }

private:
    int ChunkBegin(int p, int c) const { return int(int64_t(Jobs[p]) * c / Chunks); }
    template <class Fn>
    void Guard(Fn&& fn)
    {
        try {
            fn();
        } catch (...) {
            std::scoped_lock lock(FailureMutex);
            if (!Failure) Failure = std::current_exception();
            Failed.store(true);
        }
    }
    // The phase's last jobs run on other threads that are at work: pause for
    // a few microseconds, then yield the processor (on a busy machine the
    // thread holding the last job may be waiting for one), then sleep until
    // the last one wakes the waiters.
    void WaitForPhase(int p)
    {
        std::atomic<int>& done = Done[p].Jobs;
        int at = done.load(std::memory_order_acquire);
        if (at >= Jobs[p]) return;
        const auto start = std::chrono::steady_clock::now();
        bool yielding = false, sleeping = false;
        for (int i = 1; at < Jobs[p]; ++i) {
            if (sleeping) {
                done.wait(at, std::memory_order_acquire);
            } else if (yielding) {
                std::this_thread::yield();
            } else {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
            at = done.load(std::memory_order_acquire);
            // The clock is read every 32 pauses and after every yield.
            if (sleeping || (!yielding && (i & 31) != 0)) continue;
            const auto spent = std::chrono::steady_clock::now() - start;
            yielding = spent >= std::chrono::microseconds(5);
            sleeping = spent >= std::chrono::microseconds(60);
        }
    }

    struct alignas(64) TCursor {
        std::atomic<int> Next{0};
        int End = 0;
    };
    struct alignas(64) TDone {
        std::atomic<int> Jobs{0};
    };
    int Phases;
    int Chunks;
    int Jobs[kMaxPhases] = {};
    TCursor Cursor[kMaxPhases][QOR_THREADCRUNCHER_MAX_SLOTS];
    TDone Done[kMaxPhases];
    std::atomic<bool> Failed{false};
    std::atomic<int> Joined{0};
    std::mutex ThreadTimesMutex;
    std::mutex FailureMutex;
    std::exception_ptr Failure;
};

// The calling thread's place among the threads that run dab phases: 0 for a
// thread outside the pool, a lasting number of its own for each slot thread.
int DabThreadPlace()
{
    static std::atomic<int> next{1};
    thread_local int place = -1;
    if (place < 0) place = ThreadCruncher && ThreadCruncher->IsPoolThread() ? next.fetch_add(1) : 0;
    return place;
}

// Entries first <= k < end of a dab whose kind reads only the vertex itself
// (the sculpt kind without post smoothing, the eraser) and without symmetry:
// the new delta, the layer and the position in one step.
void ApplyOwnChanges(TKSN_MeshRoot* level, float* deltas, const TKSN_AffectedVertex* list, int first, int end,
                     const TKSN_SculptDab& dab, const float* normal, bool texture)
{
    const float s = dab.LayerStrength;
    float* const positions = level->resolvedVertices;
    constexpr int kAhead = 16;
    for (int k = first; k < end; ++k) {
        const int v = list[k].Vertex;
        if (k + kAhead < end) {
            const int ahead = list[k + kAhead].Vertex;
            FetchEarly(deltas + 3 * ahead);
            FetchEarly(positions + 3 * ahead);
        }
        const float c = std::clamp(dab.Strength * list[k].Weight, 0.0f, 1.0f);
        float* D = deltas + 3 * v;
        float* R = positions + 3 * v;
        float n[3];
        if (dab.Kind == eKSN_SculptKind::Eraser) {
            const float keep = 1.0f - std::min(1.0f, c * dab.Amplitude);
            for (int i = 0; i < 3; ++i) n[i] = D[i] * keep;
        } else {
            float d[3];
            for (int i = 0; i < 3; ++i) d[i] = dab.Amplitude * normal[i];
            if (texture) {
                float uv[3] = {0, 0, 0};
                dab.TextureCoordinates(v, level->baseVertices ? level->baseVertices + 3 * v : R, uv);
                const float f =
                    KSN_SculptTextureFactor(dab.Texture, dab.TextureWidth, dab.TextureHeight, uv[0], uv[1]);
                for (float& x : d) x *= f;
            }
            for (int i = 0; i < 3; ++i)
                n[i] = dab.BlendType == 0 ? D[i] + (d[i] - D[i]) * c
                                          : (dab.BlendType == 1 ? D[i] + c * d[i] : D[i]);
        }
        for (int i = 0; i < 3; ++i) {
            R[i] += s * (n[i] - D[i]);
            D[i] = n[i];
        }
    }
}

} // namespace

float KSN_SculptTextureFactor(const unsigned char* pixels, int width, int height, float u, float v)
{
    if (!pixels || width <= 0 || height <= 0) return 1.0f;
    // One axis: texel position x (texel centres at whole numbers) wrapped into
    // the image; the texel, its neighbour and the neighbour's share. Past the
    // last texel centre the last texel is used alone (no blend across the seam).
    auto wrap = [](float at, int n, int& i, int& i1, float& share) {
        double x = std::isfinite(at) ? double(at) : 0.0;
        if (x < 0.0) x = double(n) - std::fmod(-x, double(n));
        if (x > double(n - 1)) x = std::fmod(x, double(n));
        if (x > double(n - 1)) {
            i = i1 = n - 1;
            share = 0.0f;
            return;
        }
        x = std::max(x, 0.0);
        i = std::min(int(x), n - 1);
        i1 = i < n - 1 ? i + 1 : i;
        share = float(x - double(i));
    };
    int i, i1, j, j1;
    float a, b;
    wrap(u * float(width) - 0.5f, width, i, i1, a);
    wrap(v * float(height) - 0.5f, height, j, j1, b);
    auto channel = [&](int c) {
        auto P = [&](int x, int y) { return float(pixels[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(c)]); };
        return int((P(i, j) * (1 - a) + P(i1, j) * a) * (1 - b) + (P(i, j1) * (1 - a) + P(i1, j1) * a) * b);
    };
    float intensity = float(2 * channel(0) + channel(1)) * 2.0f / 765.0f;
    const int alpha = channel(3);
    if (alpha < 255) intensity *= float(alpha) / 255.0f;
    return intensity - 1.0f;
}

bool KSN_SculptDabReadsNeighbours(const TKSN_SculptDab& dab)
{
    return dab.Kind == eKSN_SculptKind::Smooth ||
           (dab.Kind == eKSN_SculptKind::Sculpt && std::min(1.0f, dab.Strength * dab.PostSmooth) > 0.0f);
}

void KSN_ApplySculptDab(TKSN_MeshRoot* level, float* deltas, const TKSN_AffectedVertex* list, int count,
                        const TKSN_SculptDab& dab)
{
    if (!level || !deltas || !list || count <= 0 || !level->resolvedVertices) return;
    const bool texture = dab.Texture && dab.TextureWidth > 0 && dab.TextureHeight > 0 && dab.TextureCoordinates;
    const float s = dab.LayerStrength;
    // Without symmetry and without neighbour means (the sculpt kind without
    // post smoothing, the eraser) each vertex reads only itself: one pass
    // writes the layer and the position. It gives what the two passes below give.
    if (!dab.Partners && !KSN_SculptDabReadsNeighbours(dab)) {
        ForRanges(count, [&](int first, int end) { ApplyOwnChanges(level, deltas, list, first, end, dab, dab.Normal, texture); });
        return;
    }
    // New deltas first, from the positions before the dab.
    static thread_local std::vector<float> scratch;
    if (scratch.size() < size_t(count) * 3) scratch.resize(size_t(count) * 3);
    float* const nextData = scratch.data();
    ForRanges(count, [&](int first, int end) {
        for (int k = first; k < end; ++k) {
            const int v = list[k].Vertex;
            const float c = std::clamp(dab.Strength * list[k].Weight, 0.0f, 1.0f);
            const float* D = deltas + 3 * v;
            const float* R = level->resolvedVertices + 3 * v;
            float* out = nextData + 3 * k;
            float a[3];
            switch (dab.Kind) {
            case eKSN_SculptKind::Sculpt: {
                float d[3];
                for (int i = 0; i < 3; ++i) d[i] = dab.Amplitude * dab.Normal[i];
                const float smooth = std::min(1.0f, dab.Strength * dab.PostSmooth);
                if (smooth > 0.0f && CornerMean(level, v, a))
                    for (int i = 0; i < 3; ++i) d[i] += smooth * (a[i] - R[i]);
                if (texture) {
                    float uv[3] = {0, 0, 0};
                    dab.TextureCoordinates(v, level->baseVertices ? level->baseVertices + 3 * v : R, uv);
                    const float f = KSN_SculptTextureFactor(dab.Texture, dab.TextureWidth, dab.TextureHeight, uv[0], uv[1]);
                    for (float& x : d) x *= f;
                }
                for (int i = 0; i < 3; ++i)
                    out[i] = dab.BlendType == 0 ? D[i] + (d[i] - D[i]) * c : (dab.BlendType == 1 ? D[i] + c * d[i] : D[i]);
                break;
            }
            case eKSN_SculptKind::Smooth:
                if (CornerMean(level, v, a))
                    for (int i = 0; i < 3; ++i) out[i] = D[i] + c * (a[i] - R[i]);
                else
                    for (int i = 0; i < 3; ++i) out[i] = D[i];
                break;
            case eKSN_SculptKind::Eraser: {
                const float keep = 1.0f - std::min(1.0f, c * dab.Amplitude);
                for (int i = 0; i < 3; ++i) out[i] = D[i] * keep;
                break;
            }
            }
        }
    });
    // Then the layer and the positions together.
    const int axis = std::clamp(dab.Axis, 0, 2);
    auto onPlane = [&](int v) {
        return level->baseVertices &&
               std::fabs(level->baseVertices[3 * v + axis] - dab.PlaneOffset) <= dab.PlaneTolerance;
    };
    ForRanges(count, [&](int first, int end) {
        for (int k = first; k < end; ++k) {
            const int v = list[k].Vertex;
            float* D = deltas + 3 * v;
            float* R = level->resolvedVertices + 3 * v;
            float* n = nextData + 3 * k;
            if (dab.Partners && onPlane(v)) n[axis] = D[axis];
            for (int i = 0; i < 3; ++i) {
                const float change = n[i] - D[i];
                // Kept as the change itself for the partner pass below.
                R[i] += s * change;
                D[i] = n[i];
                n[i] = change;
            }
        }
    });
    if (!dab.Partners) return;
    // Partners are distinct vertices off the list; one pass on this thread.
    for (int k = 0; k < count; ++k) {
        const int v = list[k].Vertex, p = dab.Partners[v];
        if (p < 0 || p == v || p >= level->GetVCount() || onPlane(v)) continue;
        float* D = deltas + 3 * p;
        float* R = level->resolvedVertices + 3 * p;
        for (int i = 0; i < 3; ++i) {
            const float change = i == axis ? -nextData[3 * k + i] : nextData[3 * k + i];
            R[i] += s * change;
            D[i] += change;
        }
    }
}

const int32_t* KSN_GetSculptSymmetryPartners(TKSN_MeshRoot* level, TKSN_Mesh* owner, bool flipped)
{
    if (!level || !owner) return nullptr;
    if (!level->vertexPartners[0] || !level->vertexPartners[1] || level->symmetryAxis != owner->symmetryAxis ||
        level->symmetryOffset != owner->symmetryOffset) {
        level->symmetryAxis = owner->symmetryAxis;
        level->symmetryOffset = owner->symmetryOffset;
        level->symmetryPrecision = owner->symmetryPrecision;
        // Levels do not keep partner maps of their own until asked.
        const int n = level->GetVCount();
        for (int i = 0; i < 2 && n > 0; ++i)
            if (!level->vertexPartners[i])
                level->vertexPartners[i] = static_cast<int32_t*>(QORalloc(size_t(n) * sizeof(int32_t)));
        TKSN_SymmetryCalculator calculator;
        calculator.Start(level, std::clamp(int(owner->symmetryAxis), 0, 2),
                         std::clamp(owner->symmetryPrecision, 3.0f, 10.0f));
        calculator.FinishWorkIfNecessary();
    }
    return level->vertexPartners[flipped ? 1 : 0];
}

void KSN_RecalculateNormalsAfterSculpt(TKSN_MeshRoot* level, const TKSN_AffectedVertex* vertices, int vertexCount,
                                       const int32_t* polygons, int polygonCount)
{
    if (!level || !level->vertexNormals || !level->polygonNormals) return;
    const TCornerStore store(level);
    ForRanges(polygonCount,
              [&](int first, int end) { RecalculateListedPolygonNormals(level, store, polygons, first, end); });
    const bool table = level->vertexPolygons.IsFinalized();
    const int rows = table ? level->vertexPolygons.GetRowCount() : 0;
    ForRanges(vertexCount, [&](int first, int end) {
        for (int k = first; k < end; ++k) {
            if (k + 8 < end && vertices[k + 8].Vertex < rows) FetchEarly(level->vertexPolygons[vertices[k + 8].Vertex]);
            RecalculateVertexNormal(level, vertices[k].Vertex);
        }
    });
}

// [SECTION] Brushes

TKSN_SculptBrush::TKSN_SculptBrush()
{
    Describe("Sculpt", "Deformer", 0x10 | 0x10000);
    Flags &= ~uint32_t(0x20);
}

TKSN_SculptSmoothBrush::TKSN_SculptSmoothBrush()
{
    Describe("Smooth", "Touchup_Deformer");
}

TKSN_SculptEraserBrush::TKSN_SculptEraserBrush()
{
    Describe("Sculpt Eraser", "SelectionEraser");
    PostSmooth = 0.0f;
    PerDabDisplacement = 1.0f;
}

bool TKSN_SculptBrush::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy)
{
    TKSN_Brush::OnMouse(mesh, viewport, button, state, fx, fy);
    PerformSculptIteration(mesh, viewport, fx, fy);
    return true;
}

bool TKSN_SculptBrush::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    TKSN_Brush::OnMotion(mesh, viewport, fx, fy);
    PerformSculptIteration(mesh, viewport, fx, fy);
    return true;
}

void TKSN_SculptBrush::OnDraw(TKSN_Mesh* /*mesh*/, TKSN_Viewport* viewport, float fx, float fy)
{
    DrawBrushShape(viewport, fx, fy, nullptr);
}

void TKSN_SculptBrush::BeforeUse()
{
    if (const auto begin = KSN_GetToolProjectHooks().BeginSculptStroke) begin();
}

void TKSN_SculptBrush::AfterUse()
{
    if (const auto end = KSN_GetToolProjectHooks().EndSculptStroke) end();
}

void TKSN_SculptBrush::OnKeyPress(TKSN_Mesh* /*mesh*/, char key)
{
    switch (key) {
    case 'b':
        OS.Message("Baking displacement map(s)");
        if (const auto record = KSN_GetToolProjectHooks().BeforeBakeDisplacementMaps) record();
        BakeDisplacementMaps();
        // The baked maps' change notifications refresh the views that show them.
        break;
    case 'm':
        SculptBlendMode = SculptBlendMode + 1 >= 3 ? 1 : SculptBlendMode + 1;
        OS.Message("Changing sculpt blend mode to %d", SculptBlendMode);
        break;
    case 'n':
        SculptSnapToNormals = !SculptSnapToNormals;
        OS.Message("SculptSnapToNormals %d", SculptSnapToNormals ? 1 : 0);
        break;
    default:
        break;
    }
}

void TKSN_SculptBrush::UpdateParameters()
{
    TKSN_Brush::UpdateParameters();
    AddPercentParameter("Post Smooth", "Post Smooth", &PostSmooth, 0.0f, 10.0f);
}

namespace {

// The brush-shape value (see GetAmplitude) for a shape image of W x H bytes,
// or a full one-texel shape without an image; inline for the vertex search.
inline float ShapeAmplitude(const unsigned char* BrushShape, int BrushShapeWidth, int BrushShapeHeight, float cx,
                            float cy, float px, float py, float size, float aspect)
{
    const int W = BrushShape ? BrushShapeWidth : 1, H = BrushShape ? BrushShapeHeight : 1;
    if (W <= 0 || H <= 0) return 0.0f;
    float hx, hh;
    if (W > H) {
        hx = size;
        hh = 2.0f * (float(H) / float(W)) * size / aspect;
    } else {
        hx = (float(W) / float(H)) * size;
        hh = 2.0f * size / aspect;
    }
    const float u = (px - cx + hx) / (2.0f * hx) * float(W) - 0.5f;
    const float r = (py - cy + hh / 2.0f) / hh * float(H) - 0.5f;
    if (u < 0.0f || u > float(W - 1) || r < 0.0f || r > float(H - 1)) {
        // A one-texel shape covers its whole box.
        if (!(W == 1 && H == 1 && std::fabs(px - cx) <= hx && std::fabs(py - cy) <= hh / 2.0f)) return 0.0f;
    }
    if (!BrushShape) return 1.0f;
    const int i = std::clamp(int(u), 0, W - 1), j = std::clamp(int(r), 0, H - 1);
    const int i1 = i < W - 1 ? i + 1 : i, j1 = j < H - 1 ? j + 1 : j;
    const float a = std::clamp(u - float(i), 0.0f, 1.0f), b = std::clamp(r - float(j), 0.0f, 1.0f);
    auto B = [BrushShape, W](int x, int y) { return float(BrushShape[size_t(y) * W + x]); };
    const float value = (B(i, j) * (1 - a) + B(i1, j) * a) * (1 - b) + (B(i, j1) * (1 - a) + B(i1, j1) * a) * b;
    return float(int(value) & 0xFF) / 255.0f;
}

} // namespace

float TKSN_SculptBrush::GetAmplitude(float cx, float cy, float px, float py, float size, float aspect) const
{
    return ShapeAmplitude(BrushShape, BrushShapeWidth, BrushShapeHeight, cx, cy, px, py, size, aspect);
}

void TKSN_SculptBrush::GenerateNodeList(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy)
{
    const float s = GetEffectiveSize();
    const float aspect = viewport && viewport->Aspect > 1e-30f ? viewport->Aspect : 1.0f;
    AffectedMin[0] = fx - s;
    AffectedMin[1] = fy - s / aspect;
    AffectedMax[0] = fx + s;
    AffectedMax[1] = fy + s / aspect;
    NodeList.clear();
    // Back faces are skipped when the user culls and the object is not drawn
    // double-sided; the view direction points toward the viewer.
    const auto culling = KSN_GetToolProjectHooks().GetUserCullingMethod;
    BackFaceTest = culling && culling() > 0 && !level->DoRenderDoubleSided() && level->polygonNormals;
    ViewDirection[0] = ViewDirection[1] = 0.0f;
    ViewDirection[2] = 1.0f;
    if (viewport)
        for (int i = 0; i < 3; ++i) ViewDirection[i] = viewport->ModelViewMatrix[4 * i + 2];
    if (!level->IsOctreeValid()) level->BuildOctree();
    if (!level->AreVisibleListsValid()) level->GetVisibleVertexCount();
    const float* M = viewport ? viewport->CombinedMatrix : nullptr;
    // A vertex weighs more than 0 only inside the brush rectangle (the shape
    // box, never wider than AffectedMin..Max), and the vertex test projects
    // without the perspective divide. Under an affine matrix the leaves'
    // projected boxes are those same projections, so the rectangle bounds
    // the search; under a perspective one the search keeps the distance
    // cut's reach of 1.42 x size around the centre.
    const bool affine = !M || (M[3] == 0.0f && M[7] == 0.0f && M[11] == 0.0f && M[15] == 1.0f);
    const float reach[2] = {affine ? 0.0f : 0.42f * s, affine ? 0.0f : 0.42f * s / aspect};
    auto search = [&](auto&& self, TQOROctreeNode<int>* node) -> void {
        if (!node) return;
        float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
        for (int c = 0; c < 8; ++c) {
            const float p[3] = {(c & 1) ? node->ContentMax[0] : node->ContentMin[0],
                                (c & 2) ? node->ContentMax[1] : node->ContentMin[1],
                                (c & 4) ? node->ContentMax[2] : node->ContentMin[2]};
            float x = p[0], y = p[1];
            if (M) {
                x = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
                y = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
                const float w = M[3] * p[0] + M[7] * p[1] + M[11] * p[2] + M[15];
                if (std::fabs(w) > 1e-30f) {
                    x /= w;
                    y /= w;
                }
            }
            lo[0] = std::min(lo[0], x);
            lo[1] = std::min(lo[1], y);
            hi[0] = std::max(hi[0], x);
            hi[1] = std::max(hi[1], y);
        }
        for (int i = 0; i < 2; ++i)
            if (hi[i] < AffectedMin[i] - reach[i] - 0.001f || lo[i] > AffectedMax[i] + reach[i] + 0.001f) return;
        if (BackFaceTest) {
            // The largest n . view over the node's normal box.
            float most = 0.0f;
            for (int i = 0; i < 3; ++i)
                most += std::max(node->NormalMin[i] * ViewDirection[i], node->NormalMax[i] * ViewDirection[i]);
            if (most <= 0.0f) return;
        }
        if (node->HasChildren() || node->GetVertexCount() <= 0) {
            for (auto& child : node->Children) self(self, child.get());
            return;
        }
        NodeList.push_back(node);
    };
    search(search, level->octreeRoot.get());
}

// What one search reads, taken once into plain fields (the loops then keep
// them in registers instead of reloading them through the level).
struct TKSN_SculptBrush::TSearchSetup {
    TKSN_MeshRoot* Level = nullptr;
    const float* M = nullptr;
    float Fx = 0, Fy = 0, Size = 0, Aspect = 1, Rectangle = 0;
    bool CircleHoldsRectangle = false;
    const int32_t* Visible = nullptr;
    const float* Positions = nullptr;
    const float* VertexNormals = nullptr;
    const float* PolygonNormals = nullptr;
    const TQORLookupTable* Rows = nullptr;
    int RowCount = 0, VertexCount = 0;
    bool BackFaceTest = false;
    float View[3] = {0, 0, 1};
    uint8_t* PolygonFlags = nullptr;
    uint8_t Stamp = 0;
    int32_t* PolygonOwner = nullptr;
    const uint32_t* MaskFlags = nullptr;
    const unsigned char* Shape = nullptr;
    int ShapeWidth = 0, ShapeHeight = 0;
};

void TKSN_SculptBrush::PrepareSearch(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy,
                                     TSearchSetup& setup)
{
    NormalSum[0] = NormalSum[1] = NormalSum[2] = 0.0f;
    GenerateNodeList(level, viewport, fx, fy);
    const float s = GetEffectiveSize();
    setup.Level = level;
    setup.Fx = fx;
    setup.Fy = fy;
    setup.Size = s;
    setup.Aspect = viewport ? viewport->Aspect : 1.0f;
    setup.M = viewport ? viewport->CombinedMatrix : nullptr;
    const bool table = level->vertexPolygons.IsFinalized();
    setup.Visible = level->visibleVertices;
    setup.Positions = level->resolvedVertices;
    setup.VertexNormals = level->vertexNormals;
    setup.PolygonNormals = level->polygonNormals;
    setup.Rows = &level->vertexPolygons;
    setup.BackFaceTest = BackFaceTest;
    std::copy(ViewDirection, ViewDirection + 3, setup.View);
    setup.VertexCount = level->GetVCount();
    // Without a finalised table nothing is listed (every vertex's row is asked for).
    setup.RowCount = table ? level->vertexPolygons.GetRowCount() : 0;
    setup.Rectangle = s * 1.001f + 1e-6f;
    // The polygons around the listed vertices are listed in the same pass:
    // the first visit flags it in change-flag channel 1 and notes its job as
    // the owner. Two slots meeting a polygon together may both list it (plain
    // stores: a locked exchange per polygon cost more than the whole
    // layer update); the owner noted last is the same for every reader after
    // the pass, and only its job keeps the polygon.
    level->StartUsingCFlags(eCFlag_Channel_General);
    setup.PolygonFlags = level->cflagPolygons[eCFlag_Channel_General];
    setup.Stamp = uint8_t(level->cflagStamps[eCFlag_Channel_General]);
    if (PolygonOwner.size() < size_t(std::max(level->GetPCount(), 0))) PolygonOwner.resize(size_t(level->GetPCount()));
    setup.PolygonOwner = PolygonOwner.data();
    // Each leaf is cut into runs of its slice (a leaf holds hundreds of
    // vertices, too coarse to share a 10,000-vertex dab out evenly); the
    // runs of a leaf follow each other, so the list stays in leaf order.
    constexpr int kSearchRun = 192;
    SearchJobs.clear();
    for (int leaf = 0; leaf < int(NodeList.size()); ++leaf) {
        const TQOROctreeNode<int>* node = NodeList[size_t(leaf)];
        for (int first = node->VertexBegin; first < node->VertexEnd; first += kSearchRun)
            SearchJobs.push_back({leaf, first, std::min(first + kSearchRun, node->VertexEnd)});
    }
    const int jobs = int(SearchJobs.size());
    if (int(JobLists.size()) < jobs) JobLists.resize(size_t(jobs));
    if (int(JobPolygons.size()) < jobs) JobPolygons.resize(size_t(jobs));
    JobTallies.assign(size_t(jobs), TJobTally{{0.0f, 0.0f, 0.0f}, 0});
    JobKept.assign(size_t(jobs), 0);
    // Inside the rectangle the distance cut passes whenever the cut's circle
    // holds the rectangle (with room for rounding): it is skipped then.
    setup.CircleHoldsRectangle = 2.0 * double(setup.Rectangle) * double(setup.Rectangle) * (1.0 + 1e-6) <
                                 double(s * 1.42f) * double(s * 1.42f);
    setup.Shape = BrushShape;
    setup.ShapeWidth = BrushShapeWidth;
    setup.ShapeHeight = BrushShapeHeight;
    // A polygon mesh's hidden and locked marks read straight from its flags
    // (the classes that keep them there and override nothing about them).
    setup.MaskFlags = PolygonMaskFlags(level);
}

void TKSN_SculptBrush::RunSearchJob(const TSearchSetup& c, int job)
{
    // Every vertex is filed in one leaf, so the leaves' slices never overlap;
    // each job writes its own list, polygons and normal sum. The slot fills
    // its own buffers and copies them to the job's lists at the end: the
    // lists' headers lie side by side, and growing them one entry at a time
    // from several slots would share their lines.
    static thread_local std::vector<TKSN_AffectedVertex> out;
    static thread_local std::vector<int32_t> polygons;
    constexpr int kAhead = 8;
    constexpr uint32_t kMasked = QORPoly_Hidden | QORPoly_Locked;
    TKSN_MeshRoot* const level = c.Level;
    const float* const M = c.M;
    const float fx = c.Fx, fy = c.Fy, s = c.Size, aspect = c.Aspect, rectangle = c.Rectangle;
    const int32_t* const visible = c.Visible;
    const float* const positions = c.Positions;
    const float* const vertexNormals = c.VertexNormals;
    const TQORLookupTable& rows = *c.Rows;
    const int rowCount = c.RowCount, vertexCount = c.VertexCount;
    const uint32_t* const maskFlags = c.MaskFlags;
    uint8_t* const polygonFlags = c.PolygonFlags;
    int32_t* const owner = c.PolygonOwner;
    const uint8_t stamp = c.Stamp;
    const TSearchJob searchJob = SearchJobs[size_t(job)];
    out.clear();
    polygons.clear();
    float sum[3] = {0, 0, 0};
    for (int j = searchJob.First; j < searchJob.End; ++j) {
        if (j + kAhead < searchJob.End) {
            // The slice names vertices in short runs of the arrays.
            const int ahead = visible ? visible[j + kAhead] : j + kAhead;
            if (ahead >= 0 && ahead < rowCount) {
                FetchEarly(positions + 3 * ahead);
                FetchEarly(rows[ahead]);
            }
        }
        const int v = visible ? visible[j] : j;
        if (v < 0 || v >= vertexCount) continue;
        if (v >= rowCount) continue;
        // The leaves reach past the brush: the cheap screen tests go first
        // (every test must pass, so their order does not change the list).
        const float* p = positions + 3 * v;
        float sx = p[0], sy = p[1];
        if (M) {
            sx = M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12];
            sy = M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13];
        }
        const float dx = sx - fx, dy = (sy - fy) * aspect;
        // Outside the brush rectangle (a hair wider) the shape gives 0:
        // a cheaper test than the distance cut, rejecting only what
        // the shape would.
        if (std::fabs(dx) > rectangle || std::fabs(dy) > rectangle) continue;
        if (!c.CircleHoldsRectangle && std::sqrt(dx * dx + dy * dy) > s * 1.42f) continue;
        const float w = ShapeAmplitude(c.Shape, c.ShapeWidth, c.ShapeHeight, fx, fy, sx, sy, s, aspect);
        if (w <= 1e-30f) continue;
        const int* row = rows[v];
        const int n = row[0];
        if (n == 0) continue;
        bool open = false, facing = !c.BackFaceTest;
        for (int k = 1; k <= n; ++k) {
            if (maskFlags ? (maskFlags[row[k]] & kMasked) != 0 : level->IsPolyLockedOrHidden(row[k])) continue;
            open = true;
            if (!facing) {
                const float* pn = c.PolygonNormals + 3 * row[k];
                facing = pn[0] * c.View[0] + pn[1] * c.View[1] + pn[2] * c.View[2] > 0.0f;
            }
            if (facing) break;
        }
        if (!open || !facing) continue;
        out.push_back({v, w});
        if (polygonFlags)
            for (int k = 1; k <= n; ++k) {
                const int q = row[k];
                std::atomic_ref<uint8_t> flag(polygonFlags[q]);
                if (flag.load(std::memory_order_relaxed) == stamp) continue;
                flag.store(stamp, std::memory_order_relaxed);
                std::atomic_ref<int32_t>(owner[q]).store(job, std::memory_order_relaxed);
                polygons.push_back(q);
            }
        if (vertexNormals)
            for (int i = 0; i < 3; ++i) sum[i] += w * vertexNormals[3 * v + i];
    }
    TJobTally& tally = JobTallies[size_t(job)];
    std::copy(sum, sum + 3, tally.Sum);
    tally.Vertices = int32_t(out.size());
    JobLists[size_t(job)].assign(out.begin(), out.end());
    JobPolygons[size_t(job)].assign(polygons.begin(), polygons.end());
}

void TKSN_SculptBrush::FinishSearch()
{
    // The list in leaf order (so each leaf's vertices are one run of it) and
    // the normal sum in the same order, whatever slot did which leaf.
    const int jobs = int(SearchJobs.size());
    JobFirst.assign(NodeList.size() + 1, 0);
    for (int job = 0, leaf = 0; job < jobs; ++job) {
        const std::vector<TKSN_AffectedVertex>& out = JobLists[size_t(job)];
        for (; leaf <= SearchJobs[size_t(job)].Leaf; ++leaf) JobFirst[size_t(leaf)] = gAffectedVertexCount;
        if (!out.empty()) std::memcpy(gAffectedVertices + gAffectedVertexCount, out.data(), out.size() * sizeof(out[0]));
        gAffectedVertexCount += int(out.size());
        KeepOwnedPolygons(job);
        const std::vector<int32_t>& polygons = JobPolygons[size_t(job)];
        if (!polygons.empty())
            std::memcpy(gAffectedPolygons + gAffectedPolygonCount, polygons.data(), polygons.size() * sizeof(int32_t));
        gAffectedPolygonCount += int(polygons.size());
        for (int i = 0; i < 3; ++i) NormalSum[i] += JobTallies[size_t(job)].Sum[i];
    }
    FinishSearchCounts();
}

void TKSN_SculptBrush::KeepOwnedPolygons(int job)
{
    // Read after the search has returned: every owner is final.
    std::vector<int32_t>& polygons = JobPolygons[size_t(job)];
    const int32_t* const owner = PolygonOwner.data();
    polygons.erase(std::remove_if(polygons.begin(), polygons.end(), [&](int32_t q) { return owner[q] != job; }),
                   polygons.end());
}

void TKSN_SculptBrush::FinishSearchCounts()
{
    for (size_t leaf = SearchJobs.empty() ? 0 : size_t(SearchJobs.back().Leaf) + 1; leaf <= NodeList.size(); ++leaf)
        JobFirst[leaf] = gAffectedVertexCount;
    ListedBySearch = gAffectedVertexCount;
    ListInLeafOrder = true;
    NodeOfVertexFilled = false;
    const float len2 = NormalSum[0] * NormalSum[0] + NormalSum[1] * NormalSum[1] + NormalSum[2] * NormalSum[2];
    if (len2 > 0.0f) {
        const float inv = KSN_FastInverseSqrt(len2);
        for (float& c : NormalSum) c *= inv;
    }
}

void TKSN_SculptBrush::GenerateAffectedLists(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy)
{
    TSearchSetup setup;
    PrepareSearch(level, viewport, fx, fy, setup);
    ForBlocks(int(SearchJobs.size()), 1, [&](int firstJob, int endJob) {
        for (int job = firstJob; job < endJob; ++job) RunSearchJob(setup, job);
    });
    FinishSearch();
}

namespace {

void GrowBox(float* lo, float* hi, const float* p)
{
    for (int i = 0; i < 3; ++i) {
        lo[i] = std::min(lo[i], p[i]);
        hi[i] = std::max(hi[i], p[i]);
    }
}

// The normals of list entries first <= k < end (sum of their polygons'
// normals, normalised) and box (content min, max, normal min, max) grown by
// their positions and their polygons' normals. The boxes grow in locals
// (stores through box could alias the normal arrays and would chain every
// min and max through memory); the rows a few entries ahead are fetched
// early, as a leaf's vertices lie in short runs of the arrays that the
// hardware does not foresee.
// Three floats into the low lanes (the fourth 0), without reading past them.
inline __m128 Load3(const float* p)
{
    // The first two through a copy: the floats are only 4-byte aligned.
    double low;
    std::memcpy(&low, p, sizeof(low));
    return _mm_movelh_ps(_mm_castpd_ps(_mm_set_sd(low)), _mm_load_ss(p + 2));
}
inline void Store3(float* p, __m128 x)
{
    _mm_storel_pi(reinterpret_cast<__m64*>(p), x);
    _mm_store_ss(p + 2, _mm_movehl_ps(x, x));
}

void GrowRun(const TQORLookupTable& rows, const float* positions, const float* polygonNormals, float* normals,
             const TKSN_AffectedVertex* list, int first, int end, float* box)
{
    // Lane by lane the scalar arithmetic of WriteVertexNormal and GrowBox:
    // the sums add in the same order, and min(p, lo) / max(p, hi) answer
    // lo / hi unless p is below / above, as std::min(lo, p) and
    // std::max(hi, p) do.
    constexpr int kAhead = 8;
    __m128 clo = Load3(box), chi = Load3(box + 3), nlo = Load3(box + 6), nhi = Load3(box + 9);
    for (int k = first; k < end; ++k) {
        const int v = list[k].Vertex;
        if (k + kAhead < end) FetchEarly(rows[list[k + kAhead].Vertex]);
        const int* row = rows[v];
        __m128 sum = _mm_setzero_ps();
        for (int j = 1; j <= row[0]; ++j) {
            const __m128 n = Load3(polygonNormals + 3 * row[j]);
            sum = _mm_add_ps(sum, n);
            nlo = _mm_min_ps(n, nlo);
            nhi = _mm_max_ps(n, nhi);
        }
        float s[4];
        _mm_storeu_ps(s, sum);
        const float len2 = s[0] * s[0] + s[1] * s[1] + s[2] * s[2];
        const float inv = len2 > 0.0f ? QORPolyMesh_FastInverseSqrt(len2) : 0.0f;
        Store3(normals + 3 * v, _mm_mul_ps(sum, _mm_set1_ps(inv)));
        const __m128 p = Load3(positions + 3 * v);
        clo = _mm_min_ps(p, clo);
        chi = _mm_max_ps(p, chi);
    }
    Store3(box, clo);
    Store3(box + 3, chi);
    Store3(box + 6, nlo);
    Store3(box + 9, nhi);
}

// A leaf's content bounds by its vertices' positions and its normal bounds
// by its polygons' normals (recomputed first when asked).
void GrowLeaf(TKSN_MeshRoot* level, TQOROctreeNode<int>* node, bool recompute)
{
    const int32_t* visible = level->visibleVertices;
    for (int k = node->VertexBegin; k < node->VertexEnd; ++k) {
        const int v = visible ? visible[k] : k;
        if (v < 0 || v >= level->GetVCount()) continue;
        GrowBox(node->ContentMin, node->ContentMax, level->resolvedVertices + 3 * v);
        if (!level->vertexPolygons.IsFinalized() || !level->polygonNormals) continue;
        const int* row = level->vertexPolygons[v];
        for (int j = 1; j <= row[0]; ++j) {
            if (recompute) level->RecalculatePolyNormal(row[j]);
            GrowBox(node->NormalMin, node->NormalMax, level->polygonNormals + 3 * row[j]);
        }
    }
}

// Every ancestor of the leaves takes their bounds.
void GrowAncestors(const std::vector<TQOROctreeNode<int>*>& leaves)
{
    for (TQOROctreeNode<int>* leaf : leaves)
        for (TQOROctreeNode<int>* a = leaf->Parent; a; a = a->Parent) {
            GrowBox(a->ContentMin, a->ContentMax, leaf->ContentMin);
            GrowBox(a->ContentMin, a->ContentMax, leaf->ContentMax);
            GrowBox(a->NormalMin, a->NormalMax, leaf->NormalMin);
            GrowBox(a->NormalMin, a->NormalMax, leaf->NormalMax);
        }
}

} // namespace

namespace {

// The leaf a vertex is filed in (by its base position, as the octree files it).
TQOROctreeNode<int>* LeafOf(TKSN_MeshRoot* level, int v)
{
    TQOROctreeNode<int>* at = level->octreeRoot.get();
    if (!at || !level->baseVertices) return nullptr;
    const float* p = level->baseVertices + 3 * v;
    while (at->HasChildren()) {
        TQOROctreeNode<int>* chosen = nullptr;
        float best = 1e30f;
        for (auto& child : at->Children) {
            if (!child) continue;
            bool inside = true;
            float d = 0.0f;
            for (int a = 0; a < 3; ++a) {
                inside = inside && p[a] >= child->CubeMin[a] && p[a] <= child->CubeMax[a];
                const float c = (child->CubeMin[a] + child->CubeMax[a]) * 0.5f;
                d += (p[a] - c) * (p[a] - c);
            }
            if (inside) {
                chosen = child.get();
                break;
            }
            if (d < best) {
                best = d;
                chosen = child.get();
            }
        }
        if (!chosen) break;
        at = chosen;
    }
    return at;
}

// A moved vertex: its leaf's content bounds take its position and the leaf's
// normal bounds its polygons' normals.
void GrowByVertex(TKSN_MeshRoot* level, TQOROctreeNode<int>* leaf, int v)
{
    GrowBox(leaf->ContentMin, leaf->ContentMax, level->resolvedVertices + 3 * v);
    if (!level->vertexPolygons.IsFinalized() || !level->polygonNormals) return;
    const int* row = level->vertexPolygons[v];
    for (int j = 1; j <= row[0]; ++j) GrowBox(leaf->NormalMin, leaf->NormalMax, level->polygonNormals + 3 * row[j]);
}

} // namespace

void TKSN_SculptBrush::UpdateOctreeNodeBounds(TKSN_MeshRoot* level)
{
    // Only what the dab moved can leave its leaf's bounds; bounds only grow.
    // The search's leaves are marked by their place in the node list; the
    // partners' leaves (symmetry: not found by the search) are looked up.
    if (!SearchRunsHold()) FillNodeOfVertex();
    std::vector<uint8_t>& touched = TouchedNodes;
    touched.assign(NodeList.size(), 0);
    std::vector<TQOROctreeNode<int>*> grown;
    int k0 = 0;
    if (SearchRunsHold()) {
        GrowLeavesOnPool(level, false);
        k0 = ListedBySearch;
    }
    for (int k = k0; k < gAffectedVertexCount; ++k) {
        const int v = gAffectedVertices[k].Vertex;
        const int job = size_t(v) < NodeOfVertex.size() ? NodeOfVertex[size_t(v)] : -1;
        const bool searched = k < ListedBySearch && job >= 0 && job < int(NodeList.size()) &&
                              NodeList[size_t(job)]->VertexBegin >= 0;
        TQOROctreeNode<int>* leaf = searched ? NodeList[size_t(job)] : LeafOf(level, v);
        if (!leaf) continue;
        GrowByVertex(level, leaf, v);
        if (searched)
            touched[size_t(job)] = 1;
        else
            grown.push_back(leaf);
    }
    for (size_t job = 0; job < touched.size(); ++job)
        if (touched[job]) grown.push_back(NodeList[job]);
    std::sort(grown.begin(), grown.end());
    grown.erase(std::unique(grown.begin(), grown.end()), grown.end());
    for (TQOROctreeNode<int>* leaf : grown) level->InvalidateOctreeNodeDisplay(leaf, false);
    GrowAncestors(grown);
}

void TKSN_SculptBrush::FillNodeOfVertex()
{
    if (NodeOfVertexFilled || !ListInLeafOrder || JobFirst.size() != NodeList.size() + 1) return;
    NodeOfVertexFilled = true;
    const int listed = std::min(ListedBySearch, gAffectedVertexCount);
    for (size_t job = 0; job < NodeList.size(); ++job)
        for (int k = JobFirst[job], end = std::min(JobFirst[job + 1], listed); k < end; ++k) {
            const size_t v = size_t(gAffectedVertices[k].Vertex);
            if (v >= NodeOfVertex.size()) NodeOfVertex.resize(v + 1, -1);
            NodeOfVertex[v] = int32_t(job);
        }
}

bool TKSN_SculptBrush::SearchRunsHold() const
{
    return ListInLeafOrder && JobFirst.size() == NodeList.size() + 1 && ListedBySearch <= gAffectedVertexCount;
}

void TKSN_SculptBrush::GrowLeavesOnPool(TKSN_MeshRoot* level, bool vertexNormals)
{
    // The search's runs: one leaf each, so the slots grow disjoint leaves.
    TouchedNodes.assign(NodeList.size(), 0);
    ForBlocks(int(NodeList.size()), 1,
              [&](int firstJob, int endJob) { GrowLeaves(level, firstJob, endJob, vertexNormals); });
}

void TKSN_SculptBrush::GrowLeaves(TKSN_MeshRoot* level, int firstJob, int endJob, bool vertexNormals)
{
    // The runs are the search's: every vertex has a row in the finalised
    // table. The boxes grow in locals (stores through the leaf could alias
    // the normal arrays and would chain every min and max through memory);
    // the rows a few entries ahead are fetched early, as the leaf's vertices
    // lie in short runs of the arrays that the hardware does not foresee.
    const bool table = level->vertexPolygons.IsFinalized() && level->polygonNormals;
    const float* const positions = level->resolvedVertices;
    const float* const polygonNormals = level->polygonNormals;
    float* const normals = vertexNormals ? level->vertexNormals : nullptr;
    const TKSN_AffectedVertex* const list = gAffectedVertices;
    constexpr int kAhead = 8;
    for (int job = firstJob; job < endJob; ++job) {
        TQOROctreeNode<int>* leaf = NodeList[size_t(job)];
        const int first = JobFirst[size_t(job)], end = JobFirst[size_t(job) + 1];
        float clo[3], chi[3], nlo[3], nhi[3];
        for (int i = 0; i < 3; ++i) {
            clo[i] = leaf->ContentMin[i];
            chi[i] = leaf->ContentMax[i];
            nlo[i] = leaf->NormalMin[i];
            nhi[i] = leaf->NormalMax[i];
        }
        for (int k = first; k < end; ++k) {
            const int v = list[k].Vertex;
            if (table && k + kAhead < end) FetchEarly(level->vertexPolygons[list[k + kAhead].Vertex]);
            const int* row = table ? level->vertexPolygons[v] : nullptr;
            if (normals) WriteVertexNormal(row, polygonNormals, normals + 3 * v);
            GrowBox(clo, chi, positions + 3 * v);
            if (row)
                for (int j = 1; j <= row[0]; ++j) GrowBox(nlo, nhi, polygonNormals + 3 * row[j]);
        }
        for (int i = 0; i < 3; ++i) {
            leaf->ContentMin[i] = clo[i];
            leaf->ContentMax[i] = chi[i];
            leaf->NormalMin[i] = nlo[i];
            leaf->NormalMax[i] = nhi[i];
        }
        TouchedNodes[size_t(job)] = end > first ? 1 : 0;
    }
}

void TKSN_SculptBrush::FinishGrownLeaves(TKSN_MeshRoot* level)
{
    std::vector<TQOROctreeNode<int>*> grown;
    for (size_t job = 0; job < TouchedNodes.size(); ++job)
        if (TouchedNodes[job]) grown.push_back(NodeList[job]);
    for (TQOROctreeNode<int>* leaf : grown) level->InvalidateOctreeNodeDisplay(leaf, false);
    GrowAncestors(grown);
}

void TKSN_SculptBrush::RecalculateNormalsAndBounds(TKSN_MeshRoot* level)
{
    if (!SearchRunsHold() || ListedBySearch != gAffectedVertexCount || !level->vertexNormals ||
        !level->polygonNormals) {
        KSN_RecalculateNormalsAfterSculpt(level, gAffectedVertices, gAffectedVertexCount, gAffectedPolygons,
                                          gAffectedPolygonCount);
        UpdateOctreeNodeBounds(level);
        return;
    }
    // As those two, with the vertex normals and the leaves' bounds in one
    // pass: both read the polygon normals around each listed vertex, and
    // the bounds read no vertex normal.
    const TCornerStore store(level);
    ForRanges(gAffectedPolygonCount, [&](int first, int end) {
        RecalculateListedPolygonNormals(level, store, gAffectedPolygons, first, end);
    });
    GrowLeavesOnPool(level, true);
    FinishGrownLeaves(level);
}

void TKSN_SculptBrush::AddPartnersToLists(TKSN_MeshRoot* level, const int32_t* partners)
{
    // The partners' normals and polygons are brought up to date too.
    for (int k = 0, listed = gAffectedVertexCount; k < listed; ++k) {
        const int v = gAffectedVertices[k].Vertex, p = partners[v];
        if (p < 0 || p == v || p >= level->GetVCount() || !level->vertexPolygons.IsFinalized()) continue;
        AddAffectedVertex(p, gAffectedVertices[k].Weight);
        const int* row = level->vertexPolygons[p];
        for (int j = 1; j <= row[0]; ++j)
            if (!level->CFlag_TestPolygon(eCFlag_Channel_General, row[j])) {
                level->CFlag_FlagPolygon(eCFlag_Channel_General, row[j]);
                AddAffectedPolygon(row[j]);
            }
    }
}

bool TKSN_SculptBrush::ApplyDabWithNormalsAndBounds(TKSN_MeshRoot* level, float* deltas, const TKSN_SculptDab& dab)
{
    if (dab.Partners || KSN_SculptDabReadsNeighbours(dab) || !SearchRunsHold() ||
        ListedBySearch != gAffectedVertexCount || !level || !deltas || !level->resolvedVertices ||
        !level->vertexNormals || !level->polygonNormals)
        return false;
    // The layer pass moves every listed vertex before any polygon normal is
    // taken, and the polygon normals are all done before the leaves read them:
    // the results of KSN_ApplySculptDab and RecalculateNormalsAndBounds.
    const bool texture = dab.Texture && dab.TextureWidth > 0 && dab.TextureHeight > 0 && dab.TextureCoordinates;
    const int listed = gAffectedVertexCount;
    const TCornerStore store(level);
    TouchedNodes.assign(NodeList.size(), 0);
    ForPhases({{listed, 512,
                [&](int first, int end) { ApplyOwnChanges(level, deltas, gAffectedVertices, first, end, dab, dab.Normal, texture); }},
               {gAffectedPolygonCount, 512,
                [&](int first, int end) {
                    RecalculateListedPolygonNormals(level, store, gAffectedPolygons, first, end);
                }},
               {int(NodeList.size()), 1, [&](int firstJob, int endJob) { GrowLeaves(level, firstJob, endJob, true); }}},
              listed);
    FinishGrownLeaves(level);
    return true;
}

bool TKSN_SculptBrush::SearchAndApplyDab(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy,
                                         float* deltas, TKSN_SculptDab& dab)
{
    if (dab.Partners || KSN_SculptDabReadsNeighbours(dab) || !level || !deltas || !level->resolvedVertices ||
        !level->vertexNormals || !level->polygonNormals || !level->vertexPolygons.IsFinalized())
        return false;
    using TClock = std::chrono::steady_clock;
    const TClock::time_point entered = StepTimes ? TClock::now() : TClock::time_point();
    TSearchSetup setup;
    PrepareSearch(level, viewport, fx, fy, setup);
    const int jobs = int(SearchJobs.size());
    const bool texture = dab.Texture && dab.TextureWidth > 0 && dab.TextureHeight > 0 && dab.TextureCoordinates;
    const TCornerStore store(level);
    const int vertexBase = gAffectedVertexCount, polygonBase = gAffectedPolygonCount;
    JobBoxes.resize(size_t(jobs));
    const TQORLookupTable& rows = level->vertexPolygons;
    const float* const positions = level->resolvedVertices;
    const float* const polygonNormals = level->polygonNormals;
    float* const vertexNormals = level->vertexNormals;
    using TPlaces = TDabPlaces;
    auto enter = [&](int phase, TPlaces& places) {
        if (phase == 3) {
            // The polygons each job kept in phase 2.
            places.Polygon.resize(size_t(jobs) + 1);
            int32_t q = polygonBase;
            for (int job = 0; job < jobs; ++job) {
                places.Polygon[size_t(job)] = q;
                q += JobKept[size_t(job)];
            }
            places.Polygon[size_t(jobs)] = q;
        }
        if (phase != 1) return;
        places.Vertex.resize(size_t(jobs) + 1);
        float sum[3] = {0, 0, 0};
        int32_t v = vertexBase;
        for (int job = 0; job < jobs; ++job) {
            places.Vertex[size_t(job)] = v;
            const TJobTally& tally = JobTallies[size_t(job)];
            v += tally.Vertices;
            for (int i = 0; i < 3; ++i) sum[i] += tally.Sum[i];
        }
        places.Vertex[size_t(jobs)] = v;
        const float len2 = sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2];
        if (len2 > 0.0f) {
            const float inv = KSN_FastInverseSqrt(len2);
            for (float& c : sum) c *= inv;
        }
        std::copy(sum, sum + 3, places.Normal);
    };
    auto run = [&](int phase, int job, const TPlaces& places) {
        const size_t j = size_t(job);
        switch (phase) {
        case 0:
            RunSearchJob(setup, job);
            break;
        case 1: {
            // The job's entries into the list, then its layer and positions.
            const std::vector<TKSN_AffectedVertex>& list = JobLists[j];
            const int first = places.Vertex[j];
            if (!list.empty()) std::memcpy(gAffectedVertices + first, list.data(), list.size() * sizeof(list[0]));
            ApplyOwnChanges(level, deltas, gAffectedVertices, first, first + int(list.size()), dab, places.Normal,
                            texture);
            break;
        }
        case 2: {
            KeepOwnedPolygons(job);
            const std::vector<int32_t>& polygons = JobPolygons[j];
            JobKept[j] = int32_t(polygons.size());
            RecalculateListedPolygonNormals(level, store, polygons.data(), 0, int(polygons.size()));
            break;
        }
        case 3: {
            const std::vector<int32_t>& polygons = JobPolygons[j];
            if (!polygons.empty())
                std::memcpy(gAffectedPolygons + places.Polygon[j], polygons.data(), polygons.size() * sizeof(int32_t));
            // The vertex normals and the job's share of its leaf's bounds,
            // from the leaf's bounds before the dab.
            const TQOROctreeNode<int>* leaf = NodeList[size_t(SearchJobs[j].Leaf)];
            std::array<float, 12>& box = JobBoxes[j];
            for (int i = 0; i < 3; ++i) {
                box[size_t(i)] = leaf->ContentMin[i];
                box[size_t(3 + i)] = leaf->ContentMax[i];
                box[size_t(6 + i)] = leaf->NormalMin[i];
                box[size_t(9 + i)] = leaf->NormalMax[i];
            }
            GrowRun(rows, positions, polygonNormals, vertexNormals, gAffectedVertices, places.Vertex[j],
                    places.Vertex[j + 1], box.data());
            break;
        }
        default:
            break;
        }
    };
    const int phaseJobs[4] = {jobs, jobs, jobs, jobs};
    int tested = 0;
    for (const TSearchJob& job : SearchJobs) tested += job.End - job.First;
    constexpr int kSmallDab = 1500;   // vertices searched
    const bool onPool = tested >= kSmallDab && jobs > 1 && ThreadCruncher && !ThreadCruncher->IsPoolThread() &&
                        ThreadCruncher->GetSlotCount() > 1;
    TDabPhaseRun phases(phaseJobs, 4, onPool ? ThreadCruncher->GetSlotCount() : 1);
    // At most one thread a block joins.
    const int joiners = onPool ? ThreadCruncher->GetSlotCount() : 1;
    if (int(DabPlaces.size()) < joiners) DabPlaces.resize(size_t(joiners));
    phases.Timed = StepTimes && onPool;
    const TClock::time_point handedOut = phases.Timed ? TClock::now() : TClock::time_point();
    phases.Start = handedOut;
    if (onPool) {
        TThreadCruncher_Releaser releaser;
        ThreadCruncher->StartUsing(releaser);
        struct TJoin {
            TDabPhaseRun* Run;
            TPlaces* Kept;
            int KeptCount;
            decltype(enter)* Enter;
            decltype(run)* Work;
        } join{&phases, DabPlaces.data(), int(DabPlaces.size()), &enter, &run};
        // One block a slot: each thread that takes one joins the phases.
        ThreadCruncher->ProcessBlocksOnFreeSlots(
            size_t(ThreadCruncher->GetSlotCount()), 1,
            [](size_t, size_t, void* user) {
                auto* j = static_cast<TJoin*>(user);
                j->Run->Join(DabThreadPlace(), j->Kept, j->KeptCount, *j->Enter, *j->Work);
            },
            &join);
    } else {
        phases.Join(0, DabPlaces.data(), int(DabPlaces.size()), enter, run);
    }
    phases.Rethrow();

    // The lists, the leaves' first entries and the averaged normal as the search leaves them.
    JobFirst.assign(NodeList.size() + 1, 0);
    for (int job = 0, leaf = 0; job < jobs; ++job) {
        for (; leaf <= SearchJobs[size_t(job)].Leaf; ++leaf) JobFirst[size_t(leaf)] = gAffectedVertexCount;
        const TJobTally& tally = JobTallies[size_t(job)];
        gAffectedVertexCount += tally.Vertices;
        gAffectedPolygonCount += JobKept[size_t(job)];
        for (int i = 0; i < 3; ++i) NormalSum[i] += tally.Sum[i];
    }
    FinishSearchCounts();
    std::copy(NormalSum, NormalSum + 3, dab.Normal);
    // Each leaf takes the bounds of its jobs (minima and maxima, so the
    // order does not matter).
    TouchedNodes.assign(NodeList.size(), 0);
    for (int job = 0; job < jobs; ++job) {
        const size_t leafPlace = size_t(SearchJobs[size_t(job)].Leaf);
        TQOROctreeNode<int>* leaf = NodeList[leafPlace];
        const std::array<float, 12>& box = JobBoxes[size_t(job)];
        for (int i = 0; i < 3; ++i) {
            leaf->ContentMin[i] = std::min(leaf->ContentMin[i], box[size_t(i)]);
            leaf->ContentMax[i] = std::max(leaf->ContentMax[i], box[size_t(3 + i)]);
            leaf->NormalMin[i] = std::min(leaf->NormalMin[i], box[size_t(6 + i)]);
            leaf->NormalMax[i] = std::max(leaf->NormalMax[i], box[size_t(9 + i)]);
        }
        if (JobTallies[size_t(job)].Vertices > 0) TouchedNodes[leafPlace] = 1;
    }
    FinishGrownLeaves(level);
    if (phases.Timed) {
        auto us = [](TClock::time_point a, TClock::time_point b) {
            return std::chrono::duration<double, std::micro>(b - a).count();
        };
        StepTimes->SetUp += us(entered, handedOut);
        for (int p = 0; p < 4; ++p) StepTimes->Phase[p] += us(p == 0 ? handedOut : phases.PhaseEnd[p - 1], phases.PhaseEnd[p]);
        StepTimes->Merge += us(phases.PhaseEnd[3], TClock::now());
        ++StepTimes->Dabs;
        StepTimes->ThreadArrive += phases.ThreadTimes.Arrive;
        for (int p = 0; p < 4; ++p) {
            StepTimes->ThreadWait[p] += phases.ThreadTimes.Wait[p];
            StepTimes->ThreadWork[p] += phases.ThreadTimes.Work[p];
        }
        StepTimes->ThreadJoins += phases.ThreadTimes.Joins;
    }
    return true;
}

void TKSN_SculptBrush::SculptedBox(TKSN_MeshRoot* level, int count, bool searchOrder)
{
    // The search's entries start from an empty box; a list the symmetry
    // has cut from its first entry.
    for (int i = 0; i < 3; ++i) SculptedMin[i] = SculptedMax[i] = 0.0f;
    if (count <= 0 || !level->baseVertices) return;
    const float* base = level->baseVertices;
    int k = 0;
    if (searchOrder) {
        for (int i = 0; i < 3; ++i) {
            SculptedMin[i] = 1e30f;
            SculptedMax[i] = -1e30f;
        }
    } else {
        std::copy(base + 3 * gAffectedVertices[0].Vertex, base + 3 * gAffectedVertices[0].Vertex + 3, SculptedMin);
        std::copy(SculptedMin, SculptedMin + 3, SculptedMax);
        k = 1;
    }
    for (; k < count; ++k) GrowBox(SculptedMin, SculptedMax, base + 3 * gAffectedVertices[k].Vertex);
}

void TKSN_SculptBrush::InvalidateOctreeInBox(TKSN_MeshRoot* level, const float* min, const float* max, float margin)
{
    if (!level) return;
    if (!level->IsOctreeValid()) level->BuildOctree();
    if (!level->octreeRoot) return;
    auto overlaps = [](TQOROctreeNode<int>* node, const float* lo, const float* hi) {
        for (int i = 0; i < 3; ++i)
            if (node->CubeMax[i] < lo[i] || node->CubeMin[i] > hi[i]) return false;
        return true;
    };
    // First the box grows to the leaves it meets, then by the margin.
    float lo[3] = {min[0], min[1], min[2]}, hi[3] = {max[0], max[1], max[2]};
    auto pass1 = [&](auto&& self, TQOROctreeNode<int>* node) -> void {
        if (!node || !overlaps(node, min, max)) return;
        if (!node->HasChildren()) {
            GrowBox(lo, hi, node->CubeMin);
            GrowBox(lo, hi, node->CubeMax);
        }
        for (auto& child : node->Children) self(self, child.get());
    };
    pass1(pass1, level->octreeRoot.get());
    for (int i = 0; i < 3; ++i) {
        lo[i] -= margin;
        hi[i] += margin;
    }
    std::vector<TQOROctreeNode<int>*> grown;
    auto pass2 = [&](auto&& self, TQOROctreeNode<int>* node) -> void {
        if (!node || !overlaps(node, lo, hi)) return;
        level->InvalidateOctreeNodeDisplay(node, false);
        if (!node->HasChildren()) {
            GrowLeaf(level, node, true);
            grown.push_back(node);
        }
        for (auto& child : node->Children) self(self, child.get());
    };
    pass2(pass2, level->octreeRoot.get());
    GrowAncestors(grown);
}

bool TKSN_SculptBrush::PerformSculptIteration(TKSN_Mesh* /*mesh*/, TKSN_Viewport* viewport, float fx, float fy)
{
    const auto& hooks = KSN_GetToolProjectHooks();
    TKSN_LayerDefinition* layer = hooks.GetCurrentSculptLayer ? hooks.GetCurrentSculptLayer() : nullptr;
    if (!layer) {
        OS.WarningMessageNoRepeat("Please select or create a displacement layer");
        return false;
    }
    if (layer->IsLocked()) {
        OS.WarningMessageNoRepeat("The displacement layer '%s' is locked", layer->GetName());
        return false;
    }
    if (layer->IsHidden()) {
        OS.WarningMessageNoRepeat("The displacement layer '%s' is hidden", layer->GetName());
        return false;
    }
    // Taken at every dab: the image is the project's and may be replaced
    // between strokes. Without one a dab uses a full shape (every texel 255).
    BrushShape = nullptr;
    BrushShapeWidth = BrushShapeHeight = 0;
    if (hooks.GetBrushShapeImage) BrushShape = hooks.GetBrushShapeImage(BrushShapeWidth, BrushShapeHeight);
    if (!BrushShape) BrushShapeWidth = BrushShapeHeight = 0;

    DabAmplitude = SculptBlendMode == 2 ? PerDabDisplacement : 1.0f;
    // Pen pressure counts once, through the effective strength that scales
    // each vertex's change; the amplitude stays unscaled.
    // The input routing stores the modifiers of every event before it reaches
    // the tool, so this is Alt at this dab's event (and readable headless).
    if (OS.IsAltHeld()) DabAmplitude = -DabAmplitude;
    if (viewport) viewport->SetRenderedSceneStatus(2);
    // The brush tiling is made ready for this viewport at every dab; the
    // texture's coordinates are those of the current viewport.
    int textureWidth = 0, textureHeight = 0;
    const unsigned char* texture =
        hooks.PrepareSculptBrushTexture ? hooks.PrepareSculptBrushTexture(viewport, textureWidth, textureHeight) : nullptr;
    if (!hooks.GetTiledUVMapForVertex || textureWidth <= 0 || textureHeight <= 0) texture = nullptr;
    TKSN_Viewport* tilingView = hooks.GetCurrentViewport ? hooks.GetCurrentViewport() : nullptr;
    if (!tilingView) tilingView = viewport;

    std::vector<TKSN_Mesh*> meshes;
    if (hooks.GetMeshes) hooks.GetMeshes(meshes);
    for (TKSN_Mesh* m : meshes) {
        if (!m) continue;
        TKSN_SubDMesh* top = m->GetSubD_MaxLevel();
        TKSN_MeshRoot* level = top ? static_cast<TKSN_MeshRoot*>(top) : static_cast<TKSN_MeshRoot*>(m);
        float* deltas = hooks.GetSculptLayerDeltas ? hooks.GetSculptLayerDeltas(m, level->GetVCount(), top != nullptr)
                                                   : nullptr;
        if (!deltas || !level->resolvedVertices) continue;
        if (!level->vertexPolygons.IsFinalized()) level->BuildVertexPolygons();
        PrepareAffectedList(m, true);
        ScaledAmplitude = DabAmplitude * (DisplacementProportionalToMeshDiameter() ? level->boundsDiagonal : 1.0f);

        bool flipped = false;
        const int32_t* partners = nullptr;
        if ((Flags & 0x10) && hooks.IsSymmetryOn && hooks.IsSymmetryOn(m, flipped))
            partners = KSN_GetSculptSymmetryPartners(level, m, flipped);
        const int axis = std::clamp(int(m->symmetryAxis), 0, 2);
        const float tolerance = std::max(level->boundsDiagonal, 1e-6f) * 1e-5f;
        TKSN_SculptDab dab;
        if (texture) {
            dab.Texture = texture;
            dab.TextureWidth = textureWidth;
            dab.TextureHeight = textureHeight;
            dab.TextureCoordinates = [tiled = hooks.GetTiledUVMapForVertex, tilingView](int v, const float* base,
                                                                                       float* uv) {
                tiled(tilingView, uv, base, base, v);
            };
        }
        dab.Kind = GetKind();
        dab.Strength = GetEffectiveStrength();
        dab.Amplitude = ScaledAmplitude;
        dab.PostSmooth = PostSmooth;
        dab.BlendType = layer->GetCurrentBlendType();
        dab.LayerStrength = layer->GetStrength();
        dab.Partners = partners;
        dab.Axis = axis;
        dab.PlaneOffset = m->symmetryOffset;
        dab.PlaneTolerance = tolerance;

        // The entries the sculpted box covers: those before any partner.
        int boxCount = 0;
        bool boxInSearchOrder = true;
        if (SearchAndApplyDab(level, viewport, fx, fy, deltas, dab)) {
            boxCount = gAffectedVertexCount;
        } else {
            GenerateAffectedLists(level, viewport, fx, fy);
            if (partners && level->baseVertices) {
                // The leaves of the search's entries are noted before the runs break up.
                FillNodeOfVertex();
                // Only the working side (and the plane) is worked on; the other
                // side follows as the mirror image.
                int kept = 0;
                for (int k = 0; k < gAffectedVertexCount; ++k) {
                    const float side =
                        level->baseVertices[3 * gAffectedVertices[k].Vertex + axis] - m->symmetryOffset;
                    if (flipped ? side <= tolerance : side >= -tolerance)
                        gAffectedVertices[kept++] = gAffectedVertices[k];
                }
                gAffectedVertexCount = kept;
                // The search's runs no longer line up; partners come after the kept entries.
                ListedBySearch = kept;
                ListInLeafOrder = false;
            }
            boxCount = gAffectedVertexCount;
            boxInSearchOrder = ListInLeafOrder && ListedBySearch == gAffectedVertexCount;
            std::copy(NormalSum, NormalSum + 3, dab.Normal);
            if (!ApplyDabWithNormalsAndBounds(level, deltas, dab)) {
                KSN_ApplySculptDab(level, deltas, gAffectedVertices, gAffectedVertexCount, dab);
                if (partners) AddPartnersToLists(level, partners);
                RecalculateNormalsAndBounds(level);
            }
        }
        // Another level on display shares the positions; its octree follows
        // around what the dab reached.
        TKSN_SubDMesh* shown = m->GetSubD_Current();
        if (shown && shown != level) {
            SculptedBox(level, boxCount, boxInSearchOrder);
            float diagonal = 0.0f;
            for (int i = 0; i < 3; ++i) diagonal += (SculptedMax[i] - SculptedMin[i]) * (SculptedMax[i] - SculptedMin[i]);
            const float margin = std::max(0.05f * std::sqrt(diagonal), 0.001f * shown->boundsDiagonal);
            InvalidateOctreeInBox(shown, SculptedMin, SculptedMax, margin);
        }
    }
    return true;
}

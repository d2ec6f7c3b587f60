// TKSN_PolygonCuller: which vertices of every mesh are visible in the current
// viewport, worked out in the background so that brushes and selection tools
// can leave hidden vertices alone.
//
// The result is each mesh's VertexCulledValues: -1 not computed yet, 0
// hidden, 1 visible. The project's culling method chooses the work: 0 sets
// every value to 0 (readers then look at none), 1 tests back faces on the
// worker, 2 does nothing (the tools cull for themselves), 3 and 4 build a
// screen-space grid of the visible polygons on the worker and then test every
// vertex for occlusion against it; a reader that needs a value first can wait
// for the grid (WaitForInitialSetup) and test the vertex itself under the
// vertex mutex with an untrusted IsPointObscured call.
//
// All positions are in the viewport's clip space (resolved positions through
// ViewportMatrices of the viewport's slot): visible x and y within -1..1, z
// growing away from the viewer. A grid entry is a pair of ints: the mesh's
// object ID and a polygon index; a polygon is entered in every cell its
// screen box touches.
//
// Threads: one worker per run. The set-up mutex is held by the worker for the
// whole grid build; Start arms a set-up signal that the worker raises once the
// grid is built or the run was cancelled, so a waiter neither reads a
// half-built grid nor hangs. The vertex mutex serialises the worker's and the
// main thread's per-vertex work. Meshes, octrees and the view are read without
// locks: the project cancels the run whenever the geometry or the view changes.
#pragma once

#include "QORThreads.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class TKSN_Mesh;
class TKSN_Object;
class TKSN_Viewport;

class TKSN_PolygonCuller : public TKSN_Workhorse {
public:
    TKSN_PolygonCuller();
    // Cancels and joins a running worker and frees the grid.
    ~TKSN_PolygonCuller() override;

    // Starts a run for the project's current viewport (see the header).
    void Start();
    // Returns once the grid of a started per-vertex run is complete or the
    // run was cancelled: true when the grid can be read, false when it was
    // cancelled. Returns at once when no grid run was started.
    bool WaitForInitialSetup();
    // Every mesh's values to -1 and the grid sized for all their polygons.
    void PreparePolygonsForCulling();
    // An empty n x n grid (bounds reset to 2 .. -2).
    void InitializeGrid(int n);
    // Fills the grid (worker thread): bounds, counting and filling passes.
    void PushPolygonsToGrid();
    void CalculateAllPoints();
    void CalculateAllBackfaceOnly();
    // Whether the vertex of mesh at clip-space point p is hidden by a polygon
    // in the grid. An untrusted call counts a point outside the view or the
    // grid as hidden; a trusted one (the worker's own) as visible outside the grid.
    bool IsPointObscured(TKSN_Mesh* mesh, int vertex, const float* p, bool trusted);
    static void* ThreadFuncForBackface(void* culler);
    static void* ThreadFuncForPerVertex(void* culler);
    // Main thread: ends a finished run and releases the grid.
    bool OnWorkCompletion() override;

    bool IsReady() const { return Ready; }
    int GetGridSize() const { return GridSize; }

    // ---- data ------------------------------------------------------------------
    int32_t ValidationStamp = 0;
    std::atomic<bool> Ready{true};
    TKSN_Viewport* Viewport = nullptr;
    bool SymmetryInUse = false;
    std::vector<int32_t*> CellLists;   // into Entries, null for an empty cell
    std::vector<int32_t> CellCounts;   // ints per cell (two per polygon)
    std::vector<int32_t> Entries;
    int32_t GridSize = 1;
    float GridMin[3] = {2, 2, 2};
    float GridMax[3] = {-2, -2, -2};
    float BoxTolerance = 1e-6f;
    float PlaneTolerance = 1e-10f;
    std::mutex VertexMutex;
    std::mutex SetupMutex;

    // Called on the worker at the start of the counting pass, for observers
    // that must act while a grid is being built (tests change the view there).
    void (*OnCountingPass)(TKSN_PolygonCuller* culler) = nullptr;

private:
    struct TMeshEntry {
        TKSN_Mesh* Mesh;
        uint32_t ID;
        bool DoubleSided;
    };
    // The meshes of the project's objects, taken on the main thread at Start.
    std::vector<TMeshEntry> Meshes;
    const float* Matrix = nullptr;     // ViewportMatrices of the run's viewport

    void CollectMeshes();
    void ClipPoint(const float* in, float* out) const;
    // Calls visit(entry, polygon, box) for every polygon that takes part in
    // the grid; false when the walk stopped on a cancel request.
    template <class Visit>
    bool ForEachGridPolygon(Visit&& visit);
    void SignalSetup();
    // Runs compute(mesh, vertex) for the vertices in view whose value is still
    // -1, with the symmetry rules; stops when the run was cancelled.
    template <class Compute>
    void ForEachPendingVertex(Compute&& compute);

    std::mutex SignalMutex;
    std::condition_variable SignalCondition;
    bool SetupSignalled = true;
};

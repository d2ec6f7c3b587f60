// TKSN_SymmetryCalculator: pairs every vertex and polygon of a mesh with its
// mirror partner across the mesh's plane of symmetry.
//
// The plane is perpendicular to the symmetry axis (0 x, 1 y, 2 z) at the
// mesh's symmetry offset. Pairing works on the base (unmorphed) positions:
// vertices are sorted into a grid of cells (one row of cells per vertex along
// the axis, four across it), and each vertex looks for the nearest mirrored
// candidate in the few cells around its mirror image, nearest cells first. A
// vertex found on the plane is its own partner. Polygons are then paired by
// their corners' partners.
//
// Results, when a run completes without being cancelled and the mesh still
// has the vertex count it had at set-up: the mesh root's two vertex partner
// maps (map A pairs vertices of the positive side, map B those of the
// negative side; every other vertex names itself), its two polygon partner
// maps, and on an editable mesh the on-plane bit of each vertex record.
//
// Invariants:
// - Every array the calculator owns has one entry per vertex of the mesh at
//   set-up (the cell tables one entry per cell) or is null; Clean frees them
//   all and sets the vertex count to 0, which makes a completion store nothing.
// - A second Start cancels and joins the first run before anything is set up
//   again, so nothing of the first run survives.
//
// Threads: Start, Setup and the completion run on the main thread; binning and
// matching run on the job's own thread, reading the mesh and writing only the
// calculator's arrays and the shared offset list. The mesh waits for the job
// right after starting it, so no lock guards the mesh, and two runs never
// build the offset list at the same time.
#pragma once

#include "QORNewStaticList.h"
#include "QORThreads.h"

#include <cstdint>

class TKSN_MeshRoot;

// One search offset: added to the cross-axis cell, then to the axis cell.
struct TKSN_CentreFirst_Point {
    int32_t dx = 0;
    int32_t dy = 0;
};

// The search offsets of the current run, nearest first (CentreFirst_Init).
extern TQORNewStaticList<TKSN_CentreFirst_Point*> CentreFirst_PointList;

// (dx1² + dy1²) − (dx2² + dy2²).
int TQORStaticList_CompareDistanceFromCentrePoints(TKSN_CentreFirst_Point* a, TKSN_CentreFirst_Point* b);
// Rebuilds CentreFirst_PointList: every (dx, dy) with |dx| ≤ halfCross and
// |dy| ≤ halfAxis, sorted by distance from (0, 0) with the list's quicksort.
void CentreFirst_Init(int halfCross, int halfAxis);

// The mirror polygon of polygon by the vertex maps stored in the mesh; second
// follows map B. The polygon itself when none qualifies.
int GetBestSymmetricPolygon(TKSN_MeshRoot* mesh, int polygon, bool second);
// The mean base position of every corner of every polygon around vertex (a
// vertex used twice counts twice); the vertex's own position without any.
void GetAverageBasePositionForAllAttachedPolygons(float* out, TKSN_MeshRoot* mesh, int vertex);

class TKSN_SymmetryCalculator : public TKSN_Workhorse {
public:
    TKSN_SymmetryCalculator() = default;
    // Cancels a running job and waits for it, then frees everything.
    ~TKSN_SymmetryCalculator() override;

    // Stops a previous run, sets up and launches the job. precision: decimal
    // places of the matching tolerance relative to the object's size.
    void Start(TKSN_MeshRoot* mesh, int axis, float precision);
    void Setup(TKSN_MeshRoot* mesh, int axis, float precision);
    static void* ThreadFunc(void* calculator);
    void PolulateBins();
    // The number of vertices given a partner.
    int CalculateAllPoints();
    // After a run that was not cancelled: the results go to the mesh and
    // everything is released; true. Otherwise false and nothing stored.
    bool OnWorkCompletion() override;
    void CopyDataBackToMesh();
    void Clean();

    // Read by tests and diagnostics.
    bool IsDone() const { return done; }
    int GetVertexCount() const { return vertexCount; }
    float GetTolerance() const { return tolerance; }

private:
    // Cell of a coordinate along the axis / across it (see the .cpp).
    int AxisCell(float x) const;
    int CrossCell(float y) const;
    int CellOf(const float* position) const;
    bool HasPolygons(int vertex) const;

    TKSN_MeshRoot* mesh = nullptr;
    bool done = false;
    int32_t* cellCounts = nullptr;     // per cell
    int32_t** cellLists = nullptr;     // per cell: its slice of cellStorage
    int32_t axisCells = 0;
    int32_t axis = 0;
    int32_t crossCells = 0;
    int32_t crossAxis = 0;
    float planeOffset = 0.0f;
    float boundsMin[3] = {0, 0, 0};    // axis components relative to the plane
    float boundsMax[3] = {0, 0, 0};
    float diagonal = 0.0f;
    float tolerance = 0.0f;
    int32_t* cellStorage = nullptr;    // per cell: fill count, then its vertices
    int32_t* partnerA = nullptr;
    int32_t* partnerB = nullptr;
    uint8_t* sideMarks = nullptr;      // 0 none, 1 positive, 2 negative, 12 both
    float* basePositions = nullptr;    // the mesh's, not owned
    uint8_t* onPlane = nullptr;
    int32_t vertexCount = 0;
};

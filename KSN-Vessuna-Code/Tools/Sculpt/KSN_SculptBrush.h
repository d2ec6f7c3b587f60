// The sculpt brushes: TKSN_SculptBrush and its smoothing and erasing kinds.
//
// A dab (every press, motion and release the brush base accepts) writes
// displacements into the current sculpt layer of each mesh's highest
// subdivision level (or of the base mesh when it has data for the layer):
// the vertices under the brush are listed with their weights, each kind
// works out the new layer delta D' of every listed vertex, and the resolved
// position follows by s x (D' - D) (s the layer strength), so that it stays
// the position without the layer plus s x D. Normals of the touched polygons
// and vertices are recomputed afterwards.
//
// For a listed vertex of weight w, c = S x w limited to 0..1 (S the effective
// strength), A the kind's signed scaled amplitude, R the resolved position
// and a the mean of its polygons' corners (each occurrence, itself included):
//   sculpt  d = A x n (n the dab's averaged normal) + min(1, S x post smooth) x (a - R);
//           blend type 0: D' = D + (d - D) x c, type 1: D' = D + c x d
//   smooth  D' = D + c x (a - R)
//   eraser  D' = D x (1 - min(1, c x A)), back toward the shape without the layer
// Hidden and locked polygons mask the brushes; they read no selection.
//
// Main thread; the vertex search and the per-vertex work run on the pool.
#pragma once

#include "KSN_AffectedLists.h"
#include "KSN_Brush.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "QOROctree.h"

class TKSN_MeshRoot;

// 1 or 2; in mode 2 a dab uses the kind's per-dab displacement as amplitude.
extern int32_t SculptBlendMode;
extern bool SculptSnapToNormals;

enum class eKSN_SculptKind { Sculpt, Smooth, Eraser };

// What one dab applies to a level, besides the list.
struct TKSN_SculptDab {
    eKSN_SculptKind Kind = eKSN_SculptKind::Sculpt;
    float Strength = 1.0f;        // S, the effective strength (pen pressure counted once)
    float Amplitude = 0.0f;       // A, signed, scaled
    float Normal[3] = {0, 0, 0};  // the dab's averaged normal
    float PostSmooth = 0.0f;
    int BlendType = 1;            // of the layer
    float LayerStrength = 1.0f;   // s
    // With symmetry: each vertex's mirror partner (itself on the plane or
    // without one). The list holds working-side and on-plane vertices only;
    // a partner takes its vertex's change with the axis part negated, an
    // on-plane vertex none along the axis.
    const int32_t* Partners = nullptr;
    int Axis = 0;
    float PlaneOffset = 0.0f;
    float PlaneTolerance = 0.0f;
    // The colourising brush texture (4 bytes a pixel, row 0 first; null
    // without one). It scales the sculpt kind's change of each vertex by
    // KSN_SculptTextureFactor at the vertex's texture coordinates, which
    // TextureCoordinates (called from pool threads) gives from its index and
    // base position.
    const unsigned char* Texture = nullptr;
    int TextureWidth = 0, TextureHeight = 0;
    std::function<void(int vertex, const float* base, float* uv)> TextureCoordinates;
};

// I - 1 for the texel at brush-texture coordinates (u, v) (one image a unit,
// wrapping around), I = (2 x red + green) x 2 / 765, times alpha / 255 below
// 255, each channel interpolated bilinearly and truncated to a byte: 1 for
// white, about 0 for mid grey, -1 for black. 1 without pixels.
float KSN_SculptTextureFactor(const unsigned char* pixels, int width, int height, float u, float v);

// True when the dab's kind reads the neighbours' positions (smoothing, or
// the sculpt kind with post smoothing): then every vertex's new delta is
// worked out before any position changes.
bool KSN_SculptDabReadsNeighbours(const TKSN_SculptDab& dab);

// Applies the dab to the listed vertices of level: deltas (3 floats a vertex,
// the layer's data) and the resolved positions change; every other vertex
// stays bit for bit. The neighbour means are taken before anything is
// written, so the result does not depend on the list order.
void KSN_ApplySculptDab(TKSN_MeshRoot* level, float* deltas, const TKSN_AffectedVertex* list, int count,
                        const TKSN_SculptDab& dab);
// The mirror partners of the level's vertices across its plane of symmetry
// (the owner's axis and offset), worked out on the level's base positions
// the first time they are asked for; null when they cannot be found.
const int32_t* KSN_GetSculptSymmetryPartners(TKSN_MeshRoot* level, TKSN_Mesh* owner, bool flipped);
// Polygon normals of the listed polygons, then the normals of the listed
// vertices (sum of their polygons' normals, normalised; zero without polygons).
void KSN_RecalculateNormalsAfterSculpt(TKSN_MeshRoot* level, const TKSN_AffectedVertex* vertices, int vertexCount,
                                       const int32_t* polygons, int polygonCount);
// 1 / sqrt(x) by the bit trick and one Newton step.
float KSN_FastInverseSqrt(float x);

class TKSN_SculptBrush : public virtual TKSN_Brush {
public:
    TKSN_SculptBrush();
    ~TKSN_SculptBrush() override = default;

    bool CanUsePerVertexCulling() override { return false; }
    bool RequiredCullingCalculations() override { return true; }
    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    // Opens the stroke's undo step (the state before its first dab).
    void BeforeUse() override;
    // Closes the stroke's undo step.
    void AfterUse() override;
    void OnKeyPress(TKSN_Mesh* mesh, char key) override;
    void UpdateParameters() override;

    // One dab over every object's mesh. False when no layer could take it.
    virtual bool PerformSculptIteration(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    virtual bool DisplacementProportionalToMeshDiameter() { return true; }
    virtual eKSN_SculptKind GetKind() { return eKSN_SculptKind::Sculpt; }
    // Lists the weighted vertices of level under the brush (and their polygons).
    void GenerateAffectedLists(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy);
    // The octree leaves with vertices whose content, projected, meets the brush rectangle.
    void GenerateNodeList(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy);
    // Grows the bounds of the listed leaves (and their ancestors) by their
    // vertices' positions and polygons' normals; invalidates their display.
    void UpdateOctreeNodeBounds(TKSN_MeshRoot* level);
    // KSN_RecalculateNormalsAfterSculpt over the lists, then UpdateOctreeNodeBounds.
    void RecalculateNormalsAndBounds(TKSN_MeshRoot* level);
    // KSN_ApplySculptDab, then RecalculateNormalsAndBounds, as three passes
    // over the pool's free slots (the vertex normals and the leaves' bounds
    // in one), when the list is still the search's, the kind reads no
    // neighbours and there is no symmetry; false (nothing done) otherwise.
    bool ApplyDabWithNormalsAndBounds(TKSN_MeshRoot* level, float* deltas, const TKSN_SculptDab& dab);
    // GenerateAffectedLists, then ApplyDabWithNormalsAndBounds with the
    // search's averaged normal (written into dab.Normal), as one hand-out of
    // the pool whose phases follow each other, each slot keeping to its own
    // part of the dab; the same lists (the polygons in any order), bytes and
    // bounds. False (nothing done) without a finalised vertex-polygon table
    // and where ApplyDabWithNormalsAndBounds would not apply (symmetry, a
    // kind that reads neighbours).
    bool SearchAndApplyDab(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy, float* deltas,
                           TKSN_SculptDab& dab);
    // Wall times of SearchAndApplyDab's steps in microseconds, summed over
    // the dabs it ran on the pool while StepTimes points at one: the set-up
    // before the hand-out, each phase up to the end of its last job (the
    // search from the hand-out), and what follows the last one (the pool
    // collecting its slots and the merge). Per thread that joined a dab,
    // summed over the joins: from the hand-out to its arrival, and in each
    // phase its wait for the previous one and its time at jobs.
    struct TDabStepTimes {
        double SetUp = 0.0;
        double Phase[4] = {0.0, 0.0, 0.0, 0.0};   // search, layer, polygon normals, vertex normals and bounds
        double Merge = 0.0;
        long Dabs = 0;
        double ThreadArrive = 0.0;
        double ThreadWait[4] = {0.0, 0.0, 0.0, 0.0};
        double ThreadWork[4] = {0.0, 0.0, 0.0, 0.0};
        long ThreadJoins = 0;
    };
    TDabStepTimes* StepTimes = nullptr;
    // The level on display, when it is another one: its leaves in the box
    // (plus margin) take their new bounds and polygon normals.
    static void InvalidateOctreeInBox(TKSN_MeshRoot* level, const float* min, const float* max, float margin);
    // The brush-shape value at (px, py) for a brush centred at (cx, cy).
    float GetAmplitude(float cx, float cy, float px, float py, float size, float aspect) const;

    float PostSmooth = 1.0f;
    float PerDabDisplacement = 0.005f;
    float DabAmplitude = 0.0f;
    float ScaledAmplitude = 0.0f;
    float NormalSum[3] = {0, 0, 0};
    float AffectedMin[2] = {0, 0}, AffectedMax[2] = {0, 0};   // the brush rectangle (viewport units)
    std::vector<TQOROctreeNode<int>*> NodeList;
    // Per vertex: its leaf's place in NodeList (the search's entries only),
    // filled from the runs when first needed after a search.
    std::vector<int32_t> NodeOfVertex;
    bool NodeOfVertexFilled = false;
    std::vector<uint8_t> TouchedNodes;   // per NodeList entry: a listed vertex of the leaf moved
    // The search's jobs: runs of a leaf's slice of the visible-vertex list,
    // in leaf order.
    struct TSearchJob {
        int32_t Leaf;          // place in NodeList
        int32_t First, End;    // slice entries
    };
    std::vector<TSearchJob> SearchJobs;
    // The search's scratch per job: its listed vertices, the polygons it
    // listed first and their weighted normal sum.
    std::vector<std::vector<TKSN_AffectedVertex>> JobLists;
    std::vector<std::vector<int32_t>> JobPolygons;
    // Per job, side by side: its weighted normal sum and how many vertices it
    // listed, and (SearchAndApplyDab) how many polygons it kept. Every thread
    // of a dab reads them all to find where each job's entries go: packed,
    // they are a few lines to fetch from the cores that wrote them instead of
    // one per list header.
    struct TJobTally {
        float Sum[3];
        int32_t Vertices;
    };
    std::vector<TJobTally> JobTallies;
    std::vector<int32_t> JobKept;
    // Per thread that joins SearchAndApplyDab's hand-out: where each job's
    // entries go in the lists (prefix sums of the jobs' lengths) and the
    // dab's averaged normal, both summed in job order as the separate search
    // does; every thread works out the same. Kept from dab to dab.
    struct TDabPlaces {
        std::vector<int32_t> Vertex, Polygon;
        float Normal[3] = {0, 0, 0};
    };
    std::vector<TDabPlaces> DabPlaces;
    std::vector<int32_t> JobFirst;   // per NodeList entry (and one past): where its run starts in the affected list
    // Per job of SearchAndApplyDab: its leaf's bounds grown by its vertices
    // (content min, max, normal min, max).
    std::vector<std::array<float, 12>> JobBoxes;
    // Per polygon of the level: the search job that listed it last (read
    // only for the polygons the current search listed).
    std::vector<int32_t> PolygonOwner;
    bool ListInLeafOrder = false;   // the list's first ListedBySearch entries are the search's runs
private:
    struct TSearchSetup;
    // The node list, the search's jobs and what they read.
    void PrepareSearch(TKSN_MeshRoot* level, TKSN_Viewport* viewport, float fx, float fy, TSearchSetup& setup);
    // Lists one job's vertices, first-met polygons and weighted normal sum.
    void RunSearchJob(const TSearchSetup& setup, int job);
    // The jobs' lists appended in job order, then FinishSearchCounts.
    void FinishSearch();
    // Drops from the job's polygons those another job owns (after the search).
    void KeepOwnedPolygons(int job);
    // JobFirst past the last job's leaf, the search's marks and the averaged normal.
    void FinishSearchCounts();
    bool SearchRunsHold() const;
    // NodeOfVertex for the search's entries, while the list holds its runs.
    void FillNodeOfVertex();
    // SculptedMin and SculptedMax over the first count entries (searchOrder:
    // they are the search's, else the symmetry's cut of them).
    void SculptedBox(TKSN_MeshRoot* level, int count, bool searchOrder);
    // Grows each searched leaf by its run's vertices (and first sets their
    // normals when asked), on the pool; marks TouchedNodes.
    void GrowLeavesOnPool(TKSN_MeshRoot* level, bool vertexNormals);
    // GrowLeavesOnPool's work for the runs firstJob <= job < endJob.
    void GrowLeaves(TKSN_MeshRoot* level, int firstJob, int endJob, bool vertexNormals);
    // The leaves marked in TouchedNodes: display invalidated, ancestors grown.
    void FinishGrownLeaves(TKSN_MeshRoot* level);
    // Appends each listed vertex's mirror partner and its polygons not yet listed.
    void AddPartnersToLists(TKSN_MeshRoot* level, const int32_t* partners);
public:
    int32_t ListedBySearch = 0;
    bool BackFaceTest = false;                      // set per mesh by the node search
    float ViewDirection[3] = {0.0f, 0.0f, 1.0f};    // toward the viewer          // list entries the search made (partners follow them)
    // The base positions the dab reached, when another level on display must follow.
    float SculptedMin[3] = {0, 0, 0}, SculptedMax[3] = {0, 0, 0};
    // The brush shape (one byte a pixel, row 0 first), taken at every dab;
    // null means a full shape of 255.
    const unsigned char* BrushShape = nullptr;
    int32_t BrushShapeWidth = 0, BrushShapeHeight = 0;
};

class TKSN_SculptSmoothBrush : public virtual TKSN_SculptBrush {
public:
    TKSN_SculptSmoothBrush();
    bool DisplacementProportionalToMeshDiameter() override { return false; }
    eKSN_SculptKind GetKind() override { return eKSN_SculptKind::Smooth; }
    void UpdateParameters() override { TKSN_Brush::UpdateParameters(); }
};

class TKSN_SculptEraserBrush : public virtual TKSN_SculptBrush {
public:
    TKSN_SculptEraserBrush();
    bool DisplacementProportionalToMeshDiameter() override { return false; }
    eKSN_SculptKind GetKind() override { return eKSN_SculptKind::Eraser; }
    void UpdateParameters() override { TKSN_Brush::UpdateParameters(); }
};

// The mesh's symmetry pairing (started, awaited, cancelled) and the two morph
// operations built on the partner maps: making a morph symmetric and
// swapping its two sides.
//
// Map rules relied on: in each of the two vertex partner maps a vertex of the
// side that receives values names its mirror partner, every other vertex
// names itself, −1 means no partner; a vertex for which both maps agree lies
// on the centre line.
#include "KSN_Mesh.h"
#include "KSN_SymmetryCalculator.h"

#include <algorithm>

namespace {

constexpr uint32_t HiddenOrLocked = QORPoly_Hidden | QORPoly_Locked;
constexpr uint32_t InSelectedList = 0x2;

float ClampWeight(float w) { return std::clamp(w, 0.0f, 1.0f); }

// x' = m0·x + m4·y + m8·z + m12 and so on: column-order matrix, translation included.
void TransformPoint(const float* m, float* v)
{
    const float x = v[0], y = v[1], z = v[2];
    v[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    v[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    v[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
}

// Brings a sparse morph into its full form for the duration of an operation.
class TExpandedForOperation {
public:
    explicit TExpandedForOperation(TKSN_Morph* m) : morph(m), wasCompressed(m->IsCompressed())
    {
        if (wasCompressed) morph->Expand();
    }
    ~TExpandedForOperation()
    {
        if (wasCompressed) morph->Compress();
    }
    TExpandedForOperation(const TExpandedForOperation&) = delete;
    TExpandedForOperation& operator=(const TExpandedForOperation&) = delete;

private:
    TKSN_Morph* morph;
    bool wasCompressed;
};

}  // namespace

void TKSN_Mesh::RestartSymmetryCalculations(int axis)
{
    if (!SymmetryCalculator) return;
    const float precision = std::clamp(symmetryPrecision, 3.0f, 10.0f);
    SymmetryCalculator->Start(this, axis, precision);
    // Every reader of the maps expects them complete once this returns.
    SymmetryCalculator->FinishWorkIfNecessary();
    SymmetryStarted = true;
}

void TKSN_Mesh::BeforeConsideringSymmetry()
{
    if (!SymmetryStarted) RestartSymmetryCalculations(symmetryAxis);
    if (SymmetryCalculator) SymmetryCalculator->FinishWorkIfNecessary();
}

void TKSN_Mesh::CancelSymmetryCalculations()
{
    if (SymmetryCalculator) SymmetryCalculator->CancelThread(true);
}

void TKSN_Mesh::MakeMorphSymmetric(TKSN_Morph* morph, bool useSecondMap, bool blendBySelection, float* postMatrix,
                                   float* preMatrix)
{
    BeforeConsideringSymmetry();
    if (!morph) return;
    TExpandedForOperation expanded(morph);
    const int32_t* mapA = vertexPartners[0];
    const int32_t* mapB = vertexPartners[1];
    if (!mapA || !mapB || !VertexInfo) return;
    const int32_t* map = useSecondMap ? mapB : mapA;
    const bool baseShape = morph == BaseVerticesMorph;
    const int axis = std::clamp(int(symmetryAxis), 0, 2);
    // A morph not yet resized to the mesh has no delta for the later vertices.
    const int limit = baseShape ? vertexCount : std::min(vertexCount, morph->GetVCount());

    const int visible = GetVisibleVertexCount();
    for (int k = 0; k < visible; ++k) {
        const int c = visibleVertices[k];
        if (c < 0 || c >= limit || (VertexInfo[c].Flags & HiddenOrLocked) != 0) continue;
        if (mapA[c] == mapB[c]) {
            // Centre line: an ordinary morph may not push it off the plane.
            if (!baseShape) morph->GetVertex(c)[axis] = 0.0f;
            continue;
        }
        const int e = map[c];
        if (e == -1 || e == c || e < 0 || e >= limit) continue;
        float v[3];
        const float* source = baseShape ? baseVertices + 3 * e : morph->GetVertex(e);
        std::copy(source, source + 3, v);
        if (preMatrix) TransformPoint(preMatrix, v);
        v[axis] = -v[axis];
        if (postMatrix) TransformPoint(postMatrix, v);
        float* target = baseShape ? baseVertices + 3 * c : morph->GetVertex(c);
        if (blendBySelection) {
            const float w = ClampWeight(GetResolvedVSelect(e));
            for (int i = 0; i < 3; ++i) target[i] = w * v[i] + (1.0f - w) * target[i];
        } else {
            std::copy(v, v + 3, target);
        }
    }
}

void TKSN_Mesh::SwapMorphSymmetry(TKSN_Morph* morph)
{
    BeforeConsideringSymmetry();
    if (!morph) return;
    TExpandedForOperation expanded(morph);
    const int axis = std::clamp(int(symmetryAxis), 0, 2);
    const int limit = std::min(vertexCount, morph->GetVCount());
    const int visible = GetVisibleVertexCount();
    if (!VertexInfo) return;
    for (int k = 0; k < visible; ++k) {
        const int d = visibleVertices[k];
        if (d >= 0 && d < vertexCount) VertexInfo[d].Flags &= ~InSelectedList;
    }
    const int32_t* map = vertexPartners[1];
    if (!map) return;

    for (int k = 0; k < visible; ++k) {
        const int d = visibleVertices[k];
        if (d < 0 || d >= limit) continue;
        const int p = map[d];
        if (p == d) {
            // On the plane or on the giving side: only a vertex right at the
            // plane has its own component flipped.
            const float x = baseVertices[3 * d + axis];
            if (x > -1e-4f && x < 1e-4f) {
                float* delta = morph->GetVertex(d);
                delta[axis] = -delta[axis];
            }
            continue;
        }
        if (p < 0 || p >= limit) continue;
        if ((VertexInfo[d].Flags & HiddenOrLocked) != 0 || (VertexInfo[p].Flags & HiddenOrLocked) != 0) continue;
        float* deltaD = morph->GetVertex(d);
        float* deltaP = morph->GetVertex(p);
        float D[3], P[3];
        std::copy(deltaD, deltaD + 3, D);
        std::copy(deltaP, deltaP + 3, P);
        float mirrorD[3] = {D[0], D[1], D[2]};
        float mirrorP[3] = {P[0], P[1], P[2]};
        mirrorD[axis] = -mirrorD[axis];
        mirrorP[axis] = -mirrorP[axis];
        const float wd = ClampWeight(GetResolvedVSelect(d));
        const float wp = ClampWeight(GetResolvedVSelect(p));
        for (int i = 0; i < 3; ++i) {
            deltaD[i] = wd * mirrorP[i] + (1.0f - wd) * D[i];
            deltaP[i] = wp * mirrorD[i] + (1.0f - wp) * P[i];
        }
    }
}

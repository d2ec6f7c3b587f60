// TKSN_Mesh: morph resolution and the welded copy of a morph.
//
// The resolved vertices are a pure recomputation: base vertices, plus each
// active morph's deltas times its strength (key-framed morphs blended
// linearly between the two frames around the application's animation frame),
// then the mesh's own transform. Morphs at near-zero strength other than the
// current one are skipped before they are brought in from the virtual-memory
// store, so inactive morphs cost nothing.

#include "KSN_Mesh.h"

#include <algorithm>
#include <cstring>

namespace {

// The float nearest to 1e-30: strengths strictly inside ±this count as zero.
constexpr float kZeroStrength = 1e-30f;

bool MovesVertices(float strength) { return strength > kZeroStrength || strength < -kZeroStrength; }

} // namespace

void TKSN_Mesh::ResolveMorphs(bool applyTransform)
{
    CopyBaseVerticesToResolvedVertices();
    ResolveAllMorphs = true;
    // Deltas never widen the resolved box: it stays the base box.
    std::copy(boundsMin, boundsMin + 3, resolvedBoundsMin);
    std::copy(boundsMax, boundsMax + 3, resolvedBoundsMax);

    if (KSN_MeshApp_GetToolTypeTab() != KSN_TOOL_TAB_MODELLING && MorphTree)
        TKSN_TreeGroup::Traverse(MorphTree, 0, ResolveVertices_OnVisitMorph, this, false);

    GenerateTotalMatrix();
    if (!applyTransform || vertexCount <= 0 || !resolvedVertices)
        return;
    const float* m = TotalMatrix;
    for (int i = 0; i < vertexCount; ++i) {
        float* p = resolvedVertices + 3 * size_t(i);
        const float x = p[0], y = p[1], z = p[2];
        p[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
        p[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
        p[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
    }
}

bool TKSN_Mesh::ResolveVertices_OnVisitMorph(TKSN_TreeGroup* group, int /*depth*/, void* userData)
{
    auto* mesh = static_cast<TKSN_Mesh*>(userData);
    if (!mesh || !group || !group->items)
        return true;
    const uint32_t currentID = mesh->GetEffectiveCurrentMorphID();
    const int frameTime = KSN_MeshApp_GetCurrentAnimationFrame();

    for (int i = 0; i < group->items->Count(); ++i) {
        auto* morph = dynamic_cast<TKSN_Morph*>((*group->items)[i]);
        if (!morph || morph == mesh->BaseVerticesMorph || morph->IsKeptInMemory())
            continue;
        const float strength = morph->Strength;
        const bool nearZero = strength > -kZeroStrength && strength < kZeroStrength;
        // The current morph goes on at near-zero strength so that it is still
        // brought into use (and its pending scripts replayed).
        if (nearZero && !(currentID != 0 && morph->GetID() == currentID))
            continue;

        // Key-frame choice: the frame at the application's time, the last
        // frame past the end, else a blend of the two frames around it.
        TKSN_Morph* chosen = morph;
        float chosenStrength = strength;
        TKSN_Morph* blended = nullptr;
        float blendedStrength = 0.0f;
        if (frameTime > 0) {
            TKSN_Morph* previous = nullptr;
            for (TKSN_Morph* frame = morph; frame; frame = frame->GetNextKeyFrame()) {
                const int t = frame->GetKeyFrameTime();
                if (t == frameTime) {
                    chosen = frame;
                    break;
                }
                if (t < frameTime) {
                    previous = frame;
                    chosen = frame;   // the last frame when the chain ends here
                    continue;
                }
                chosen = frame;
                if (previous) {
                    const int t0 = previous->GetKeyFrameTime();
                    const float g = float(frameTime - t0) / float(t - t0);
                    chosenStrength = g * strength;
                    blended = previous;
                    blendedStrength = (1.0f - g) * strength;
                }
                break;
            }
        }

        mesh->BeginUsingMorph(morph);
        mesh->ResolveMorphVertices(chosen, chosenStrength);
        if (blended)
            mesh->ResolveMorphVertices(blended, blendedStrength);
        mesh->EndUsingMorph(morph);
    }
    return true;
}

void TKSN_Mesh::ResolveMorphVertices(TKSN_Morph* morph, float strength)
{
    if (!morph)
        return;
    // How ordinary morphs follow a change of the vertex count.
    if (morph->GetVCount() != vertexCount)
        morph->SetVCount(vertexCount);
    if (!MovesVertices(strength) || !resolvedVertices)
        return;
    int vertex = 0;
    float* delta = nullptr;
    for (bool more = morph->GetFirstDelta(&vertex, &delta); more; more = morph->GetNextDelta(&vertex, &delta)) {
        if (vertex < 0 || vertex >= vertexCount)
            continue;
        float* p = resolvedVertices + 3 * size_t(vertex);
        p[0] += delta[0] * strength;
        p[1] += delta[1] * strength;
        p[2] += delta[2] * strength;
    }
}

float* TKSN_Mesh::GetCurrentDeltas()
{
    TKSN_Morph* morph = FindEffectiveCurrentMorph();
    if (!morph)
        return nullptr;
    morph->IsInUse("TKSN_Mesh::GetCurrentDeltas()");
    return morph->GetPointerToExpandedArray();
}

void TKSN_Mesh::UpdateWeldedMorph(TKSN_Morph* morph)
{
    if (!Welded || !morph || morph->GetVCount() == 0)
        return;
    FinishAllScriptedAdjustments();
    if (morph->GetVCount() != vertexCount)
        morph->SetVCount(vertexCount);
    BeginUsingMorph(morph);
    const bool wasCompressed = morph->IsCompressed();
    if (wasCompressed)
        morph->Expand();

    if (float* deltas = morph->GetPointerToExpandedArray()) {
        for (int j = 0; j < vertexCount; ++j) {
            const int master = VertexInfo[j].WeldMaster;
            if (master == j || master < 0 || master >= vertexCount)
                continue;
            std::memcpy(deltas + 3 * size_t(j), deltas + 3 * size_t(master), 3 * sizeof(float));
            VertexInfo[j].Select = std::clamp(GetResolvedVSelect(master), 0.0f, 1.0f);
            VertexInfo[j].Flags = VertexInfo[master].Flags;
        }
    }

    if (wasCompressed)
        morph->Compress();
    // Marked changed first, so that the welded copy counts as current
    // afterwards and the next welded update skips this morph.
    morph->OnChanged();
    morph->OnUpdateWelded();
    EndUsingMorph(morph);
}

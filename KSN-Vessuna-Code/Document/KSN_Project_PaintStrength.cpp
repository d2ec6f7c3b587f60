// Paint strength and map-binding relevance: which bindings a stroke paints,
// and how strongly each corner of a painted polygon receives paint.
//
// Relevance is decided once per stroke on the main thread and kept in the
// bindings' and map sources' flags; the strength functions run on the
// touch-up brush's paint threads, several at once, and only read project
// options, mesh arrays and selection weights (the culled values come from
// the culler under its own lock).
//
// Index:
//   [SECTION] Relevance of map bindings
//   [SECTION] Per-vertex strength
#include "KSN_Project.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ToolKinds.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

namespace {

constexpr int kViewportDependentChannelText = 463;
// Touch-up blend types that read the viewport's picture.
constexpr int kBlendBlur = 2;
constexpr int kBlendSmudge = 3;

struct TChannelSwitch {
    bool TKSN_Project::*Member;
    const char* Name;
};
// The "Paint Channels" switches, in the order the warnings name them. The
// seventh channel ("Glossy") has no switch.
constexpr TChannelSwitch kChannelSwitches[] = {
    {&TKSN_Project::PaintColor, "Color"},
    {&TKSN_Project::PaintBump, "Bump"},
    {&TKSN_Project::PaintTransparency, "Transparency"},
    {&TKSN_Project::PaintDisplacement, "Displacement"},
    {&TKSN_Project::PaintAmbient, "Ambient"},
    {&TKSN_Project::PaintSpecular, "Specular"},
};

// The switch of a channel named exactly name; false for a channel without one.
bool SwitchOf(const TKSN_Project& project, const char* name)
{
    for (const TChannelSwitch& s : kChannelSwitches)
        if (std::strcmp(name, s.Name) == 0) return project.*s.Member;
    return false;
}

TKSN_Tool* CurrentTool() { return App ? App->currentTool : nullptr; }

// A blur or smudge stroke copies the viewport's picture, so it can only
// paint what the viewport shows.
bool StrokeDependsOnViewport()
{
    auto* brush = dynamic_cast<TKSN_TouchupEtcBrush*>(CurrentTool());
    if (!brush) return false;
    const int type = brush->GetBlendType();
    return type == kBlendBlur || type == kBlendSmudge;
}

bool PolygonSelectionMode() { return App && App->selectionType == eSelectionType_Polygon; }

} // namespace

// ============================================================================
// [SECTION] Relevance of map bindings
// ============================================================================

bool TKSN_Project::IsMapBindingRelevantToPainting(TQORMaterialMap* binding, TKSN_Mesh* mesh,
                                                   TKSN_Viewport* viewport)
{
    if (!binding || !mesh) return false;
    const char* shown = viewport ? viewport->materialChannelName : "";

    const bool dependsOnViewport = StrokeDependsOnViewport();
    if (dependsOnViewport) {
        for (const TChannelSwitch& s : kChannelSwitches)
            if (this->*s.Member && QORstrcmpi(s.Name, shown) != 0)
                OS.WarningMessageNoRepeat(Lang.GetText(kViewportDependentChannelText), s.Name);
    }

    if (!mesh->Materials) return false;
    bool relevant = false;
    for (int i = 0; i < mesh->Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) break;
        for (TQORMaterialChannel* channel : material->ArbChannels) {
            if (!channel || channel->GetMapID() != binding->GetID()) continue;
            const char* name = channel->GetName();
            const bool switched = SwitchOf(*this, name);
            if ((std::strcmp(name, shown) == 0 && (PaintCurrentChannel || switched)) ||
                (!dependsOnViewport && switched))
                relevant = true;
        }
    }
    return relevant;
}

void TKSN_Project::UpdateAllMapBindingRelevantFlags(TKSN_Viewport* viewport)
{
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(GetMapList());
    for (TQORMaterialMapSource* map : *maps)
        if (map) map->SetRelevantToPainting(false);

    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh || !mesh->MaterialMaps) continue;
        for (TQORMaterialMap* binding : *mesh->MaterialMaps)
            if (binding) binding->RelevantToPainting = false;
    }
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh || !mesh->MaterialMaps) continue;
        for (TQORMaterialMap* binding : *mesh->MaterialMaps) {
            if (!binding || !IsMapBindingRelevantToPainting(binding, mesh, viewport)) continue;
            binding->RelevantToPainting = true;
            if (TQORMaterialMapSource* source = binding->GetMapSource()) source->SetRelevantToPainting(true);
        }
    }
}

// ============================================================================
// [SECTION] Per-vertex strength
// ============================================================================

bool TKSN_Project::ShouldWeAdjustTriangleVertexStrengthsForPainting(TKSN_PaintBrush* brush, TKSN_Mesh*,
                                                                     TKSN_Viewport*)
{
    if (GetCullingMethod() > 0 || (brush && brush->DoPerVertexCulling()) || DoAngleFade) return true;
    return PaintOnSelectionOnly && TotalSelectedVertexCountForPaintingPurposes != 0;
}

namespace {

// Culling methods that hide a vertex outright under symmetry (not 0, none,
// and not 2, smart, whose weights the brush applies itself).
bool CullsObscuredVertices(int method) { return method == 1 || method == 3 || method == 4; }

// The normal that fade by angle compares with the view: on the edited side
// of a symmetric mesh, so both halves fade alike.
void FadeNormal(TKSN_Project& project, TKSN_Mesh* mesh, int vertex, float* n)
{
    int source = vertex;
    const bool symmetric = project.DoUseSymmetry(mesh);
    if (symmetric && App && App->perVertexSymmetry && mesh->activeVertexPartnerA) {
        const int partner = mesh->activeVertexPartnerA[vertex];
        if (partner >= 0 && partner < mesh->vertexCount) source = partner;
    }
    for (int c = 0; c < 3; ++c) n[c] = mesh->vertexNormals[3 * size_t(source) + c];
    if (!symmetric || (App && App->perVertexSymmetry)) return;
    // The symmetry planes are coordinate planes, so folding the direction
    // needs no change of space: only the sign along the axis.
    const int axis = mesh->symmetryAxis;
    if (axis < 0 || axis > 2) return;
    if (mesh->symmetryState == 1) n[axis] = std::fabs(n[axis]);
    else if (mesh->symmetryState == 2) n[axis] = -std::fabs(n[axis]);
}

} // namespace

void TKSN_Project::AdjustVertexStrengthForPainting(int polygon, float& strength, int vertex, TKSN_PaintBrush* brush,
                                                   TKSN_Mesh* mesh, TKSN_Viewport* viewport)
{
    AdjustTriangleVertexStrengthsForPainting(polygon, strength, strength, strength, vertex, vertex, vertex, brush,
                                             mesh, viewport, true);
}

void TKSN_Project::AdjustTriangleVertexStrengthsForPainting(int polygon, float& strengthA, float& strengthB,
                                                            float& strengthC, int vertexA, int vertexB, int vertexC,
                                                            TKSN_PaintBrush*, TKSN_Mesh* mesh,
                                                            TKSN_Viewport* viewport, bool applyCulling)
{
    if (!mesh) return;
    // The one-vertex form passes one strength three times; each step must
    // then apply once, not three times.
    const bool single = &strengthA == &strengthB && &strengthB == &strengthC;
    float* strengths[3] = {&strengthA, &strengthB, &strengthC};
    const int vertices[3] = {vertexA, vertexB, vertexC};
    const int corners = single ? 1 : 3;
    auto valid = [&](int v) { return v >= 0 && v < mesh->vertexCount; };

    if (applyCulling) {
        const bool symmetric = DoUseSymmetry(mesh);
        const int method = GetCullingMethod();
        for (int k = 0; k < corners; ++k) {
            if (!valid(vertices[k])) continue;
            if (symmetric) {
                if (CullsObscuredVertices(method) && IsVertexObscured(mesh, vertices[k])) *strengths[k] = 0.0f;
            } else {
                *strengths[k] *= GetVertexCulledValue(mesh, vertices[k]);
            }
        }
    }

    if (DoAngleFade && viewport && mesh->vertexNormals) {
        for (int k = 0; k < corners; ++k) {
            if (!valid(vertices[k])) continue;
            float n[3];
            FadeNormal(*this, mesh, vertices[k], n);
            *strengths[k] *= GetFadeByAngleFactor(FadeCutoff, FadeFalloff, viewport->ViewVector, n);
        }
    }

    if (PaintOnSelectionOnly && TotalSelectedVertexCountForPaintingPurposes != 0) {
        if (PolygonSelectionMode()) {
            const float weight =
                polygon >= 0 && polygon < mesh->GetPCount() ? mesh->GetResolvedPSelect(polygon) : 0.0f;
            for (int k = 0; k < corners; ++k) *strengths[k] *= weight;
        } else {
            for (int k = 0; k < corners; ++k)
                if (valid(vertices[k])) *strengths[k] *= mesh->GetResolvedVSelect(vertices[k]);
        }
    }
}

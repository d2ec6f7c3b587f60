// The stroke tests' fixture: a real application and project with undo, the
// current viewport set to an orthographic front view of the box -2..2 (so a
// world point (x, y) lands on the normalised point (x / 2, y / 2)), a square
// brush-shape image, grids made as real meshes, and a picker test double
// standing for the project's picking (nearest polygon under the point).
#pragma once

#include "KsnTestQuadGrid.h"
#include "KSN_UndoTestSupport.h"

#include "KSN_AffectedLists.h"
#include "KSN_Chisel.h"
#include "KSN_Morph.h"
#include "KSN_StrokeEngine.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "QORMatrix.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

namespace ksn_stroke_test {

using namespace ksn_undo_test;

// Test doubles behind the tool hooks.
inline bool LockAxes[3] = {false, false, false};
inline bool ShiftDown = false;
// When set, the picker answers this root (a subdivision level) and maps the
// owner's polygon p to level polygon 4 p + 2.
inline TKSN_MeshRoot* PickLevel = nullptr;

inline bool PointInPolygon(const std::vector<std::array<float, 3>>& s, float x, float y)
{
    bool positive = false, negative = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const auto& a = s[i];
        const auto& b = s[(i + 1) % s.size()];
        const float cross = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
        positive |= cross > 1e-7f;
        negative |= cross < -1e-7f;
    }
    return !(positive && negative);
}

// The nearest polygon of any object under (x, y); hit gets (x, y, depth).
inline bool PickNearest(TKSN_Viewport* viewport, TKSN_MeshRoot*& mesh, int& polygon, float x, float y, float* hit)
{
    float best = 1e30f;
    mesh = nullptr;
    polygon = -1;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    for (TKSN_Object* object : *objects) {
        TKSN_Mesh* m = object->Mesh.get();
        if (!m) continue;
        for (int p = 0; p < m->GetPCount(); ++p) {
            std::vector<std::array<float, 3>> s;
            float depth = 0.0f;
            for (int c = 0; c < m->vGetPolyN(p); ++c) {
                std::array<float, 3> q;
                KSN_TransformPoint(viewport->CombinedMatrix, m->resolvedVertices + 3 * m->vGetPolyV(p, c), q.data());
                depth += q[2] / float(m->vGetPolyN(p));
                s.push_back(q);
            }
            if (s.size() < 3 || !PointInPolygon(s, x, y) || depth >= best) continue;
            best = depth;
            mesh = m;
            polygon = p;
        }
    }
    if (!mesh) return false;
    if (hit) {
        hit[0] = x;
        hit[1] = y;
        hit[2] = best;
    }
    if (PickLevel) {
        polygon = 4 * polygon + 2;
        mesh = PickLevel;
    }
    return true;
}

// A stroke-engine tool that records what each iteration hands to each mesh.
class TProbe : public TKSN_Brush_V4 {
public:
    struct TSeen {
        TKSN_MeshRoot* Mesh;
        std::vector<TKSN_AffectedVertex> List;
    };
    std::vector<TSeen> Seen;
    float Size = 0.125f;
    bool Sticky = false;
    void PerformIterationOnMesh(TKSN_MeshRoot* mesh) override
    {
        Seen.push_back({mesh, std::vector<TKSN_AffectedVertex>(gAffectedVertices, gAffectedVertices + gAffectedVertexCount)});
    }
    bool CanUseStickySelection() override { return Sticky; }
    float GetSize() override { return Size; }
    float GetHardness() override { return 0.0f; }
    // The last iteration's list for the mesh, by vertex.
    std::map<int, float> LastFor(TKSN_MeshRoot* mesh) const
    {
        std::map<int, float> out;
        for (auto it = Seen.rbegin(); it != Seen.rend(); ++it)
            if (it->Mesh == mesh) {
                for (const TKSN_AffectedVertex& e : it->List) out[e.Vertex] += e.Weight;
                return out;
            }
        return out;
    }
};

class StrokeFixture : public UndoFixture {
protected:
    TKSN_Viewport* View = nullptr;
    std::vector<TKSN_Tool*> Tools;

    void SetUp() override
    {
        UndoFixture::SetUp();
        KSN_RegisterViewportOctreeServices();
        App->toolTypeTab = 3;
        View = Project->GetCurrentViewport();
        ASSERT_NE(View, nullptr);
        View->Resize(0, 0, 400, 400);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        View->SetRotationMatrixForLoadingOnly(identity);
        View->SetZoomForLoadingOnly(2.0f);
        const float zero[3] = {0, 0, 0};
        View->SetLookAtForLoadingOnly(zero);
        const float min[3] = {-2, -2, -2}, max[3] = {2, 2, 2};
        View->SetupMatrix(min, max);
        SetBrushImage(200);

        TKSN_ToolProjectHooks hooks = KSN_GetToolProjectHooks();
        hooks.GetClosestPolygonAndMesh = PickNearest;
        hooks.GetAxisLocks = [](bool& x, bool& y, bool& z) {
            x = LockAxes[0];
            y = LockAxes[1];
            z = LockAxes[2];
        };
        KSN_SetToolProjectHooks(hooks);
        KSN_StrokeShiftHeldNow = []() { return ShiftDown; };
        LockAxes[0] = LockAxes[1] = LockAxes[2] = false;
        ShiftDown = false;
        PickLevel = nullptr;
        // The stroke state is process-wide; every test starts from a fresh run.
        SmartCulling_Hardness = 0.0f;
        SmartCulling_Mesh = nullptr;
        _PostSmoothStrength = 0.0f;
        SelectionBrushSize = 0.125f;
        DeformerStrength = 1.0f;
        DeformerHardness = 0.0f;
        OS.SetAltHeld(false);
    }

    void TearDown() override
    {
        if (App) App->currentTool = nullptr;
        UndoFixture::TearDown();
        for (TKSN_Tool* tool : Tools) delete tool;
        KSN_SetToolProjectHooks({});
        KSN_StrokeShiftHeldNow = IsShiftHeldRightNow;
        SmartCulling_Mesh = nullptr;
        OS.SetAltHeld(false);
    }

    template <class T>
    T* Make()
    {
        auto* tool = new T;
        Tools.push_back(tool);
        App->currentTool = tool;
        return tool;
    }

    // A 64 x 64 brush image of one shade; its simplified image is set everywhere.
    static void SetBrushImage(unsigned char shade)
    {
        std::vector<unsigned char> shape(64 * 64, shade), simple(64 * 64, 255);
        Project->BrushShapeImage.CreateWithPixelData(shape.data(), 64, 64, 1, false);
        Project->SimplifiedBrushShapeImage.CreateWithPixelData(simple.data(), 64, 64, 1, false);
    }

    static void SetCulling(int method) { Project->CullingMethod = Project->EffectiveCullingMethod = method; }

    // n x n quads over [x0, x0 + width] x [y0, y0 + width] at height z (plus
    // bump(x, y)); facing the viewer (+z) unless asked otherwise.
    TKSN_Object* MakeGrid(const char* name, int n, float x0, float y0, float width, float z, bool facing = true,
                          const std::function<float(float, float)>& bump = {})
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        auto* mesh = new TKSN_Mesh(object);
        object->Mesh.reset(mesh);
        KsnFillQuadGrid(
            *mesh, n,
            [&](int i, int j, float* p) {
                const float x = x0 + width * float(i) / float(n), y = y0 + width * float(j) / float(n);
                p[0] = x;
                p[1] = y;
                p[2] = z + (bump ? bump(x, y) : 0.0f);
            },
            facing);
        Finish(object);
        return object;
    }

    static void Finish(TKSN_Object* object)
    {
        TKSN_Mesh* mesh = object->Mesh.get();
        mesh->AfterRawBuild();
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->AfterFullSelection();
        object->ResolveVertices(true);
        mesh->RecalculateNormals(false);
    }

    // The vertex of a grid made by MakeGrid nearest to (x, y).
    static int VertexAt(TKSN_Mesh* mesh, float x, float y)
    {
        int best = -1;
        float d = 1e30f;
        for (int v = 0; v < mesh->GetVCount(); ++v) {
            const float* p = mesh->resolvedVertices + 3 * v;
            const float e = (p[0] - x) * (p[0] - x) + (p[1] - y) * (p[1] - y);
            if (e < d) {
                d = e;
                best = v;
            }
        }
        return best;
    }

    TKSN_MorphUnion* MakeUnion(float strength = 1.0f)
    {
        auto* morphUnion = new TKSN_MorphUnion;
        morphUnion->SetName("Sculpt");
        morphUnion->Strength = strength;
        morphUnion->MinStrength = -1.0f;
        Project->MorphUnions->AddItem(morphUnion);
        Project->CurrentMorphUnionID = morphUnion->GetID();
        return morphUnion;
    }

    // Screen point of a world point in the front view.
    static float Screen(float world) { return world / 2.0f; }

    void Press(TKSN_Tool* tool, float x, float y) { tool->OnMouse(nullptr, View, 0, 0, x, y); }
    void Move(TKSN_Tool* tool, float x, float y) { tool->OnMotion(nullptr, View, x, y); }
    void Release(TKSN_Tool* tool, float x, float y) { tool->OnMouse(nullptr, View, 0, 1, x, y); }
    void Click(TKSN_Tool* tool, float x, float y)
    {
        Press(tool, x, y);
        Release(tool, x, y);
    }

    static std::vector<float> Copy(const float* data, int count) { return std::vector<float>(data, data + 3 * count); }
};

} // namespace ksn_stroke_test

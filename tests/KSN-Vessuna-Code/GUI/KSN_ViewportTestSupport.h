// The viewport panels under test: the command fixture with a current object
// whose mesh lies in the world's z = 0 plane, viewports with an identity view
// (world x and y are the viewport units), the renderer's layer hooks, and a
// tool that records every call the panel makes, with the mirror flag and its
// previous point at the time of the call.
#pragma once

#include "KSN_CommandTestSupport.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include "GuiDropDown.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_RendererHooks.h"
#include "KSN_RendererUtils.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "KSN_ViewportPanel.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

struct TToolCall {
    std::string What;   // "before", "mouse", "motion", "double", "after"
    int Button = -1, State = -1;
    float X = 0.0f, Y = 0.0f;
    bool Mirror = false;
    float PrevX = 0.0f, PrevY = 0.0f;
};

class TRecordingTool : public TKSN_Tool {
public:
    TRecordingTool() { Flags = KSN_TOOL_MOUSE_INPUT; }
    void PreProcess_fx_fy(float&, float&) override {}
    bool OnMouse(TKSN_Mesh*, TKSN_Viewport*, int button, int state, float fx, float fy) override
    {
        Record("mouse", button, state, fx, fy);
        return true;
    }
    bool OnMotion(TKSN_Mesh*, TKSN_Viewport*, float fx, float fy) override
    {
        Record("motion", -1, -1, fx, fy);
        return true;
    }
    bool OnDoubleClick(TKSN_Mesh*, TKSN_Viewport*, float fx, float fy) override
    {
        Record("double", -1, -1, fx, fy);
        return true;
    }
    void BeforeUse() override { Record("before", -1, -1, 0, 0); }
    void AfterUse() override { Record("after", -1, -1, 0, 0); }
    bool IgnoreLockedViewportStatus() override { return IgnoreLock; }
    bool ActingAsABrush() override { return Brush; }
    bool DrawsOwnMouseCursor() override { return false; }
    void OnActivate(TKSN_Mesh*) override {}

    void Record(const char* what, int button, int state, float x, float y)
    {
        Calls.push_back({what, button, state, x, y, IsMirrorStroke, PreviousX, PreviousY});
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> out;
        for (const TToolCall& c : Calls) out.push_back(c.What);
        return out;
    }
    int Count(const char* what) const
    {
        return int(std::count_if(Calls.begin(), Calls.end(), [&](const TToolCall& c) { return c.What == what; }));
    }
    std::vector<TToolCall> Calls;
    bool IgnoreLock = false;
    bool Brush = false;
};

inline void KSN_SetIdentityView(TKSN_Viewport* viewport)
{
    for (float* m : {viewport->CombinedMatrix, viewport->InverseCombinedMatrix, viewport->ProjectionMatrix,
                     viewport->ModelViewMatrix, viewport->RotationMatrix, viewport->TransposedRotationMatrix}) {
        std::fill(m, m + 16, 0.0f);
        for (int i = 0; i < 4; ++i) m[5 * i] = 1.0f;
    }
    viewport->ViewVector[0] = viewport->ViewVector[1] = 0.0f;
    viewport->ViewVector[2] = -1.0f;
}

class ViewportFixture : public CommandFixture {
protected:
    void SetUp() override
    {
        CommandFixture::SetUp();
        TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
        SavedHooks = hooks;
        hooks.GetPolygonLayer = [](int index) -> TKSN_Layer* {
            return Project && index >= 0 && index < 32 ? Project->PolygonLayers[index] : nullptr;
        };
        hooks.GetCurrentPolygonLayerIndex = []() { return Project ? Project->CurrentLayerIndex : 0; };
        KSN_SetRendererProjectHooks(hooks);
        OS.AssignOnPrintHint([](char* text) { g_Hint = text; });
        g_Hint.clear();
        Tool = new TRecordingTool();
        // The standard set-up locks the auxiliary viewports; the tests lock what they need.
        for (TKSN_Viewport* v : App->viewports) v->Unlock();
        // Init maximises panel 0 under layout 5 and queues its start-up commands; the tests start from the
        // four panels of layout 4 and an empty queue.
        QOREvents_Clean();
        W().MaximizedViewportPanel = nullptr;
        App->viewportLayout = 4;
        Layout();
    }
    void TearDown() override
    {
        if (App) App->currentTool = nullptr;
        NavCleanStacks();
        KSN_SetRendererProjectHooks(SavedHooks);
        CommandFixture::TearDown();
        delete Tool;
    }

    TKSN_ViewportPanel* Panel(int i) { return W().ViewportPanels[i]; }
    TKSN_Viewport* View(int i) { return App->viewports[i]; }

    // An object holding the mesh, made current without asking any tool.
    TKSN_Mesh* AddCurrentMesh(const char* name, std::unique_ptr<TKSN_Mesh> mesh)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        mesh->OwnerObject = object;
        TKSN_Mesh* raw = mesh.get();
        object->Mesh = std::move(mesh);
        Project->CurrentObjectID = object->GetID();
        return raw;
    }
    // A square of half-size h about (cx, cy) in z = 0, facing the viewer.
    static std::unique_ptr<TKSN_Mesh> Square(float h, float cx = 0.0f, float cy = 0.0f)
    {
        return SubDTest::MakeMesh({{cx - h, cy - h, 0}, {cx + h, cy - h, 0}, {cx + h, cy + h, 0}, {cx - h, cy + h, 0}},
                                  {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{{0, 1, 2, 3}, {}}});
    }
    void UseTool(uint32_t flags)
    {
        Tool->Flags = flags;
        App->currentTool = Tool;
    }
    // Panel pixel of a point in viewport units.
    static int PixelX(TKSN_ViewportPanel* p, float fx) { return int(std::lround((fx + 1.0f) * 0.5f * p->Width)); }
    static int PixelY(TKSN_ViewportPanel* p, float fy) { return int(std::lround((1.0f - (fy + 1.0f) * 0.5f) * p->Height)); }
    // Window pixel of a point in the panel's viewport units.
    static int AbsX(TKSN_ViewportPanel* p, float fx) { return p->AbsX + PixelX(p, fx); }
    static int AbsY(TKSN_ViewportPanel* p, float fy) { return p->AbsY + PixelY(p, fy); }

    TRecordingTool* Tool = nullptr;
    TKSN_RendererProjectHooks SavedHooks;
    static inline std::string g_Hint;
};

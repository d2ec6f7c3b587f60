// The selection and layer commands under test: the command fixture with
// objects holding real quad-grid meshes, a pump that runs the queued events
// the way the program's pump does, and readers of weights, layer masks and
// the recorded texts.
#pragma once

#include "KSN_CommandTestSupport.h"

#include "GuiEditField.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Undo.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class SelectionCommandFixture : public CommandFixture {
protected:
    void SetUp() override
    {
        CommandFixture::SetUp();
        // What start-up registers: meshes follow the application's selection type.
        TKSN_MeshApplicationHooks hooks;
        hooks.GetSelectionType = []() -> int32_t { return App ? int32_t(App->selectionType) : 0; };
        KSN_SetMeshApplicationHooks(hooks);
        App->selectionType = eSelectionType_Vertex;
        OS.SetAltHeld(false);
        OS.SetShiftHeld(false);
    }
    void TearDown() override
    {
        OS.SetAltHeld(false);
        OS.SetShiftHeld(false);
        KSN_SetMeshApplicationHooks(TKSN_MeshApplicationHooks{});
        CommandFixture::TearDown();
    }

    // An object with a side x side grid of quads in the xy-plane (vertex
    // (x, y) is y * (side + 1) + x; quad (x, y) is y * side + x).
    TKSN_Object* AddGrid(const char* name, int side = 3)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        auto* mesh = new TKSN_Mesh(object);
        const int row = side + 1;
        mesh->Create(row * row, 0, row * row, side * side);
        for (int y = 0; y < row; ++y)
            for (int x = 0; x < row; ++x) {
                float* p = mesh->baseVertices + 3 * (y * row + x);
                p[0] = float(x);
                p[1] = float(y);
                p[2] = 0.0f;
            }
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                TQORPolygon& q = mesh->Polygons[y * side + x];
                q.SetCount(4);
                q.Points[0].V = y * row + x;
                q.Points[1].V = y * row + x + 1;
                q.Points[2].V = (y + 1) * row + x + 1;
                q.Points[3].V = (y + 1) * row + x;
            }
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->AfterRawBuild();
        object->Mesh.reset(mesh);
        if (!Project->GetCurrentObject()) Project->SetCurrentObject(object);
        return object;
    }

    static std::vector<float> VertexWeights(TKSN_Object* o)
    {
        std::vector<float> w;
        for (int v = 0; v < o->Mesh->GetVCount(); ++v) w.push_back(o->Mesh->VertexInfo[v].Select);
        return w;
    }
    static std::vector<float> PolygonWeights(TKSN_Object* o)
    {
        std::vector<float> w;
        for (int p = 0; p < o->Mesh->GetPCount(); ++p) w.push_back(o->Mesh->Polygons[p].Select);
        return w;
    }
    static std::vector<uint32_t> Masks(TKSN_Object* o)
    {
        std::vector<uint32_t> m;
        for (int p = 0; p < o->Mesh->GetPCount(); ++p) m.push_back(o->Mesh->Polygons[p].LayerFlags);
        return m;
    }
    static void SetVertexWeights(TKSN_Object* o, const std::vector<float>& w)
    {
        for (int v = 0; v < o->Mesh->GetVCount() && v < int(w.size()); ++v) o->Mesh->VertexInfo[v].Select = w[size_t(v)];
        o->Mesh->SelectedListsValid = false;
    }
    static void SetPolygonWeights(TKSN_Object* o, const std::vector<float>& w)
    {
        for (int p = 0; p < o->Mesh->GetPCount() && p < int(w.size()); ++p) o->Mesh->Polygons[p].Select = w[size_t(p)];
        o->Mesh->SelectedListsValid = false;
    }
    // A polygon weight w and its corners' weights (so the mesh counts it as selected).
    static void SelectPolygon(TKSN_Object* o, int p, float w)
    {
        o->Mesh->Polygons[p].Select = w;
        for (int c = 0; c < o->Mesh->Polygons[p].Count; ++c) o->Mesh->VertexInfo[o->Mesh->Polygons[p].Points[c].V].Select = w;
        o->Mesh->SelectedListsValid = false;
    }

    // Runs the queued events (pushes made meanwhile wait for the next pass).
    static void Pump(int passes = 4)
    {
        for (int pass = 0; pass < passes; ++pass) {
            QOREvents_BeforeProcessEvents();
            while (TQOREvent* e = QOREvents_PopEvent()) {
                std::unique_ptr<TQOREvent> owned(e);
                if (e->callback)
                    e->callback(e);
                else
                    KestruneEvents_CommandCB(e);
            }
            QOREvents_AfterProcessEvents();
        }
    }

    static bool RunIndexed(int command, int index, int int0 = 0, const char* label = nullptr, uint32_t owner = 0)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        e.SetIndex(index);
        e.intParameters[0] = int0;
        if (label) e.AssignStringParameter(label, 0);
        return QORProcessEventNow(&e);
    }

    static TKSN_Layer* Layer(int n) { return Project->PolygonLayers[n]; }
    static uint32_t Bit(int n) { return 1u << ((n + 31) % 32); }
    // Layers 1..count enabled with names "L1".., every other user layer disabled.
    static void EnableLayers(int count)
    {
        for (int n = 1; n <= 29; ++n) {
            Layer(n)->SetEnabled(n <= count);
            Layer(n)->multiSelected = false;
            Layer(n)->SetName("L%d", n);
        }
    }

    static bool Printed(const std::string& text)
    {
        return std::find(g_Printed.begin(), g_Printed.end(), text) != g_Printed.end();
    }
    bool BoxShown(const std::string& text) const
    {
        for (const auto& box : Provider.Boxes)
            if (box.Text == text) return true;
        return false;
    }
    static int Queued(int command) { return CountQueued(command); }
    static int UndoNodes()
    {
        int n = 0;
        for (TKSN_Undo_Node* node = Project->UndoList; node; node = node->Next) ++n;
        return n;
    }
    static void SetRenameText(const char* text)
    {
        MainWindow->RenameWindow->NameField->EditField->SetText(text);
    }
    static void PressRenameOk()
    {
        TQOREvent ok(TKSN_RenameWindow::OkClickedCB, MainWindow->RenameWindow->GetID(), -1);
        TKSN_RenameWindow::OkClickedCB(&ok);
    }
};

// The object, morph, material and group commands under test: the command
// fixture with real objects (flat quad grids with their own materials and
// polygon groups), selections written straight into the meshes, the rename
// window answered as the user would, and one pass of the command pump.
#pragma once

#include "KsnTestQuadGrid.h"
#include "KSN_CommandTestSupport.h"

#include "GuiEditField.h"
#include "KSN_Gui_MaterialEditor.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Undo.h"
#include "KSN_Union.h"
#include "QORMaterial.h"
#include "QORTree.h"

#include <string>
#include <vector>

class ObjectCommands : public CommandFixture {
protected:
    // n x n quads over 0..1 in z = 0, one material and one group holding every polygon.
    TKSN_Object* Grid(const char* name, int n = 2, TKSN_TreeGroup* folder = nullptr)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        if (folder) {
            Project->RemoveThingyFromTree(Project->Objects, object);
            folder->AddItem(object);
        }
        auto* mesh = new TKSN_Mesh(object);
        object->Mesh.reset(mesh);
        KsnFillQuadGrid(*mesh, n, [n](int i, int j, float* p) {
            p[0] = float(i) / float(n);
            p[1] = float(j) / float(n);
            p[2] = 0.0f;
        });
        for (int k = 0; k < n * n; ++k) mesh->Polygons[k].Material = mesh->Polygons[k].Group = 0;
        TQORMaterial* material = KSN_NewMaterial("Skin");
        material->CacheChannels();
        mesh->Materials->AddItem(material);
        auto* group = new TQORGroup2;
        group->SetName("%s", "Body");
        group->Index = 0;
        mesh->Groups2->AddItem(group);
        mesh->AfterRawBuild();
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->AfterFullSelection();
        return object;
    }

    static TKSN_Mesh* M(TKSN_Object* o) { return o->Mesh.get(); }

    // Vertex weights (and the polygon weights that follow from them: the
    // smallest corner weight), as the selection tools leave them.
    static void SelectVertices(TKSN_Object* o, const std::vector<std::pair<int, float>>& weights)
    {
        TKSN_Mesh* mesh = M(o);
        for (auto [v, w] : weights) mesh->VertexInfo[v].Select = w;
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            float smallest = 1.0f;
            for (int c = 0; c < mesh->vGetPolyN(p); ++c)
                smallest = std::min(smallest, mesh->VertexInfo[mesh->vGetPolyV(p, c)].Select);
            mesh->Polygons[p].Select = smallest;
        }
        mesh->OnSelectionChanged();
    }
    static void SelectAll(TKSN_Object* o)
    {
        std::vector<std::pair<int, float>> all;
        for (int v = 0; v < M(o)->GetVCount(); ++v) all.push_back({v, 1.0f});
        SelectVertices(o, all);
    }

    static TQORMaterial* AddMaterial(TKSN_Object* o, const char* name)
    {
        TQORMaterial* m = KSN_NewMaterial(name);
        m->CacheChannels();
        M(o)->Materials->AddItem(m);
        return m;
    }
    static TQORGroup2* AddGroup(TKSN_Object* o, const char* name)
    {
        auto* g = new TQORGroup2;
        g->SetName("%s", name);
        g->Index = M(o)->Groups2->GetItemCount();
        M(o)->Groups2->AddItem(g);
        return g;
    }
    static std::vector<std::string> Names(TKSN_TreeGroup* tree)
    {
        std::vector<std::string> out;
        if (tree->items)
            for (TKSN_Thingy* t : *tree->items) out.push_back(t->GetName());
        return out;
    }
    static TKSN_Morph* AddMorph(TKSN_Object* o, const char* name, float strength = 1.0f)
    {
        TKSN_Morph* m = M(o)->CreateMorph(M(o)->MorphTree);
        m->SetName("%s", name);
        m->Strength = strength;
        return m;
    }
    static TKSN_MorphUnion* AddUnion(const char* name, std::vector<TKSN_Morph*> members,
                                     TKSN_TreeGroup* folder = nullptr)
    {
        auto* u = new TKSN_MorphUnion;
        u->SetName("%s", name);
        u->RegisterForLookup();
        for (TKSN_Morph* m : members) u->ItemIDs.Add(m->GetID());
        (folder ? folder : static_cast<TKSN_TreeGroup*>(Project->MorphUnions))->AddItem(u);
        return u;
    }

    // [SECTION] Commands and dialogs
    static bool Cmd(int command, uint32_t owner = 0)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        return QORProcessEventNow(&e);
    }
    // One pass of the pump over what is queued now.
    static void Pump()
    {
        QOREvents_BeforeProcessEvents();
        while (TQOREvent* e = QOREvents_PopEvent()) {
            if (e->callback)
                e->callback(e);
            else
                KestruneEvents_CommandCB(e);
            delete e;
        }
        QOREvents_AfterProcessEvents();
    }
    TKSN_RenameWindow& R() { return *W().RenameWindow; }
    void RenameOk(const char* name)
    {
        R().NameField->EditField->SetText(name);
        TQOREvent e(TKSN_RenameWindow::OkClickedCB, R().GetID(), -1);
        QORProcessEventNow(&e);
    }
    void RenameCancel()
    {
        TQOREvent e(TKSN_RenameWindow::CancelClickedCB, R().GetID(), -1);
        QORProcessEventNow(&e);
    }
    void Answer(std::initializer_list<TOSBoxAnswer> answers)
    {
        for (TOSBoxAnswer a : answers) Provider.Answers.push_back(a);
    }
    static bool Shown(int text) { return Saw(Lang.GetText(text)); }
    static bool Saw(const std::string& text)
    {
        for (const std::string& s : g_Printed)
            if (s.find(text) != std::string::npos) return true;
        return false;
    }
    bool Asked(const std::string& text) const
    {
        for (const auto& b : Provider.Boxes)
            if (b.Text.find(text) != std::string::npos) return true;
        return false;
    }
    static int UndoNodes(int kind)
    {
        int n = 0;
        for (TKSN_Undo_Node* u = Project->UndoList; u; u = u->Next) n += u->Kind == kind;
        return n;
    }
    std::vector<TKSN_SingleMaterialEditorWindow*> EditorWindows()
    {
        std::vector<TKSN_SingleMaterialEditorWindow*> out;
        for (TGui_Node* c = W().FirstChild; c; c = c->Next)
            if (auto* w = dynamic_cast<TKSN_SingleMaterialEditorWindow*>(c); w && !w->DeletePending) out.push_back(w);
        return out;
    }
};

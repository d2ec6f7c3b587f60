// Shared fixture of the project-file, union and symmetry tests: the edit
// fixture's application and project, a scripted dialog provider, the warnings
// of the message panel, small maps, and quad objects mirrored across x = 0.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_SculptLayer.h"
#include "KSN_Union.h"
#include "KsnTestSupport.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

namespace ksn_file_test {

using namespace ksn_edit_test;

inline void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// What reached the message panel as warnings.
inline std::vector<std::string> Warnings;
// What reached the message panel as plain messages.
inline std::vector<std::string> Prints;

class ProjectFileFixture : public ProjectEditFixture {
protected:
    TScriptedProvider Dialogs;
    int SavedTextureSize = 0;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        OS.SetDialogProvider(&Dialogs);
        Warnings.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
        Prints.clear();
        OS.AssignOnPrintMessage([](char* text) { Prints.push_back(text); });
        SavedTextureSize = QORDefaultTextureSize;
        QORDefaultTextureSize = 4;
    }
    void TearDown() override
    {
        QORDefaultTextureSize = SavedTextureSize;
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        ProjectEditFixture::TearDown();
    }

    fs::path PathOf(const char* name) const { return Root / name; }

    bool Save(const char* name) { return Project->SaveProject_v2(PathOf(name).c_str(), true); }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : Dialogs.Boxes) texts.push_back(box.Text);
        return texts;
    }

    // Two quads side by side, mirrored across x = 0 (6 vertices, the middle
    // two on the plane), with texture coordinates and one material "Skin".
    TKSN_Object* MakeQuadObject(const char* name)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        auto* mesh = new TKSN_Mesh(object);
        object->Mesh.reset(mesh);
        mesh->Create(6, 6, 6, 2);
        const float positions[18] = {-1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 1, 0, 0, 1, 0, 1, 1, 0};
        std::memcpy(mesh->baseVertices, positions, sizeof positions);
        for (int v = 0; v < 6; ++v) {
            mesh->tVertices[2 * v] = positions[3 * v] * 0.5f + 0.5f;
            mesh->tVertices[2 * v + 1] = positions[3 * v + 1];
        }
        const int corners[2][4] = {{0, 1, 4, 3}, {1, 2, 5, 4}};
        for (int p = 0; p < 2; ++p) {
            TQORPolygon& quad = mesh->Polygons[p];
            quad.SetCount(4);
            for (int k = 0; k < 4; ++k) quad.Points[k].V = quad.Points[k].VT = corners[p][k];
            quad.Material = 0;
        }
        mesh->Materials->AddItem(KSN_NewMaterial("Skin"));
        mesh->AfterRawBuild();
        return object;
    }

    static TKSN_Morph* AddMorph(TKSN_Mesh* mesh, TKSN_TreeGroup* group, const char* name, float strength = 1.0f)
    {
        TKSN_Morph* morph = mesh->CreateMorph(group ? group : mesh->MorphTree);
        morph->SetName("%s", name);
        morph->Strength = strength;
        return morph;
    }

    static TKSN_Selection* AddSelection(TKSN_Mesh* mesh, const char* name, float weight = 0.0f)
    {
        auto* selection = new TKSN_Selection(mesh->GetVCount(), mesh->GetID());
        selection->SetName("%s", name);
        for (int v = 0; v < mesh->GetVCount(); ++v) selection->SetVSelect(v, weight);
        mesh->SelectionTree->AddItem(selection);
        return selection;
    }

    // Everything the round trip must carry.
    void BuildRichProject()
    {
        TKSN_Object* head = MakeQuadObject("Head");
        TKSN_Object* teeth = MakeQuadObject("Teeth");
        for (TKSN_Object* object : {head, teeth}) {
            TKSN_Mesh* mesh = object->Mesh.get();
            auto* face = new TKSN_MorphTreeGroup();
            face->SetName("Face");
            mesh->MorphTree->LinkChild(face);
            TKSN_Morph* smile = AddMorph(mesh, face, "Smile", 0.25f);
            smile->GetVertex(2)[1] = 0.5f;
            AddMorph(mesh, nullptr, object == head ? "Blink" : "Bite");
            AddSelection(mesh, "Eyes", 0.5f);
            auto* group = new TQORGroup2;
            group->SetName("Front");
            group->Index = 0;
            mesh->Groups2->AddItem(group);
        }
        for (int slot = 1; slot <= 4; ++slot) Project->PolygonLayers[slot]->Enable();
        Project->MapLayers->CreateNewLayer()->SetName("Paint");
        Project->SculptLayers->CreateNewLayer()->SetName("Detail");
        TQORMaterialMapSource* skin = Project->CreateMapSource();
        skin->SetName("Skin.png");
        TQORMaterialMapSource* mask = Project->CreateMapSource();
        mask->SetName("Mask.png");
        mask->GetAlphaMask().SetDimensions(4, 4, 1);
        std::memset(mask->GetAlphaMask().GetPixels(), 0x80, 16);
        Project->AssignMapToMaterialChannel(head->Mesh.get(), skin, head->Mesh->Materials->GetItemAs(0), "Color");
        Project->ScaleFactor = 2.5f;
        Project->ShowCheckeredBackground = false;
        const float rotated[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::memcpy(Project->TileRotationMatrix, rotated, sizeof rotated);
        Project->SetCurrentObject(teeth);
    }

    // A minimal file: the header, then the given top-level lines in the block.
    fs::path HandWritten(const char* name, const std::string& header, const std::string& body)
    {
        WriteFile(PathOf(name), header + "\nVersion 4.2.8.0\n---------------------------\n{\n" + body + "}\n");
        return PathOf(name);
    }
};

} // namespace ksn_file_test

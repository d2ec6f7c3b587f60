// Shared fixture of the undo, paint-undo and map-import tests: a temporary
// main folder and HOME, the virtual-memory store in a private folder, a
// scripted dialog provider, an application object and a fresh project, the
// messages the project prints collected in order, and the fingerprint of the
// document that undo must bring back.
//
// DocumentFingerprint is the one place that says what "the same document"
// means for these tests: the project file's text, with the "ID" and
// "Collapsed" values left out, plus the working selection weights, which the
// file does not hold.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <wx/image.h>
#include <wx/init.h>

#include "KSN_Application.h"
#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KSN_ProjectFileText.h"
#include "KSN_Undo.h"
#include "KSN_Union.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMemory.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORVirtualMemory.h"

namespace ksn_undo_test {

namespace fs = std::filesystem;

// The toolkit's base for the image files the tests write and read.
class TWxEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Init = std::make_unique<wxInitializer>();
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxInitAllImageHandlers();
    }
    void TearDown() override { Init.reset(); }

private:
    std::unique_ptr<wxInitializer> Init;
};
[[maybe_unused]] inline const auto* const RegisteredWx = ::testing::AddGlobalTestEnvironment(new TWxEnvironment);

// What the project showed, in order: "print ...", "warning ...", "flash ...".
inline std::vector<std::string> Messages;

inline int CountMessages(const std::string& entry)
{
    int n = 0;
    for (const std::string& m : Messages) n += m == entry;
    return n;
}

// [SECTION] Fingerprint

inline void Floats(std::string& out, const char* key, const float* values, int count)
{
    out += key;
    char text[32];
    for (int i = 0; values && i < count; ++i) {
        std::snprintf(text, sizeof(text), " %.6g", double(values[i]));
        out += text;
    }
    out += "\n";
}

// The name of the map source a channel shows ("-" for none).
inline std::string ChannelMapName(uint32_t bindingID)
{
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(bindingID));
    TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
    return source ? source->GetName() : "-";
}

// The project file's text without its unread values, then every mesh's
// working selection weights, which the file does not hold.
inline std::string DocumentFingerprint(TKSN_Project* project)
{
    std::string out = ksn_file_text::WithoutUnreadValues(ksn_file_text::ProjectFileText(project));
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(project->GetObjectList());
    for (TKSN_Object* object : *objects) {
        TKSN_Mesh* mesh = object->Mesh.get();
        if (!mesh) continue;
        out += "working selection of " + std::string(object->GetName()) + "\n";
        std::vector<float> weights;
        for (int v = 0; v < mesh->GetVCount(); ++v) weights.push_back(mesh->VertexInfo[v].Select);
        Floats(out, " vertex weights", weights.data(), int(weights.size()));
        weights.clear();
        for (int p = 0; p < mesh->GetPCount(); ++p) weights.push_back(mesh->Polygons[p].Select);
        Floats(out, " polygon weights", weights.data(), int(weights.size()));
    }
    return out;
}

// [SECTION] Fixture

// A fresh application and project per test, the store in its own folder.
class UndoFixture : public ::testing::Test {
protected:
    fs::path Root;
    TTempStoreFolder Store;
    TScriptedProvider Provider;
    TTestMainFolder Main;

    void SetUp() override
    {
        Main.Open("ksn_undo_");
        Root = Main.Root;
        fs::create_directories(Root / "files");
        OS.SetDialogProvider(&Provider);
        ASSERT_TRUE(Store.Open("ksn_undo_store_"));

        QOREvents_Clean();
        Messages.clear();
        OS.AssignOnPrintMessage([](char* text) { Messages.push_back(std::string("print ") + text); });
        OS.AssignOnWarningMessage([](char* text) { Messages.push_back(std::string("warning ") + text); });
        OS.AssignOnPrintMessageNoRepeatFailed([](char* text) { Messages.push_back(std::string("flash ") + text); });
        OS.AssignOnWarningMessageNoRepeatFailed([](char* text) { Messages.push_back(std::string("flash ") + text); });
        OS.AssignOnDebugMessage([](char*) {});
        // The no-repeat rule compares with the last text shown, which may come from an earlier test.
        OS.PrintMessage("%s", "-- start --");
        Messages.clear();

        TKSN_MeshApplicationHooks mesh;
        mesh.GetToolTypeTab = []() -> int32_t { return App ? App->GetToolTypeTab() : 3; };
        mesh.GetSelectionType = []() -> int32_t { return App ? int32_t(App->selectionType) : 0; };
        KSN_SetMeshApplicationHooks(mesh);
        TKSN_MeshEditHooks edit;
        edit.SnapshotForUndo = KSN_SnapshotMeshForUndo;
        KSN_SetMeshEditHooks(edit);

        new TKSN_Application("Kestrune");
        App->frameCounter = 1;
        for (const char* type : {"PNG", "BMP", "JPG", "TGA", "TIF"}) {
            auto* copy = static_cast<char*>(QORalloc(std::strlen(type) + 1));
            std::memcpy(copy, type, std::strlen(type) + 1);
            App->exportImageTypes->Add(copy);   // the application frees them
        }
        Project = new TKSN_Project();
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        delete App;
        App = nullptr;
        KSN_SetMeshApplicationHooks({});
        KSN_SetMeshEditHooks({});
        Store.Close();
        QOREvents_Clean();
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    // Everything recorded until the next call belongs to one step.
    static void NextFrame() { ++App->frameCounter; }

    static int CountNodes(TKSN_Undo_Node* list)
    {
        int n = 0;
        for (; list; list = list->Next) ++n;
        return n;
    }

    // An object with a plane of columns x rows vertices, a texture vertex per
    // vertex, quads, two materials ("Skin", "Eyes") and two polygon groups
    // ("Head", "Neck") alternating over the quads, two morphs ("Smile",
    // "Frown") with deltas and two selections ("Left" per vertex, "Top" per
    // polygon) with weights.
    TKSN_Object* MakeObject(const char* name, int columns = 3, int rows = 3)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        auto* mesh = new TKSN_Mesh(object);
        object->Mesh.reset(mesh);
        const int vertices = columns * rows, quads = (columns - 1) * (rows - 1);
        mesh->Create(vertices, vertices, vertices, quads);
        std::vector<float> base, uv;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x) {
                base.insert(base.end(), {float(x) - 0.5f * float(columns - 1), float(y), 0.0f});
                uv.insert(uv.end(), {float(x) / float(columns - 1), float(y) / float(rows - 1)});
            }
        mesh->SetBaseVertexArray(base.data(), vertices);
        mesh->SetTVertexArray(uv.data(), vertices);
        for (int j = 0; j < rows - 1; ++j)
            for (int i = 0; i < columns - 1; ++i) {
                const int p = j * (columns - 1) + i;
                TQORPolygon& q = mesh->Polygons[p];
                q.SetCount(4);
                const int corners[4] = {j * columns + i, j * columns + i + 1, (j + 1) * columns + i + 1,
                                        (j + 1) * columns + i};
                for (int k = 0; k < 4; ++k) q.Points[k] = {corners[k], corners[k]};
                q.Material = int16_t(p % 2);
                q.Group = int16_t(p % 2);
                q.LayerFlags = 1u << (p % 3);
            }
        for (const char* materialName : {"Skin", "Eyes"}) mesh->Materials->AddItem(KSN_NewMaterial(materialName));
        for (const char* groupName : {"Head", "Neck"}) {
            auto* group = new TQORGroup2;
            group->SetName("%s", groupName);
            group->Index = mesh->Groups2->GetItemCount();
            mesh->Groups2->AddItem(group);
        }
        mesh->AfterRawBuild();
        mesh->CopyBaseVerticesToResolvedVertices();

        float factor = 0.1f;
        for (const char* morphName : {"Smile", "Frown"}) {
            TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
            morph->SetName("%s", morphName);
            for (int v = 0; v < vertices; ++v) morph->GetVertex(v)[1] = factor * float(v);
            factor += 0.1f;
        }
        auto* left = new TKSN_Selection(vertices, mesh->GetID());
        left->SetName("Left");
        for (int v = 0; v < vertices; ++v) left->SetVSelect(v, v % columns == 0 ? 1.0f : 0.25f);
        mesh->SelectionTree->AddItem(left);
        auto* top = new TKSN_Selection(quads, mesh->GetID());
        top->SetName("Top");
        top->SetSelectionType(eSelectionType_Polygon);
        for (int p = 0; p < quads; ++p) top->SetVSelect(p, p >= quads / 2 ? 1.0f : 0.0f);
        mesh->SelectionTree->AddItem(top);
        for (int v = 0; v < vertices; ++v) mesh->VertexInfo[v].Select = v < columns ? 1.0f : 0.0f;
        mesh->AfterFullSelection();
        object->ResolveVertices(true);
        return object;
    }

public:
    static TKSN_Morph* FindMorph(TKSN_Mesh* mesh, const char* name)
    {
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
        for (TKSN_Morph* morph : *morphs)
            if (morph && std::string(morph->GetName()) == name) return morph;
        return nullptr;
    }

    // A map source of the project, width x height, every pixel (r, g, b),
    // with a fully opaque mask when asked.
    static TQORMaterialMapSource* MakeMap(const char* name, int width, int height, bool withMask,
                                          unsigned char shade = 100)
    {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        map->SetName("%s", name);
        std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3);
        for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = (unsigned char)(shade + i % 7);
        map->InitializeWithPixelData(width, height, rgb.data());
        if (withMask) {
            map->GetAlphaMask().SetDimensions(width, height, 1);
            map->GetAlphaMask().ClearToValue(255);
        }
        return map;
    }

    // A PNG of width x height written through the toolkit; with alpha the
    // left half is half transparent.
    std::string WritePng(const char* name, int width, int height, bool withAlpha, unsigned char shade = 60)
    {
        wxImage image(width, height, false);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.SetRGB(x, y, (unsigned char)(shade + x % 50), (unsigned char)(shade + y % 50), shade);
        if (withAlpha) {
            image.SetAlpha();
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) image.SetAlpha(x, y, x < width / 2 ? 128 : 255);
        }
        const fs::path path = Root / "files" / name;
        EXPECT_TRUE(image.SaveFile(wxString(path.c_str(), wxConvLibc), wxBITMAP_TYPE_PNG));
        return path.string();
    }
};

} // namespace ksn_undo_test

// Shared fixture of the mode, edit-bracket and idle tests: a temporary main
// folder (with the default brush shape the project constructor insists on)
// and HOME, a dialog provider that closes every box, an application object
// with its four viewports and empty tool lists, a fresh project, and a log
// that test tools and the event-push hook write into, so that tests can check
// what happened and in which order.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

namespace ksn_edit_test {

namespace fs = std::filesystem;

// What happened, in order: "push 431", "activate Sculpt", "idle", ...
inline std::vector<std::string> Log;

inline int IndexOf(const std::string& entry)
{
    for (size_t i = 0; i < Log.size(); ++i)
        if (Log[i] == entry) return int(i);
    return -1;
}

inline int CountOf(const std::string& entry)
{
    int n = 0;
    for (const std::string& e : Log) n += e == entry;
    return n;
}

struct TClosingProvider : TOSDialogProvider {
    std::vector<std::string> Boxes;
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
    {
        Boxes.push_back(text);
        return TOSBoxAnswer::Closed;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

// A tool of a chosen family that records the project's calls into Log.
template <class Family>
class TRecordingTool : public virtual Family {
public:
    explicit TRecordingTool(const char* name, uint32_t flags = 0, int culling = 2)
    {
        this->SetName("%s", name);
        this->Flags = flags;
        Culling = culling;
    }
    void OnActivate(TKSN_Mesh*) override { Log.push_back(std::string("activate ") + this->GetName()); }
    void OnDeactivate(TKSN_Mesh*) override { Log.push_back(std::string("deactivate ") + this->GetName()); }
    bool OnIdle(TKSN_Mesh*, TKSN_Viewport*) override
    {
        Log.push_back(std::string("tool idle ") + this->GetName());
        return true;
    }
    int GetEffectiveCullingMethod() override
    {
        Log.push_back(std::string("culling ") + this->GetName());
        return Culling;
    }
    bool DrawsOwnMouseCursor() override { return true; }
    void OnClearFocus() override { Log.push_back(std::string("clear focus ") + this->GetName()); }
    int Culling = 0;
};

class ProjectEditFixture : public ::testing::Test {
protected:
    fs::path Root;
    TClosingProvider Provider;
    TTestMainFolder Main;
    std::vector<TKSN_Tool*> Tools;   // made by the test, deleted before the application

    void SetUp() override
    {
        Main.Open("ksn_doc_edit_");
        Root = Main.Root;
        OS.SetDialogProvider(&Provider);

        QORVirtualMemory_Initialize();   // morphs page out through the store
        QOREvents_Clean();
        Log.clear();
        QOREvents_AssignOnPushEvent([](TQOREvent* event) { Log.push_back("push " + std::to_string(event->GetCommand()));
            return true;
        });

        new TKSN_Application("Kestrune");
        Project = new TKSN_Project();
        // Loading the default brush shape queues an interface refresh; the
        // tests watch what happens after construction.
        QOREvents_Clean();
        Log.clear();
        TempDisableToolSymmetryCheck = false;
        WarningAboutNotPaintingOnCurrentChannelWasGiven = false;
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        if (App) App->currentTool = App->previousTool = App->lastNonNavigationTool = nullptr;
        // The lists hold the test's tools; take them out so the application does not delete them.
        for (TKSN_ToolList* list : {App->selectionTools, App->deformationTools, App->additionalUtilities,
                                    App->paintTools, App->modelingTools, App->sculptTools, App->navigationTools,
                                    App->transformationTools})
            list->Clear();
        delete App;
        App = nullptr;
        for (TKSN_Tool* tool : Tools) delete tool;
        QORVirtualMemory_Cleanup();
        QOREvents_AssignOnPushEvent(nullptr);
        QOREvents_Clean();
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    template <class Family>
    TRecordingTool<Family>* MakeTool(const char* name, TKSN_ToolList* list, uint32_t flags = 0, int culling = 2)
    {
        auto* tool = new TRecordingTool<Family>(name, flags, culling);
        Tools.push_back(tool);
        if (list) App->AddToolToList(tool, list);
        return tool;
    }

    // mesh, handed to a new object named name in the project's tree; the mesh stays reachable through the result.
    TKSN_Mesh* AddMesh(const char* name, std::unique_ptr<TKSN_Mesh> mesh)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        mesh->OwnerObject = object;
        TKSN_Mesh* raw = mesh.get();
        object->Mesh = std::move(mesh);
        return raw;
    }

    // An object with a mesh of `vertices` vertices (no polygons) in the project's tree.
    TKSN_Object* MakeObject(const char* name, int vertices = 4)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        auto* mesh = new TKSN_Mesh(object);
        mesh->Create(vertices, 0, vertices, 0);
        object->Mesh.reset(mesh);
        return object;
    }

    static std::vector<int> ViewportStatuses()
    {
        std::vector<int> s;
        for (TKSN_Viewport* v : App->viewports) s.push_back(v->GetRenderedSceneStatus());
        return s;
    }

    static void ClearViewportStatuses()
    {
        for (TKSN_Viewport* v : App->viewports) v->ClearRenderedSceneStatus();
    }
};

} // namespace ksn_edit_test

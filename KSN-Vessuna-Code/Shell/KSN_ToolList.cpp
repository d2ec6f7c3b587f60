// The tool lists of the application object and the making of the tools.
//
// The tools themselves belong to the tool subsystems, which the shell does not
// include: KSN_MakeApplicationTools (declared interface) makes every tool and
// hands it back through AddToolToList; the application object deletes them.

#include <cassert>
#include <cstring>

#include "KSN_Application.h"
#include "KSN_BrushLibrary.h"
#include "KSN_ToolList.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMemory.h"

namespace {

TKSN_ToolList* NewToolList(const char* name, const char* hint)
{
    auto* list = new TKSN_ToolList;
    list->SetName("%s", name);
    list->SetHint("%s", hint);
    return list;
}

void AddType(TQORNewStaticList<char*>* list, const char* text)
{
    size_t n = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(QORalloc(n));
    std::memcpy(copy, text, n);
    list->Add(copy);
}

} // namespace

void TKSN_Application::CreateToolLists()
{
    selectionTools = NewToolList(Lang.GetText(35), Lang.GetText(36));
    deformationTools = NewToolList(Lang.GetText(37), Lang.GetText(38));
    additionalUtilities = NewToolList(Lang.GetText(1403), Lang.GetText(1404));
    paintTools = NewToolList(Lang.GetText(1562), Lang.GetText(1563));
    modelingTools = NewToolList(Lang.GetText(600), Lang.GetText(118));
    sculptTools = NewToolList("Sculpt Tools", "Sculpt Tools");
    navigationTools = NewToolList(Lang.GetText(1558), Lang.GetText(1559));
    transformationTools = NewToolList(Lang.GetText(1560), Lang.GetText(1561));
}

void TKSN_Application::DeleteToolLists()
{
    for (TKSN_ToolList** list : {&selectionTools, &deformationTools, &additionalUtilities, &paintTools,
                                 &modelingTools, &sculptTools, &navigationTools, &transformationTools}) {
        if (!*list) continue;
        for (TKSN_Tool* tool : **list)
            if (tool) KSN_DeleteTool(tool);
        delete *list;
        *list = nullptr;
    }
    if (layerBrushTool) KSN_DeleteTool(layerBrushTool);
    layerBrushTool = nullptr;
    currentTool = previousTool = lastNonNavigationTool = nullptr;
    moveViewTool = rotateViewTool = zoomViewTool = faceloomTool = nullptr;
    textureGrabberTool = colorGrabberTool = nullptr;
    tileSetupTool = nullptr;
}

void TKSN_Application::InitializeTools()
{
    SetToolTypeTab(3);
    KSN_MakeApplicationTools(this);

    AddType(exportImageTypes, "PNG");
    AddType(exportImageTypes, "BMP");
    AddType(exportImageTypes, "JPG");
    AddType(exportImageTypes, "TGA");
    AddType(exportImageTypes, "TIF");
    exportImageTypesIndex = 0;
    for (const char* type : {"PNG", "BMP", "JPG", "JPEG", "TGA", "TIF", "TIFF"}) AddType(importImageTypes, type);
    importImageTypesIndex = 0;

    static const char* const exportTypes[][2] = {
        {"Maps", "Image Maps"},          {"OBJ", "OBJ File"},         {"Sculpted Prim", "Sculpted Prim"},
        {"SelSet", "Selection Set"},     {"MorSet", "Morph Set"},     {"LaySet", "Layer Set"},
        {"CR2", "CR2 File"},             {"MOR (PZ2)", "MOR Injection File"},
        {"MAT (PZ2)", "MAT Injection File"}};
    for (const auto& t : exportTypes) {
        AddType(exportFileTypes, t[0]);
        AddType(exportFileTypeNames, t[1]);
    }
    static const char* const importTypes[][2] = {
        {"OBJ", "OBJ File"}, {"SelSet", "Selection Set"}, {"MorSet", "Morph Set"},
        {"LaySet", "Layer Set"}, {"CR2", "CR2 File"}};
    for (const auto& t : importTypes) {
        AddType(importFileTypes, t[0]);
        AddType(importFileTypeNames, t[1]);
    }
    exportFileTypesIndex = 0;

    UpdateBrushImageLibraryFromDisc();
    UpdateBrushShapesFromDisc();
}

void TKSN_Application::AddToolToList(TKSN_Tool* tool, TKSN_ToolList* list)
{
    assert(list && "AddToolToList needs a tool list");
    list->Add(tool);
    if (tool) KSN_SetToolList(tool, list);
}

void TKSN_Application::SetToolTypeTab(int32_t tab)
{
    const int32_t previous = toolTypeTab;
    toolTypeTab = tab;
    if (previous != 3 && tab == 3) QOREvents_PushEvent(474);
}

bool TKSN_Application::IsToolAPaintBrush(TKSN_Tool* tool) const { return tool && KSN_IsPaintBrush(tool); }

bool TKSN_Application::IsCurrentToolASelectionTool() const
{
    return currentTool && KSN_IsSelectableTool(currentTool);
}

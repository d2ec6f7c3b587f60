// Interface refreshes (410-457): handlers queue these instead of touching
// widgets, so any number of changes in one pass lead to one refresh after the
// document has settled. Every member may still be null; each step skips it.
#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Gui_BrushBrowser.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_Gui_MaterialEditor.h"
#include "KSN_Gui_Swatches.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_OptionsWindows.h"
#include "KSN_ViewportOptionsWindow.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

bool ModelerWarningMessageGiven = false;

namespace {

void ChooseToolTypeTab(int tab)
{
    App->SetToolTypeTab(tab);
    auto* modeChange = new TQOREvent(KestruneEvents_CommandCB, 0, 151);
    modeChange->intParameters[0] = tab;
    QOREvents_PushEvent(modeChange);
    QOREvents_PushEvent(432);
}

void RunNow(int command) { QORProcessEventNow(KestruneEvents_CommandCB, 0, command); }

void FlashRecorded(uint32_t id)
{
    if (!id) return;
    if (auto* node = dynamic_cast<TGui_Node*>(__GetThingyFromID(id))) node->Flash(false);
}

// Every open material editor follows the document.
void UpdateMaterialEditors(TKSN_MainWindow* w)
{
    for (TGui_Node* c = w->FirstChild; c; c = c->Next)
        if (auto* editor = dynamic_cast<TKSN_SingleMaterialEditorWindow*>(c); editor && !editor->DeletePending)
            editor->Update();
}

void UpdateObjectManager(TKSN_MainWindow* w)
{
    if (w->ObjectManagerNode) w->ObjectManagerNode->Update();
}

void UpdateMapsNode(TKSN_MainWindow* w)
{
    if (w->MapsNode) w->MapsNode->Update();
}

void UpdateBrushLibraries(TKSN_MainWindow* w)
{
    if (w->BrushImageLibraryWindow) w->BrushImageLibraryWindow->Update();
    if (w->BrushShapeLibraryWindow) w->BrushShapeLibraryWindow->Update();
}

void FlashStrongly(TGui_Node* node)
{
    if (node) node->Flash(true);
}

} // namespace

bool Kestrune_Events_UpdateInterfaceCB(TQOREvent* event)
{
    TKSN_MainWindow* w = GetMainWindow();
    if (!w || !event) return false;
    KestruneEvents_PostRedisplay();
    switch (event->GetCommand()) {
    case 410:
    case 411:
    case 457: return false;
    case 412:
        if (w->MessagePanel) w->MessagePanel->Flash(false);
        return true;
    case 413: RunNow(11); return true;
    case 414:
        RunNow(11);
        FlashRecorded(w->CullingPanelID);
        return true;
    case 415:
        RunNow(11);
        FlashRecorded(w->SymmetryPanelID);
        return true;
    case 416: ChooseToolTypeTab(event->intParameters[0]); return true;
    case 417: ChooseToolTypeTab(3); return true;
    case 418: ChooseToolTypeTab(1); return true;
    case 419:
        if (App->GetToolTypeTab() != 4) App->warnedDeformingBaseVertices = false;
        if (!ModelerWarningMessageGiven) {
            ModelerWarningMessageGiven = true;
            OS.WarningMessage("%s", Lang.GetText(283));
        }
        ChooseToolTypeTab(4);
        return true;
    case 421: ChooseToolTypeTab(2); return true;
    case 422: w->UpdateMorphMenu(); return true;
    case 423: w->UpdateSelectionMenu(true, false); return true;
    case 424: w->UpdateObjectsMenu(); return true;
    case 425: w->UpdateGroupMenu(); return true;
    case 426: w->UpdateMaterialMenu(); return true;
    case 427: w->UpdateMapsMenu(); return true;
    case 428: w->UpdateLayersMenu(); return true;
    case 429: w->SetupViewportMenu(); return true;
    case 430: w->UpdateModeButtons(); return true;
    case 431: w->UpdateTool(); return true;
    case 432:
        w->UpdateMainMenu();
        UpdateObjectManager(w);
        UpdateMapsNode(w);
        UpdateBrushLibraries(w);
        w->UpdateModeButtons();
        w->UpdateTool();
        if (w->LayerWindow) w->LayerWindow->Update();
        UpdateMaterialEditors(w);
        w->UpdateToolMenus();
        return true;
    case 433:
        w->UpdateModeButtons();
        w->UpdateTool();
        if (w->LayerWindow) w->LayerWindow->Update();
        UpdateMapsNode(w);
        w->UpdateToolMenus();
        return true;
    case 434:
        UpdateObjectManager(w);
        UpdateMapsNode(w);
        UpdateMaterialEditors(w);
        return true;
    case 435: UpdateMapsNode(w); return true;
    case 439:
    case 440: UpdateObjectManager(w); return true;
    case 441:
        UpdateObjectManager(w);
        UpdateBrushLibraries(w);
        return true;
    case 436:
        if (w->LayerWindow) w->LayerWindow->Update();
        return true;
    case 442: return dynamic_cast<TKSN_ViewportPanel*>(__GetThingyFromID(event->GetOwnerID())) != nullptr;
    case 443:
    case 444:
        if (!Project || !Project->GetCurrentObject()) {
            App->WarningNoCurrentObject(true);
            return false;
        }
        w->CurrentTab = 1;
        if (TKSN_Mesh* mesh = Project->GetCurrentObject()->Mesh.get()) {
            if (event->GetCommand() == 443 && mesh->MorphTree) mesh->MorphTree->collapsed = false;
            if (event->GetCommand() == 444 && mesh->SelectionTree) mesh->SelectionTree->collapsed = false;
        }
        QOREvents_PushEvent(441);
        return true;
    case 445:
        if (w->SplashWindow) w->SplashWindow->Execute();
        return true;
    case 446:
        App->splashTimer.Stop();
        if (w->SplashWindow) w->SplashWindow->Hide();
        return true;
    case 447:
        if (w->ToolWindow) w->ToolWindow->Show();
        return true;
    case 437:
        if (TKSN_ExportWindow* export_ = KSN_GetExportWindow()) export_->Update();
        return true;
    case 438:
        if (TKSN_ImportWindow* import = KSN_GetImportWindow()) import->Update();
        return true;
    case 449: {
        auto* panel = dynamic_cast<TKSN_ViewportPanel*>(__GetThingyFromID(event->GetOwnerID()));
        if (!panel) panel = w->GetCurrentViewportPanel();
        TKSN_RenderOptionsWindow* window = KSN_GetRenderOptionsWindow();
        if (!panel || !window) return false;
        window->Execute(panel);
        return true;
    }
    case 453:
        if (TKSN_OptionsWindow* options = KSN_GetOptionsWindow()) options->Execute();
        return true;
    case 448:
        if (w->CR2ExportWindow) w->CR2ExportWindow->Execute();
        return true;
    case 452: {
        auto* panel = dynamic_cast<TKSN_ViewportPanel*>(__GetThingyFromID(event->GetOwnerID()));
        auto* window = dynamic_cast<TKSN_ViewportOptionsWindow*>(w->ViewportOptionsWindow);
        if (!panel || !window) return false;
        window->Execute(panel);
        return true;
    }
    case 454:
    case 456:
        if (auto* colours = dynamic_cast<TKSN_ColorSelectionNode*>(w->ColorSwatch))
            FlashStrongly(event->GetCommand() == 454 ? colours->Primary : colours->Secondary);
        return true;
    case 455: FlashStrongly(w->BrushImageButton); return true;
    default: return true;
    }
}

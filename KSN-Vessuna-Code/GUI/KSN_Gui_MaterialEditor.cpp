// The material editor window (see KSN_Gui_MaterialEditor.h).
#include "KSN_Gui_MaterialEditor.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiMenu.h"
#include "GuiText.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTree.h"

#include <string>
#include <vector>

TKSN_SingleMaterialEditorWindow::TKSN_SingleMaterialEditorWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    SetSize(330, 150);
    StackChildren = true;
    MarginX = MarginY = 0;
    MakeNonResizeable();
}

void TKSN_SingleMaterialEditorWindow::Execute(TKSN_Object* object, TQORMaterial* material)
{
    if (!material) return;
    material->RegisterForLookup();
    if (object) object->RegisterForLookup();
    MaterialID = material->GetID();
    ObjectID = object ? object->GetID() : 0;
    Update();
    Centre();
    Pop();
    TGui_Window::Show();
}

void TKSN_SingleMaterialEditorWindow::Update()
{
    Empty();
    auto* object = ObjectID ? dynamic_cast<TKSN_Object*>(__GetThingyFromID(ObjectID)) : nullptr;
    auto* material = MaterialID ? dynamic_cast<TQORMaterial*>(__GetThingyFromID(MaterialID)) : nullptr;
    if (!object || !material) {
        QOREvents_PushEvent(441);
        DeletePending = true;
        return;
    }
    // Built without a format, so names holding '%' show as they are.
    const std::string title = std::string(material->GetName()) + " (" + object->GetName() + ")";
    SetName(title.c_str(), false);
    AddMaterialProperties(material, object);
}

void TKSN_SingleMaterialEditorWindow::Hide()
{
    TGui_Window::Hide();
    DeletePending = false;
    QOREvents_PushEvent(441);
}

void TKSN_SingleMaterialEditorWindow::OnUpdateContents()
{
    TKSN_SubWindow::OnUpdateContents();
    if (!Shown) {
        QOREvents_PushEvent(441);
        DeletePending = true;
    }
}

namespace {

TGui_Node* Row(TGui_Node* window)
{
    TGui_Node* row = window->AddNode("", window->Width - 2 * window->BorderWidth, 20);
    row->ShowName = false;
    row->BorderWidth = 0;
    return row;
}

} // namespace

void TKSN_SingleMaterialEditorWindow::AddMaterialProperties(TQORMaterial* material, TKSN_Object* object)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!material || !mesh) return;
    material->RegisterForLookup();
    mesh->RegisterForLookup();
    const int m = MarginX;
    TGui_Node* header = Row(this);
    const std::pair<int, const char*> heads[] = {{0, "[b]Channel[/b]"}, {60, "[b]Color[/b]"}, {110, "[b]Map[/b]"},
                                                 {215, "[b]Strength[/b]"}, {269, Lang.GetText(1616)}};
    for (const auto& h : heads) header->AddText(h.second, m + h.first, 0, nullptr);

    const int count = material->ArbChannels.Count();
    std::vector<bool> seen(size_t(count), false);
    for (int i = 0; i < count; ++i) {
        if (seen[size_t(i)])
            QORThrowException("Infinite list traversal detected %s,%s,%s", "TQORMaterialChannel *", "Channel",
                               "Mat->ArbChannels");
        seen[size_t(i)] = true;
        TQORMaterialChannel* ch = material->ArbChannels[i];
        if (!ch || !(ch->Listed || ch->Unsupported)) continue;
        ch->RegisterForLookup();
        TGui_Node* row = Row(this);
        const bool na = ch->Unsupported;
        const char* unavailable = Lang.GetText(1178);
        auto hintOf = [&](const char* own) { return na ? unavailable : own; };
        char channelHint[1024] = {};
        if (Project) Project->GetChannelHint(channelHint, ch->GetName(), sizeof channelHint);
        row->AddText(ch->GetName(), m, 0, hintOf(channelHint));
        if (ch->UseColor) {
            TGui_Button* c = row->AddButton("", m + 75, 0, hintOf(Lang.GetText(681)));
            c->AutoSize = false;
            c->SetSize(20, 20);
            c->ShowName = false;
            std::copy(ch->Color, ch->Color + 3, c->BackgroundColor);
            std::copy(ch->Color, ch->Color + 3, c->BackgroundColorB);
            c->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 168);
            c->ClickEvent->AssignStringParameter(ch->GetName(), 0);
            c->ClickEvent->idParameters[0] = material->GetID();
            c->ClickEvent->idParameters[1] = mesh->GetID();
        }
        auto* box = new TGui_DropDownBox(row);
        box->SetPosition(m + 95, 0);
        box->Width = 125;
        box->BoxWidth = 125;
        box->DrawSurface = false;
        for (TGui_Node* n : {static_cast<TGui_Node*>(box), static_cast<TGui_Node*>(box->Box),
                             static_cast<TGui_Node*>(box->Arrow)})
            n->SetHint("%s", hintOf(Lang.GetText(682)));
        box->Box->SetName(Lang.GetText(611), true);
        auto ids = [&](TQOREvent* e) {
            e->idParameters[0] = ch->GetID();
            e->idParameters[1] = mesh->GetID();
            e->idParameters[2] = material->GetID();
        };
        box->Box->DragDropEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 375);
        box->Box->DragDropEvent->AssignStringParameter(ch->GetName(), 1);
        ids(box->Box->DragDropEvent);
        auto* binding = ch->GetMapID() ? dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(ch->GetMapID())) : nullptr;
        TQORMaterialMapSource* current = binding ? binding->GetMapSource() : nullptr;
        auto addItem = [&](const char* text, uint32_t mapID, bool draggable) {
            auto* e = new TQOREvent(nullptr, 0, 468);
            ids(e);
            e->idParameters[3] = mapID;
            TGui_MenuText* item = box->AddItem(text, e, nullptr);
            if (!item) return;
            item->Draggable = draggable;
            std::snprintf(item->DragDropString, sizeof item->DragDropString, "Map %u", mapID);
        };
        addItem(Lang.GetText(611), 0, false);
        TKSN_TopTreeGroup* maps = Project ? Project->Maps : nullptr;
        const int mapCount = maps && maps->items ? maps->items->Count() : 0;
        std::vector<bool> mapSeen(size_t(mapCount), false);
        for (int j = 0; j < mapCount; ++j) {
            if (mapSeen[size_t(j)])
                QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_ThingyPtr", "Thingy",
                                   "Project->Maps->List");
            mapSeen[size_t(j)] = true;
            auto* source = dynamic_cast<TQORMaterialMapSource*>((*maps->items)[j]);
            if (!source) continue;
            source->RegisterForLookup();
            addItem(source->GetName(), source->GetID(), true);
            if (source == current) box->Box->SetName(source->GetName(), true);
        }
        int x = m + 95 + 125 + 2;
        auto gauge = [&](int gx, float lo, float hi, float value, const char* hint, int command) {
            auto* g = new TGui_Gauge(row);
            g->SetPosition(gx, 0);
            g->Width = 45;
            g->SetHint("%s", hintOf(hint));
            g->Minimum = lo;
            g->Maximum = hi;
            g->Decimals = 0;
            g->ShowValueAsName = true;
            g->SetValue(value, false);
            g->ChangeEvent = new TQOREvent(KestruneEvents_CommandCB, 0, command);
            g->ChangeEvent->idParameters[0] = material->GetID();
            g->ChangeEvent->idParameters[1] = mesh->GetID();
            g->ChangeEvent->AssignStringParameter(ch->GetName(), 0);
            return g;
        };
        if (ch->UseStrength) {
            gauge(x, ch->MinStrength * 100.0f, ch->MaxStrength * 100.0f, ch->Strength * 100.0f, Lang.GetText(613), 170);
            x += 45;
        }
        if (QORstrcmpi(ch->GetName(), "Bump") == 0 || QORstrcmpi(ch->GetName(), "Displacement") == 0)
            ch->UseOffset = true;
        if (ch->UseOffset) gauge(x + 4, 0.0f, 100.0f, ch->Offset * 100.0f, "", 171);
        if (na) row->Disable();
    }
}

// [SECTION] Opening, raising and closing from a material row or a command

bool OnExpandMaterial(TQOREvent* event)
{
    if (!event || !MainWindow) return false;
    const uint32_t materialID = event->idParameters[1];
    auto* object = event->idParameters[0] ? dynamic_cast<TKSN_Object*>(__GetThingyFromID(event->idParameters[0])) : nullptr;
    auto* material = materialID ? dynamic_cast<TQORMaterial*>(__GetThingyFromID(materialID)) : nullptr;
    if (!object || !material) return false;
    QOREvents_PushEvent(441);
    for (TGui_Node* child = MainWindow->FirstChild; child; child = child->Next) {
        auto* window = dynamic_cast<TKSN_SingleMaterialEditorWindow*>(child);
        // A window waiting for deletion is no longer the material's window.
        if (!window || window->DeletePending || !window->Shown || window->MaterialID != material->GetID()) continue;
        if (event->intParameters[0] == 1) {
            window->Pop();
            window->Flash(false);
        } else {
            window->Hide();
        }
        return false;
    }
    auto* window = new TKSN_SingleMaterialEditorWindow(MainWindow);
    window->Execute(object, material);
    window->Flash(false);
    // Windows opened one after another must not cover each other exactly.
    const int dx = QORrandom(200) - 100;
    const int dy = QORrandom(200) - 100;
    window->SetPosition(window->X + dx, window->Y + dy);
    return true;
}

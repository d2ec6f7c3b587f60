// The rebuild of the Manager tab's project tree: every row is thrown away and
// made again from the project, in this order: the object tree (with the
// settings rows of each expanded object), the selection unions, the morph
// unions, the materials and the polygon groups of every object.
//
// Rows carry events with IDs, never pointers, and drag payloads of the form
// "<Keyword> <id>" (see KSN_Commands_Drop.h). Every list walk refuses to
// visit an entry twice, so a damaged list raises instead of looping.
#include "KSN_MainWindow_Panels.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_MaterialEditor.h"
#include "KSN_Gui_ProjectTree.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_SubDMesh.h"
#include "KSN_Union.h"
#include "KestruneEvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTree.h"

#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>

namespace {

const float kMultiSelectedItemColor[3] = {1.0f, 1.0f, 0.0f};

// Refuses to visit an entry twice (a damaged list would otherwise never end).
class TTraversalGuard {
public:
    TTraversalGuard(const char* type, const char* variable, const char* list)
        : Type(type), Variable(variable), List(list) {}
    void Visit(const void* entry)
    {
        if (!Seen.insert(entry).second)
            QORThrowException("Infinite list traversal detected %s,%s,%s", Type, Variable, List);
    }

private:
    const char* Type;
    const char* Variable;
    const char* List;
    std::unordered_set<const void*> Seen;
};

void Highlight(TGui_Node* row, const TKSN_Thingy* thingy)
{
    if (!thingy || !thingy->multiSelected) return;
    row->DrawSurface = true;
    std::copy(kMultiSelectedItemColor, kMultiSelectedItemColor + 3, row->BackgroundColor);
    std::copy(kMultiSelectedItemColor, kMultiSelectedItemColor + 3, row->BackgroundColorB);
}

void FolderIcons(TKSN_ManagerListItem* row)
{
    TKSN_ManagerListItemCollapseButton* b = row->CollapseButton;
    if (!b) return;
    b->SetGraphic(QORglut_Textures_GetTextureFromList("SmallFileFolderOpen"));
    b->SetAltGraphic(QORglut_Textures_GetTextureFromList("SmallFileFolderClose"));
    b->Width = 16;
    b->DrawSurface = false;
    b->BorderWidth = 0;
    b->MarginX = b->MarginY = 0;
}

void CurrentMarker(TKSN_ManagerListItem* row)
{
    TGui_Node* anchor = row->CollapseButton ? static_cast<TGui_Node*>(row->CollapseButton) : row->TextNode;
    TGui_Node* marker = row->AddNode("", 8, 8);
    marker->ShowName = false;
    marker->BorderWidth = 0;
    marker->DrawSurface = true;
    const float red[3] = {1.0f, 0.0f, 0.0f};
    std::copy(red, red + 3, marker->BackgroundColor);
    std::copy(red, red + 3, marker->BackgroundColorB);
    marker->SetPosition(anchor->X - 9, 2);
}

void Payload(TGui_Node* node, const char* keyword, uint32_t id)
{
    node->Draggable = true;
    std::snprintf(node->DragDropString, sizeof node->DragDropString, "%s %u", keyword, id);
}

TQOREvent* Event(TQOREventFunction callback, uint32_t owner, int command = 0)
{
    return new TQOREvent(callback, owner, command);
}

TQOREvent* DropEvent(TKSN_ObjectManagerNode* node, int command, TKSN_TreeGroup* group, TKSN_Thingy* item)
{
    auto* e = new TQOREvent(KestruneEvents_CommandCB, node->GetID(), command);
    e->idParameters[0] = group->GetID();
    if (item) e->idParameters[1] = item->GetID();
    return e;
}

int CountMeshObjects()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
    int n = 0;
    for (TKSN_Object* o : *list) n += o->Mesh ? 1 : 0;
    return n;
}

std::string WithCommas(float value, int decimals)
{
    char text[QOR_FLOAT_WITH_COMMAS_MAX] = {};
    FloatToStringWithCommas(text, value, decimals);
    return text;
}

std::string CountCaption(int textID, float value, int decimals = 0)
{
    return QORFormat("%s - %s", Lang.GetText(textID), WithCommas(value, decimals).c_str());
}

// A check box bound as a live boolean of the object.
TGui_CheckBox* LiveCheck(TKSN_ManagerListItem* row, int x, const char* caption, const char* hint, int command,
                         uint32_t owner, bool bound = true)
{
    TGui_CheckBox* c = row->AddCheckBox(caption, x, 0, hint);
    if (bound) c->BoolVariableEvent = new TQOREvent(KestruneEvents_CommandCB, owner, command);
    return c;
}

TGui_TextAndGauge* LiveGauge(TKSN_ManagerListItem* row, int x, const char* caption, const char* hint, int command,
                             int release, uint32_t owner, float lo, float hi, int decimals, bool bound = true)
{
    auto* g = new TGui_TextAndGauge(row);
    g->SetPosition(x, 0);
    g->CaptionWidth = 59;
    g->Width = 150;
    if (g->Caption) g->Caption->SetName(caption, true);
    g->SetHint("%s", hint);
    TGui_Gauge* gauge = g->Gauge;
    if (gauge) {
        gauge->Minimum = lo;
        gauge->Maximum = hi;
        gauge->Decimals = decimals;
        gauge->SetHint("%s", hint);
        if (bound) gauge->FloatVariableEvent = new TQOREvent(KestruneEvents_CommandCB, owner, command);
        if (release) gauge->ChangeEndEvent = new TQOREvent(KestruneEvents_CommandCB, owner, release);
    }
    return g;
}

} // namespace

// [SECTION] Rebuild

void TKSN_ObjectManagerNode::Update()
{
    TKSN_ManagerNode::Update();
    if (!Project || !Project->Objects) return;
    RegisterForLookup();
    const int meshObjects = CountMeshObjects();
    Project->CreateUnionsFromMissingSelections();
    Project->CreateUnionsFromMissingMorphs();
    SortTreeGroupsByNames(Project->SelectionUnions, true, true);
    SortTreeGroupsByNames(Project->MorphUnions, true, true);
    {
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
        for (TKSN_Object* o : *list)
            if (o->Mesh) {
                SortTreeGroupsByNames(o->Mesh->MorphTree, true, true);
                SortTreeGroupsByNames(o->Mesh->SelectionTree, true, true);
            }
    }
    UpdateObjectsRecurse(Project->Objects, 0, nullptr, nullptr);
    UpdateSelectionUnionsRecursively(Project->SelectionUnions, 0);
    UpdateMorphUnionsRecursively(Project->MorphUnions, 0);

    auto section = [&](TKSN_Thingy& heading, int caption, bool materials) {
        heading.RegisterForLookup();
        TKSN_ManagerListItem* row = CreateNewListItem(true, Lang.GetText(caption), 0, true, heading.collapsed,
                                                      ToggleCollapsedThingyCB, heading.GetID());
        row->SetHint("%s", Lang.GetText(caption + 1));
        FolderIcons(row);
        if (heading.collapsed) return;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
        TTraversalGuard guard("TKSN_ObjectPtr", "Object", "PARSE_OBJECT_LIST");
        for (TKSN_Object* o : *list) {
            guard.Visit(o);
            if (!o->Mesh) continue;
            const char* label = meshObjects >= 2 ? o->GetName() : nullptr;
            if (materials)
                UpdateObjectMaterials(o, 0, label);
            else
                UpdateObjectGroups(o, 0, label);
        }
    };
    section(Project->MaterialsHeading, 346, true);
    section(Project->GroupsHeading, 356, false);
}

// [SECTION] Object tree

void TKSN_ObjectManagerNode::UpdateObjectsRecurse(TKSN_TreeGroup* group, int depth, TKSN_Object* object,
                                                  const char* label)
{
    if (!group) return;
    group->RegisterForLookup();
    if (depth >= 0) {
        TKSN_ManagerListItem* row = CreateNewListItem(true, group->GetName(), depth, true, group->collapsed,
                                                      ToggleCollapsedThingyCB, group->GetID());
        FolderIcons(row);
        Highlight(row, group);
        auto* click = Event(SelectObjectGroupWithMultiSelectCB, 0);
        click->idParameters[2] = group->GetID();
        row->ClickEvent = click;
        auto* right = Event(RightClickObjectCB, 0);
        right->idParameters[2] = group->GetID();
        row->RightClickEvent = right;
        row->DragDropEvent = DropEvent(this, 6, group, nullptr);
        Payload(row, "Object2", group->GetID());
        row->Group = group;
    }
    if (!group->collapsed) {
        UpdateObjectsRecurse(group->GetChild(), depth + 1, object, label);
        if (group->items) {
            TTraversalGuard guard("TKSN_ThingyPtr", "Thingy", "TreeGroup->List");
            for (TKSN_Thingy* item : *group->items) {
                guard.Visit(item);
                if (item) AddObjectRow(group, item, depth + 1);
            }
        }
    }
    if (depth >= 0) UpdateObjectsRecurse(group->GetNext(), depth, object, label);
}

void TKSN_ObjectManagerNode::AddObjectRow(TKSN_TreeGroup* group, TKSN_Thingy* item, int depth)
{
    item->RegisterForLookup();
    TKSN_ManagerListItem* row = CreateNewListItem(true, item->GetName(), depth, true, item->collapsed,
                                                  ToggleCollapsedThingyCB, item->GetID());
    row->Item = item;
    auto* object = dynamic_cast<TKSN_Object*>(item);
    if (!object || !object->Mesh) return;
    const uint32_t id = object->GetID();
    if (Project->GetCurrentObject() == object) CurrentMarker(row);
    Highlight(row, object);
    row->SetHint(Lang.GetText(1410), object->GetName());
    auto* click = Event(SelectObjectCB, id);
    click->idParameters[0] = id;
    row->ClickEvent = click;
    row->DoubleClickEvent = Event(DoubleClickObjectCB, id);
    auto* right = Event(RightClickObjectCB, 0);
    right->idParameters[0] = id;
    row->RightClickEvent = right;
    row->DragDropEvent = DropEvent(this, 6, group, object);
    Payload(row, "Object2", id);
    Payload(row->TextNode, "Object2", id);
    if (!object->collapsed) AddObjectSettings(object, depth);
}

// The settings rows of an expanded object at depth d.
void TKSN_ObjectManagerNode::AddObjectSettings(TKSN_Object* object, int d)
{
    TKSN_Mesh* mesh = object->Mesh.get();
    const uint32_t id = object->GetID();
    auto plain = [&](const std::string& caption, int depth) {
        return CreateNewListItem(true, caption.c_str(), depth, false, false, nullptr, 0);
    };
    plain(CountCaption(1198, float(mesh->GetVCount())), d + 1);
    plain(CountCaption(1199, float(mesh->GetPCount())), d + 1);
    plain(CountCaption(1200, float(mesh->GetTVCount())), d + 1);
    const int x = 12 * (d + 2);
    plain(Lang.GetText(1608), d + 2);
    LiveCheck(plain("", d + 2), x, Lang.GetText(1194), Lang.GetText(1195), 205, id);
    LiveCheck(plain("", d + 2), x, Lang.GetText(1209), Lang.GetText(1210), 198, id);
    plain(Lang.GetText(1607), d + 2);
    LiveCheck(plain("", d + 2), x, Lang.GetText(423), Lang.GetText(424), 199, id);
    const bool symmetry = object->SymmetryEnabled;
    {
        TKSN_ManagerListItem* row = plain("", d + 2);
        auto* box = new TGui_DropDownBox(row);
        box->SetPosition(x, 0);
        box->Width = 150;
        if (box->Caption) box->Caption->SetName(Lang.GetText(751), true);
        for (TGui_Node* n : {static_cast<TGui_Node*>(box), static_cast<TGui_Node*>(box->Box),
                             static_cast<TGui_Node*>(box->Arrow)})
            if (n) n->SetHint("%s", Lang.GetText(752));
        static const char* const axes[] = {"X", "Y", "Z"};
        for (int i = 0; i < 3; ++i) {
            auto* e = new TQOREvent(nullptr, id, 137);
            e->SetIndex(i);
            box->AddItem(axes[i], e, nullptr);
        }
        if (box->Box) box->Box->SetName(axes[mesh->symmetryAxis >= 0 && mesh->symmetryAxis < 3 ? mesh->symmetryAxis : 0], true);
        box->SetEnabled(symmetry);
    }
    {
        TKSN_ManagerListItem* row = plain("", d + 2);
        const float r = Project->WorldSize;
        TGui_TextAndGauge* g = LiveGauge(row, x, Lang.GetText(748), Lang.GetText(749), 18, 20, id, -r, r, 8);
        if (g->Gauge) g->Gauge->MinEnabled = g->Gauge->MaxEnabled = false;
        g->SetEnabled(symmetry);
        TGui_Button* pick = row->AddButton("", x + 152, 0, Lang.GetText(508));
        pick->AutoSize = false;
        pick->SetSize(16, 16);
        pick->SetGraphic(QORglut_Textures_GetTextureFromList("SelectVerticesIcon"));
        pick->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, id, 17);
    }
    LiveGauge(plain("", d + 2), x, Lang.GetText(585), Lang.GetText(586), 19, 20, id, 3.0f, 10.0f, 0)
        ->SetEnabled(symmetry);
    {
        TKSN_ManagerListItem* heading = plain(Lang.GetText(1606), d + 2);
        heading->SetHint("%s", Lang.GetText(1658));
    }
    const bool subd = mesh->SubDsEnabled;
    LiveCheck(plain("", d + 2), x, Lang.GetText(1593), Lang.GetText(1594), 200, id);
    LiveCheck(plain("", d + 2), x, "Dynamic Subdivision",
              "Dynamic Subdivision\n\n- Subdivides each polygon in the model according to it's UV topology, yielding "
              "a polygon distribution that is consistent with the pixel resolution of the applied maps.\n- In "
              "other words, more detail where you need it, less where you don't.",
              201, id, subd)
        ->SetEnabled(subd);
    LiveCheck(plain("", d + 2), x, Lang.GetText(1612), Lang.GetText(1613), 202, id, subd)->SetEnabled(subd);
    {
        TGui_TextAndGauge* g =
            LiveGauge(plain("", d + 2), x, Lang.GetText(1595), Lang.GetText(1596), 21, 0, id, 1.0f, 10000000.0f, 0, subd);
        if (g->Gauge) g->Gauge->MaxEnabled = false;
        g->SetEnabled(subd);
    }
    {
        std::string caption, hint;
        if (subd) {
            TKSN_SubDMesh* top = mesh->GetSubD_MaxLevel();
            if (top) {
                caption = CountCaption(1598, float(top->GetPCount()), 4);
                hint = Lang.GetText(1599);
            } else {
                caption = CountCaption(1600, float(EstimatedSubDPolygons(mesh)));
                hint = Lang.GetText(1601);
            }
        }
        TKSN_ManagerListItem* row = plain(caption, d + 2);
        row->SetHint("%s", hint.c_str());
    }
    {
        TKSN_ManagerListItem* row = plain("", d + 2);
        TGui_Button* b = row->AddButton(Lang.GetText(1604), x, 0, Lang.GetText(1605));
        b->AutoSize = false;
        b->SetSize(150, row->Height - 2 * row->MarginY);
        if (subd) b->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, id, 203);
        b->SetEnabled(subd);
    }
}

int64_t EstimatedSubDPolygons(TKSN_Mesh* mesh)
{
    int64_t n = mesh ? mesh->GetPCount() : 0;
    if (n <= 0) return 0;
    const int64_t budget = mesh->TargetMaxSubDPolygonCount;
    while (4 * n <= budget) n *= 4;
    return n;
}

// [SECTION] Union trees

namespace {

// The placeholder row of an empty union folder: a drop on it is a drop on the folder.
void EmptyFolderRow(TKSN_ObjectManagerNode* node, int text, int depth, TQOREvent* folderDrop)
{
    TKSN_ManagerListItem* row = node->CreateNewListItem(true, Lang.GetText(text), depth, false, false, nullptr, 0);
    row->DragDropEvent = new TQOREvent(folderDrop);
}

} // namespace

void TKSN_ObjectManagerNode::UpdateSelectionUnionsRecursively(TKSN_TreeGroup* group, int depth)
{
    TTraversalGuard siblings("TKSN_ThingyPtr", "Thingy", "Group->List");
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        siblings.Visit(g);
        TKSN_ManagerListItem* row = AddUnionFolderRow(g, depth, SelectSelectionUnionGroupWithMultiSelectCB,
                                                      RightClickSelectionUnionCB, 4, "SelectionUnion");
        if (g == Project->SelectionUnions) row->SetHint("%s", Lang.GetText(265));
        if (g->collapsed) continue;
        UpdateSelectionUnionsRecursively(g->GetChild(), depth + 1);
        if (!g->items || g->items->IsEmpty()) EmptyFolderRow(this, 1327, depth + 1, row->DragDropEvent);
        if (!g->items) continue;
        TTraversalGuard guard("TKSN_ThingyPtr", "Thingy", "Group->List");
        for (TKSN_Thingy* item : *g->items) {
            guard.Visit(item);
            auto* u = dynamic_cast<TKSN_SelectionUnion*>(item);
            if (!u) continue;
            u->RegisterForLookup();
            const uint32_t id = u->GetID();
            TKSN_ManagerListItem* r = CreateNewListItem(true, u->GetName(), depth + 1, true, u->collapsed,
                                                        ToggleCollapsedThingyCB, id);
            r->Item = u;
            Payload(r, "SelectionUnion", id);
            r->DragDropEvent = DropEvent(this, 4, g, u);
            Highlight(r, u);
            r->MouseEvent = Event(SelectSelectionUnionCB, id);
            r->DoubleClickEvent = Event(DoubleClickSelectionUnionCB, id);
            r->SetHint(Lang.GetText(285), u->GetName());
            r->RightClickEvent = Event(RightClickSelectionUnionCB, id);
            if (!u->collapsed) {
                const int type = u->GetSelectionType();
                const char* text = type == 0 ? "Type: Vertex" : type == 1 ? "Type: Polygon" : "Type: Unknown";
                CreateNewListItem(true, text, depth + 2, false, false, nullptr, 0);
            }
        }
    }
}

// The row of a folder of the selection or morph unions: it selects the
// folder (with multi-select), opens its context menu and takes drops of the
// given command.
TKSN_ManagerListItem* TKSN_ObjectManagerNode::AddUnionFolderRow(TKSN_TreeGroup* g, int depth,
                                                                TQOREventFunction select,
                                                                TQOREventFunction rightClick, int dropCommand,
                                                                const char* payload)
{
    g->RegisterForLookup();
    TKSN_ManagerListItem* row =
        CreateNewListItem(true, g->GetName(), depth, true, g->collapsed, ToggleCollapsedThingyCB, g->GetID());
    FolderIcons(row);
    Highlight(row, g);
    auto* mouse = Event(select, 0);
    mouse->idParameters[2] = g->GetID();
    row->MouseEvent = mouse;
    row->RightClickEvent = Event(rightClick, g->GetID());
    row->DragDropEvent = DropEvent(this, dropCommand, g, nullptr);
    if (row->CollapseButton) row->CollapseButton->DragDropEvent = new TQOREvent(row->DragDropEvent);
    Payload(row, payload, g->GetID());
    row->Group = g;
    return row;
}

void TKSN_ObjectManagerNode::UpdateMorphUnionsRecursively(TKSN_TreeGroup* group, int depth)
{
    TTraversalGuard siblings("TKSN_ThingyPtr", "Thingy", "Group->List");
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        siblings.Visit(g);
        TKSN_ManagerListItem* row = AddUnionFolderRow(g, depth, SelectMorphUnionGroupWithMultiSelectCB,
                                                      RightClickMorphUnionCB, 3, "MorphUnion");
        if (g->collapsed) continue;
        UpdateMorphUnionsRecursively(g->GetChild(), depth + 1);
        if (!g->items || g->items->IsEmpty()) EmptyFolderRow(this, 1328, depth + 1, row->DragDropEvent);
        if (!g->items) continue;
        TTraversalGuard guard("TKSN_ThingyPtr", "Thingy", "Group->List");
        for (TKSN_Thingy* item : *g->items) {
            guard.Visit(item);
            auto* u = dynamic_cast<TKSN_MorphUnion*>(item);
            if (!u) continue;
            AddMorphUnionRow(g, u, depth + 1);
        }
    }
}

void TKSN_ObjectManagerNode::AddMorphUnionRow(TKSN_TreeGroup* group, TKSN_MorphUnion* u, int depth)
{
    u->RegisterForLookup();
    const uint32_t id = u->GetID();
    TKSN_ManagerListItem* r = CreateNewListItem(true, u->GetName(), depth, true, u->collapsed,
                                                ToggleCollapsedThingyCB, id);
    r->Item = u;
    TGui_Gauge* gauge = nullptr;
    if (!u->IsBaseVertices()) {
        Payload(r, "MorphUnion", id);
        gauge = new TGui_Gauge(r);
        gauge->RegisterForLookup();
        gauge->SetPosition(180, 0);
        gauge->Width = 45;
        gauge->Minimum = 100.0f * u->MinStrength;
        gauge->Maximum = 100.0f * u->MaxStrength;
        gauge->Decimals = 0;
        gauge->SetHint("%s", Lang.GetText(408));
        auto* live = new TQOREvent(KestruneEvents_CommandCB, 0, 66);
        live->intParameters[0] = int32_t(id);
        gauge->FloatVariableEvent = live;
        gauge->MouseEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 67);
        for (TGui_Node* c = gauge->FirstChild; c; c = c->Next) c->MouseEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 67);
        if (App && App->GetToolTypeTab() == KSN_TOOL_TAB_MODELLING) {
            gauge->SetHint("%s", Lang.GetText(101));
            gauge->Disable();
        }
    }
    r->DragDropEvent = DropEvent(this, 3, group, u);
    Highlight(r, u);
    r->MouseEvent = Event(SelectMorphUnionCB, id);
    r->RightClickEvent = Event(RightClickMorphUnionCB, id);
    if (Project->GetCurrentMorphUnionID() == id) CurrentMarker(r);
    if (!gauge || u->collapsed) return;
    auto limit = [&](int caption, float value, int command) {
        // Two levels below the union row (three below its folder's row).
        TKSN_ManagerListItem* row = CreateNewListItem(true, "", depth + 2, false, false, nullptr, 0);
        TGui_EditText* field = row->AddEditText(caption == 0 ? "Min Strength" : "Max Strength", 1);
        field->SetPosition(12 * (depth + 2), 0);
        field->Width = 150;
        field->Height = 16;
        field->CaptionWidth = 100;
        if (field->EditField) {
            field->EditField->RegisterForLookup();
            field->EditField->Decimals = 0;
            field->EditField->MinEnabled = field->EditField->MaxEnabled = false;
            field->EditField->SetFloatValue(100.0f * value, nullptr, false);
            // Queued, not run inside the field's own input handling.
            auto* change = new TQOREvent(nullptr, id, command);
            change->idParameters[0] = gauge->GetID();
            field->EditField->ChangeEvent = change;
        }
    };
    limit(0, u->MinStrength, 221);
    limit(1, u->MaxStrength, 222);
}

// [SECTION] Materials and groups

// The folder row of an object's material or group list, when the object is
// listed under a label; a single object always lists its entries. The depth
// of the entries, or -1 when the folder is collapsed.
int TKSN_ObjectManagerNode::AddListFolderRow(TKSN_TopTreeGroup* tree, const char* label, int depth, int hint)
{
    if (!label) {
        tree->collapsed = false;
        return depth + 2;
    }
    TKSN_ManagerListItem* row =
        CreateNewListItem(true, label, depth + 2, true, tree->collapsed, ToggleCollapsedThingyCB, tree->GetID());
    row->SetHint("%s", Lang.GetText(hint));
    FolderIcons(row);
    return tree->collapsed ? -1 : depth + 3;
}

void TKSN_ObjectManagerNode::UpdateObjectMaterials(TKSN_Object* object, int depth, const char* label)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    TKSN_TopTreeGroup* tree = mesh ? mesh->Materials : nullptr;
    if (!tree) return;
    tree->RegisterForLookup();
    object->RegisterForLookup();
    const int itemDepth = AddListFolderRow(tree, label, depth, 347);
    if (itemDepth < 0) return;
    if (!tree->items) return;
    TTraversalGuard guard("TQORMaterialPtr", "Mat", "Mesh->Materials");
    for (TKSN_Thingy* entry : *tree->items) {
        guard.Visit(entry);
        auto* material = dynamic_cast<TQORMaterial*>(entry);
        if (!material) break;
        material->RegisterForLookup();
        const uint32_t id = material->GetID();
        bool open = false;
        for (TGui_Node* c = MainWindow ? MainWindow->FirstChild : nullptr; c && !open; c = c->Next)
            if (auto* w = dynamic_cast<TKSN_SingleMaterialEditorWindow*>(c))
                open = w->MaterialID == id && w->Shown && !w->DeletePending;
        TKSN_ManagerListItem* row =
            CreateNewListItem(true, material->GetName(), itemDepth, true, !open, OnExpandMaterial, id);
        row->Item = material;
        if (row->CollapseButton) {
            row->CollapseButton->ClickEvent->idParameters[0] = object->GetID();
            row->CollapseButton->ClickEvent->idParameters[1] = id;
        }
        Highlight(row, material);
        auto* click = Event(ClickMaterialCB, id);
        click->intParameters[0] = int32_t(object->GetID());
        row->ClickEvent = click;
        row->RightClickEvent = Event(RightClickMaterialCB, id);
        row->SetHint(Lang.GetText(1408), material->GetName());
        row->DoubleClickEvent = Event(DoubleClickMaterialCB, id);
    }
}

void TKSN_ObjectManagerNode::UpdateObjectGroups(TKSN_Object* object, int depth, const char* label)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    TKSN_TopTreeGroup* tree = mesh ? mesh->Groups2 : nullptr;
    if (!tree) return;
    tree->RegisterForLookup();
    object->RegisterForLookup();
    const int itemDepth = AddListFolderRow(tree, label, depth, 357);
    if (itemDepth < 0) return;
    if (!tree->items) return;
    TTraversalGuard guard("TQORGroup2 *", "Group", "Mesh->Groups2");
    for (TKSN_Thingy* entry : *tree->items) {
        guard.Visit(entry);
        auto* group = dynamic_cast<TQORGroup2*>(entry);
        if (!group) break;
        group->RegisterForLookup();
        const uint32_t id = group->GetID();
        TKSN_ManagerListItem* row = CreateNewListItem(true, group->GetName(), itemDepth, false, false, nullptr, 0);
        row->Item = group;
        Highlight(row, group);
        auto* click = Event(ClickGroup2CB, id);
        click->intParameters[0] = int32_t(object->GetID());
        row->ClickEvent = click;
        row->SetHint(Lang.GetText(1409), group->GetName());
        row->RightClickEvent = Event(RightClickGroup2CB, id);
        auto* dbl = Event(DoubleClickGroup2CB, id);
        dbl->intParameters[0] = int32_t(object->GetID());
        row->DoubleClickEvent = dbl;
    }
}

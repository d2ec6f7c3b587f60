#include "KSN_ImportExportWindows.h"

#include "GuiButton.h"
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_SculptedPrim.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int DialogBufferSize = 10000;

TQOREvent* WindowEvent(TQOREventFunction callback, TGui_Node* window)
{
    auto* event = new TQOREvent(callback, 0, -1);
    event->SetOwner(window);
    return event;
}

TGui_CheckBox* Box(TGui_Node* parent, const char* label, const char* hint)
{
    TGui_CheckBox* box = parent->AddCheckBox(label, 0, 0, hint);
    box->ButtonMode = 1;
    return box;
}

bool Checked(TGui_CheckBox* box) { return box && box->Pressed; }
void Check(TGui_CheckBox* box, bool on)
{
    if (box) box->Pressed = on;
}

void ShowIf(TGui_Node* node, bool shown)
{
    if (!node) return;
    if (shown)
        node->Show();
    else
        node->Hide();
}

// Lays the shown children out top to bottom at the content margins.
void Stack(TGui_Node* window, int gap)
{
    int y = window->MarginY;
    for (TGui_Node* c = window->FirstChild; c; c = c->Next) {
        if (!c->Shown || c->IsControl) continue;
        c->SetPosition(window->MarginX, y);
        y += c->Height + gap;
    }
}

TKSN_Mesh* CurrentMesh()
{
    TKSN_Object* object = Project ? Project->GetCurrentObject() : nullptr;
    return object ? object->Mesh.get() : nullptr;
}

TKSN_Morph* CurrentMorph()
{
    TKSN_Mesh* mesh = CurrentMesh();
    return mesh ? mesh->GetCurrentMorph() : nullptr;
}

std::string TypeOfFile(const std::string& path)
{
    const char* extension = GetExtensionFromFileName(path.c_str());
    if (!App || !App->importFileTypes) return std::string();
    for (char* type : *App->importFileTypes)
        if (type && QORstrcmpi(type, extension) == 0) return type;
    return std::string();
}

} // namespace

// [SECTION] Import window

TKSN_ImportWindow::TKSN_ImportWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    AsMorphTargetBox = Box(this, Lang.GetText(1211), Lang.GetText(1212));
    AsMorphTargetBox->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 438);
    AsMorphTargetBox->Hide();
    FlipNormalsBox = Box(this, Lang.GetText(1213), Lang.GetText(1214));
    FlipUVsHorizontallyBox = Box(this, Lang.GetText(1411), Lang.GetText(1413));
    FlipUVsVerticallyBox = Box(this, Lang.GetText(1412), Lang.GetText(1413));
    MergeSetBox = Box(this, "Merge Set", nullptr);
    ScaleObjectBox = Box(this, Lang.GetText(206), Lang.GetText(207));
    ScaleField = AddEditText(Lang.GetText(208), 1);
    ScaleField->SetHint("%s", Lang.GetText(209));
    ScaleField->CaptionWidth = 75;
    ScaleField->SetSize(150, ScaleField->Height);
    ScaleField->EditField->Decimals = 0;
    CenterObjectBox = Box(this, Lang.GetText(210), Lang.GetText(211));
    InternalNamesBox = Box(this, Lang.GetText(1696), Lang.GetText(1697));
    WeldBox = Box(this, Lang.GetText(83), Lang.GetText(212));
    WeldBox->Hide();
    PrecisionGauge = new TGui_TextAndGauge(this);
    PrecisionGauge->Width = 150;
    PrecisionGauge->CaptionWidth = 75;
    PrecisionGauge->Caption->SetName(Lang.GetText(85), true);
    PrecisionGauge->SetHint("%s", Lang.GetText(86));
    PrecisionGauge->Gauge->Minimum = 0.0f;
    PrecisionGauge->Gauge->Maximum = 10.0f;
    PrecisionGauge->Gauge->SetValue(8.0f, false);
    PrecisionGauge->Hide();
    FirstSeparator = AddSeparator(nullptr, 0, 0);
    ImportMorphsBox = Box(this, Lang.GetText(1169), Lang.GetText(1170));
    ImportTexturesBox = Box(this, Lang.GetText(1225), Lang.GetText(1226));
    SecondSeparator = AddSeparator(nullptr, 0, 0);
    OkButton = AddButton(Lang.GetText(180), 0, 0, nullptr);
    OkButton->ClickEvent = WindowEvent(OkClickedCB, this);
    OkButton->AutoSize = false;
    OkButton->SetSize(75, OkButton->Height);
    MakeNonResizeable();
    SetSize(200, 230);
    Hide();
}

std::string TKSN_ImportWindow::GetFileType() const { return TypeOfFile(FileName); }

void TKSN_ImportWindow::Execute(const char* name)
{
    FileName.clear();
    if (!App || !Project) return;
    if (name && *name && TOS::FileExists(name)) {
        FileName = name;
        if (FileName.size() >= size_t(FileNameSize)) FileName.resize(FileNameSize - 1);
    } else {
        char wildcard[KSN_APP_PATH_BUFFER];
        App->GetFileDialogDescription(wildcard, App->importFileTypes, "All Object Files", sizeof wildcard);
        std::vector<char> path(DialogBufferSize, '\0'), folder(DialogBufferSize, '\0');
        std::snprintf(folder.data(), folder.size(), "%s", App->importPath);
        if (!OS.ExecuteOpenFileDialogMultipleTypes(path.data(), folder.data(), wildcard, "", true, nullptr)) return;
        std::snprintf(App->importPath, sizeof App->importPath, "%s", folder.data());
        FileName = path.data();
    }
    const std::string type = GetFileType();
    if (type.empty()) {
        if (!VerifyPrintfString(Lang.GetText(488), "%s")) QORThrowException("Line 488 in Language.dat is invalid");
        OS.WarningMessage(Lang.GetText(488), GetExtensionFromFileName(FileName.c_str()));
        return;
    }
    TKSN_Project& p = *Project;
    Check(FlipNormalsBox, p.FlipNormalsOnImport);
    Check(FlipUVsHorizontallyBox, p.FlipUVsHorizontallyOnImport);
    Check(FlipUVsVerticallyBox, p.FlipUVsVerticallyOnImport);
    Check(InternalNamesBox, p.UseInternalNameforGroups);
    Check(ScaleObjectBox, p.ScaleOnImport);
    Check(CenterObjectBox, p.CenterOnImport);
    Check(WeldBox, p.WeldOnImport);
    PrecisionGauge->Gauge->SetValue(p.WeldThreshold, false);
    ScaleField->EditField->SetFloatValue(p.ScaleFactor * 100.0f, nullptr, false);
    Check(ImportMorphsBox, p.ImportMorphs);
    Check(ImportTexturesBox, p.ImportMaps);
    ShowIf(AsMorphTargetBox, QORstrcmpi(type.c_str(), "OBJ") == 0);
    if (QORstrcmpi(type.c_str(), "SelSet") == 0)
        Check(MergeSetBox, p.MergeSelectionSets);
    else if (QORstrcmpi(type.c_str(), "MorSet") == 0)
        Check(MergeSetBox, p.MergeMorphSets);
    if (QORstrcmpi(type.c_str(), "LaySet") == 0) {
        QOREvents_PushEvent(395);
        return;
    }
    Update();
    TGui_Window::Execute();
}

void TKSN_ImportWindow::Update()
{
    const std::string type = GetFileType();
    TGui_Node* options[] = {FlipNormalsBox, FlipUVsHorizontallyBox, FlipUVsVerticallyBox, ScaleObjectBox, ScaleField,
                            CenterObjectBox, WeldBox, PrecisionGauge, ImportTexturesBox};
    for (TGui_Node* n : {static_cast<TGui_Node*>(MergeSetBox), static_cast<TGui_Node*>(InternalNamesBox),
                         static_cast<TGui_Node*>(ImportMorphsBox), static_cast<TGui_Node*>(FirstSeparator)})
        n->Hide();
    for (TGui_Node* n : options) n->Hide();
    InternalNamesBox->Enable();
    for (TGui_Node* n : options) n->Enable();
    const bool obj = QORstrcmpi(type.c_str(), "OBJ") == 0;
    const bool cr2 = QORstrcmpi(type.c_str(), "CR2") == 0;
    if (obj) {
        SetName(Lang.GetText(203), false);
        SetHint("%s", "");
        for (TGui_Node* n : options) n->Show();
        InternalNamesBox->Show();
        AsMorphTargetBox->Show();
        if (Checked(AsMorphTargetBox))
            for (TGui_Node* n : options) n->Disable();
    } else if (cr2) {
        SetName(Lang.GetText(348), false);
        SetHint("%s", Lang.GetText(349));
        for (TGui_Node* n : {static_cast<TGui_Node*>(WeldBox), static_cast<TGui_Node*>(PrecisionGauge),
                             static_cast<TGui_Node*>(ImportMorphsBox), static_cast<TGui_Node*>(ImportTexturesBox)})
            n->Show();
    } else if (QORstrcmpi(type.c_str(), "SelSet") == 0 || QORstrcmpi(type.c_str(), "MorSet") == 0) {
        SetName("Import Selectin Set", false);
        SetHint("%s", "");
        MergeSetBox->Show();
    } else if (QORstrcmpi(type.c_str(), "LaySet") == 0) {
        SetName("Import Layer Set", false);
        SetHint("%s", "");
    }
    if (!obj) AsMorphTargetBox->Hide();
    ShowIf(SecondSeparator, obj || cr2 || SecondSeparator->Shown);
}

void TKSN_ImportWindow::UpdateSize()
{
    char caption[64];
    std::snprintf(caption, sizeof caption, "%.2f", double(PrecisionGauge->Gauge->GetValue()));
    PrecisionGauge->Gauge->SetName(caption, false);
    Stack(this, 2);
    TGui_Window::UpdateSize();
}

bool TKSN_ImportWindow::OkClickedCB(TQOREvent* event)
{
    auto* window = event ? dynamic_cast<TKSN_ImportWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    return window ? window->Accept() : false;
}

bool TKSN_ImportWindow::Accept()
{
    if (!Project) return false;
    TKSN_Project& p = *Project;
    p.WeldOnImport = Checked(WeldBox);
    p.WeldThreshold = PrecisionGauge->Gauge->GetValue();
    p.ImportMaps = Checked(ImportTexturesBox);
    Hide();
    const std::string type = GetFileType();
    if (QORstrcmpi(type.c_str(), "OBJ") == 0) {
        if (AsMorphTargetBox->Shown && Checked(AsMorphTargetBox)) {
            p.ImportMorph(FileName.c_str());
            QOREvents_PushEvent(439);
            return true;
        }
        p.FlipNormalsOnImport = Checked(FlipNormalsBox);
        p.FlipUVsHorizontallyOnImport = Checked(FlipUVsHorizontallyBox);
        p.FlipUVsVerticallyOnImport = Checked(FlipUVsVerticallyBox);
        p.ScaleOnImport = Checked(ScaleObjectBox);
        p.UseInternalNameforGroups = Checked(InternalNamesBox);
        p.ScaleFactor = ScaleField->EditField->GetFloatValue() / 100.0f;
        p.CenterOnImport = Checked(CenterObjectBox);
        QOREvents_PushEvent(371);
        return true;
    }
    if (QORstrcmpi(type.c_str(), "CR2") == 0) {
        p.ImportMorphs = Checked(ImportMorphsBox);
        QOREvents_PushEvent(370);
        return true;
    }
    const bool selSet = QORstrcmpi(type.c_str(), "SelSet") == 0;
    if (selSet || QORstrcmpi(type.c_str(), "MorSet") == 0) {
        const char* question =
            selSet ? "This action will replace your existing selection set.\n\nAre you sure that you would like to "
                     "replace the current selection set?"
                   : "This action will replace your existing morph set.\n\nAre you sure that you would like to "
                     "replace the current morph set?";
        if (!Checked(MergeSetBox) && !OS.MessageYesNo("%s", question)) return false;
        (selSet ? p.MergeSelectionSets : p.MergeMorphSets) = Checked(MergeSetBox);
        QOREvents_PushEvent(selSet ? 391 : 393);
        return true;
    }
    if (QORstrcmpi(type.c_str(), "LaySet") == 0) QOREvents_PushEvent(395);
    return true;
}

// [SECTION] Export window

TKSN_ExportWindow::TKSN_ExportWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    ChooseText = AddText(Lang.GetText(632), 0, 0, nullptr);
    TypeList = new TGui_ListBox(this);
    TypeList->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 437);
    TypeList->AutoSize = false;
    FillTypeList();
    AddSeparator(nullptr, 0, 0);
    WizardButton = AddButton("CR2 Export Wizard", 0, 0, nullptr);
    WizardButton->AutoSize = false;
    WizardButton->SetSize(210, WizardButton->Height);
    WizardButton->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 448);
    NameField = AddEditText("Name", 0);
    NameField->SetSize(210, NameField->Height);
    NameField->EditField->SetText("");
    ChannelField = AddEditText("Channel", 0);
    ChannelField->SetSize(210, ChannelField->Height);
    ChannelField->EditField->SetText("PBMCC_01");
    VerticesOnlyBox = Box(this, Lang.GetText(191), Lang.GetText(192));
    ExportGroupsBox = Box(this, Lang.GetText(193), Lang.GetText(194));
    SeparateFilesBox = Box(this, Lang.GetText(195), Lang.GetText(196));
    InternalNamesBox = Box(this, Lang.GetText(1696), Lang.GetText(1697));
    ChangedGroupsBox = Box(this, Lang.GetText(197), Lang.GetText(198));
    OBJSeparator = AddSeparator(nullptr, 0, 0);
    AutoRigBox = Box(this, Lang.GetText(581), Lang.GetText(582));
    SaveNewOBJBox = Box(this, Lang.GetText(583), Lang.GetText(584));
    CR2Separator = AddSeparator(nullptr, 0, 0);
    FullBodyMorphsBox = Box(this, "Setup Full Body Morphs", nullptr);
    ExportMorphsBox = Box(this, Lang.GetText(640), Lang.GetText(641));
    AddSeparator(nullptr, 0, 0);
    OkButton = AddButton(Lang.GetText(180), 0, 0, nullptr);
    OkButton->ClickEvent = WindowEvent(OkClickedCB, this);
    OkButton->AutoSize = false;
    OkButton->SetSize(75, OkButton->Height);
    MakeNonResizeable();
    SetSize(200, 180);
    SetName(Lang.GetText(5), false);
    Hide();
}

void TKSN_ExportWindow::FillTypeList()
{
    const int count = App && App->exportFileTypeNames ? App->exportFileTypeNames->Count() : 0;
    if (count > 0 && TypeList->GetChildCount() == count) return;
    TypeList->Empty();
    int height = 5;
    for (int i = 0; i < count; ++i) {
        TGui_ListItem* item = TypeList->AddItem((*App->exportFileTypeNames)[i], 0);
        item->UpdateSize();
        height += item->Height + item->MarginY;
    }
    TypeList->SetSize(200, height);
    TypeList->SetIndex(0);
}

std::string TKSN_ExportWindow::GetSelectedType() const
{
    const int i = TypeList->SelectedIndex;
    if (!App || !App->exportFileTypes || i < 0 || i >= App->exportFileTypes->Count()) return std::string();
    const char* type = (*App->exportFileTypes)[i];
    return type ? type : "";
}

bool TKSN_ExportWindow::SelectType(const char* type)
{
    FillTypeList();
    if (!App || !App->exportFileTypes) return false;
    for (int i = 0; i < App->exportFileTypes->Count(); ++i)
        if (QORstrcmpi((*App->exportFileTypes)[i], type) == 0) {
            TypeList->SetIndex(i);
            return true;
        }
    return false;
}

std::string TKSN_ExportWindow::GetChannel() const
{
    const char* text = ChannelField->EditField->GetText();
    return text ? text : "";
}

void TKSN_ExportWindow::Execute()
{
    if (!Project) return;
    FillTypeList();
    TKSN_Project& p = *Project;
    Check(VerticesOnlyBox, p.ExportVerticesOnly);
    Check(ExportGroupsBox, p.ExportGroups);
    Check(SeparateFilesBox, p.ExportGroupsAsSeparateFiles);
    Check(InternalNamesBox, p.UseInternalNameforGroups);
    Check(ChangedGroupsBox, p.ExportChangedGroups);
    Check(AutoRigBox, p.CR2AutoRig);
    Check(SaveNewOBJBox, p.CR2SaveNewOBJ);
    Check(FullBodyMorphsBox, p.CR2SetupFullBodyMorphs);
    Check(ExportMorphsBox, p.ExportMorphs);
    if (CurrentMesh()) {
        if (TKSN_Morph* morph = CurrentMorph()) {
            NameField->EditField->SetText(morph->GetName());
            NameField->Enable();
            ChannelField->Enable();
        } else {
            NameField->EditField->SetText("<no current morph>");
            NameField->Disable();
            ChannelField->Disable();
        }
    }
    Update();
    TGui_Window::Execute();
}

void TKSN_ExportWindow::Update()
{
    for (TGui_Node* n : {static_cast<TGui_Node*>(ChannelField), static_cast<TGui_Node*>(NameField),
                         static_cast<TGui_Node*>(AutoRigBox), static_cast<TGui_Node*>(SaveNewOBJBox),
                         static_cast<TGui_Node*>(CR2Separator)})
        n->Hide();
    TKSN_Mesh* mesh = CurrentMesh();
    const bool fromCR2 = mesh && mesh->OwnerObject && QORstrstri(mesh->OwnerObject->GetName(), ".CR2");
    for (TGui_Node* c = TypeList->FirstChild; c; c = c->Next) {
        const char* text = c->GetName();
        if (!std::strstr(text, "CR2") && !std::strstr(text, "MOR")) continue;
        if (fromCR2) {
            c->Enable();
            c->SetHint("%s", text);
        } else {
            c->Disable();
            c->SetHint("%s", Lang.GetText(405));
        }
    }
    const std::string type = GetSelectedType();
    if (type.empty()) return;
    TGui_Node* objBoxes[] = {VerticesOnlyBox, ExportGroupsBox, SeparateFilesBox, InternalNamesBox, ChangedGroupsBox,
                             OBJSeparator};
    const bool obj = QORstrcmpi(type.c_str(), "OBJ") == 0;
    const bool cr2 = QORstrcmpi(type.c_str(), "CR2") == 0;
    for (TGui_Node* n : objBoxes) ShowIf(n, obj);
    ShowIf(FullBodyMorphsBox, cr2);
    ShowIf(ExportMorphsBox, cr2);
    ShowIf(WizardButton, cr2);
    if (cr2)
        for (TGui_Node* n : {static_cast<TGui_Node*>(AutoRigBox), static_cast<TGui_Node*>(SaveNewOBJBox),
                             static_cast<TGui_Node*>(CR2Separator)})
            n->Show();
    if (QORstrcmpi(type.c_str(), "MOR (PZ2)") == 0) {
        ChannelField->Show();
        NameField->Show();
        OkButton->SetEnabled(CurrentMorph() != nullptr);
    } else {
        // Only a MOR export needs a current morph; every other type can go.
        OkButton->Enable();
    }
    Stack(this, 2);
}

bool TKSN_ExportWindow::OkClickedCB(TQOREvent* event)
{
    auto* window = event ? dynamic_cast<TKSN_ExportWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    return window ? window->Accept() : false;
}

namespace {

// Whether the current mesh's morphs move nothing: all their strengths or all
// their deltas are zero (the mesh's special morphs are not looked at).
void ScanMorphs(TKSN_Mesh* mesh, bool& strengthsZero, bool& deltasZero)
{
    strengthsZero = deltasZero = true;
    if (!mesh) return;
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    if (!morphs) return;
    for (TKSN_Morph* morph : *morphs) {
        if (!morph || morph == mesh->TempMorph || morph == mesh->BaseVerticesMorph) continue;
        if (std::fabs(morph->Strength) > 1e-30f) strengthsZero = false;
        mesh->BeginUsingMorph(morph);
        int vertex = 0;
        float* delta = nullptr;
        for (bool more = morph->GetFirstDelta(&vertex, &delta); more && deltasZero;
             more = morph->GetNextDelta(&vertex, &delta))
            for (int c = 0; c < 3; ++c)
                if (std::fabs(delta[c]) > 1e-30f) deltasZero = false;
        mesh->EndUsingMorph(morph);
    }
}

} // namespace

bool TKSN_ExportWindow::Accept()
{
    const std::string type = GetSelectedType();
    if (type.empty() || !Project || !App) return false;
    TKSN_Project& p = *Project;
    const std::string extension = type.find("(PZ2)") != std::string::npos ? std::string("PZ2") : type;
    FileName.clear();
    char title[512];
    std::snprintf(title, sizeof title, Lang.GetText(631), type.c_str());
    std::string defaultName;
    if (TKSN_Object* current = p.GetCurrentObject()) {
        std::vector<char> name(std::strlen(current->GetName()) + 1);
        std::memcpy(name.data(), current->GetName(), name.size());
        RemoveExtensionFromFileName(name.data());
        defaultName = name.data();
    }
    auto is = [&](const char* name) { return QORstrcmpi(type.c_str(), name) == 0; };
    if (is("Maps")) {
        QOREvents_PushEvent(388);
        Hide();
        return true;
    }
    if (is("CR2")) {
        p.CR2AutoRig = Checked(AutoRigBox);
        p.CR2SaveNewOBJ = Checked(SaveNewOBJBox);
        p.CR2SetupFullBodyMorphs = Checked(FullBodyMorphsBox);
        if (p.CR2AutoRig && !p.CR2SaveNewOBJ &&
            !OS.MessageYesNo(Lang.GetText(1162), Lang.GetText(581), Lang.GetText(583), Lang.GetText(583)))
            return false;
        bool strengthsZero = true, deltasZero = true;
        ScanMorphs(CurrentMesh(), strengthsZero, deltasZero);
        if (p.CR2SaveNewOBJ && !deltasZero && !strengthsZero && !OS.MessageYesNo("%s", Lang.GetText(1164)))
            return false;
        if (p.CR2AutoRig && (deltasZero || strengthsZero) && !OS.MessageYesNo(Lang.GetText(1163), Lang.GetText(581)))
            return false;
    }
    bool ask = true;
    if (is("OBJ")) {
        int highlighted = 0;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(p.GetObjectList());
        if (objects)
            for (TKSN_Object* object : *objects)
                highlighted += object && object->Mesh && object->multiSelected && p.CanAffectObject(object);
        if (highlighted > 1) {
            FileName = MultipleMarker;
            ask = false;
        }
    } else if (is("Sculpted Prim")) {
        FileName = MultipleMarker;
        ask = false;
    }
    if (ask) {
        std::vector<char> path(DialogBufferSize, '\0'), folder(DialogBufferSize, '\0');
        std::snprintf(folder.data(), folder.size(), "%s", App->exportPath);
        if (!OS.ExecuteSaveFileDialog(path.data(), folder.data(), title, extension.c_str(), defaultName.c_str(), true))
            return false;
        std::snprintf(App->exportPath, sizeof App->exportPath, "%s", folder.data());
        FileName = path.data();
    }
    p.ExportMorphs = Checked(ExportMorphsBox);
    p.UseInternalNameforGroups = Checked(InternalNamesBox);
    p.CR2SetupFullBodyMorphs = Checked(FullBodyMorphsBox);
    Hide();
    if (is("OBJ")) {
        p.ExportVerticesOnly = Checked(VerticesOnlyBox);
        p.ExportGroups = Checked(ExportGroupsBox);
        p.ExportGroupsAsSeparateFiles = Checked(SeparateFilesBox);
        p.ExportChangedGroups = Checked(ChangedGroupsBox);
        QOREvents_PushEvent(389);
    } else if (is("Sculpted Prim")) {
        QOREvents_PushEvent(new TQOREvent(KSN_SecondLifeEvents, 0, 0));
    } else if (is("CR2")) {
        QOREvents_PushEvent(401);
    } else if (is("SelSet")) {
        QOREvents_PushEvent(390);
    } else if (is("MorSet")) {
        QOREvents_PushEvent(392);
    } else if (is("LaySet")) {
        QOREvents_PushEvent(394);
    } else if (is("MAT (PZ2)")) {
        QOREvents_PushEvent(399);
    } else if (is("MOR (PZ2)")) {
        if (TKSN_Morph* morph = CurrentMorph()) {
            const char* name = NameField->EditField->GetText();
            morph->SetName("%s", name ? name : "");
            QOREvents_PushEvent(398);
            QOREvents_PushEvent(439);
        }
    }
    return true;
}

TKSN_ImportWindow* KSN_GetImportWindow() { return MainWindow ? MainWindow->ImportWindow : nullptr; }

TKSN_ExportWindow* KSN_GetExportWindow()
{
    return MainWindow ? dynamic_cast<TKSN_ExportWindow*>(MainWindow->ExportWindow) : nullptr;
}

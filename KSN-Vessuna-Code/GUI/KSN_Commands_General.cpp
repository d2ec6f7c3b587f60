#include "KSN_Commands_General.h"

#include "GuiButton.h"
#include "GuiGauge.h"
#include "GuiTheme.h"
#include "GuiWindow.h"
#include "KSN_Application.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Gui_BrushBrowser.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_OptionPanels.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ObjReader.h"
#include "KSN_ObjWeld.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_ToolKinds.h"
#include "KSN_ToolList.h"
#include "KSN_Union.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTimer.h"
#include "QORglut.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

float KSN_BackgroundColor1[3] = {QORglutWigits_DefaultBackgroundColor[0], QORglutWigits_DefaultBackgroundColor[1],
                                 QORglutWigits_DefaultBackgroundColor[2]};
float KSN_BackgroundColor2[3] = {QORglutWigits_DefaultBackgroundColorB[0], QORglutWigits_DefaultBackgroundColorB[1],
                                 QORglutWigits_DefaultBackgroundColorB[2]};
int PaintTimeTest_TotalMS = 0;
int PaintTimeTest_TotalCount = 0;
int KSN_DeformationFrameScope = 0;

void Smooth_TVertex(TKSN_Mesh* mesh, int t, float weight, float* copy, bool* seam)
{
    if (!mesh || t < 0 || t >= mesh->GetTVCount()) return;
    if (mesh->TVertexPolygons.GetRowCount() != mesh->GetTVCount()) mesh->BuildTVertexPolygons();
    const int* row = mesh->TVertexPolygons[t];
    double sum[2] = {0.0, 0.0};
    int count = 0;
    for (int i = 1; i <= row[0]; ++i) {
        const TQORPolygon& poly = mesh->Polygons[row[i]];
        for (int k = 0; k < poly.Count; ++k) {
            if (poly.Points[k].VT != t) continue;
            for (int step : {poly.Count - 1, 1}) {
                const int n = poly.Points[(k + step) % poly.Count].VT;
                if (n < 0 || n == t || seam[n] != seam[t]) continue;
                sum[0] += copy[2 * n];
                sum[1] += copy[2 * n + 1];
                ++count;
            }
        }
    }
    if (count == 0) return;
    for (int a = 0; a < 2; ++a)
        mesh->tVertices[2 * t + a] = float(weight * (sum[a] / count) + (1.0 - weight) * copy[2 * t + a]);
}

namespace {

TKSN_Mesh* CurrentMesh() { return Project ? Project->GetPolyMesh() : nullptr; }

void Push(int command, int int0 = 0)
{
    auto* e = new TQOREvent(KestruneEvents_CommandCB, 0, command);
    e->intParameters[0] = int0;
    QOREvents_PushEvent(e);
}

template <class T>
T* FromID(uint32_t id)
{
    return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

void FlashIfTabChanges(int tab, TGui_Button* button)
{
    if (MainWindow->CurrentTab != tab && button) button->Flash(false);
}

// [SECTION] Tabs

bool ShowManagerTab(TQOREvent* e)
{
    FlashIfTabChanges(1, MainWindow->ManagerTabButton);
    const int which = e->intParameters[0];
    if (Project && (which == 1 || which == 2) && Project->Objects) {
        Project->Objects->collapsed = false;
        Project->ClearManagerSelections(nullptr);
        TKSN_TopTreeGroup* tree = Project->Objects;
        if (which == 1 && Project->MorphUnions) {
            Project->MorphUnions->collapsed = false;
            tree = Project->MorphUnions;
        }
        tree->SelectItem(tree->GetID(), false, false);
    }
    MainWindow->CurrentTab = 1;
    Push(441);
    return true;
}

// [SECTION] Start-up

// The environment object around the scene, when its two files are present.
void LoadEnvironmentObject()
{
    const std::string obj = QORFormat("%sData%cEnvironment.OBJ", OS.MainPath.c_str(), '/');
    const std::string map = QORFormat("%sData%cEnvironmentMap_Grey.BMP", OS.MainPath.c_str(), '/');
    if (!TOS::FileExists(obj.c_str()) || !TOS::FileExists(map.c_str()) || !App) return;
    delete App->environmentMesh;
    auto* mesh = new TKSN_Mesh(nullptr);
    App->environmentMesh = mesh;
    mesh->ForceColorTextureDisplay = true;
    if (LoadObjData(obj.c_str(), mesh, false)) {
        mesh->AfterRawBuild();
        mesh->ImportMapsAfterImportObject();
        mesh->PrepareForPainting();
        mesh->SendColorMapsToOpenGL();
    }
    Push(432);
}

bool StartUp()
{
    if (!App) return false;
    App->splashTimer.Start();
    TKSN_MainWindow& w = *MainWindow;
    if (w.SplashWindow) {
        w.SplashWindow->Execute();
    }
    if (w.ToolWindow) w.ToolWindow->SetPosition(w.Width - w.ToolWindow->Width - w.MarginX, 70);
    w.UpdateSize();
    if (w.SplashWindow) {
        w.SplashWindow->Centre();
        w.SplashWindow->Show();
    }
    w.PrintHint(nullptr, Lang.GetText(176));
    LoadEnvironmentObject();
    App->running = true;
    OS.PrintMessage("%s", Lang.GetText(1695));
    OS.PrintMessage("%s", Lang.GetText(565));
    return true;
}

// [SECTION] Texture-coordinate smoothing

bool SmoothTextureCoordinates()
{
    TKSN_Mesh* mesh = CurrentMesh();
    if (!mesh) return false;
    const int tvCount = mesh->GetTVCount();
    if (tvCount <= 0) return true;
    // A vertex with more than one texture vertex lies on a UV seam: those
    // texture vertices only follow each other, so the seam keeps its shape.
    std::vector<char> seamFlags(size_t(tvCount), 0);
    std::vector<float> weights(size_t(tvCount), 0.0f);
    std::vector<int> first(size_t(mesh->GetVCount()), -1);
    for (int p = 0; p < mesh->GetPCount(); ++p) {
        const TQORPolygon& poly = mesh->Polygons[p];
        for (int k = 0; k < poly.Count; ++k) {
            const int v = poly.Points[k].V, vt = poly.Points[k].VT;
            if (v < 0 || vt < 0 || vt >= tvCount) continue;
            weights[size_t(vt)] = mesh->GetResolvedVSelect(v);
            int& f = first[size_t(v)];
            if (f < 0)
                f = vt;
            else if (f != vt)
                seamFlags[size_t(f)] = seamFlags[size_t(vt)] = 1;
        }
    }
    std::unique_ptr<bool[]> seam(new bool[size_t(tvCount)]);
    for (int t = 0; t < tvCount; ++t) seam[size_t(t)] = seamFlags[size_t(t)] != 0;
    std::vector<float> copy(2 * size_t(tvCount));
    for (int pass = 0; pass < 100; ++pass) {
        std::copy(mesh->tVertices, mesh->tVertices + 2 * tvCount, copy.begin());
        for (int t = 0; t < tvCount; ++t) Smooth_TVertex(mesh, t, weights[size_t(t)], copy.data(), seam.get());
    }
    return true;
}

// [SECTION] Paint timing test

bool PaintTimingTest()
{
    TKSN_Mesh* mesh = CurrentMesh();
    if (!mesh || !App) return false;
    glFinish();
    TQORTimer timer;
    timer.Start();
    Project->BeforePaint(nullptr);
    if (auto* brush = dynamic_cast<TKSN_PaintBrush*>(App->currentTool)) {
        for (float& c : App->paintColor) c = float(QORrandom(255)) / 255.0f;
        const float fx = float(QORrandom(100)) / 50.0f - 1.0f, fy = float(QORrandom(100)) / 50.0f - 1.0f;
        TKSN_Viewport* viewport = Project->GetCurrentViewport();
        brush->OnMouse(mesh, viewport, 0, 0, fx, fy);
        brush->OnMouse(mesh, viewport, 0, 1, fx, fy);
    }
    glFinish();
    timer.Stop();
    PaintTimeTest_TotalMS += int(timer.Read() * 1000.0);
    ++PaintTimeTest_TotalCount;
    QORglutSetWindowTitle(
        QORFormat("Time = %.4f", double(PaintTimeTest_TotalMS) / double(PaintTimeTest_TotalCount)).c_str());
    Project->AfterPaint();
    if (PaintTimeTest_TotalCount <= 99) Push(155);
    return true;
}

// [SECTION] Material-channel edits from the material editor

struct TChannelEdit {
    TQORMaterialChannel* Channel = nullptr;
    TKSN_Mesh* Mesh = nullptr;
};

bool FindChannelEdit(TQOREvent* e, TChannelEdit& edit)
{
    auto* material = FromID<TQORMaterial>(e->idParameters[0]);
    edit.Mesh = FromID<TKSN_Mesh>(e->idParameters[1]);
    const char* name = e->GetStringParameter(0);
    edit.Channel = material && name ? material->GetChannelFromName(name) : nullptr;
    return edit.Channel && edit.Mesh && Project;
}

void InvalidateForChannel(const TChannelEdit& edit)
{
    if (Project->DoesChannelInvalidateSubDRender(edit.Channel))
        edit.Mesh->InvalidateAllInOSpace();
    else
        edit.Mesh->InvalidateAllOctreeNodeDisplayLists();
}

bool ChannelEdit(TQOREvent* e, int command)
{
    TChannelEdit edit;
    if (!FindChannelEdit(e, edit)) return false;
    if (command == 168) {
        float colour[3];
        if (!OS.ExecuteColorDialog(colour, edit.Channel->Color)) return true;
        InvalidateForChannel(edit);
        std::copy(colour, colour + 3, edit.Channel->Color);
        Push(434);
        Push(299);
        return true;
    }
    auto* gauge = dynamic_cast<TGui_Gauge*>(__GetThingyFromID(e->dispatcherID));
    if (!gauge) return false;
    (command == 170 ? edit.Channel->Strength : edit.Channel->Offset) = gauge->GetValue() * 0.01f;
    InvalidateForChannel(edit);
    Push(299);
    if (command == 170) edit.Mesh->UpdateDisplacementMapHelpers();
    return true;
}

// [SECTION] Copying groups and materials between the first two objects

// The first two top-level entries of the object tree (folders first, as the
// Manager tab shows them); a folder or an object without a mesh counts as
// missing, so the command reports it instead of working on the wrong thing.
bool FirstTwoObjects(TKSN_Mesh*& target, TKSN_Mesh*& source)
{
    target = source = nullptr;
    std::vector<TKSN_Thingy*> entries;
    if (Project && Project->Objects) {
        for (TKSN_TreeGroup* g = Project->Objects->GetChild(); g && entries.size() < 2; g = g->GetNext())
            entries.push_back(g);
        if (Project->Objects->items)
            for (TKSN_Thingy* t : *Project->Objects->items)
                if (entries.size() < 2) entries.push_back(t);
    }
    auto meshOf = [](TKSN_Thingy* t) -> TKSN_Mesh* {
        auto* object = dynamic_cast<TKSN_Object*>(t);
        return object ? dynamic_cast<TKSN_Mesh*>(object->Mesh.get()) : nullptr;
    };
    if (!entries.empty()) target = meshOf(entries[0]);
    if (entries.size() > 1) source = meshOf(entries[1]);
    if (!target) {
        OS.Message("%s", "Cannot find the destination object");
        return false;
    }
    if (!source) {
        OS.Message("%s", "Cannot find the source object");
        return false;
    }
    return true;
}

void PolygonCentre(TKSN_Mesh* mesh, int p, float out[3])
{
    out[0] = out[1] = out[2] = 0.0f;
    const TQORPolygon& poly = mesh->Polygons[p];
    if (poly.Count <= 0) return;
    const float* v = mesh->resolvedVertices ? mesh->resolvedVertices : mesh->baseVertices;
    for (int k = 0; k < poly.Count; ++k)
        for (int a = 0; a < 3; ++a) out[a] += v[3 * poly.Points[k].V + a];
    for (int a = 0; a < 3; ++a) out[a] /= float(poly.Count);
}

// The polygon's facing from its corners (Newell's sum), so a mesh whose
// cached normals are stale or missing still copies correctly.
void PolygonNormal(TKSN_Mesh* mesh, int p, float out[3])
{
    out[0] = out[1] = out[2] = 0.0f;
    const TQORPolygon& poly = mesh->Polygons[p];
    const float* v = mesh->resolvedVertices ? mesh->resolvedVertices : mesh->baseVertices;
    for (int k = 0; k < poly.Count; ++k) {
        const float* a = v + 3 * poly.Points[k].V;
        const float* b = v + 3 * poly.Points[(k + 1) % poly.Count].V;
        out[0] += (a[1] - b[1]) * (a[2] + b[2]);
        out[1] += (a[2] - b[2]) * (a[0] + b[0]);
        out[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
}

bool CopyGroups()
{
    TKSN_Mesh *target, *source;
    if (!FirstTwoObjects(target, source)) return false;
    target->Groups2->Empty();
    for (int g = 0; g < source->Groups2->GetItemCount(); ++g) {
        auto* group = new TQORGroup2;
        TQORGroup2* from = source->Groups2->GetItemAs(g);
        group->SetName("%s", from ? from->GetName() : "");
        group->Index = g;
        target->Groups2->AddItem(group);
    }
    const int sourceCount = source->GetPCount();
    std::vector<float> centres(3 * size_t(sourceCount)), normals(3 * size_t(sourceCount));
    for (int p = 0; p < sourceCount; ++p) {
        PolygonCentre(source, p, &centres[3 * size_t(p)]);
        PolygonNormal(source, p, &normals[3 * size_t(p)]);
    }
    for (int p = 0; p < target->GetPCount(); ++p) {
        float c[3], n[3];
        PolygonCentre(target, p, c);
        PolygonNormal(target, p, n);
        target->Polygons[p].Group = -1;
        double best = 1e30;
        for (int s = 0; s < sourceCount; ++s) {
            const float* sc = &centres[3 * size_t(s)];
            const double d = double(sc[0] - c[0]) * (sc[0] - c[0]) + double(sc[1] - c[1]) * (sc[1] - c[1]) +
                             double(sc[2] - c[2]) * (sc[2] - c[2]);
            const float* sn = &normals[3 * size_t(s)];
            if (d < best && sn[0] * n[0] + sn[1] * n[1] + sn[2] * n[2] > 0.0f) {
                best = d;
                target->Polygons[p].Group = source->Polygons[s].Group;
            }
        }
    }
    target->ResolveGroupVertexMaps();
    Push(431);
    return true;
}

bool CopyMaterials()
{
    TKSN_Mesh *target, *source;
    if (!FirstTwoObjects(target, source)) return false;
    if (target->GetPCount() != source->GetPCount()) {
        OS.WarningMessage("%s", "Polygon counts do not match");
        return false;
    }
    target->Materials->Empty();
    for (int m = 0; m < source->Materials->GetItemCount(); ++m) {
        TQORMaterial* from = source->Materials->GetItemAs(m);
        if (!from) continue;
        TQORMaterial* copy = KSN_NewMaterial(from->GetName());
        copy->Copy(from);
        target->Materials->AddItem(copy);
    }
    for (int p = 0; p < target->GetPCount(); ++p) target->Polygons[p].Material = source->Polygons[p].Material;
    return true;
}

// [SECTION] Symmetry switches

bool SymmetrySwitch(TQOREvent* e, int command)
{
    if (!Project || !App) return false;
    bool* variable = command == 125 ? &Project->UseSymmetry
                     : command == 126 ? &App->perVertexSymmetry
                     : command == 127 ? &App->useSymmetry
                                      : &Project->FlipSymmetry;
    const bool before = *variable;
    ProcessLiveBoolEvent(e, variable, 0);
    const bool changed = *variable != before;
    if (changed) {
        Project->OnAllViewportsChanged();
        if (command == 125) {
            OS.PrintMessageNoRepeat("%s", Lang.GetText(*variable ? 399 : 400));
            Project->OnSymmetrySettingsChanged(true);
        } else {
            if (command != 128)
                OS.PrintMessageNoRepeat("%s - %s", Lang.GetText(command == 126 ? 438 : 425),
                                        Lang.GetText(*variable ? 1463 : 1464));
            Project->OnSymmetrySettingsChanged(false);
        }
    }
    if (command == 125 && e->operationMode == 1) {
        if (App->GetToolTypeTab() == 3 && Project->UseSymmetry) Project->CheckAllObjectsSymmetry();
        Push(431);
    }
    return true;
}

// [SECTION] Window size, OpenGL report

bool NewWindowSize(int x, int y)
{
    TKSN_MainWindow& w = *MainWindow;
    int messages = w.MessageWindow ? w.MessageWindow->Height : 50;
    if (w.Height > 0) messages = messages * y / w.Height;
    messages = std::max(messages, 50);
    w.Reshape(x, y);
    if (Project) Project->InvalidateOverlay();
    if (w.MessageWindow) {
        w.MessageWindow->SetSize(w.MessageWindow->Width, messages);
        w.MessageWindow->SetPosition(w.MessageWindow->X, y - messages);
    }
    w.UpdateSize();
    if (Project) Project->OnAllViewportsChanged();
    return true;
}

const char* GLString(GLenum name)
{
    const GLubyte* s = glGetString(name);
    return s ? reinterpret_cast<const char*>(s) : "";
}

bool WriteOpenGLReport()
{
    std::string documents;
    TOS::GetDocumentsPath(documents);
    const std::string path = QORFormat("%sKestrune_OpenGL_Report.txt", documents.c_str());
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        OS.ErrorMessage("Cannot create the file %s", path.c_str());
        return false;
    }
    GLint alpha = 0, clip = 0, texture = 0, viewport[2] = {0, 0};
    GLboolean doubleBuffer = GL_FALSE;
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffer);
    glGetIntegerv(GL_MAX_CLIP_PLANES, &clip);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    std::fprintf(file, "%s\t%s\t%s\t%d\t%d\t%d\t%d\t%d\t%d\n", GLString(GL_VENDOR), GLString(GL_RENDERER),
                 GLString(GL_VERSION), int(alpha), int(doubleBuffer), int(clip), int(texture), int(viewport[0]),
                 int(viewport[1]));
    std::fclose(file);
    OS.Message(Lang.GetText(637), path.c_str());
    return true;
}

// [SECTION] Tools

TKSN_ToolList* ListOf(TKSN_Tool* tool) { return tool ? tool->ToolList : nullptr; }

bool EarlierTool(bool lastNonNavigation)
{
    if (!App || !Project) return false;
    TKSN_Tool* tool = lastNonNavigation ? App->lastNonNavigationTool : App->previousTool;
    if (!tool) return false;
    if (tool == App->currentTool) return true;
    OS.PrintMessageNoRepeat(Lang.GetText(572), tool->GetName());
    Project->ChangeTool(CurrentMesh(), ListOf(tool), tool);
    return true;
}

// [SECTION] Background colours

bool BackgroundColours(int command)
{
    switch (command) {
    case 157: OS.ExecuteColorDialog(KSN_BackgroundColor1, KSN_BackgroundColor1); break;
    case 158: OS.ExecuteColorDialog(KSN_BackgroundColor2, KSN_BackgroundColor2); break;
    case 159:
        if (OS.ExecuteColorDialog(KSN_BackgroundColor1, KSN_BackgroundColor1))
            std::copy(KSN_BackgroundColor1, KSN_BackgroundColor1 + 3, KSN_BackgroundColor2);
        break;
    default:
        std::copy(QORglutWigits_DefaultBackgroundColor, QORglutWigits_DefaultBackgroundColor + 3,
                  KSN_BackgroundColor1);
        std::copy(QORglutWigits_DefaultBackgroundColorB, QORglutWigits_DefaultBackgroundColorB + 3,
                  KSN_BackgroundColor2);
        break;
    }
    if (Project) {
        Project->OnBackgroundChanged();
        Project->OnAllViewportsChanged();
    }
    return true;
}

// [SECTION] Material-channel edits and whitening

bool WhitenMaterials()
{
    TKSN_Mesh* mesh = CurrentMesh();
    if (!mesh) return false;
    if (!OS.MessageYesNoB(false, "%s", "Set the color of every material of the current object to white?"))
        return false;
    OS.PrintMessage("%s", Lang.GetText(1091));
    for (int m = 0; m < mesh->Materials->GetItemCount(); ++m) {
        TQORMaterial* material = mesh->Materials->GetItemAs(m);
        if (!material) break;
        if (TQORMaterialChannel* color = material->GetChannelFromName("Color")) {
            color->Color[0] = color->Color[1] = color->Color[2] = 1.0f;
        }
    }
    return true;
}

// [SECTION] Weld and unweld

bool WeldOrUnweld(bool weld)
{
    if (!Project) return false;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    std::vector<TKSN_Object*> seen;
    int changed = 0;
    // The weld tool's "Precision": decimal digits of the matching tolerance.
    // TODO(stub): the weld tool keeps no parameters yet; its default of 4 digits stands in.
    const float precision = 4.0f;
    for (int i = 0; objects && i < objects->Count(); ++i) {
        TKSN_Object* object = (*objects)[i];
        if (std::find(seen.begin(), seen.end(), object) != seen.end())
            QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_ObjectPtr", "Object",
                              "PARSE_OBJECT_LIST");
        seen.push_back(object);
        auto* mesh = object ? dynamic_cast<TKSN_Mesh*>(object->Mesh.get()) : nullptr;
        if (!mesh || !Project->CanAffectObject(object) || object->GetCustomBooleanProperty("COMPLETELY_LOCKED"))
            continue;
        if (mesh->GetSelectedVertexCount() <= 0) continue;
        if (weld)
            QuickWeld3(mesh, std::pow(10.0f, -precision));
        else
            mesh->Unweld();
        Project->OnShapeChanged(object, true, true);
        ++changed;
    }
    if (changed == 0)
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1540));
    else if (weld)
        OS.PrintMessage("Welded the vertices in (%d) object(s)", changed);
    else
        OS.PrintMessageNoRepeat(Lang.GetText(610), changed);
    return true;
}

} // namespace

bool Kestrune_Events_GeneralCB(TQOREvent* e)
{
    if (!e || !MainWindow) return false;
    TKSN_MainWindow& w = *MainWindow;
    const int command = e->GetCommand();
    switch (command) {
    case 1:
        if (!CurrentMesh()) return false;
        Push(432);
        Push(1);
        return true;
    case 7:
        if (Project) Project->OnShapeChanged(true, true);
        return true;
    case 8: w.SetupEditMenu(); return true;
    case 9: w.CurrentTab = e->intParameters[0]; return true;
    case 10: return ShowManagerTab(e);
    case 11:
        FlashIfTabChanges(0, w.ToolTabButton);
        w.CurrentTab = 0;
        w.UpdateTool();
        return true;
    case 12:
        FlashIfTabChanges(2, w.MapsTabButton);
        w.CurrentTab = 2;
        return true;
    case 14: {
        // A tree's own root is never removed, only folders inside a tree.
        auto* folder = FromID<TKSN_TreeGroup>(e->GetOwnerID());
        if (folder && folder->GetParent()) {
            folder->Unlink();
            delete folder;
        }
        Push(441);
        return true;
    }
    case 117:
        // TODO(stub): meshes keep no current material yet; the command only
        // checks its object and asks the manager to refresh.
        if (!CurrentMesh()) return false;
        Push(434);
        return true;
    case 118:
        if (!CurrentMesh()) return false;
        OS.PrintMessage("%s", Lang.GetText(1090));
        CurrentMesh()->AnalyzeBeforePainting(true);
        return true;
    case 119: KSN_DeformationFrameScope = e->intParameters[0]; return true;
    case 120: return SmoothTextureCoordinates();
    case 121: return StartUp();
    case 122: return CurrentMesh() != nullptr;
    case 123: return CopyGroups();
    case 124: return CopyMaterials();
    case 125:
    case 126:
    case 127:
    case 128: return SymmetrySwitch(e, command);
    case 129:
        if (Project) ProcessLiveBoolEvent(e, &Project->AutoFixSeams, 0);
        return true;
    case 130:
    case 131:
    case 132:
    case 133:
    case 134:
    case 135: KSN_OptionPanelCollapsed[command - 130] = !KSN_OptionPanelCollapsed[command - 130]; return true;
    case 136:
        if (Project) Project->SymmetryPanelCollapsed = !Project->SymmetryPanelCollapsed;
        return true;
    case 137: {
        auto* object = FromID<TKSN_Object>(e->GetOwnerID());
        TKSN_Mesh* mesh = object ? dynamic_cast<TKSN_Mesh*>(object->Mesh.get()) : nullptr;
        if (!mesh) mesh = CurrentMesh();
        if (!mesh || mesh->symmetryAxis == e->GetIndex()) return false;
        mesh->symmetryAxis = e->GetIndex();
        Project->OnSymmetrySettingsChanged(true);
        Push(299);
        return true;
    }
    case 139: {
        auto* thingy = FromID<TKSN_Thingy>(e->GetOwnerID());
        if (!thingy) return true;
        if (!thingy->renamable) {
            OS.WarningMessage(Lang.GetText(946), thingy->GetName());
            return true;
        }
        if (w.RenameWindow)
            w.RenameWindow->Execute(thingy, thingy->GetName(), e->intParameters[0], e->intParameters[1], nullptr,
                                    e->GetStringParameter(0), e->GetStringParameter(1));
        return true;
    }
    case 140: QORglutReshapeWindow(e->GetX(), e->GetY()); return true;
    case 141: return NewWindowSize(e->GetX(), e->GetY());
    case 142: return WriteOpenGLReport();
    case 143:
    case 144:
    case 145: return KSN_CR2ExportChoice(command);
    case 146:
    case 147: KestruneEvents_PostRedisplay(); return true;
    case 148:
        if (Project) Project->Undo();
        KestruneEvents_PostRedisplay();
        return true;
    case 149:
        if (Project) Project->Redo();
        KestruneEvents_PostRedisplay();
        return true;
    case 150:
        if (e->GetStringParameter(0) && Project) Project->SetPaintMode(true);
        return true;
    case 151: w.SetMode(e->intParameters[0]); return true;
    case 152: {
        auto* tool = FromID<TKSN_Tool>(e->GetOwnerID());
        if (!tool || !Project) return false;
        Project->ChangeTool(CurrentMesh(), ListOf(tool), tool);
        if (w.BrushImageLibraryWindow) w.BrushImageLibraryWindow->Hide();
        return true;
    }
    case 153: return EarlierTool(false);
    case 154: return EarlierTool(true);
    case 155: return PaintTimingTest();
    case 157:
    case 158:
    case 159:
    case 160: return BackgroundColours(command);
    case 161: {
        auto* button = dynamic_cast<TGui_Button*>(__GetThingyFromID(e->dispatcherID));
        if (!button) {
            OS.WarningMessage("%s", "Button == NULL in eChangeShowCheckeredBackground");
            return false;
        }
        if (Project) {
            Project->ShowCheckeredBackground = button->Pressed;
            Project->OnBackgroundChanged();
            Project->OnAllViewportsChanged();
        }
        return true;
    }
    case 162:
        if (Project) {
            OS.ExecuteColorDialog(Project->WireframeColor, Project->WireframeColor);
            Project->OnFullSurfaceChanged();
        }
        return true;
    case 164:
        if (Project) Project->StartVertexCullingIfNecessary(false);
        return true;
    case 166:
        if (Project) Project->InvalidateOverlay();
        return true;
    case 168:
    case 170:
    case 171: return ChannelEdit(e, command);
    case 169: return WhitenMaterials();
    case 174:
    case 175: return true;   // the window keeps its state
    case 179: return WeldOrUnweld(true);
    case 180: return WeldOrUnweld(false);
    case 181:
        if (!CurrentMesh()) return false;
        Project->BeforePaint(nullptr);
        Project->AfterPaint();
        return true;
    default:
        // 13, 138, 156, 163, 165, 167, 172, 173, 176-178 do nothing (some act
        // through the redraw table alone).
        return true;
    }
}

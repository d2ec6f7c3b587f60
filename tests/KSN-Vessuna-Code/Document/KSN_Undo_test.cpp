// Undo and redo of every recorded kind of change, the model snapshot, the
// messages, the undo limit, the redo list and the idle pass.
#include "KSN_UndoTestSupport.h"

#include "KSN_MeshBlock.h"
#include "QORMemory.h"

#include <functional>

namespace ksn_undo_test {
namespace {

// [SECTION] Every kind family: record, change, undo, redo

struct TKindCase {
    const char* Name;
    // Records the step (after the document is built) and changes the document.
    std::function<void(TKSN_Object* object, TKSN_Mesh* mesh)> RecordAndChange;
    // Sets the document up for the case before its state is taken; may be empty.
    std::function<void(TKSN_Mesh* mesh)> Prepare = nullptr;
};

TQORMaterialMapSource* FirstMap()
{
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    return (*maps)[0];
}

void ChangeLeftSelection(TKSN_Mesh* mesh)
{
    for (int v = 0; v < mesh->GetVCount(); ++v) mesh->VertexInfo[v].Select = v % 2 ? 0.5f : 0.0f;
    mesh->AfterFullSelection();
}

const TKindCase KindCases[] = {
    {"Selection",
     [](TKSN_Object*, TKSN_Mesh* mesh) {
         Project->BeforeSelect("Select");
         ChangeLeftSelection(mesh);
         Project->AfterSelect();
     }},
    {"SelectionPerPolygon",
     [](TKSN_Object*, TKSN_Mesh* mesh) {
         Project->BeforeSelect("Select");
         for (int p = 0; p < mesh->GetPCount(); ++p) mesh->Polygons[p].Select = p == 2 ? 1.0f : 0.0f;
         mesh->AfterFullSelection();
         Project->AfterSelect();
     },
     [](TKSN_Mesh* mesh) {
         // Working per polygon: the vertex weights follow the polygons'.
         App->SetSelectionType(eSelectionType_Polygon);
         mesh->Polygons[0].Select = 1.0f;
         mesh->AfterFullSelection();
     }},
    // Undoing a deformation makes its morph the current one, so the morph
    // deformed is current before the state is taken, as when a user works on it.
    {"DeformOrdinaryMorph",
     [](TKSN_Object*, TKSN_Mesh* mesh) {
         TKSN_Morph* smile = UndoFixture::FindMorph(mesh, "Smile");
         Project->BeforeDeform("Move", false, false);
         for (int v = 0; v < mesh->GetVCount(); ++v) smile->GetVertex(v)[2] += 0.5f * float(v);
     },
     [](TKSN_Mesh* mesh) { mesh->SetCurrentMorph(UndoFixture::FindMorph(mesh, "Smile")); }},
    {"DeformBaseVertices",
     [](TKSN_Object*, TKSN_Mesh* mesh) {
         App->toolTypeTab = KSN_TOOL_TAB_MODELLING;
         Project->BeforeDeform("Move", false, false);
         for (int i = 0; i < 3 * mesh->GetVCount(); ++i) mesh->baseVertices[i] += 1.0f;
     },
     [](TKSN_Mesh* mesh) { mesh->SetCurrentMorph(mesh->BaseVerticesMorph); }},
    {"Paint",
     [](TKSN_Object*, TKSN_Mesh*) {
         TQORMaterialMapSource* map = FirstMap();
         Project->BeforePaint("Paint");
         TKSN_Undo_Node_Paint_Map* record = Project->GetCurrentPaintUndoNode()->GetMapNode(map, true);
         record->AddBlockFromMap(map, 2, 2, 10, 10);
         record->AddBlockFromMap(map, 8, 8, 10, 10);
         // The stroke covers the two overlapping blocks only.
         for (int y = 2; y < 18; ++y)
             for (int x = 2; x < 18; ++x)
                 if ((x < 12 && y < 12) || (x >= 8 && y >= 8)) map->GetPixels()[(y * map->GetWidth() + x) * 3] = 7;
         Project->AfterPaint();
     }},
    {"MapEdit",
     [](TKSN_Object*, TKSN_Mesh*) {
         TQORMaterialMapSource* map = FirstMap();
         Project->SetupUndoForMapEdit(map, false);
         map->ClearToValue(9);
         map->GetAlphaMask().ClearToValue(3);
     }},
    {"MapAssignments",
     [](TKSN_Object*, TKSN_Mesh* mesh) {
         std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
         Project->SetupUndoForMapAssignments(mesh->GetOwnerObject(), "Assign", false);
         Project->AssignMapToMaterialChannel(mesh, (*maps)[1], mesh->FindMaterial("Skin"), "Color");
         Project->AssignMapToMaterialChannel(mesh, (*maps)[0], mesh->FindMaterial("Eyes"), "Bump");
     }},
    {"MorphStrengths",
     [](TKSN_Object*, TKSN_Mesh*) {
         std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(Project->GetMorphUnionList());
         Project->SetupUndoForMorphMixerValues(nullptr, "Morph Strength(s)");
         (*unions)[0]->Strength = 0.25f;
         (*unions)[0]->CopyParametersToAllItems();
         Project->DeleteLastMorphMixerUndoNodeIfNoChange();
     }},
    {"LayerAssignments",
     [](TKSN_Object* object, TKSN_Mesh* mesh) {
         Project->SetupUndoForLayerAssignments(object, "Layers");
         for (int p = 0; p < mesh->GetPCount(); ++p) mesh->Polygons[p].LayerFlags = 0x10;
     }},
    {"LayerStates",
     [](TKSN_Object*, TKSN_Mesh*) {
         Project->SetupUndoForLayerStates("Layer settings");
         Project->PolygonLayers[3]->SetName("Renamed");
         Project->PolygonLayers[3]->Color[0] = 0.1f;
         Project->PolygonLayers[5]->DisplayFlags = TKSN_Layer::WireFrame;
     },
     [](TKSN_Mesh*) {
         // The file holds the enabled run of layers from the first.
         for (int slot = 1; slot <= 5; ++slot) Project->PolygonLayers[slot]->Enable();
     }},
    {"MaterialAssignments",
     [](TKSN_Object* object, TKSN_Mesh* mesh) {
         Project->SetupUndoForMaterialAssignments(object, "Materials");
         for (int p = 0; p < mesh->GetPCount(); ++p) mesh->Polygons[p].Material = 0;
     }},
    {"MaterialStates",
     [](TKSN_Object* object, TKSN_Mesh* mesh) {
         Project->SetupUndoForMaterialStates(object, "Materials");
         mesh->FindMaterial("Skin")->SetName("Hide");
         mesh->Materials->AddItem(KSN_NewMaterial("Teeth"));
     }},
    {"GroupAssignments",
     [](TKSN_Object* object, TKSN_Mesh* mesh) {
         Project->SetupUndoForGroupAssignments(object, "Groups");
         for (int p = 0; p < mesh->GetPCount(); ++p) mesh->Polygons[p].Group = 1;
     }},
    {"GroupStates",
     [](TKSN_Object* object, TKSN_Mesh* mesh) {
         Project->SetupUndoForGroupStates(object, "Groups");
         mesh->Groups2->GetItemAs(0)->SetName("Skull");
         auto* group = new TQORGroup2;
         group->SetName("Jaw");
         mesh->Groups2->AddItem(group);
     }},
};

// Names the case in test listings (instead of the record's bytes).
void PrintTo(const TKindCase& c, std::ostream* os) { *os << c.Name; }

class UndoKindTest : public UndoFixture, public ::testing::WithParamInterface<TKindCase> {};

TEST_P(UndoKindTest, UndoGivesTheDocumentOfBeforeAndRedoTheDocumentOfAfter)
{
    TKSN_Object* object = MakeObject("Head");
    TKSN_Mesh* mesh = object->Mesh.get();
    TQORMaterialMapSource* skin = MakeMap("Skin.png", 64, 64, true, 100);
    MakeMap("Eyes.png", 32, 32, false, 30);
    Project->AssignMapToMaterialChannel(mesh, skin, mesh->FindMaterial("Skin"), "Color");
    auto* morphUnion = new TKSN_MorphUnion;
    morphUnion->SetName("Smile");
    morphUnion->ItemIDs.Add(FindMorph(mesh, "Smile")->GetID());
    Project->MorphUnions->AddItem(morphUnion);
    Project->SetCurrentObject(object);
    if (GetParam().Prepare) GetParam().Prepare(mesh);
    NextFrame();

    const std::string before = DocumentFingerprint(Project);
    GetParam().RecordAndChange(object, mesh);
    const std::string after = DocumentFingerprint(Project);
    ASSERT_NE(before, after) << "the case must change the document";
    ASSERT_NE(Project->UndoList, nullptr);

    App->toolTypeTab = 3;
    NextFrame();
    Project->Undo();
    EXPECT_EQ(DocumentFingerprint(Project), before);
    EXPECT_EQ(Project->UndoList, nullptr);
    ASSERT_NE(Project->RedoList, nullptr);

    NextFrame();
    Project->Redo();
    EXPECT_EQ(DocumentFingerprint(Project), after);
    EXPECT_EQ(Project->RedoList, nullptr);

    // The redone step is itself undoable again.
    NextFrame();
    Project->Undo();
    EXPECT_EQ(DocumentFingerprint(Project), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UndoKindTest, ::testing::ValuesIn(KindCases),
                         [](const ::testing::TestParamInfo<TKindCase>& info) { return std::string(info.param.Name); });

// [SECTION] Kinds that cannot be redone

class UndoWithoutRedoTest : public UndoFixture {};

TEST_F(UndoWithoutRedoTest, TransformMapCreationAndModellingUndoExactlyAndLeaveNothingToRedo)
{
    struct TCase {
        const char* Name;
        std::function<void(TKSN_Object*, TKSN_Mesh*)> RecordAndChange;
    };
    const TCase cases[] = {
        {"transform",
         [](TKSN_Object*, TKSN_Mesh* mesh) {
             Project->BeforeTransform();
             mesh->Transform_Pos[0] = 4.0f;
             mesh->Transform_Scale[1] = 2.0f;
             mesh->RotationMatrix[1] = 0.5f;
         }},
        {"map creation",
         [](TKSN_Object*, TKSN_Mesh*) {
             TQORMaterialMapSource* map = MakeMap("Wizard.png", 16, 16, false);
             Project->SetupUndoForMapCreation(map, false);
         }},
        {"modelling",
         [](TKSN_Object* object, TKSN_Mesh* mesh) {
             TKSN_Undo_Node_Model* snapshot = Project->SetupUndoForModel(object, "Extrude", false);
             ASSERT_NE(snapshot, nullptr);
             mesh->BeginEditGeometry(snapshot);
             const int v = mesh->GetVCount(), p = mesh->GetPCount();
             mesh->SetVertexCount(v + 2);
             for (int k = 0; k < 2; ++k) {
                 mesh->baseVertices[3 * (v + k)] = 5.0f + float(k);
                 mesh->baseVertices[3 * (v + k) + 1] = 1.0f;
                 mesh->baseVertices[3 * (v + k) + 2] = 2.0f;
             }
             mesh->SetPolygonCount(p + 1);
             TQORPolygon& quad = mesh->Polygons[p];
             quad.SetCount(4);
             const int corners[4] = {0, 1, v + 1, v};
             for (int k = 0; k < 4; ++k) quad.Points[k] = {corners[k], corners[k] < v ? corners[k] : 0};
             quad.Material = 1;
             mesh->EndEditGeometry(true);
             for (TKSN_Morph* morph : {FindMorph(mesh, "Smile"), FindMorph(mesh, "Frown")}) {
                 mesh->BeginUsingMorph(morph);
                 morph->GetVertex(v + 1)[0] = 3.0f;
                 mesh->EndUsingMorph(morph);
             }
             // The idle pass pages the snapshot's polygons out before the undo.
             Project->OptimizeUndoNodes(10.0f);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        delete Project;
        Project = new TKSN_Project();
        TKSN_Object* object = MakeObject("Head");
        // Undo makes the step's object the current one, as the edited object already is.
        Project->SetCurrentObject(object);
        NextFrame();
        const std::string before = DocumentFingerprint(Project);
        c.RecordAndChange(object, object->Mesh.get());
        EXPECT_NE(DocumentFingerprint(Project), before);
        NextFrame();
        Project->Undo();
        EXPECT_EQ(DocumentFingerprint(Project), before);
        EXPECT_EQ(Project->UndoList, nullptr);
        EXPECT_EQ(Project->RedoList, nullptr);
    }
}

TEST_F(UndoWithoutRedoTest, DeformationUndoneOnTheModellingTabRedoesItsOwnMorph)
{
    TKSN_Object* object = MakeObject("Head");
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_Morph* smile = FindMorph(mesh, "Smile");
    // Undo and redo make the step's object and morph the current ones.
    Project->SetCurrentObject(object);
    mesh->SetCurrentMorph(smile);
    Project->SetupUndoForMorph(object, smile, "Move");
    smile->GetVertex(4)[0] = 2.0f;
    const std::string after = DocumentFingerprint(Project);
    // The modelling tab makes the base vertices the current morph.
    App->toolTypeTab = KSN_TOOL_TAB_MODELLING;
    NextFrame();
    Project->Undo();
    EXPECT_FLOAT_EQ(smile->GetVertex(4)[0], 0.0f);
    NextFrame();
    Project->Redo();
    App->toolTypeTab = 3;
    EXPECT_EQ(DocumentFingerprint(Project), after);
}

// [SECTION] Model snapshot

TEST_F(UndoWithoutRedoTest, TriangleSnapshotIsItsCompactRecordAndPagesOutOnce)
{
    TKSN_Undo_Node_Model model;
    model.PolygonCount = 1;
    model.Polygons = static_cast<TQORPolygon*>(QORalloc(sizeof(TQORPolygon)));
    new (model.Polygons) TQORPolygon();
    model.Polygons[0].Init();
    TQORPolygon& triangle = model.Polygons[0];
    triangle.SetCount(3);
    triangle.Material = 2;
    triangle.Group = 5;
    triangle.LayerFlags = 3;
    triangle.Points[0] = {10, 11};
    triangle.Points[1] = {12, 13};
    triangle.Points[2] = {14, 15};

    model.PushDataToVirtualMemory();
    const uint32_t handle = model.PolygonsHandle;
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(model.Polygons, nullptr);
    model.PushDataToVirtualMemory();
    EXPECT_EQ(model.PolygonsHandle, handle);

    // Brought back, the triangle is whole again; a second pop does nothing.
    model.PopDataFromVirtualMemory();
    ASSERT_NE(model.Polygons, nullptr);
    EXPECT_EQ(model.PolygonsHandle, 0u);
    EXPECT_EQ(model.Polygons[0].Material, 2);
    EXPECT_EQ(model.Polygons[0].Group, 5);
    EXPECT_EQ(model.Polygons[0].LayerFlags, 3u);
    ASSERT_EQ(model.Polygons[0].Count, 3);
    EXPECT_EQ(model.Polygons[0].Points[2].VT, 15);
    TQORPolygon* same = model.Polygons;
    model.PopDataFromVirtualMemory();
    EXPECT_EQ(model.Polygons, same);

    // The block in the store holds exactly the 34-byte record.
    model.PushDataToVirtualMemory();
    void* data = nullptr;
    unsigned long size = 0;
    unsigned int id = model.PolygonsHandle;
    QORVirtualMemory_Pop(&data, &size, &id);
    model.PolygonsHandle = 0;
    const unsigned char expected[34] = {0x02, 0x00, 0x05, 0x00, 0x03, 0x00, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00,
                                        0x00, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x0D, 0x00,
                                        0x00, 0x00, 0x0E, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00};
    ASSERT_EQ(size, 34u);
    EXPECT_EQ(std::vector<unsigned char>(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + 34),
              std::vector<unsigned char>(expected, expected + 34));
    QORfree(data);
}

TEST_F(UndoWithoutRedoTest, SnapshotSkipsEmptyMorphsAndSelectionsAndMeshesWithoutTextureVertices)
{
    TKSN_Object* object = MakeObject("Head");
    TKSN_Mesh* mesh = object->Mesh.get();
    auto* empty = new TKSN_Selection(0, mesh->GetID());
    empty->SetName("Empty");
    mesh->SelectionTree->AddItem(empty);

    TKSN_Undo_Node_Model* snapshot = Project->SetupUndoForModel(object, "Weld", false);
    mesh->BeginEditGeometry(snapshot);
    mesh->EndEditGeometry(true);
    // Two selections with values (the empty one gets no node); the two user
    // morphs and the default morph (the system's kept-in-memory morphs none).
    EXPECT_EQ(snapshot->ChangedSelectionList.Count(), 2);
    EXPECT_EQ(snapshot->ChangedMorphList.Count(), 3);
    EXPECT_EQ(snapshot->TextureVertices.Count, 2 * mesh->GetTVCount());
    EXPECT_NE(snapshot->BaseVertices.VirtualMemoryHandle, 0u);
}

// [SECTION] Messages

class UndoMessageTest : public UndoFixture {};

TEST_F(UndoMessageTest, StepHeaderSpeaksForTheWholeStep)
{
    TKSN_Object* object = MakeObject("Head");
    TKSN_Mesh* mesh = object->Mesh.get();
    Project->SetupMainUndoMessage("Smooth");
    for (const char* name : {"Smile", "Frown", "Smile"})
        Project->SetupUndoForMorph(object, FindMorph(mesh, name), nullptr);
    ASSERT_EQ(CountNodes(Project->UndoList), 4);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(CountMessages("print Undoing... Smooth"), 1);
    EXPECT_EQ(CountMessages("print Undoing deformation"), 0);
    // The inverses form one step that redo takes back at once.
    EXPECT_EQ(CountNodes(Project->RedoList), 4);
    NextFrame();
    Project->Redo();
    EXPECT_EQ(CountMessages("print Redoing... Smooth"), 1);
    EXPECT_EQ(CountNodes(Project->UndoList), 4);
}

TEST_F(UndoMessageTest, NodeTextsAndTheirAbsence)
{
    TKSN_Object* object = MakeObject("Head");
    Project->SetupCurrentUndo(object, KSN_UNDO_SELECTION, 0, "no_undo_message", false);
    NextFrame();
    Project->Undo();
    EXPECT_TRUE(Messages.empty()) << Messages.front();

    // Without a message of its own the kind's text is printed, once.
    Project->SetupCurrentUndo(object, KSN_UNDO_SELECTION, 0, nullptr, false);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Messages, std::vector<std::string>{"print Undoing selection"});

    // A brush-tiling node without a message prints nothing.
    Messages.clear();
    Project->EmptyRedoStack();
    Project->SetupUndoRedoForTiling(Project->UndoList, nullptr);
    NextFrame();
    Project->Undo();
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(CountNodes(Project->RedoList), 1);
}

TEST_F(UndoMessageTest, EmptyListExplainsOnceThenFlashes)
{
    App->undoLimit = 0;
    Project->Undo();
    EXPECT_EQ(Messages, std::vector<std::string>{std::string("warning ") + Lang.GetText(1028)});

    App->undoLimit = 1024;
    Messages.clear();
    Project->Undo();
    Project->Undo();
    EXPECT_EQ(Messages,
              (std::vector<std::string>{"warning There is nothing to undo", "flash There is nothing to undo"}));
    Messages.clear();
    Project->Redo();
    EXPECT_EQ(Messages, std::vector<std::string>{"warning There is nothing to redo"});
}

// [SECTION] Node

TEST(UndoNodeTest, LinksMessagesAndValidity)
{
    TKSN_Undo_Node a, b, c;
    a.AddToEnd(&b);
    a.AddToEnd(&c);
    EXPECT_EQ(a.GetLast(), &c);
    EXPECT_EQ(c.Prev, &b);
    b.Unlink();
    EXPECT_EQ(a.Next, &c);
    EXPECT_EQ(c.Prev, &a);
    c.Unlink();
    a.Unlink();   // the only node: the list head is the caller's business
    EXPECT_EQ(a.Next, nullptr);
    a.Next = b.Next = b.Prev = c.Prev = nullptr;

    const std::string longText(300, 'x');
    a.SetMessage(longText.c_str());
    EXPECT_EQ(std::string(a.Message), longText.substr(0, 255));
    EXPECT_EQ(a.ObjectID, KSN_UNDO_NO_OBJECT);

    for (int kind : {1000, 1005, 1006, 1008, 1010, 1013, 1015}) {
        a.Kind = kind;
        EXPECT_TRUE(a.IsStillValid()) << kind;
    }
    for (int kind : {1001, 1002, 1004, 1007, 1011, 1014, 1016, 1017, 1018, 1019}) {
        a.Kind = kind;
        EXPECT_FALSE(a.IsStillValid()) << kind;
    }
}

TEST_F(UndoWithoutRedoTest, AListThatRunsIntoItselfIsRefusedNotWalkedForever)
{
    for (int length : {1, 2, 3, 6}) {
        SCOPED_TRACE(length);
        for (int i = 0; i < length; ++i) Project->SetupCurrentUndo(nullptr, KSN_UNDO_HEADER, 0, "Step", false);
        TKSN_Undo_Node* last = Project->UndoList->GetLast();
        last->Next = Project->UndoList;   // damaged: the last node leads back to the first
        EXPECT_THROW(Project->AddUndoRedoNode(Project->UndoList, new TKSN_Undo_Node), std::logic_error);
        Project->Undo();   // reported, never hanging
        last->Next = nullptr;
        EXPECT_EQ(CountNodes(Project->UndoList), length);
        Project->EmptyUndoStack();
    }
}

// [SECTION] Undo limit

class UndoLimitTest : public UndoFixture {};

TEST_F(UndoLimitTest, NewestStepStaysWhateverItsSize)
{
    EXPECT_EQ(TKSN_Project::GetUndoLimitBytes(4096), 4294967296ull);
    EXPECT_EQ(TKSN_Project::GetUndoLimitBytes(1), 1048576ull);

    App->undoLimit = 0;
    TKSN_Object* small = MakeObject("Small");
    EXPECT_EQ(Project->SetupCurrentUndo(small, KSN_UNDO_SELECTION, 0, "Select", false), nullptr);
    EXPECT_EQ(Project->UndoList, nullptr);
    EXPECT_EQ(Project->RedoList, nullptr);

    // 786,432 vertices: 3 MB of selection values.
    App->undoLimit = 1;
    TKSN_Object* big = Project->CreateNewObject();
    auto* mesh = new TKSN_Mesh(big);
    big->Mesh.reset(mesh);
    mesh->Create(786432, 0, 786432, 0);
    Project->BeforeSelect("First");
    ASSERT_EQ(CountNodes(Project->UndoList), 2);   // both objects
    EXPECT_GE(Project->UndoList->GetLast()->Size, 3 * 1048576);
    NextFrame();
    Project->BeforeSelect("Second");
    ASSERT_EQ(CountNodes(Project->UndoList), 2);
    EXPECT_STREQ(Project->UndoList->Message, "Second");
}

TEST_F(UndoLimitTest, ManyStepsStayWithinTheLimitAndTheStoreStopsGrowing)
{
    App->undoLimit = 1;
    TKSN_Object* object = Project->CreateNewObject();
    auto* mesh = new TKSN_Mesh(object);
    object->Mesh.reset(mesh);
    mesh->Create(100000, 0, 100000, 0);

    auto storeBytes = [this] {
        uintmax_t total = 0;
        for (const auto& entry : fs::directory_iterator(Store.Folder))
            if (entry.is_regular_file()) total += entry.file_size();
        return total;
    };
    const uint64_t limit = TKSN_Project::GetUndoLimitBytes(1);
    uintmax_t settled = 0;
    for (int step = 0; step < 10000; ++step) {
        NextFrame();
        mesh->VertexInfo[step % 100000].Select = 1.0f;
        Project->BeforeSelect("Select");
        uint64_t total = 0;
        for (TKSN_Undo_Node* node = Project->UndoList; node; node = node->Next) total += uint64_t(node->Size);
        ASSERT_LE(total, limit + uint64_t(Project->UndoList->GetLast()->Size)) << step;
        Project->OptimizeUndoNodes(1.0f);
        QORVirtualMemory_Checkup();
        if (step == 2000) settled = storeBytes();
    }
    EXPECT_GT(settled, 0u);
    EXPECT_LE(storeBytes(), settled + 2 * 400000u);
}

// [SECTION] Redo list

class RedoListTest : public UndoFixture {};

TEST_F(RedoListTest, NewChangesEmptyItAndOneFrameMakesOneStep)
{
    TKSN_Object* object = MakeObject("Head");
    TKSN_Mesh* mesh = object->Mesh.get();
    Project->SetCurrentObject(object);   // undo makes the step's object current
    const std::string before = DocumentFingerprint(Project);
    Project->BeforeSelect("One");
    ChangeLeftSelection(mesh);
    NextFrame();
    Project->BeforeSelect("Two");
    mesh->ClearSelection();
    NextFrame();

    Project->Undo();
    Project->Undo();   // the same frame: one redo step
    EXPECT_EQ(CountNodes(Project->UndoList), 0);
    NextFrame();
    Project->Redo();
    EXPECT_EQ(Project->RedoList, nullptr);
    EXPECT_EQ(CountNodes(Project->UndoList), 2);

    // Redone together, the two steps are one step of the undo list now.
    NextFrame();
    Project->Undo();
    EXPECT_EQ(DocumentFingerprint(Project), before);
    ASSERT_NE(Project->RedoList, nullptr);
    NextFrame();
    Project->BeforeSelect("Three");
    EXPECT_EQ(Project->RedoList, nullptr);
}

TEST_F(RedoListTest, UndoingAModellingStepEndsRedoOnlyForWhatCameAfterIt)
{
    TKSN_Object* object = MakeObject("Head");
    TKSN_Mesh* mesh = object->Mesh.get();
    auto model = [&](bool keepRedo) {
        TKSN_Undo_Node_Model* snapshot = Project->SetupUndoForModel(object, "Model", keepRedo);
        mesh->BeginEditGeometry(snapshot);
        mesh->EndEditGeometry(true);
    };

    // Recorded with keepRedo false: undoing it leaves nothing to redo, also
    // not the selection step undone before it.
    Project->BeforeSelect("Select");
    NextFrame();
    model(false);
    NextFrame();
    Project->BeforeSelect("Select again");
    NextFrame();
    Project->Undo();
    ASSERT_NE(Project->RedoList, nullptr);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Project->RedoList, nullptr);

    // Recorded with keepRedo true after an undo: the older redo step stays.
    Project->EmptyUndoStack();
    NextFrame();
    Project->BeforeSelect("Select");
    NextFrame();
    Project->Undo();
    ASSERT_EQ(CountNodes(Project->RedoList), 1);
    NextFrame();
    model(true);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(CountNodes(Project->RedoList), 1);
}

TEST_F(RedoListTest, MorphStrengthClickThatChangesNothingLeavesBothLists)
{
    TKSN_Object* object = MakeObject("Head");
    auto* morphUnion = new TKSN_MorphUnion;
    morphUnion->SetName("Smile");
    morphUnion->ItemIDs.Add(FindMorph(object->Mesh.get(), "Smile")->GetID());
    Project->MorphUnions->AddItem(morphUnion);

    Project->BeforeSelect("Select");
    NextFrame();
    Project->Undo();
    ASSERT_EQ(CountNodes(Project->RedoList), 1);
    NextFrame();

    Project->SetupUndoForMorphMixerValues(nullptr, "Morph Strength(s)");
    Project->DeleteLastMorphMixerUndoNodeIfNoChange();
    EXPECT_EQ(Project->UndoList, nullptr);
    EXPECT_EQ(CountNodes(Project->RedoList), 1);

    Project->SetupUndoForMorphMixerValues(nullptr, "Morph Strength(s)");
    morphUnion->Strength = 0.5f;
    Project->DeleteLastMorphMixerUndoNodeIfNoChange();
    ASSERT_EQ(CountNodes(Project->UndoList), 1);
    EXPECT_EQ(Project->UndoList->Kind, KSN_UNDO_MORPH_STRENGTHS);
    EXPECT_EQ(Project->RedoList, nullptr);
}

// [SECTION] Idle pass

class UndoIdleTest : public UndoFixture {};

TEST_F(UndoIdleTest, SelectionIsCompressedFirstAndPagedOutSecond)
{
    MakeObject("Head");
    Project->BeforeSelect("Select");
    TKSN_Undo_Node* node = Project->UndoList;
    auto* selection = dynamic_cast<TKSN_Selection*>(node->Payload);
    ASSERT_NE(selection, nullptr);
    selection->IsInUse("test");
    Project->OptimizeUndoNodes(10.0f);
    EXPECT_TRUE(node->SelectionCompressed);
    EXPECT_FALSE(node->Optimized);
    EXPECT_FALSE(selection->IsPagedOut());
    Project->OptimizeUndoNodes(10.0f);
    EXPECT_TRUE(node->Optimized);
    EXPECT_TRUE(selection->IsPagedOut());
}

TEST_F(UndoIdleTest, DeletedObjectsAndMapsLeaveTheirNodes)
{
    TKSN_Object* a = MakeObject("A");
    TKSN_Object* b = MakeObject("B");
    Project->SetupCurrentUndo(a, KSN_UNDO_SELECTION, 0, "A", false);
    Project->SetupCurrentUndo(a, KSN_UNDO_LAYER_ASSIGNMENTS, 0, "A", false);
    NextFrame();
    Project->SetupCurrentUndo(b, KSN_UNDO_SELECTION, 0, "B", false);
    TQORMaterialMapSource* first = MakeMap("One.png", 16, 16, false);
    TQORMaterialMapSource* second = MakeMap("Two.png", 16, 16, false);
    Project->BeforePaint("Paint");
    TKSN_Undo_Node_Paint* paint = Project->GetCurrentPaintUndoNode();
    paint->GetMapNode(first, true)->AddBlockFromMap(first, 0, 0, 4, 4);
    paint->GetMapNode(second, true)->AddBlockFromMap(second, 0, 0, 4, 4);
    EXPECT_EQ(paint->GetMapNode(MakeMap("Three.png", 4, 4, false), false), nullptr);
    EXPECT_EQ(paint->Maps.Count(), 2);

    ASSERT_TRUE(Project->DeleteThingy(Project->Objects, a));
    ASSERT_TRUE(Project->DeleteThingy(Project->Maps, first));
    Project->OptimizeUndoNodes(10.0f);
    ASSERT_EQ(CountNodes(Project->UndoList), 2);
    EXPECT_STREQ(Project->UndoList->Message, "B");
    ASSERT_EQ(paint->Maps.Count(), 1);
    EXPECT_EQ(paint->Maps[0]->MapSourceID, second->GetID());

    ASSERT_TRUE(Project->DeleteThingy(Project->Maps, second));
    Project->OptimizeUndoNodes(10.0f);
    EXPECT_EQ(CountNodes(Project->UndoList), 1);
}

TEST_F(UndoIdleTest, UndoSkipsTheNodeOfADeletedObject)
{
    TKSN_Object* a = MakeObject("A");
    TKSN_Object* b = MakeObject("B");
    TKSN_Mesh* meshB = b->Mesh.get();
    Project->SetupUndoForMorph(a, FindMorph(a->Mesh.get(), "Smile"), "Move");
    Project->SetupUndoForMorph(b, FindMorph(meshB, "Smile"), "Move");
    FindMorph(meshB, "Smile")->GetVertex(0)[0] = 9.0f;
    ASSERT_TRUE(Project->DeleteThingy(Project->Objects, a));
    NextFrame();
    Project->Undo();
    EXPECT_FLOAT_EQ(FindMorph(meshB, "Smile")->GetVertex(0)[0], 0.0f);
    EXPECT_EQ(Project->UndoList, nullptr);
    EXPECT_EQ(CountNodes(Project->RedoList), 1);
}

} // namespace
} // namespace ksn_undo_test

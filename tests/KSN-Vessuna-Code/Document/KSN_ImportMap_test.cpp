// Importing image files as maps, replacing a map's picture, importing into
// the current map layer, and the channel hints.
#include "KSN_UndoTestSupport.h"

namespace ksn_undo_test {
namespace {

class ImportMapTest : public UndoFixture {
protected:
    static int MapCount()
    {
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
        return maps->Count();
    }
    static TKSN_LayerGroup* LayerRoot() { return Project->MapLayers->GetRootLayerGroup(); }
};

TEST_F(ImportMapTest, SecondImportOfOneFileGetsANumberedNameAndAWarning)
{
    const std::string path = WritePng("Skin.png", 8, 4, false);
    TQORMaterialMapSource* first = Project->ImportMap(path.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->GetName(), "Skin.png");
    EXPECT_STREQ(first->GetMapFileName(), path.c_str());
    EXPECT_EQ(first->GetWidth(), 8);
    EXPECT_TRUE(Messages.empty());

    TQORMaterialMapSource* second = Project->ImportMap(path.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->GetName(), "Skin (1).png");
    EXPECT_EQ(Messages, std::vector<std::string>{"warning The imported map \"Skin.png\" was renamed to "
                                                 "\"Skin (1).png\" since a map by that name already exists in "
                                                 "the project."});
    EXPECT_EQ(MapCount(), 2);
}

TEST_F(ImportMapTest, UnreadableFilesChangeNothing)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 16, 16, false);
    const std::string before = DocumentFingerprint(Project);
    const std::string broken = (Root / "files" / "Broken.png").string();
    std::ofstream(broken) << "not a picture";
    for (const std::string& path : {broken, (Root / "files" / "Missing.png").string()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Project->ImportMap(path.c_str()), nullptr);
        EXPECT_FALSE(Project->ReplaceMap(map, path.c_str()));
        EXPECT_EQ(DocumentFingerprint(Project), before);
    }
    EXPECT_EQ(MapCount(), 1);
}

TEST_F(ImportMapTest, ReplaceSetsTheAspectAndKeepsTheName)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 16, 16, false);
    ASSERT_TRUE(Project->ReplaceMap(map, WritePng("Wide.png", 2048, 1024, false).c_str()));
    EXPECT_EQ(map->GetWidth(), 2048);
    EXPECT_FLOAT_EQ(map->GetAspect(), 2.0f);
    EXPECT_STREQ(map->GetName(), "Skin.png");
    EXPECT_EQ(Project->UndoList, nullptr);
}

TEST_F(ImportMapTest, TransparencyWithoutMapLayersAsksForALayer)
{
    struct TCase {
        const char* Name;
        bool Transparent;
        TOSBoxAnswer Answer;
        int Boxes;
        bool Layer;
    };
    const TCase cases[] = {
        {"opaque asks nothing", false, TOSBoxAnswer::Yes, 0, false},
        {"yes makes the background layer", true, TOSBoxAnswer::Yes, 1, true},
        {"no drops the alpha", true, TOSBoxAnswer::No, 1, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        delete Project;
        Project = new TKSN_Project();
        Provider.Boxes.clear();
        Provider.Answers = {c.Answer};
        TQORMaterialMapSource* map = Project->ImportMap(WritePng("Skin.png", 8, 8, c.Transparent).c_str());
        ASSERT_NE(map, nullptr);
        ASSERT_EQ(int(Provider.Boxes.size()), c.Boxes);
        if (c.Boxes) {
            EXPECT_EQ(Provider.Boxes[0].Text, Lang.GetText(1643));
        }
        const std::vector<TKSN_LayerDefinition*> layers = LayerRoot()->GetAllLayers();
        ASSERT_EQ(layers.size(), c.Layer ? 1u : 0u);
        if (!c.Layer) {
            EXPECT_FALSE(map->HasAlphaMask());
            continue;
        }
        EXPECT_STREQ(layers[0]->GetName(), "Background");
        EXPECT_EQ(LayerRoot()->GetCurrentLayerID(), layers[0]->GetID());
        TQORMaterialMapSource* layerMap = map->GetMapLayer(layers[0], false);
        ASSERT_NE(layerMap, nullptr);
        ASSERT_TRUE(layerMap->HasAlphaMask());
        // The left half of the picture is half transparent.
        EXPECT_EQ(layerMap->GetAlphaMaskPixels()[0], 128);
        EXPECT_EQ(layerMap->GetAlphaMaskPixels()[7], 255);
        EXPECT_EQ(std::vector<unsigned char>(layerMap->GetPixels(), layerMap->GetPixels() + 8 * 8 * 3),
                  std::vector<unsigned char>(map->GetPixels(), map->GetPixels() + 8 * 8 * 3));
    }
}

TEST_F(ImportMapTest, ImportIntoTheCurrentLayerResizesAndIsUndoable)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 16, 16, false);
    TKSN_LayerDefinition* layer = LayerRoot()->CreateNewLayer();
    layer->SetName("Paint");
    LayerRoot()->SetCurrentLayer(layer);
    TQORMaterialMapSource* layerMap = map->GetMapLayer(layer, true);
    ASSERT_NE(layerMap, nullptr);
    layerMap->ClearToValue(33);
    NextFrame();
    const std::string before = DocumentFingerprint(Project);

    // Unreadable: nothing changes, not even the name.
    EXPECT_EQ(Project->ImportMapIntoCurrentLayer(map, (Root / "files" / "Missing.png").c_str()), nullptr);
    EXPECT_STREQ(map->GetName(), "Skin.png");

    ASSERT_EQ(Project->ImportMapIntoCurrentLayer(map, WritePng("Skin.png", 40, 20, false).c_str()), map);
    EXPECT_EQ(layerMap->GetWidth(), 16);
    EXPECT_EQ(layerMap->GetHeight(), 16);
    EXPECT_NE(layerMap->GetPixels()[0], 33);
    // The file bears the map's own name, which stays.
    EXPECT_STREQ(map->GetName(), "Skin.png");

    NextFrame();
    Project->Undo();
    EXPECT_EQ(layerMap->GetPixels()[0], 33);
    // The layer map is as it was (the map keeps the file name it was given).
    auto layerBlock = [](const std::string& text) {
        // From the block's "layer" line to the brace that closes it, at the same indent.
        const size_t key = text.find("\tlayer\tPaint\n");
        if (key == std::string::npos) return std::string();
        const size_t start = text.rfind('\n', key) + 1;
        const std::string close = "\n" + text.substr(start, key + 1 - start) + "}\n";
        const size_t end = text.find(close, key);
        return end == std::string::npos ? std::string() : text.substr(start, end + close.size() - start);
    };
    EXPECT_EQ(layerBlock(DocumentFingerprint(Project)), layerBlock(before));
    EXPECT_FALSE(layerBlock(before).empty());
    EXPECT_EQ(std::vector<unsigned char>(layerMap->GetPixels(), layerMap->GetPixels() + 16 * 16 * 3),
              std::vector<unsigned char>(16 * 16 * 3, 33));

    // Without any map layer there is nothing to import into.
    delete Project;
    Project = new TKSN_Project();
    TQORMaterialMapSource* plain = MakeMap("Skin.png", 16, 16, false);
    EXPECT_EQ(Project->ImportMapIntoCurrentLayer(plain, WritePng("Other.png", 4, 4, false).c_str()), nullptr);
}

TEST_F(ImportMapTest, ChannelHints)
{
    char hint[1024];
    Project->GetChannelHint(hint, "glossy");
    EXPECT_EQ(std::string(hint), std::string("glossy\n") + Lang.GetText(597));
    Project->GetChannelHint(hint, "Reflection");
    EXPECT_EQ(std::string(hint), std::string("Reflection\n") + Lang.GetText(597));
    Project->GetChannelHint(hint, "color");
    EXPECT_EQ(std::string(hint), Lang.GetText(588));
    // A long channel name is cut to the buffer, never written past it.
    char small[16];
    Project->GetChannelHint(small, std::string(100, 'x').c_str(), int(sizeof(small)));
    EXPECT_EQ(std::string(small), std::string(15, 'x'));
}

TEST_F(ImportMapTest, TheObjectImporterBindsMapFilesThroughTheProject)
{
    // The project registers its services in the mesh's painting hooks.
    TKSN_Project::RegisterMapHooks();
    const std::string path = WritePng("Face.png", 4, 4, false);
    for (bool importMaps : {false, true}) {
        SCOPED_TRACE(importMaps);
        delete Project;
        Project = new TKSN_Project();
        Project->ImportMaps = importMaps;
        TKSN_Object* object = MakeObject("Head");
        TKSN_Mesh* mesh = object->Mesh.get();
        TQORMaterialChannel* channel = mesh->FindMaterial("Skin")->GetChannelFromName("Color");
        channel->SetMapFileName(path.c_str());
        mesh->ImportMapsAfterImportObject();
        EXPECT_EQ(MapCount(), importMaps ? 1 : 0);
        EXPECT_EQ(ChannelMapName(channel->GetMapID()), importMaps ? "Face.png" : "-");
    }
}

} // namespace
} // namespace ksn_undo_test

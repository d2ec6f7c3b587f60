// Layer definitions, layer data sets and layer groups: lock and hide, strength
// limits, the four-way link of layer data, dropping dead data, layer order
// (sub-folders included), the current layer and the "mapLayers" block.
#include "KSN_Layer.h"
#include "KSN_MapLayer.h"

#include "QORTextBlock.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Layer data that tells when it is destroyed.
struct TProbeData : TKSN_LayerData {
    explicit TProbeData(int* deaths = nullptr) : deaths(deaths) {}
    ~TProbeData() override
    {
        if (deaths)
            ++*deaths;
    }
    int* deaths;
};

struct TProbeSet : TKSN_LayerDataSet {};

// A plain layer group that makes map layers, so that no map hook is involved.
struct TPlainGroup : TKSN_LayerGroup {
    TKSN_LayerDefinition* CreateNewLayerRaw() override { return new TKSN_MapLayer; }
};

TKSN_LayerDefinition* AddLayer(TKSN_LayerGroup* group, const char* name)
{
    TKSN_LayerDefinition* layer = group->CreateNewLayer();
    layer->SetName("%s", name);
    return layer;
}

template <class Group>
Group* AddFolder(TKSN_LayerGroup* parent, const char* name)
{
    auto* folder = new Group;
    folder->SetName("%s", name);
    parent->LinkChild(folder);
    return folder;
}

// The layer names of a set's ordered data, bottom layer first.
std::vector<std::string> OrderedNames(TKSN_LayerDataSet& set)
{
    std::vector<std::string> names;
    TKSN_LayerOrderIterator begin, end;
    set.GetOrderedLayerDataIterators(begin, end);
    for (auto it = begin; it != end; ++it) {
        auto* data = dynamic_cast<TKSN_LayerData*>(__GetThingyFromID(it->second));
        auto* definition = dynamic_cast<TKSN_LayerDefinition*>(__GetThingyFromID(data->GetDefinitionID()));
        names.push_back(definition->GetName());
    }
    return names;
}

int CountRaw(const TKSN_LayerDataSet& set)
{
    TKSN_LayerIDIterator begin, end;
    set.GetRawLayerDataIterators(begin, end);
    return int(std::distance(begin, end));
}

// Records what the map hooks were asked to do; restores them afterwards.
struct THookRecorder {
    static inline std::vector<uint32_t> invalidated;
    static inline std::vector<uint32_t> takenOver;
    THookRecorder()
    {
        invalidated.clear();
        takenOver.clear();
        KSN_MapSourceHooks.InvalidateResolvedMap = [](TKSN_Thingy* t) { invalidated.push_back(t->GetID()); };
        KSN_MapSourceHooks.TakeOverFirstLayer = [](TKSN_MapLayer* l) { takenOver.push_back(l->GetID()); };
    }
    ~THookRecorder() { KSN_MapSourceHooks = {}; }
};

} // namespace

TEST(LayerDefinition, LockAndHideExcludeEachOther)
{
    struct Case {
        const char* what;
        bool lockedBefore, hiddenBefore;
        void (TKSN_LayerDefinition::*op)();
        bool lockedAfter, hiddenAfter;
    };
    const Case cases[] = {
        {"Lock on a hidden layer shows it", false, true, &TKSN_LayerDefinition::Lock, true, false},
        {"Hide on a locked layer unlocks it", true, false, &TKSN_LayerDefinition::Hide, false, true},
        {"Unlock leaves hidden alone", true, false, &TKSN_LayerDefinition::Unlock, false, false},
        {"Unhide leaves locked alone", true, false, &TKSN_LayerDefinition::Unhide, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TKSN_LayerDefinition d;
        if (c.lockedBefore)
            d.Lock();
        if (c.hiddenBefore)
            d.Hide();
        (d.*c.op)();
        EXPECT_EQ(d.IsLocked(), c.lockedAfter);
        EXPECT_EQ(d.IsHidden(), c.hiddenAfter);
    }
}

TEST(LayerDefinition, StrengthStaysWithinItsLimits)
{
    const struct { float in, out; } cases[] = {
        {2.0f, 1.0f}, {-1.0f, 0.0f}, {0.25f, 0.25f}, {1.0f, 1.0f},
        {std::numeric_limits<float>::infinity(), 1.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        TKSN_LayerDefinition d;
        d.SetStrength(c.in);
        EXPECT_EQ(d.GetStrength(), c.out);
    }
}

TEST(LayerDefinition, CopySettingsTakesEverythingButLinksAndOrder)
{
    TKSN_MapLayer from, to;
    from.SetName("Freckles");
    from.SetStrength(0.5f);
    from.SetCurrentBlendType(7);
    from.Hide();
    from.AddLayerDataSet(1234);
    to.SetDisplayIndex(3);

    to.CopySettings(&from);

    char name[16];
    to.GetCurrentBlendTypeName(name);
    EXPECT_STREQ(to.GetName(), "Freckles");
    EXPECT_EQ(to.GetStrength(), 0.5f);
    EXPECT_STREQ(name, "Dodge");
    EXPECT_TRUE(to.IsHidden());
    EXPECT_EQ(to.GetDisplayIndex(), 3);
    TKSN_LayerIDIterator begin, end;
    to.GetLayerDataSetIterators(begin, end);
    EXPECT_EQ(begin, end);
}

TEST(LayerDataSet, LinkingRemovingAndDestroyingKeepOwnershipStraight)
{
    int deaths = 0;
    TKSN_LayerDefinition d;
    auto set = std::make_unique<TProbeSet>();
    auto* data = new TProbeData(&deaths);
    d.AddLayerDataForSet(set.get(), data);

    // The four-way link.
    EXPECT_EQ(data->GetOwnerID(), set->GetID());
    EXPECT_EQ(data->GetDefinitionID(), d.GetID());
    TKSN_LayerIDIterator begin, end;
    set->GetRawLayerDataIterators(begin, end);
    ASSERT_EQ(std::distance(begin, end), 1);
    EXPECT_EQ(begin->first, d.GetID());
    EXPECT_EQ(begin->second, data->GetID());
    d.GetLayerDataSetIterators(begin, end);
    ASSERT_EQ(std::distance(begin, end), 1);
    EXPECT_EQ(begin->first, set->GetID());

    // An ID that names no set stays recorded and deletes nothing.
    TKSN_LayerDefinition notASet;
    d.AddLayerDataSet(notASet.GetID());
    d.RemoveLayerDataSet(notASet.GetID());
    d.GetLayerDataSetIterators(begin, end);
    EXPECT_EQ(std::distance(begin, end), 2);

    // Detaching the set deletes its data for the layer.
    d.RemoveLayerDataSet(set->GetID());
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(CountRaw(*set), 0);

    // A set deletes the data it still holds when it goes.
    d.AddLayerDataForSet(set.get(), new TProbeData(&deaths));
    set.reset();
    EXPECT_EQ(deaths, 2);
}

TEST(LayerDataSet, DataOfADeletedDefinitionGoesAtTheNextClean)
{
    int deaths = 0;
    TProbeSet set;
    auto* gone = new TKSN_LayerDefinition;
    TKSN_LayerDefinition kept;
    gone->AddLayerDataForSet(&set, new TProbeData(&deaths));
    kept.AddLayerDataForSet(&set, new TProbeData(&deaths));

    delete gone;
    EXPECT_EQ(CountRaw(set), 2);   // still listed until the set cleans up
    EXPECT_EQ(deaths, 0);

    TKSN_LayerOrderIterator begin, end;
    set.GetOrderedLayerDataIterators(begin, end);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(CountRaw(set), 1);
    EXPECT_EQ(std::distance(begin, end), 1);
}

TEST(LayerDataSet, OrderedDataRunsBottomUpAlsoThroughSubFolders)
{
    TPlainGroup top;
    // Made out of layer order on purpose: folder layers first.
    auto* folder = AddFolder<TPlainGroup>(&top, "Folder");
    TKSN_LayerDefinition* inFolder = AddLayer(folder, "InFolder");
    auto* deeper = AddFolder<TPlainGroup>(folder, "Deeper");
    TKSN_LayerDefinition* deepest = AddLayer(deeper, "Deepest");
    TKSN_LayerDefinition* bottom = AddLayer(&top, "Bottom");
    TKSN_LayerDefinition* middle = AddLayer(&top, "Middle");

    // Root items keep their list positions; folder layers follow, all distinct.
    EXPECT_EQ(bottom->GetDisplayIndex(), 0);
    EXPECT_EQ(middle->GetDisplayIndex(), 1);
    EXPECT_EQ(inFolder->GetDisplayIndex(), 2);
    EXPECT_EQ(deepest->GetDisplayIndex(), 3);
    EXPECT_EQ(deepest->GetOwnerGroupID(), top.GetID());

    TProbeSet set;
    for (TKSN_LayerDefinition* d : {deepest, middle, inFolder, bottom})
        d->AddLayerDataForSet(&set, new TProbeData);
    EXPECT_EQ(OrderedNames(set), (std::vector<std::string>{"Bottom", "Middle", "InFolder", "Deepest"}));

    // A shared order index keeps only the data of the larger definition ID.
    middle->SetDisplayIndex(bottom->GetDisplayIndex());
    EXPECT_EQ(OrderedNames(set), (std::vector<std::string>{"Middle", "InFolder", "Deepest"}));
}

TEST(LayerDataSet, CurrentLayerComesFromTheRootGroup)
{
    TPlainGroup top;
    auto* folder = AddFolder<TPlainGroup>(&top, "Folder");
    TProbeSet set;
    EXPECT_EQ(set.GetCurrentLayerDataID(), 0u);   // no layer group yet

    set.SetLayerTopGroup(folder);
    EXPECT_EQ(set.GetCurrentLayerDefinition(), nullptr);   // empty tree
    EXPECT_EQ(top.GetCurrentLayerID(), 0u);

    // With layers only in a folder, the tree's first layer becomes current.
    TKSN_LayerDefinition* a = AddLayer(folder, "A");
    TKSN_LayerDefinition* b = AddLayer(folder, "B");
    EXPECT_EQ(set.GetCurrentLayerDefinition(), a);
    EXPECT_EQ(top.GetCurrentLayerID(), a->GetID());

    // Set through a folder, kept at the root.
    folder->SetCurrentLayer(b);
    EXPECT_EQ(top.GetCurrentLayerID(), b->GetID());
    EXPECT_EQ(folder->GetCurrentLayerID(), 0u);
    auto* data = new TProbeData;
    b->AddLayerDataForSet(&set, data);
    EXPECT_EQ(set.GetCurrentLayerDataID(), data->GetID());

    // A current layer that is gone falls back to the first layer.
    folder->items->Remove(b);
    delete b;
    EXPECT_EQ(set.GetCurrentLayerDefinition(), a);
    EXPECT_EQ(set.GetCurrentLayerDataID(), 0u);   // the set has no data for a
}

TEST(MapLayerGroup, ReadsNestedBlocksAndTakesOverMapsOnlyForTheFirstLayer)
{
    THookRecorder hooks;
    const std::string block =
        "mapLayers\t\n"
        "{\n"
        "\tHidden\t0\n"
        "\n"
        "\tmapLayer\tBase\n"
        "\t{\n"
        "\t\tName\tBase\n"
        "\t\tReadOnly\t0\n"
        "\t\tCollapsed\t1\n"
        "\t\tBlendType\t0\n"
        "\t\tIsBase\t1\n"
        "\t\tStrength\t1.00000000\n"
        "\t}\n"
        "\tgroup\tDetails\n"
        "\t{\n"
        "\t\tName\tDetails\n"
        "\t\tReadOnly\t0\n"
        "\t\tCollapsed\t1\n"
        "\t\tHidden\t0\n"
        "\n"
        "\t\tmapLayer\tDirt\n"
        "\t\t{\n"
        "\t\t\tName\tDirt\n"
        "\t\t\tReadOnly\t0\n"
        "\t\t\tCollapsed\t1\n"
        "\t\t\tBlendType\t3\n"
        "\t\t\tIsBase\t0\n"
        "\t\t\tStrength\t0.50000000\n"
        "\t\t}\n"
        "\t}\n"
        "}\n";
    TTempFile in(block);
    TKSN_MapLayerGroup top;
    top.typeKeyword = "mapLayers";
    top.LoadFromStream_Text(in.f);

    ASSERT_EQ(top.items->Count(), 1);
    auto* details = dynamic_cast<TKSN_MapLayerGroup*>(top.GetChild());
    ASSERT_NE(details, nullptr);
    EXPECT_STREQ(details->GetName(), "Details");
    ASSERT_EQ(details->items->Count(), 1);
    auto* dirt = dynamic_cast<TKSN_MapLayer*>((*details->items)[0]);
    ASSERT_NE(dirt, nullptr);
    EXPECT_STREQ(dirt->GetName(), "Dirt");
    EXPECT_EQ(dirt->GetCurrentBlendType(), 3);
    EXPECT_EQ(dirt->GetOwnerGroupID(), top.GetID());
    EXPECT_EQ(dirt->GetDisplayIndex(), 1);

    // The folder's first layer is not the tree's first: no second take-over.
    EXPECT_EQ(THookRecorder::takenOver, (std::vector<uint32_t>{(*top.items)[0]->GetID()}));
    EXPECT_EQ(top.FindLayerByName("dirt"), dirt);

    // Written back, the block reads the same.
    TTempFile out;
    top.SaveToStream_Text(out.f, true);
    EXPECT_EQ(out.All().find("mapLayers\t\n{\n\tHidden\t0\n"), 0u);
    TKSN_MapLayerGroup again;
    again.typeKeyword = "mapLayers";
    std::rewind(out.f);
    again.LoadFromStream_Text(out.f);
    TTempFile out2;
    again.SaveToStream_Text(out2.f, true);
    auto withoutIDs = [](std::string text) {
        std::string kept, line;
        for (size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            line = text.substr(start, end - start);
            if (line.find_first_not_of('\t') == std::string::npos || line.compare(line.find_first_not_of('\t'), 3, "ID\t") != 0)
                kept += line + "\n";
        }
        return kept;
    };
    EXPECT_EQ(withoutIDs(out2.All()), withoutIDs(out.All()));
}

TEST(MapLayerGroup, InvalidateAllLayersReachesLayersInFolders)
{
    THookRecorder hooks;
    TKSN_MapLayerGroup top;
    auto* folder = AddFolder<TKSN_MapLayerGroup>(&top, "Folder");
    TKSN_LayerDefinition* rootLayer = AddLayer(&top, "Root");
    TKSN_LayerDefinition* folderLayer = AddLayer(folder, "InFolder");
    TProbeSet mapA, mapB;
    rootLayer->AddLayerDataForSet(&mapA, new TProbeData);
    folderLayer->AddLayerDataForSet(&mapB, new TProbeData);

    folder->InvalidateAllLayers();
    EXPECT_EQ(THookRecorder::invalidated, (std::vector<uint32_t>{mapA.GetID(), mapB.GetID()}));
}

// Map layers: the blend-type table, the kernel choice, invalidation of the
// maps that hold the layer, and the "mapLayer" block.
#include "KSN_MapLayer.h"

#include "QORTextBlock.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Write(TKSN_MapLayer& layer)
{
    TTempFile out;
    layer.SaveToStream_Text(out.f, true);
    return out.All();
}

// The text without its "ID" lines, the one line that differs between two
// objects with the same content.
std::string WithoutIDLines(const std::string& text)
{
    std::string kept;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t key = line.find_first_not_of('\t');
        if (key == std::string::npos || line.compare(key, 3, "ID\t") != 0)
            kept += line + "\n";
        start = end + 1;
    }
    return kept;
}

struct TLayerDataSetProbe : TKSN_LayerDataSet {};

} // namespace

TEST(MapLayer, BlendTypeNamesFollowTheTable)
{
    const struct { const char* name; const char* shortName; } table[] = {
        {"Normal", "Norm"},         {"Lighten", "Light."},        {"Darken", "Dark."},
        {"Multiply", "Mult."},      {"Overlay", "Overlay"},       {"Hard Light", "Hard L."},
        {"Soft Light", "Soft L."},  {"Dodge", "Dodge"},           {"Burn", "Burn"},
        {"Exclusion", "Excl."},     {"Difference", "Diff."},      {"Hue", "Hue"},
        {"Hue Up", "Hue.Up"},       {"Hue Down", "Hue.Dn"},       {"Lightness", "Ltness"},
        {"Saturation", "Sat."},     {"Saturation Up", "Sat.Up"},  {"Saturation Down", "Sat.Dn"},
        {"RGB Up", "RGB.Up"},       {"RGB Down", "RGB.Dn"},       {"Color", "Color"},
        {"Contrast Up", "Con.Up"},  {"Contrast Down", "Con.Down"},
    };
    TKSN_MapLayer layer;
    ASSERT_EQ(layer.GetBlendTypeCount(), int(std::size(table)));
    for (int type = 0; type < layer.GetBlendTypeCount(); ++type) {
        SCOPED_TRACE(type);
        char name[16], shortName[16];
        layer.SetCurrentBlendType(type);
        layer.GetCurrentBlendTypeName(name);
        layer.GetCurrentBlendTypeNameShort(shortName);
        EXPECT_STREQ(name, table[type].name);
        EXPECT_STREQ(shortName, table[type].shortName);
        EXPECT_NE(layer.GetMixFunction(), nullptr);
    }
}

TEST(MapLayer, UnknownBlendTypesAreKeptNamedUndefAndCompositeAsNormal)
{
    TKSN_MapLayer normal;
    EXPECT_EQ(normal.GetCurrentBlendType(), 0);
    EXPECT_FALSE(normal.IsBase());
    EXPECT_EQ(normal.GetStrength(), 1.0f);

    for (int type : {23, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(type);
        TKSN_MapLayer layer;
        layer.SetCurrentBlendType(type);
        char name[16], shortName[16];
        layer.GetCurrentBlendTypeName(name);
        layer.GetCurrentBlendTypeNameShort(shortName);
        EXPECT_EQ(layer.GetCurrentBlendType(), type);
        EXPECT_STREQ(name, "undef");
        EXPECT_STREQ(shortName, "undef");
        EXPECT_EQ(layer.GetMixFunction(), normal.GetMixFunction());
    }
}

TEST(MapLayer, BlockRoundTripsApartFromTheID)
{
    TKSN_MapLayer layer;
    layer.SetName("Skin Tone");
    layer.SetCurrentBlendType(22);
    layer.SetBase(true);
    layer.SetStrength(0.25f);
    const std::string first = Write(layer);
    EXPECT_NE(first.find("\tStrength\t0.25000000\n"), std::string::npos);
    EXPECT_EQ(first.rfind("mapLayer\tSkin Tone\n{\n", 0), 0u);

    TTempFile in(first);
    TKSN_MapLayer copy;
    copy.LoadFromStream_Text(in.f);
    const std::string second = Write(copy);

    EXPECT_NE(first, second);   // the IDs differ
    EXPECT_EQ(WithoutIDLines(second), WithoutIDLines(first));
    EXPECT_EQ(copy.GetCurrentBlendType(), 22);
    EXPECT_TRUE(copy.IsBase());
}

TEST(MapLayer, ReaderTakesItsKeysExactlyAndClampsTheStrength)
{
    const struct {
        const char* lines;
        int blendType;
        bool isBase;
        float strength;
    } cases[] = {
        {"Strength\t1.5\n", 0, false, 1.0f},
        {"Strength\t-3\n", 0, false, 0.0f},
        {"Strength\tnan\n", 0, false, 0.0f},
        {"blendtype\t5\nisbase\t1\nstrength\t0.5\n", 0, false, 1.0f},   // wrong case: ignored
        {"BlendType\t23\n", 23, false, 1.0f},
        {"BlendType\t  -1\nIsBase\t7\n", -1, true, 1.0f},
        {"BlendType\tDodge\n", 0, false, 1.0f},
        {"BlendType\t99999999999\n", INT_MAX, false, 1.0f},
        {"Unknown\t1\n\tnested\n{\nBlendType\t4\n}\n", 0, false, 1.0f},   // nested blocks are skipped
        {"", 0, false, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        TTempFile in(std::string("mapLayer\tL\n{\n") + c.lines + "}\nBlendType\t9\n");
        TKSN_MapLayer layer;
        layer.LoadFromStream_Text(in.f);
        EXPECT_EQ(layer.GetCurrentBlendType(), c.blendType);
        EXPECT_EQ(layer.IsBase(), c.isBase);
        EXPECT_EQ(layer.GetStrength(), c.strength);
    }
}

TEST(MapLayer, InvalidatesEachLiveSetInAscendingID)
{
    static std::vector<uint32_t> invalidated;
    invalidated.clear();
    KSN_MapSourceHooks.InvalidateResolvedMap = [](TKSN_Thingy* t) { invalidated.push_back(t->GetID()); };

    TKSN_MapLayer layer;
    layer.InvalidateResolvedMaps();   // no data anywhere: nothing to do
    EXPECT_TRUE(invalidated.empty());

    TLayerDataSetProbe first, second;
    auto* gone = new TLayerDataSetProbe;
    layer.AddLayerDataSet(second.GetID());
    layer.AddLayerDataSet(gone->GetID());
    layer.AddLayerDataSet(first.GetID());
    delete gone;

    layer.ResolveInvalidData();
    EXPECT_EQ(invalidated, (std::vector<uint32_t>{first.GetID(), second.GetID()}));
    KSN_MapSourceHooks = {};
}

// Materials, channels and map bindings: the standard channels, lookup and
// caching by name, copying, map file names, menu labels, binding lookups and
// the binding's text block.
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"

#include "QORLanguage.h"
#include "QORTextBlock.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

std::vector<std::string> ChannelNames(TQORMaterial& material)
{
    std::vector<std::string> names;
    for (TQORMaterialChannel* channel : material.ArbChannels) names.push_back(channel->GetName());
    return names;
}

// ---------------------------------------------------------------------------
// A new material
// ---------------------------------------------------------------------------

TEST(Material, NewMaterialHasTheSevenChannelsInOrderWithTheirDefaults)
{
    struct Expected {
        const char* name;
        bool useColor;
        float color;
        float strength, minStrength;
        bool useStrength;
        float offset;
        bool useOffset, listed;
    };
    const Expected table[] = {
        {"Color", true, 1.0f, 1.0f, 0.0f, false, 0.0f, false, true},
        {"Transparency", false, 1.0f, 0.0f, 0.0f, true, 0.0f, false, true},
        {"Bump", false, 1.0f, 1.0f, -1.0f, true, 0.5f, true, true},
        {"Displacement", false, 1.0f, 0.1f, -1.0f, true, 0.5f, true, true},
        {"Specular", true, 0.0f, 1.0f, 0.0f, false, 0.0f, false, true},
        {"Ambient", true, 0.0f, 1.0f, 0.0f, false, 0.0f, false, true},
        {"Glossy", false, 1.0f, 0.1f, 0.0f, true, 0.0f, false, false},
    };
    TQORMaterial material;
    EXPECT_STREQ(material.GetName(), "");
    EXPECT_EQ(material.MaterialIndex, -1);
    EXPECT_FALSE(material.MappingMark);
    EXPECT_EQ(material.SecondName, "");
    EXPECT_EQ(material.ColorChannel, nullptr);   // cached only on request
    ASSERT_EQ(material.ArbChannels.Count(), 7);
    for (int i = 0; i < 7; ++i) {
        const Expected& e = table[i];
        SCOPED_TRACE(e.name);
        const TQORMaterialChannel* c = material.ArbChannels[i];
        EXPECT_STREQ(c->GetName(), e.name);
        EXPECT_EQ(c->UseColor, e.useColor);
        for (float component : c->Color) EXPECT_FLOAT_EQ(component, e.color);
        EXPECT_FLOAT_EQ(c->Strength, e.strength);
        EXPECT_FLOAT_EQ(c->MinStrength, e.minStrength);
        EXPECT_FLOAT_EQ(c->MaxStrength, 1.0f);
        EXPECT_EQ(c->UseStrength, e.useStrength);
        EXPECT_FLOAT_EQ(c->Offset, e.offset);
        EXPECT_EQ(c->UseOffset, e.useOffset);
        EXPECT_EQ(c->Listed, e.listed);
        EXPECT_FALSE(c->Unsupported);
        EXPECT_EQ(c->GetMapID(), 0u);
        EXPECT_STREQ(c->GetMapFileName(), "");
        EXPECT_EQ(c->TextureIndex, -1);
    }
    // Only the specular channel carries a description.
    EXPECT_STREQ(material.ArbChannels[4]->GetHint(), Lang.GetText(596));
    EXPECT_STRNE(material.ArbChannels[4]->GetHint(), "");
    EXPECT_STREQ(material.ArbChannels[0]->GetHint(), "");
}

TEST(Material, ChannelLookupIgnoresCaseAndCachingFollowsTheList)
{
    TQORMaterial material;
    EXPECT_EQ(material.GetChannelFromName("bump"), material.ArbChannels[2]);
    EXPECT_EQ(material.GetChannelFromName("GLOSSY"), material.ArbChannels[6]);
    EXPECT_EQ(material.GetChannelFromName("Diffuse"), nullptr);
    EXPECT_EQ(material.GetChannelFromName(nullptr), nullptr);

    // Without "Glossy" its cached pointer stays null; the other six are found.
    delete material.ArbChannels[6];
    material.ArbChannels.Delete(6);
    material.CacheChannels();
    EXPECT_EQ(material.ColorChannel, material.ArbChannels[0]);
    EXPECT_EQ(material.TransparencyChannel, material.ArbChannels[1]);
    EXPECT_EQ(material.BumpChannel, material.ArbChannels[2]);
    EXPECT_EQ(material.DisplacementChannel, material.ArbChannels[3]);
    EXPECT_EQ(material.SpecularChannel, material.ArbChannels[4]);
    EXPECT_EQ(material.AmbientChannel, material.ArbChannels[5]);
    EXPECT_EQ(material.GlossyChannel, nullptr);

    material.ResetCachedPointers();
    EXPECT_EQ(material.ColorChannel, nullptr);
    EXPECT_EQ(material.AmbientChannel, nullptr);
}

TEST(Material, IsMapInMaterialMatchesABindingByItsID)
{
    TQORMaterial material;
    TQORMaterialMap bound, other;
    EXPECT_FALSE(material.IsMapInMaterial(nullptr));
    EXPECT_FALSE(material.IsMapInMaterial(&bound));
    material.GetChannelFromName("Ambient")->SetMapID(int(bound.GetID()));
    EXPECT_TRUE(material.IsMapInMaterial(&bound));
    EXPECT_FALSE(material.IsMapInMaterial(&other));
}

// ---------------------------------------------------------------------------
// Copying
// ---------------------------------------------------------------------------

TEST(Material, CopyTakesNameSettingsAndEveryChannelInOrder)
{
    TQORMaterial source;
    source.SetName("Skin");
    source.SecondName = "Figure 1";
    source.GetChannelFromName("Bump")->SetMapFileName("bump.png");
    source.GetChannelFromName("Bump")->SetMapID(42);
    source.GetChannelFromName("Color")->Color[1] = 0.25f;
    // A derived channel class is copied as a plain channel.
    struct TDerivedChannel : TQORMaterialChannel {};
    auto* extra = new TDerivedChannel;
    extra->SetName("Velvet");
    extra->Unsupported = true;
    extra->TextureIndex = 3;
    source.AddChannel(extra);

    for (int ownChannels : {0, 7, 12}) {
        SCOPED_TRACE(ownChannels);
        TQORMaterial target;
        target.DeleteAllChannels();
        for (int i = 0; i < ownChannels; ++i) {
            auto* c = new TQORMaterialChannel;
            c->SetName("Own %d", i);
            target.AddChannel(c);
        }
        target.CacheChannels();
        target.Copy(&source);

        EXPECT_STREQ(target.GetName(), "Skin");
        EXPECT_EQ(target.SecondName, "Figure 1");
        EXPECT_EQ(ChannelNames(target), ChannelNames(source));
        for (int i = 0; i < source.ArbChannels.Count(); ++i) {
            EXPECT_NE(target.ArbChannels[i], source.ArbChannels[i]);   // copies, not shared
            EXPECT_EQ(typeid(*target.ArbChannels[i]), typeid(TQORMaterialChannel));
        }
        TQORMaterialChannel* bump = target.GetChannelFromName("Bump");
        EXPECT_STREQ(bump->GetMapFileName(), "bump.png");
        EXPECT_EQ(bump->GetMapID(), 42u);
        EXPECT_FLOAT_EQ(target.GetChannelFromName("Color")->Color[1], 0.25f);
        EXPECT_TRUE(target.GetChannelFromName("Velvet")->Unsupported);
        EXPECT_EQ(target.GetChannelFromName("Velvet")->TextureIndex, 3);
        EXPECT_EQ(target.ColorChannel, nullptr);
        EXPECT_EQ(target.BumpChannel, nullptr);
    }
}

TEST(Material, CopyFromItselfKeepsItsChannels)
{
    TQORMaterial material;
    material.SetName("Eyes");
    material.CacheChannels();
    material.Copy(&material);
    EXPECT_STREQ(material.GetName(), "Eyes");
    EXPECT_EQ(material.ArbChannels.Count(), 7);
    EXPECT_EQ(material.ColorChannel, material.ArbChannels[0]);
}

TEST(MaterialChannel, CopyKeepsTheTargetsOwnUseStrength)
{
    TQORMaterial material;
    TQORMaterialChannel* color = material.GetChannelFromName("Color");
    ASSERT_FALSE(color->UseStrength);
    TQORMaterialChannel target;
    target.Copy(color);
    EXPECT_TRUE(target.UseStrength);
    EXPECT_STREQ(target.GetName(), "Color");
    EXPECT_TRUE(target.UseColor);
    EXPECT_TRUE(target.Listed);

    TQORMaterialChannel displacement;
    displacement.Copy(material.GetChannelFromName("Displacement"));
    EXPECT_FLOAT_EQ(displacement.MinStrength, -1.0f);
    EXPECT_FLOAT_EQ(displacement.Strength, 0.1f);
    EXPECT_FLOAT_EQ(displacement.Offset, 0.5f);
    EXPECT_TRUE(displacement.UseOffset);
}

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

TEST(MaterialChannel, MapFileNamesLoseFoldersWrittenByAnotherSystem)
{
    struct Case {
        const char* in;
        const char* stored;
    };
    const Case cases[] = {
        {"C:\\Maps\\skin.png", "skin.png"},
        {"Maps/skin.png", "Maps/skin.png"},
        {"C:skin.png", "C:skin.png"},
        {"C:\\Maps\\", ""},
        {"\\\\server\\share\\maps\\face.jpg", "face.jpg"},
        {"/home/ann/Maps\\eye.png", "eye.png"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        TQORMaterialChannel channel;
        channel.SetMapFileName(c.in);
        EXPECT_STREQ(channel.GetMapFileName(), c.stored);

        std::string buffer = c.in;
        CleanFileNameFromDifferent_OS(buffer.data());
        EXPECT_STREQ(buffer.c_str(), c.stored);
    }
    TQORMaterialChannel channel;
    channel.SetMapFileName("old.png");
    channel.SetMapFileName(nullptr);
    EXPECT_STREQ(channel.GetMapFileName(), "");
}

TEST(MaterialChannel, MapFileNameCopiesAreCutAtTheCallersBuffer)
{
    TQORMaterialChannel channel;
    channel.SetMapFileName("C:\\Maps\\skin.png");
    char out[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    channel.GetMapFileName(out, 5);
    EXPECT_STREQ(out, "skin");
    EXPECT_EQ(out[5], 'x');
    char whole[64];
    channel.GetMapFileName(whole);
    EXPECT_STREQ(whole, "skin.png");
}

TEST(MaterialChannel, TruncatedDisplayNamesForTheListedChannelsOnly)
{
    struct Case {
        const char* name;
        const char* label;
    };
    const Case cases[] = {
        {"Transparency", "Transp."}, {"Displacement", "Displ."}, {"Color", "Color"},
        {"Bump", "Bump"},            {"Specular", "Specular"},   {"Ambient", "Ambient"},
        {"Glossy", "Glossy"},        {"transparency", "transparency"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TQORMaterialChannel channel;
        channel.SetName("%s", c.name);
        EXPECT_STREQ(channel.GetTruncatedDisplayName(), c.label);
    }
}

// ---------------------------------------------------------------------------
// Map bindings
// ---------------------------------------------------------------------------

TEST(MaterialMap, GetMapSourceFindsOnlyALiveMapSource)
{
    TQORMaterialMap binding;
    EXPECT_EQ(binding.GetMapSource(), nullptr);   // ID 0
    EXPECT_EQ(__GetThingyFromID(binding.GetID()), &binding);   // findable by ID

    auto source = std::make_unique<TQORMaterialMapSource>();
    binding.SetMapSource(source->GetID());
    EXPECT_EQ(binding.GetMapSourceID(), source->GetID());
    EXPECT_EQ(binding.GetMapSource(), source.get());

    TQORMaterialMap other;   // a live object of another class
    binding.SetMapSource(other.GetID());
    EXPECT_EQ(binding.GetMapSource(), nullptr);

    binding.SetMapSource(source->GetID());
    source.reset();
    EXPECT_EQ(binding.GetMapSource(), nullptr);
}

TEST(MaterialMap, WritesExactlyItsIDLineAtTheCurrentIndent)
{
    TQORMaterialMap binding;
    TTempFile file;
    EXPECT_TRUE(binding.SaveToStream_Text(file.f, true));
    EXPECT_EQ(file.All(), "ID\t" + std::to_string(binding.GetID()) + "\n");

    TTempFile nested;
    {
        TStartTextFileBlock block("mapBinding", "", nested.f, true);
        binding.SaveToStream_Text(nested.f, false);
    }
    EXPECT_EQ(nested.All(), "mapBinding\t\n{\n\tID\t" + std::to_string(binding.GetID()) + "\n}\n");
}

TEST(MaterialMap, BlockRoundTripStoresTheSavedID)
{
    TQORMaterialMap written;
    TTempFile file;
    {
        TStartTextFileBlock block("mapBinding", "", file.f, true);
        written.SaveToStream_Text(file.f, true);
    }
    std::rewind(file.f);
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, file.f), nullptr);   // the key line
    TQORMaterialMap read;
    EXPECT_TRUE(read.LoadFromStream_Text(file.f));
    EXPECT_EQ(read.SavedID, written.GetID());
    EXPECT_NE(read.GetID(), written.GetID());   // a read binding keeps its own ID
}

TEST(MaterialMap, OnlyTheExactKeyIDSetsTheSavedID)
{
    struct Case {
        const char* key;
        const char* value;
        uint32_t saved;
    };
    const Case cases[] = {
        {"ID", "17", 17}, {"id", "17", 0}, {"Id", "17", 0}, {"ID", "nonsense", 0}, {"Other", "5", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.value);
        TQORMaterialMap binding;
        std::string key = c.key, value = c.value;
        EXPECT_TRUE(binding.LoadFromStream_Text_ConsiderCommand(nullptr, key.data(), value.data()));
        EXPECT_EQ(binding.SavedID, c.saved);
    }
}

// ---------------------------------------------------------------------------
// The declared interface used by the mesh and the application object
// ---------------------------------------------------------------------------

TEST(MaterialInterface, MakesNamesIdentifiesAndDeletes)
{
    TQORMaterial* material = KSN_NewMaterial("__KSN_EMPTY__");
    EXPECT_STREQ(material->GetName(), "__KSN_EMPTY__");
    EXPECT_EQ(material->ArbChannels.Count(), 7);
    material->SecondName = "second";
    EXPECT_STREQ(KSN_GetMaterialSecondName(material), "second");
    EXPECT_STREQ(KSN_GetMaterialSecondName(nullptr), "");
    EXPECT_EQ(KSN_MaterialFromThingy(material), material);
    TQORMaterialChannel channel;
    EXPECT_EQ(KSN_MaterialFromThingy(&channel), nullptr);
    EXPECT_EQ(KSN_MaterialFromThingy(nullptr), nullptr);
    KSN_DeleteMaterial(material);
    KSN_DeleteMaterialMap(new TQORMaterialMap);
    KSN_DeleteMaterialMap(nullptr);
}

} // namespace

// Map sources: stale-block marking (also from several threads), layer
// resolution checked against the Normal formula and the checkerboard, the
// independence of the composite from the number of pool slots, the first
// layer's take-over, image file import and export, and the "map" block.
#include "QORMaterialMapSource.h"

#include "KSN_LayerBlend.h"
#include "OS.h"
#include "QORLookupTables.h"
#include "QORTextBlock.h"
#include "QORThreads.h"

#include <gtest/gtest.h>

#include <wx/image.h>
#include <wx/init.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TMapSourceEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Init = std::make_unique<wxInitializer>();
        ASSERT_TRUE(Init->IsOk());
        QORMath_InitializeLookupTables();
    }
    void TearDown() override { Init.reset(); }

private:
    std::unique_ptr<wxInitializer> Init;
};
[[maybe_unused]] const auto* const RegisteredEnvironment =
    ::testing::AddGlobalTestEnvironment(new TMapSourceEnvironment);

constexpr unsigned char GridA[3] = {40, 50, 60};     // where x / 4 + y / 4 is odd
constexpr unsigned char GridB[3] = {200, 190, 180};  // where it is even

void TestGridColors(unsigned char* first, unsigned char* second)
{
    std::memcpy(first, GridA, 3);
    std::memcpy(second, GridB, 3);
}

// Holds the global pool pointer on another pool for one scope.
struct TPoolScope {
    TThreadCruncher* Saved = ThreadCruncher;
    explicit TPoolScope(TThreadCruncher* pool) { ThreadCruncher = pool; }
    ~TPoolScope() { ThreadCruncher = Saved; }
};

std::vector<unsigned char> Bytes(const unsigned char* p, size_t n)
{
    return p ? std::vector<unsigned char>(p, p + n) : std::vector<unsigned char>();
}

void FillRandom(unsigned char* p, size_t n, std::mt19937& rng)
{
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(rng() & 0xFF);
}

// [Reference composite] The layer formulas written out once more, plainly.

int Q(int v) { return v / 255; }

int StrengthByte(float strength)
{
    const float p = strength * 255.0f;
    return p > 255.0f ? 255 : (p >= 0.0f ? int(p) : 0);
}

void ReferenceNormal(std::vector<unsigned char>& rgb, std::vector<unsigned char>& alpha, const unsigned char* layer,
                     const unsigned char* mask, float strength)
{
    const int P = StrengthByte(strength);
    const bool full = !mask && strength >= 0.9999f;
    for (size_t i = 0; i < alpha.size(); ++i) {
        const int a = full ? Q(255 * P) : Q((mask ? mask[i] : 255) * P);
        if (a == 0) continue;
        for (int c = 0; c < 3; ++c) {
            const int d = rgb[i * 3 + c];
            rgb[i * 3 + c] = static_cast<unsigned char>(d + Q((layer[i * 3 + c] - d) * a));
        }
        alpha[i] = full ? 255 : static_cast<unsigned char>(alpha[i] + Q(a * (255 - alpha[i])));
    }
}

void ReferencePostMix(std::vector<unsigned char>& rgb, const std::vector<unsigned char>& alpha, int w, int h,
                      bool forExport)
{
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const int a = alpha[i];
            const unsigned char* g = ((x / 4 + y / 4) & 1) ? GridA : GridB;
            for (int c = 0; c < 3; ++c) {
                const int plain = a == 0 ? 0 : std::min(255, rgb[i * 3 + c] * 255 / a);
                rgb[i * 3 + c] = static_cast<unsigned char>(forExport ? plain : g[c] + Q((plain - g[c]) * a));
            }
        }
}

// [Fixture] A stand-in project: one "*Map Layers" group and a map list.

class MapSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        Current = this;
        Group.SetName("*Map Layers");
        QORMaterialMapSource_ProjectHooks.GetMapList = [](std::vector<TQORMaterialMapSource*>& out) {
            out = Current->ProjectMaps;
        };
        QORMaterialMapSource_ProjectHooks.GetMapLayerGroup = [] { return &Current->Group; };
        QORMaterialMapSource_AssignBackgroundGridColors(TestGridColors);
        Warnings.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.emplace_back(text); });
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        QORMaterialMapSource_AssignBackgroundGridColors(nullptr);
        QORMaterialMapSource_ProjectHooks = {};
        Current = nullptr;
    }

    TKSN_MapLayer* AddLayer(const char* name, int blendType = 0, float strength = 1.0f)
    {
        auto* layer = static_cast<TKSN_MapLayer*>(Group.CreateNewLayer());
        layer->SetName("%s", name);
        layer->SetCurrentBlendType(blendType);
        layer->SetStrength(strength);
        return layer;
    }

    // A white map of that size attached to the group.
    std::unique_ptr<TQORMaterialMapSource> NewMap(int w, int h)
    {
        auto map = std::make_unique<TQORMaterialMapSource>();
        float white[3] = {1, 1, 1};
        map->Initialize(w, h, white);
        map->SetLayerTopGroup(&Group);
        return map;
    }

    // The layer map of layer in map with random colours; with a random mask
    // or none at all.
    TQORMaterialMapSource* PaintLayer(TQORMaterialMapSource& map, TKSN_MapLayer* layer, bool withMask,
                                      std::mt19937& rng)
    {
        TQORMaterialMapSource* layerMap = map.GetMapLayer(layer, true);
        FillRandom(layerMap->GetPixels(), layerMap->GetPixelBytes(), rng);
        if (withMask)
            FillRandom(layerMap->GetAlphaMaskPixels(), layerMap->GetAlphaMask().GetPixelBytes(), rng);
        else
            layerMap->GetAlphaMask().SetDimensions(0, 0, 1);
        return layerMap;
    }

    // Every block valid: one resolution over a layer group that has a layer.
    void ValidateAll(TQORMaterialMapSource& map)
    {
        if (Group.GetAllLayers().empty()) AddLayer("Base");
        map.SetLayerTopGroup(&Group);
        map.InvalidateResolvedMap();
        map.ResolveLayers(false);
        ASSERT_TRUE(map.GetStaleBlocks().empty());
    }

    static inline MapSource* Current = nullptr;
    static inline std::vector<std::string> Warnings;
    TKSN_MapLayerGroup Group;
    std::vector<TQORMaterialMapSource*> ProjectMaps;
};

std::string ReadAll(FILE* f)
{
    std::string out;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) out += char(c);
    return out;
}

// The map's body inside a "map" block, as the project writes it.
void WriteMapBlock(FILE* f, TQORMaterialMapSource& map)
{
    TStartTextFileBlock block("map", "0", f, true);
    map.SaveToStream_Text(f, false);
}

std::vector<int32_t> Sorted(std::vector<int32_t> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// [Stale blocks] ---------------------------------------------------------------

TEST_F(MapSource, NewMapHasEveryBlockStaleAndQueuedInOrder)
{
    TQORMaterialMapSource map;
    const std::vector<int32_t> queue = map.GetStaleBlocks();
    ASSERT_EQ(queue.size(), 4096u);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(queue[size_t(i)], i);

    // Without map layers nothing is resolved and the queue stays as it is.
    map.Initialize(64, 64, nullptr);
    EXPECT_NE(map.GetResolvedPixels(), nullptr);
    EXPECT_EQ(map.GetStaleBlocks().size(), 4096u);
}

TEST_F(MapSource, RectanglesMarkTheBlocksTheyTouchOnce)
{
    struct Case {
        const char* what;
        int w, h;
        float uvMin[2], uvMax[2];
        std::vector<int32_t> expected;   // empty: every block
    };
    auto blocks = [](int x0, int x1, int y0, int y1) {
        std::vector<int32_t> out;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) out.push_back(y * 64 + x);
        return out;
    };
    const Case cases[] = {
        {"corner point", 1024, 1024, {0, 0}, {0, 0}, {0}},
        {"whole map", 1024, 1024, {0, 0}, {1, 1}, {}},
        {"centre point, two pixels each way", 1024, 1024, {0.5f, 0.5f}, {0.5f, 0.5f}, blocks(31, 32, 31, 32)},
        // u widened by 2 / width, v by 2 / height.
        {"wide map", 1024, 64, {0.5f, 0.5f}, {0.5f, 0.5f}, blocks(31, 32, 30, 34)},
        {"outside, held at the edge", 100, 100, {1.1f, -0.1f}, {1.1f, -0.1f}, {63}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto map = NewMap(c.w, c.h);
        ValidateAll(*map);
        float uvMin[2] = {c.uvMin[0], c.uvMin[1]}, uvMax[2] = {c.uvMax[0], c.uvMax[1]};
        map->OnPartialMapChanged(uvMin, uvMax);
        map->OnPartialMapChanged(uvMin, uvMax);   // twice: each block still queued once
        const std::vector<int32_t> queue = map->GetStaleBlocks();
        if (c.expected.empty()) {
            EXPECT_EQ(queue.size(), 4096u);
            EXPECT_EQ(std::set<int32_t>(queue.begin(), queue.end()).size(), 4096u);
        } else {
            EXPECT_EQ(queue, c.expected);
        }
        for (int32_t b : queue) EXPECT_FALSE(map->IsBlockValid(b));
    }
}

TEST_F(MapSource, ConcurrentMarkingQueuesEachBlockExactlyOnce)
{
    auto shared = NewMap(1024, 1024);
    auto reference = NewMap(1024, 1024);
    ValidateAll(*shared);
    ValidateAll(*reference);

    constexpr int Threads = 8, PerThread = 300;
    std::vector<std::vector<float>> rects(Threads);
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> uv(0.0f, 0.8f), size(0.0f, 0.2f);
    for (auto& list : rects)
        for (int i = 0; i < PerThread; ++i) {
            const float u = uv(rng), v = uv(rng);
            list.insert(list.end(), {u, v, u + size(rng), v + size(rng)});
        }
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < PerThread; ++i) shared->InvalidateResolvedMapInUVRange(&rects[t][4 * i], &rects[t][4 * i + 2]);
        });
    for (std::thread& w : workers) w.join();
    for (auto& list : rects)
        for (int i = 0; i < PerThread; ++i) reference->InvalidateResolvedMapInUVRange(&list[4 * i], &list[4 * i + 2]);

    const std::vector<int32_t> queue = Sorted(shared->GetStaleBlocks());
    EXPECT_EQ(std::set<int32_t>(queue.begin(), queue.end()).size(), queue.size()) << "a block was queued twice";
    EXPECT_EQ(queue, Sorted(reference->GetStaleBlocks()));
    EXPECT_LT(queue.size(), 4096u);   // the rectangles leave part of the map alone
    for (int b = 0; b < 4096; ++b)
        EXPECT_EQ(shared->IsBlockValid(b), !std::binary_search(queue.begin(), queue.end(), b)) << b;
}

// [Resolution] -----------------------------------------------------------------

TEST_F(MapSource, LayersWithoutLayerMapsResolveToTheCheckerboard)
{
    auto map = NewMap(20, 12);
    TKSN_MapLayer* layer = AddLayer("Paint");
    (void)layer;
    const size_t n = 20 * 12;
    const std::vector<unsigned char> zeros(n, 0);

    map->ResolveLayers(false);
    EXPECT_EQ(Bytes(map->GetAlphaMaskPixels(), n), zeros);
    std::vector<unsigned char> expected(n * 3, 0);
    ReferencePostMix(expected, zeros, 20, 12, false);
    EXPECT_EQ(Bytes(map->GetPixels(), n * 3), expected);
    EXPECT_EQ(map->GetPixels()[0], GridB[0]);            // cell (0, 0): even
    EXPECT_EQ(map->GetPixels()[4 * 3], GridA[0]);        // cell (1, 0): odd

    // For export: transparent black, no checkerboard.
    map->InvalidateResolvedMap();
    map->ResolveLayers(true);
    EXPECT_EQ(Bytes(map->GetPixels(), n * 3), std::vector<unsigned char>(n * 3, 0));
    EXPECT_EQ(Bytes(map->GetAlphaMaskPixels(), n), zeros);
    EXPECT_FALSE(ResolvingLayersForExport);
}

TEST_F(MapSource, CompositeFollowsTheNormalFormula)
{
    struct Case {
        const char* what;
        bool bottomMask;
        float bottomStrength;
        bool hideBottom, hideTop;
        bool forExport;
    };
    const Case cases[] = {
        {"opaque bottom, masked top", false, 1.0f, false, false, false},
        {"masked bottom over the checkerboard", true, 1.0f, false, false, false},
        {"masked bottom for export", true, 0.6f, false, false, true},
        {"weak opaque bottom starts from cleared pixels", false, 0.5f, false, false, false},
        {"hidden bottom: top alone over the checkerboard", false, 1.0f, true, false, false},
        {"everything hidden, for export", true, 1.0f, true, true, true},
    };
    constexpr int W = 37, H = 29;
    const size_t n = size_t(W) * H;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Group.Empty();
        std::mt19937 rng(99);
        auto map = NewMap(W, H);
        FillRandom(map->GetPixels(), n * 3, rng);   // old bytes must never show
        TKSN_MapLayer* bottom = AddLayer("Bottom", 0, c.bottomStrength);
        TKSN_MapLayer* top = AddLayer("Top", 0, 0.7f);
        TQORMaterialMapSource* bottomMap = PaintLayer(*map, bottom, c.bottomMask, rng);
        TQORMaterialMapSource* topMap = PaintLayer(*map, top, true, rng);
        if (c.hideBottom) bottom->Hide();
        if (c.hideTop) top->Hide();

        std::vector<unsigned char> rgb(n * 3, 0), alpha(n, 0);
        const bool bottomVisible = !c.hideBottom;
        if (bottomVisible)
            ReferenceNormal(rgb, alpha, bottomMap->GetPixels(), c.bottomMask ? bottomMap->GetAlphaMaskPixels() : nullptr,
                            c.bottomStrength);
        if (!c.hideTop) ReferenceNormal(rgb, alpha, topMap->GetPixels(), topMap->GetAlphaMaskPixels(), 0.7f);
        const bool opaqueBottom = bottomVisible && !c.bottomMask;
        if (!opaqueBottom) ReferencePostMix(rgb, alpha, W, H, c.forExport);

        map->ResolveLayers(c.forExport);
        EXPECT_EQ(Bytes(map->GetPixels(), n * 3), rgb);
        EXPECT_EQ(Bytes(map->GetAlphaMaskPixels(), n), alpha);
        EXPECT_TRUE(map->GetStaleBlocks().empty());
    }
}

TEST_F(MapSource, OnlyStaleBlocksAreComposited)
{
    // On 100 x 100 a block is about 1.6 pixels: block column 63 is pixel
    // columns 98..99, block column 0 pixel column 0, block row 0 pixel row 0.
    struct Case {
        const char* what;
        float uv[2];
        std::vector<std::pair<int, int>> pixels;   // (x, y) that change
    };
    const Case cases[] = {
        {"block 63", {1.1f, -0.1f}, {{98, 0}, {99, 0}}},
        {"block 0", {-0.1f, -0.1f}, {{0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Group.Empty();
        auto map = NewMap(100, 100);
        TQORMaterialMapSource* layerMap = map->GetMapLayer(AddLayer("Paint"), true);
        layerMap->GetAlphaMask().SetDimensions(0, 0, 1);   // opaque
        std::memset(layerMap->GetPixels(), 10, layerMap->GetPixelBytes());
        map->ResolveLayers(false);
        ASSERT_EQ(map->GetPixels()[0], 10);

        // Repainted without telling the map: nothing changes...
        std::memset(layerMap->GetPixels(), 77, layerMap->GetPixelBytes());
        map->ResolveLayers(false);
        EXPECT_EQ(Bytes(map->GetPixels(), 100 * 100 * 3), std::vector<unsigned char>(100 * 100 * 3, 10));
        // ...until a rectangle is reported.
        float uv[2] = {c.uv[0], c.uv[1]};
        map->InvalidateResolvedMapInUVRange(uv, uv);
        ASSERT_EQ(map->GetStaleBlocks().size(), 1u);
        map->ResolveLayers(false);
        std::vector<unsigned char> expected(100 * 100 * 3, 10);
        for (auto [x, y] : c.pixels) std::memset(&expected[(size_t(y) * 100 + size_t(x)) * 3], 77, 3);
        EXPECT_EQ(Bytes(map->GetPixels(), 100 * 100 * 3), expected);
    }
}

TEST_F(MapSource, CompositeDoesNotDependOnThePoolSize)
{
    constexpr int W = 300, H = 200;
    auto map = NewMap(W, H);
    std::mt19937 rng(7);
    PaintLayer(*map, AddLayer("Base", 0, 1.0f), false, rng);
    PaintLayer(*map, AddLayer("Shade", 3, 0.8f), true, rng);    // Multiply
    PaintLayer(*map, AddLayer("Tint", 11, 0.5f), true, rng);    // Hue
    PaintLayer(*map, AddLayer("Glow", 4, 1.0f), true, rng);     // Overlay

    TThreadCruncher one(1), several(4);
    std::vector<unsigned char> rgbOne, alphaOne;
    {
        TPoolScope scope(&one);
        map->ResolveLayers(false);
        rgbOne = Bytes(map->GetPixels(), size_t(W) * H * 3);
        alphaOne = Bytes(map->GetAlphaMaskPixels(), size_t(W) * H);
    }
    std::memset(map->GetPixels(), 0xAB, map->GetPixelBytes());
    map->InvalidateResolvedMap();
    {
        TPoolScope scope(&several);
        map->ResolveLayers(false);
    }
    EXPECT_EQ(Bytes(map->GetPixels(), size_t(W) * H * 3), rgbOne);
    EXPECT_EQ(Bytes(map->GetAlphaMaskPixels(), size_t(W) * H), alphaOne);
}

TEST_F(MapSource, PostMixUndoesTheDarkeningWithoutWrapping)
{
    struct Case {
        unsigned char colour, alpha;
        bool forExport;
        unsigned char expected;
    };
    const Case cases[] = {
        {100, 200, true, 127},               // 100 * 255 / 200
        {101, 100, true, 255},               // above its alpha: held, never wrapped to 1
        {90, 0, true, 0},                    // uncovered: black
        {255, 255, false, 255},              // opaque keeps its colour
        {90, 0, false, GridB[0]},            // uncovered: the grid shows (cell 0 is even)
        {100, 200, false, 200 + (127 - 200) * 200 / 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.colour) << "/" << int(c.alpha) << " export " << c.forExport);
        unsigned char rgb[3] = {c.colour, c.colour, c.colour}, alpha = c.alpha;
        unsigned char a[3], b[3];
        TestGridColors(a, b);
        ResolvingLayersForExport = c.forExport;
        MixMapLayers_PostMixGridGrid(rgb, &alpha, 0, 0, 1, 1, 1, 1, a, b);
        ResolvingLayersForExport = false;
        EXPECT_EQ(rgb[0], c.expected);
        EXPECT_EQ(alpha, c.alpha);
    }
}

// [Layer maps] -----------------------------------------------------------------

TEST_F(MapSource, FirstMapLayerTakesOverEachMapsContent)
{
    std::mt19937 rng(5);
    auto masked = NewMap(16, 8);
    auto plain = NewMap(8, 8);
    // Both fully valid first, so that the take-over's invalidation shows.
    ValidateAll(*masked);
    ValidateAll(*plain);
    Group.Empty();
    FillRandom(masked->GetPixels(), masked->GetPixelBytes(), rng);
    FillRandom(masked->GetAlphaMaskPixels(), 16 * 8, rng);
    FillRandom(plain->GetPixels(), plain->GetPixelBytes(), rng);
    plain->GetAlphaMask().SetDimensions(0, 0, 1);
    ProjectMaps = {masked.get(), plain.get()};
    const std::vector<unsigned char> plainBefore = Bytes(plain->GetPixels(), plain->GetPixelBytes());

    TKSN_MapLayer* first = AddLayer("Background");
    for (TQORMaterialMapSource* map : ProjectMaps) {
        TQORMaterialMapSource* layerMap = map->GetMapLayer(first, false);
        ASSERT_NE(layerMap, nullptr);
        EXPECT_EQ(Bytes(layerMap->GetPixels(), layerMap->GetPixelBytes()), Bytes(map->GetPixels(), map->GetPixelBytes()));
        EXPECT_EQ(map->GetStaleBlocks().size(), 4096u);
    }
    EXPECT_EQ(Bytes(masked->GetMapLayer(first, false)->GetAlphaMaskPixels(), 16 * 8),
              Bytes(masked->GetAlphaMaskPixels(), 16 * 8));
    EXPECT_EQ(Bytes(plain->GetMapLayer(first, false)->GetAlphaMaskPixels(), 64), std::vector<unsigned char>(64, 255));

    // The composite of the one opaque layer is the map as it was.
    EXPECT_EQ(Bytes(plain->GetResolvedPixels(), plain->GetPixelBytes()), plainBefore);

    // A second layer takes nothing over.
    TKSN_MapLayer* second = AddLayer("Detail");
    EXPECT_EQ(plain->GetMapLayer(second, false), nullptr);
}

TEST_F(MapSource, LayerMapLookups)
{
    auto map = NewMap(8, 4);
    EXPECT_EQ(map->GetMapLayer(nullptr, false), map.get());   // group without layers
    EXPECT_EQ(map->GetCurrentLayerMap(true), map.get());
    EXPECT_EQ(map->GetCurrentLayerPixels(true), nullptr);

    TKSN_MapLayer* base = AddLayer("Base");
    TKSN_MapLayer* top = AddLayer("Top");
    EXPECT_EQ(map->GetMapLayer(nullptr, false), nullptr);
    EXPECT_EQ(map->GetMapLayer(top, false), nullptr);

    TQORMaterialMapSource* current = map->GetCurrentLayerMap(true);   // the first layer becomes current
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(Group.GetCurrentLayerID(), base->GetID());
    EXPECT_EQ(current, map->GetMapLayer(base, false));
    EXPECT_EQ(current, map->GetFirstLayerMap(false));
    EXPECT_EQ(map->GetCurrentLayerPixels(false), current->GetPixels());
    // A new layer map: the map's size and name, black and fully transparent.
    EXPECT_STREQ(current->GetName(), map->GetName());
    EXPECT_EQ(Bytes(current->GetPixels(), 8 * 4 * 3), std::vector<unsigned char>(8 * 4 * 3, 0));
    EXPECT_EQ(Bytes(current->GetAlphaMaskPixels(), 8 * 4), std::vector<unsigned char>(8 * 4, 0));

    Group.SetCurrentLayer(top);
    EXPECT_EQ(map->GetCurrentLayerPixels(false), nullptr);   // no layer map yet
    EXPECT_NE(map->GetCurrentLayerMap(true), current);

    // Resizing the map resizes its mask and every layer map.
    map->GetAlphaMask().SetDimensions(8, 4, 1);
    map->Resize(16, 6);
    EXPECT_EQ(map->GetAlphaMask().GetWidth(), 16);
    EXPECT_EQ(current->GetWidth(), 16);
    EXPECT_EQ(current->GetAlphaMask().GetHeight(), 6);

    // Setting the same size makes the mask opaque.
    std::memset(map->GetAlphaMaskPixels(), 3, 16 * 6);
    map->SetDimensions(16, 6, 3);
    EXPECT_EQ(Bytes(map->GetAlphaMaskPixels(), 16 * 6), std::vector<unsigned char>(16 * 6, 255));

    map->SetMapFileName("C:\\Maps\\Skin\\face.png");
    EXPECT_STREQ(map->GetMapFileName(), "face.png");
    map->SetMapFileName("/home/maps/face.png");
    EXPECT_STREQ(map->GetMapFileName(), "/home/maps/face.png");
    char small[6];
    map->GetMapFileName(small, sizeof small);
    EXPECT_STREQ(small, "/home");
}

// [Image files] ----------------------------------------------------------------

class MapSourceFiles : public MapSource {
protected:
    void SetUp() override
    {
        MapSource::SetUp();
        Folder = fs::temp_directory_path() / ("mapsource_test_" + std::to_string(::getpid()));
        fs::create_directories(Folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
        MapSource::TearDown();
    }
    std::string PathOf(const char* name) const { return (Folder / name).string(); }
    fs::path Folder;
};

TEST_F(MapSourceFiles, ImportWithMaskColourMasksExactlyThoseTexels)
{
    // Two rows, top first in the file; ' ' is the transparent colour.
    const std::string xpm = PathOf("masked.xpm");
    std::ofstream(xpm) << "/* XPM */\nstatic const char *img[] = {\n\"3 2 2 1\",\n\"  c None\",\n"
                          "\"x c #102030\",\n\"x x\",\n\" xx\"\n};\n";
    TQORMaterialMapSource map;
    ASSERT_TRUE(map.ImportFile(xpm.c_str()));
    ASSERT_EQ(map.GetWidth(), 3);
    ASSERT_TRUE(map.HasAlphaMask());
    // Map row 0 is the file's bottom row " xx".
    EXPECT_EQ(Bytes(map.GetAlphaMaskPixels(), 6), (std::vector<unsigned char>{0, 255, 255, 255, 0, 255}));
    EXPECT_EQ(Bytes(map.GetPixels() + 3, 3), (std::vector<unsigned char>{0x10, 0x20, 0x30}));
    EXPECT_FLOAT_EQ(map.GetAspect(), 1.5f);

    // A plain RGB file keeps a map without mask maskless.
    wxImage rgb(4, 2);
    rgb.SetRGB(0, 0, 1, 2, 3);
    ASSERT_TRUE(rgb.SaveFile(PathOf("plain.png"), wxBITMAP_TYPE_PNG));
    TQORMaterialMapSource plain;
    ASSERT_TRUE(plain.ImportFile(PathOf("plain.png").c_str()));
    EXPECT_FALSE(plain.HasAlphaMask());
    EXPECT_EQ(Bytes(plain.GetPixels() + 3 * 4, 3), (std::vector<unsigned char>{1, 2, 3}));   // top-left is row 1

    EXPECT_FALSE(plain.ImportFile(PathOf("missing.png").c_str()));
    EXPECT_EQ(plain.GetWidth(), 4);
}

TEST_F(MapSourceFiles, ExportWritesPixelsAndMaskAndInvalidates)
{
    std::mt19937 rng(3);
    auto map = NewMap(5, 3);
    FillRandom(map->GetPixels(), map->GetPixelBytes(), rng);
    map->GetAlphaMask().SetDimensions(5, 3, 1);
    FillRandom(map->GetAlphaMaskPixels(), 15, rng);
    ValidateAll(*map);   // an empty layer: the resolved image is transparent black over the grid
    Group.Empty();
    FillRandom(map->GetPixels(), map->GetPixelBytes(), rng);
    FillRandom(map->GetAlphaMaskPixels(), 15, rng);

    const std::string png = PathOf("out.png");
    ASSERT_TRUE(map->ExportFile(png.c_str()));
    EXPECT_EQ(map->GetStaleBlocks().size(), 4096u);
    TQORMaterialMapSource back;
    ASSERT_TRUE(back.ImportFile(png.c_str()));
    EXPECT_EQ(Bytes(back.GetPixels(), 45), Bytes(map->GetPixels(), 45));
    EXPECT_EQ(Bytes(back.GetAlphaMaskPixels(), 15), Bytes(map->GetAlphaMaskPixels(), 15));

    EXPECT_FALSE(map->ExportFile(PathOf("no_such_folder/out.png").c_str()));
}

TEST_F(MapSourceFiles, EveryAcceptedSizeReloadsAtItsSizeWithItsMask)
{
    struct Case {
        int w, h;           // asked of Initialize
        int keptW, keptH;   // what the map is, and reloads as
    };
    const Case cases[] = {
        {1, 1, 1, 1}, {1, 7, 1, 7}, {7, 1, 7, 1}, {3, 5, 3, 5},
        {20000, 2, 20000, 2}, {20001, 2, 20000, 2},   // one rule: a side above the limit is never created
    };
    std::mt19937 rng(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        Warnings.clear();
        TQORMaterialMapSource map;
        map.SetName("Size.PNG");
        map.Initialize(c.w, c.h, nullptr);
        ASSERT_EQ(map.GetWidth(), c.keptW);
        ASSERT_EQ(map.GetHeight(), c.keptH);
        const size_t texels = size_t(c.keptW) * size_t(c.keptH);
        FillRandom(map.GetPixels(), map.GetPixelBytes(), rng);
        map.GetAlphaMask().SetDimensions(c.keptW, c.keptH, 1);
        FillRandom(map.GetAlphaMaskPixels(), texels, rng);
        {
            FILE* out = std::fopen(PathOf("map.txt").c_str(), "wb");
            ASSERT_NE(out, nullptr);
            WriteMapBlock(out, map);
            std::fclose(out);
        }
        FILE* in = std::fopen(PathOf("map.txt").c_str(), "rb");
        ASSERT_NE(in, nullptr);
        TQORMaterialMapSource back;
        back.LoadFromStream_Text(in);
        std::fclose(in);
        EXPECT_EQ(back.GetWidth(), c.keptW);
        EXPECT_EQ(back.GetHeight(), c.keptH);
        ASSERT_TRUE(back.HasAlphaMask());
        EXPECT_TRUE(Bytes(back.GetPixels(), map.GetPixelBytes()) == Bytes(map.GetPixels(), map.GetPixelBytes()));
        EXPECT_TRUE(Bytes(back.GetAlphaMaskPixels(), texels) == Bytes(map.GetAlphaMaskPixels(), texels));
        EXPECT_TRUE(Warnings.empty());
    }

    // Importing keeps to the same rule: a side above the limit is refused, a single pixel taken as it is.
    struct ImportCase { int w, h; bool accepted; };
    const ImportCase imports[] = {{1, 1, true}, {1, 7, true}, {20001, 2, false}};
    for (const ImportCase& c : imports) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " imported");
        wxImage image(c.w, c.h);
        const std::string png = PathOf("import.png");
        ASSERT_TRUE(image.SaveFile(png, wxBITMAP_TYPE_PNG));
        TQORMaterialMapSource map;
        map.Initialize(4, 4, nullptr);
        EXPECT_EQ(map.ImportFile(png.c_str()), c.accepted);
        EXPECT_EQ(map.GetWidth(), c.accepted ? c.w : 4);
        EXPECT_EQ(map.GetHeight(), c.accepted ? c.h : 4);
    }
}

// [The "map" block] ------------------------------------------------------------

TEST_F(MapSource, MapBlockRoundTrip)
{
    std::mt19937 rng(11);
    auto map = NewMap(8, 6);
    map->SetName("Skin.PNG");
    map->SetMapFileName("skin.png");
    const float colour[3] = {0.25f, 0.5f, 1.0f};
    map->SetDefaultColor(colour);
    FillRandom(map->GetPixels(), map->GetPixelBytes(), rng);
    map->GetAlphaMask().SetDimensions(8, 6, 1);
    FillRandom(map->GetAlphaMaskPixels(), 48, rng);
    TKSN_MapLayer* bottom = AddLayer("Bottom");
    TKSN_MapLayer* top = AddLayer("Top", 3);
    TQORMaterialMapSource* bottomMap = PaintLayer(*map, bottom, true, rng);
    TQORMaterialMapSource* topMap = PaintLayer(*map, top, true, rng);
    bottomMap->SetName("Bottom paint");

    FILE* f = std::tmpfile();
    WriteMapBlock(f, *map);
    const std::string text = ReadAll(f);
    EXPECT_LT(text.find("layer\tBottom"), text.find("layer\tTop"));   // bottom layer first
    EXPECT_NE(text.find("\tDefaultColor\t0.25000000 0.50000000 1.00000000\n"), std::string::npos);
    EXPECT_EQ(TextFileIndent, 0);

    std::rewind(f);
    TQORMaterialMapSource back;
    back.SetLayerTopGroup(&Group);
    back.LoadFromStream_Text(f);
    std::fclose(f);

    EXPECT_STREQ(back.GetName(), "Skin.PNG");
    EXPECT_STREQ(back.GetMapFileName(), "skin.png");
    EXPECT_EQ(std::vector<float>(back.GetDefaultColor(), back.GetDefaultColor() + 3),
              std::vector<float>(colour, colour + 3));
    EXPECT_EQ(Bytes(back.GetPixels(), 144), Bytes(map->GetPixels(), 144));
    EXPECT_EQ(Bytes(back.GetAlphaMaskPixels(), 48), Bytes(map->GetAlphaMaskPixels(), 48));
    for (auto [layer, original] : {std::pair{bottom, bottomMap}, std::pair{top, topMap}}) {
        SCOPED_TRACE(layer->GetName());
        TQORMaterialMapSource* loaded = back.GetMapLayer(layer, false);
        ASSERT_NE(loaded, nullptr);
        EXPECT_STREQ(loaded->GetName(), original->GetName());
        EXPECT_EQ(loaded->GetLayerTopGroupID(), Group.GetID());
        EXPECT_EQ(Bytes(loaded->GetPixels(), 144), Bytes(original->GetPixels(), 144));
        EXPECT_EQ(Bytes(loaded->GetAlphaMaskPixels(), 48), Bytes(original->GetAlphaMaskPixels(), 48));
    }
    // The composite follows from the loaded layers exactly as from the originals.
    map->InvalidateResolvedMap();
    EXPECT_EQ(Bytes(back.GetResolvedPixels(), 144), Bytes(map->GetResolvedPixels(), 144));
    EXPECT_TRUE(Warnings.empty());
}

TEST_F(MapSource, MapBlockWithFaultyParts)
{
    std::mt19937 rng(2);
    auto source = NewMap(4, 4);
    source->SetName("Face.PNG");
    FillRandom(source->GetPixels(), source->GetPixelBytes(), rng);
    source->GetAlphaMask().SetDimensions(4, 4, 1);
    std::memset(source->GetAlphaMaskPixels(), 9, 16);
    TQORMaterialMapSource stray;
    stray.Initialize(4, 4, nullptr);

    FILE* f = std::tmpfile();
    {
        TStartTextFileBlock block("map", "0", f, true);
        source->SaveToStream_Text(f, false);   // a good mask first...
        const unsigned char five[5] = {1, 2, 3, 4, 5};
        SaveBinaryDataToTextFile(f, five, 5, "mask");   // ...then one of the wrong size
        {
            TStartTextFileBlock layer("layer", "No such layer", f, true);
            stray.SaveToStream_Text(f, false);
        }
        std::fputs("\tFileFormat\tJPG\n\tMapFileName\tafter.png\n", f);
    }
    std::rewind(f);
    TQORMaterialMapSource back;
    back.LoadFromStream_Text(f);
    std::fclose(f);

    EXPECT_EQ(Bytes(back.GetPixels(), 48), Bytes(source->GetPixels(), 48));   // pixels kept
    EXPECT_FALSE(back.HasAlphaMask());                                          // mask dropped
    ASSERT_EQ(Warnings.size(), 1u);
    EXPECT_EQ(Warnings[0], "The mask in the map 'Face.PNG' has the wrong dimensions");
    TKSN_LayerIDIterator begin, end;
    back.GetRawLayerDataIterators(begin, end);
    EXPECT_EQ(begin, end);                                 // the unknown layer was skipped
    EXPECT_STREQ(back.GetMapFileName(), "after.png");      // and reading went on
    EXPECT_STREQ(back.GetName(), "Face.JPG");
    EXPECT_STREQ(back.GetFileFormat(), "JPG");
}

} // namespace

// TQORMaterialMapSource: layer resolution and the preview texture.
//
// The resolved image is composited in place, block run by block run: every
// stale block becomes a short list of steps (a clear to transparent black, one
// blend per visible layer from the bottom up, and, when the stack does not
// start with an opaque layer, a step that un-darkens the accumulated colour
// and lays it over a checkerboard). Horizontally adjacent stale blocks of one
// grid row merge into one run, and the pool's slots take the runs one at a
// time as they finish; runs are disjoint, so the slots need no lock and the
// result does not depend on the number of slots. Inside a run the steps go
// band by band of a few rows, so each band is cleared, blended and post-mixed
// while it is in cache.
//
// [Index]
//   [Grid colours]   the checkerboard colours (application stand-in)
//   [Steps]          FillInBlack, PostMixGridGrid, the pool function
//   [Resolution]     ResolveLayers
//   [Preview]        MakeThumbnail
#include "QORMaterialMapSource.h"

#include "KSN_LayerBlend.h"
#include "KSN_LayerBlend_Internal.h"
#include "QORImageMap_Internal.h"
#include "QORLookupTables.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

bool ResolvingLayersForExport = false;

namespace {

template <class T>
T* ThingyAs(uint32_t ID)
{
    return ID ? dynamic_cast<T*>(__GetThingyFromID(ID)) : nullptr;
}

// [Grid colours] --------------------------------------------------------------

std::atomic<TQORImageMap_GridColorsFunc> GridColorsFunc{nullptr};

void GetGridColors(unsigned char* first, unsigned char* second)
{
    std::memset(first, 0, 3);
    std::memset(second, 0, 3);
    if (TQORImageMap_GridColorsFunc func = GridColorsFunc.load()) func(first, second);
}

} // namespace

void QORMaterialMapSource_AssignBackgroundGridColors(TQORImageMap_GridColorsFunc func)
{
    GridColorsFunc.store(func);
}

// [Steps] ---------------------------------------------------------------------

void MixMapLayers_FillInBlack(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1, int y1, int width,
                              int /*height*/, unsigned char* /*colourA*/, unsigned char* /*colourB*/)
{
    if (x1 <= x0 || y1 <= y0) return;
    const size_t count = size_t(x1 - x0);
    for (int y = y0; y < y1; ++y) {
        const size_t first = size_t(y) * size_t(width) + size_t(x0);
        std::memset(rgb + first * 3, 0, count * 3);
        std::memset(alpha + first, 0, count);
    }
}

namespace {

// KSN_UnpremultiplyByte for every alpha (row) and colour (column): the
// post-mix runs over whole maps, and three divisions a pixel dominate it.
const unsigned char* UnpremultiplyTable()
{
    static const std::vector<unsigned char> table = [] {
        std::vector<unsigned char> t(256 * 256);
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c) t[size_t(a) * 256 + size_t(c)] = KSN_UnpremultiplyByte(c, a);
        return t;
    }();
    return table.data();
}

} // namespace

void MixMapLayers_PostMixGridGrid_Scalar(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1, int y1,
                                         int width, int /*height*/, unsigned char* colourA, unsigned char* colourB)
{
    const bool grid = !ResolvingLayersForExport;
    const unsigned char* unpremultiply = UnpremultiplyTable();
    for (int y = y0; y < y1; ++y) {
        const size_t first = size_t(y) * size_t(width);
        for (int x = x0; x < x1; ++x) {
            const size_t at = first + size_t(x);
            const int a = alpha[at];
            const unsigned char* plain = unpremultiply + size_t(a) * 256;
            unsigned char* c = rgb + at * 3;
            if (!grid) {
                for (int k = 0; k < 3; ++k) c[k] = plain[c[k]];
                continue;
            }
            const unsigned char* g = ((x / 4 + y / 4) & 1) ? colourA : colourB;
            for (int k = 0; k < 3; ++k)
                c[k] = static_cast<unsigned char>(g[k] + KSN_Div255((plain[c[k]] - g[k]) * a));
        }
    }
}

namespace {

using TBlendHalf = unsigned short __attribute__((vector_size(16)));
using TBlendFloats = float __attribute__((vector_size(32)));
using TBlendInts = int __attribute__((vector_size(32)));

// KSN_UnpremultiplyByte on eight lanes: c * 255 / a truncated, held at 255.
// The float quotient truncates to the integer one wherever that is below 256:
// its rounding error, under 2^-16, is far below the 1 / a that separates a
// quotient from the next integer; above 255 the hold decides anyway.
inline __attribute__((always_inline)) TBlendHalf UnpremultiplyHalf(TBlendHalf c, TBlendHalf a)
{
    const TBlendFloats n = __builtin_convertvector(c, TBlendFloats) * 255.0f;
    const TBlendFloats d = __builtin_convertvector(a, TBlendFloats);
    const TBlendFloats one = {1, 1, 1, 1, 1, 1, 1, 1};
    TBlendInts q = __builtin_convertvector(n / (d < one ? one : d), TBlendInts);
    const TBlendInts top = {255, 255, 255, 255, 255, 255, 255, 255}, zero = {};
    q = q > top ? top : q;
    q = __builtin_convertvector(a, TBlendInts) == zero ? zero : q;
    return __builtin_convertvector(q, TBlendHalf);
}

inline __attribute__((always_inline)) TBlendLanes Unpremultiply(TBlendLanes c, TBlendLanes a)
{
    const TBlendHalf lo = UnpremultiplyHalf(__builtin_shufflevector(c, c, 0, 1, 2, 3, 4, 5, 6, 7),
                                            __builtin_shufflevector(a, a, 0, 1, 2, 3, 4, 5, 6, 7));
    const TBlendHalf hi = UnpremultiplyHalf(__builtin_shufflevector(c, c, 8, 9, 10, 11, 12, 13, 14, 15),
                                            __builtin_shufflevector(a, a, 8, 9, 10, 11, 12, 13, 14, 15));
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// The checkerboard's colour bytes repeat every 8 pixels (24 bytes); for each
// parity of y / 4, 24 + 48 bytes hold the 48 bytes of any sixteen pixels from
// x at offset 3 * (x % 8).
void FillCheckerCells(unsigned char (&cells)[2][72], const unsigned char* colourA, const unsigned char* colourB)
{
    for (int parity = 0; parity < 2; ++parity)
        for (int pixel = 0; pixel < 24; ++pixel) {
            const unsigned char* colour = ((pixel % 8) / 4 + parity) % 2 ? colourA : colourB;
            for (int c = 0; c < 3; ++c) cells[parity][3 * pixel + c] = colour[c];
        }
}

#pragma GCC push_options
#pragma GCC target("avx2")

// floor(65536 / a) per pixel for sixteen alphas a (0 counts as 1), held at
// 65535. The float quotient truncates to the integer one: below 65536 its
// rounding error is at most 2^-9, less than the 1/a between a quotient that
// is not whole and the next integer.
inline __attribute__((always_inline)) __m256i Avx2Reciprocals(__m128i a8)
{
    const __m256 top = _mm256_set1_ps(65536.0f), one = _mm256_set1_ps(1.0f);
    const __m256 lo = _mm256_max_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(a8)), one);
    const __m256 hi = _mm256_max_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_unpackhi_epi64(a8, a8))), one);
    const __m256i packed = _mm256_packus_epi32(_mm256_cvttps_epi32(_mm256_div_ps(top, lo)),
                                               _mm256_cvttps_epi32(_mm256_div_ps(top, hi)));
    return _mm256_permute4x64_epi64(packed, 0xd8);
}

// KSN_UnpremultiplyByte on sixteen 16-bit lanes, given each lane's
// reciprocal M = floor(65536 / a) (65535 for a = 1): n = 255c times M / 65536
// falls short of n / a by less than 1, so the quotient is q or q - 1 and one
// comparison (q + 1) * a <= n settles it; the products stay below 2^16.
inline __attribute__((always_inline)) __m256i Avx2Unpremultiply(__m256i c, __m256i a, __m256i M)
{
    const __m256i top = _mm256_set1_epi16(255);
    const __m256i n = _mm256_mullo_epi16(c, top);
    __m256i q = _mm256_min_epu16(_mm256_mulhi_epu16(n, M), top);
    const __m256i reach = _mm256_mullo_epi16(_mm256_add_epi16(q, _mm256_set1_epi16(1)), a);
    q = _mm256_sub_epi16(q, _mm256_cmpeq_epi16(_mm256_max_epu16(reach, n), n));   // true is -1
    q = _mm256_min_epu16(q, top);
    return _mm256_andnot_si256(_mm256_cmpeq_epi16(a, _mm256_setzero_si256()), q);
}

// The vector post-mix in AVX2 registers: the same bytes, with the same
// shortcuts for wholly covered and wholly clear groups.
__attribute__((noinline)) void PostMixAvx2Rows(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1,
                                               int y1, int width, int height, unsigned char* colourA,
                                               unsigned char* colourB)
{
    const __m128i spread[3] = {
        _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5),
        _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10),
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15),
    };
    // The same pixels as 16-bit words within each 128-bit half of the sources.
    const __m256i wordSpread[3] = {
        _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 4, 5, 4, 5, 4, 5, 6, 7, 6, 7, 6, 7, 8, 9, 8, 9, 8, 9, 10,
                         11),
        _mm256_setr_epi8(10, 11, 10, 11, 12, 13, 12, 13, 12, 13, 14, 15, 14, 15, 14, 15, 0, 1, 0, 1, 0, 1, 2, 3, 2, 3,
                         2, 3, 4, 5, 4, 5),
        _mm256_setr_epi8(4, 5, 6, 7, 6, 7, 6, 7, 8, 9, 8, 9, 8, 9, 10, 11, 10, 11, 10, 11, 12, 13, 12, 13, 12, 13, 14,
                         15, 14, 15, 14, 15),
    };
    const bool grid = !ResolvingLayersForExport;
    unsigned char cells[2][72];
    FillCheckerCells(cells, colourA, colourB);
    const __m128i ones = _mm_set1_epi8(-1);
    for (int y = y0; y < y1; ++y) {
        const size_t row = size_t(y) * size_t(width);
        const unsigned char* cellRow = cells[(y / 4) & 1];
        int x = x0;
        for (; x + 16 <= x1; x += 16) {
            const size_t i = row + size_t(x);
            const __m128i a8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + i));
            unsigned char* C = rgb + 3 * i;
            if (_mm_testc_si128(a8, ones)) continue;
            if (_mm_testz_si128(a8, a8)) {
                if (grid)
                    std::memcpy(C, cellRow + 3 * (x % 8), 48);
                else
                    std::memset(C, 0, 48);
                continue;
            }
            // Each pixel's reciprocal to the lanes of its channels: the
            // first vector takes pixels 0..5, the second 5..10, the third
            // 10..15, each 128-bit half from one half of M.
            const __m256i M = Avx2Reciprocals(a8);
            const __m256i sources[3] = {_mm256_permute2x128_si256(M, M, 0x00), M,
                                        _mm256_permute2x128_si256(M, M, 0x11)};
            for (int k = 0; k < 3; ++k) {
                unsigned char* Ck = C + 16 * k;
                const __m256i a = _mm256_cvtepu8_epi16(_mm_shuffle_epi8(a8, spread[k]));
                const __m256i Mk = _mm256_shuffle_epi8(sources[k], wordSpread[k]);
                const __m256i plain = Avx2Unpremultiply(Avx2Load(Ck), a, Mk);
                Avx2Store(Ck, grid ? Avx2Mix(Avx2Load(cellRow + 3 * (x % 8) + 16 * k), plain, a) : plain);
            }
        }
        if (x < x1)
            MixMapLayers_PostMixGridGrid_Scalar(rgb, alpha, x, y, x1, y + 1, width, height, colourA, colourB);
    }
}

#pragma GCC pop_options

} // namespace

// Sixteen pixels at a time; the ragged ends of a row go through the scalar
// post-mix, whose bytes the vector lanes reproduce.
__attribute__((target_clones("avx2", "default"))) void
MixMapLayers_PostMixGridGrid(unsigned char* rgb, unsigned char* alpha, int x0, int y0, int x1, int y1, int width,
                             int height, unsigned char* colourA, unsigned char* colourB)
{
    if (LayerBlendUsesAvx2Rows()) {
        PostMixAvx2Rows(rgb, alpha, x0, y0, x1, y1, width, height, colourA, colourB);
        return;
    }
    constexpr TBlendBytes Spread[3] = {
        {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5},
        {5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10},
        {10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15},
    };
    const bool grid = !ResolvingLayersForExport;
    unsigned char cells[2][72];
    FillCheckerCells(cells, colourA, colourB);
    for (int y = y0; y < y1; ++y) {
        const size_t row = size_t(y) * size_t(width);
        const unsigned char* cellRow = cells[(y / 4) & 1];
        int x = x0;
        for (; x + 16 <= x1; x += 16) {
            const size_t i = row + size_t(x);
            const TBlendBytes a8 = [&] {
                TBlendBytes b;
                std::memcpy(&b, alpha + i, sizeof b);
                return b;
            }();
            // Painted maps are mostly fully covered or untouched: a fully
            // covered pixel keeps its colour (c * 255 / 255, mixed in at 255),
            // an untouched one becomes the checkerboard (or black for export).
            uint64_t words[2];
            std::memcpy(words, &a8, sizeof words);
            if ((words[0] & words[1]) == ~uint64_t(0)) continue;
            if ((words[0] | words[1]) == 0) {
                unsigned char* C = rgb + 3 * i;
                if (grid)
                    std::memcpy(C, cellRow + 3 * (x % 8), 48);
                else
                    std::memset(C, 0, 48);
                continue;
            }
            for (int k = 0; k < 3; ++k) {
                unsigned char* C = rgb + 3 * i + 16 * size_t(k);
                const TBlendLanes a = __builtin_convertvector(__builtin_shuffle(a8, Spread[k]), TBlendLanes);
                const TBlendLanes plain = Unpremultiply(BlendLoad(C), a);
                if (!grid) {
                    BlendStore(C, plain);
                    continue;
                }
                BlendStore(C, BlendMix(BlendLoad(cellRow + 3 * (x % 8) + 16 * k), plain, a));
            }
        }
        if (x < x1)
            MixMapLayers_PostMixGridGrid_Scalar(rgb, alpha, x, y, x1, y + 1, width, height, colourA, colourB);
    }
}

namespace {

// Rows of a band: about this many pixels, so that one band of the resolved
// image (colour and alpha) stays in the first-level cache from its clear
// through every layer to the post-mix.
constexpr int kBandPixels = 8192;

// Jobs a run of stale blocks is cut into (by rows).
constexpr int kSlicesPerRun = 4;

bool SameRectangle(const TResolveLayer_BlockInfo& a, const TResolveLayer_BlockInfo& b)
{
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}

void RunStep(TResolveLayer_Job& job, const TResolveLayer_BlockInfo& step, int y0, int y1)
{
    unsigned char* first = job.firstGridColor;
    unsigned char* second = job.secondGridColor;
    if (step.postMix) {
        MixMapLayers_PostMixGridGrid(job.destinationPixels, job.destinationAlpha, step.x0, y0, step.x1, y1, job.width,
                                     job.height, first, second);
    } else if (step.mixFunction) {
        step.mixFunction(step.layer, job.destinationPixels, job.destinationAlpha, step.sourcePixels, step.sourceAlpha,
                         step.x0, y0, step.x1, y1, job.width, job.height);
    } else {
        MixMapLayers_FillInBlack(job.destinationPixels, job.destinationAlpha, step.x0, y0, step.x1, y1, job.width,
                                 job.height, first, second);
    }
}

} // namespace

void* ResolveMapLayer_Func(void* data)
{
    auto* job = static_cast<TResolveLayer_Job*>(data);
    const std::vector<TResolveLayer_BlockInfo>& steps = job->steps;
    // Consecutive steps on one rectangle (a run's clear, blends and post-mix)
    // go band by band instead of step by step. Every step works pixel by pixel
    // on its own pixels, so the order between bands changes no byte.
    for (size_t first = 0; first < steps.size();) {
        size_t end = first + 1;
        while (end < steps.size() && SameRectangle(steps[end], steps[first])) ++end;
        const TResolveLayer_BlockInfo& r = steps[first];
        const int band = std::max(1, kBandPixels / std::max(1, r.x1 - r.x0));
        for (int y = r.y0; y < r.y1; y += band) {
            const int yEnd = std::min(r.y1, y + band);
            for (size_t k = first; k < end; ++k) RunStep(*job, steps[k], y, yEnd);
        }
        first = end;
    }
    return nullptr;
}

namespace {

// One run per block of ProcessBlocks: slots take the next run when done.
void ResolveRuns(size_t first, size_t end, void* jobs)
{
    for (size_t k = first; k < end; ++k) ResolveMapLayer_Func(&(*static_cast<std::vector<TResolveLayer_Job>*>(jobs))[k]);
}

} // namespace

// [Resolution] ----------------------------------------------------------------

namespace {

// One layer map of the stack, bottom first.
struct TStackEntry {
    TQORMaterialMapSource* map = nullptr;
    TKSN_LayerDefinition* definition = nullptr;   // null when it no longer resolves
};

// Brings a layer map to the composite's shape: its size, 3 bytes a pixel and
// a mask of its size when it has one. A layer map that never had pixels
// becomes black and fully transparent, as a new one is.
bool PrepareLayerMap(TQORMaterialMapSource* layerMap, int width, int height)
{
    if (layerMap->GetPixelBytes() == 0) {
        layerMap->SetDimensions(width, height, 3);
        if (unsigned char* pixels = layerMap->GetPixels()) ImageMap_FillBytes(pixels, 0, layerMap->GetPixelBytes());
        layerMap->GetAlphaMask().SetDimensions(width, height, 1);
        layerMap->GetAlphaMask().ClearToValue(0);
    }
    if (layerMap->GetWidth() != width || layerMap->GetHeight() != height) layerMap->Resize(width, height);
    if (layerMap->GetBytesPerPixel() != 3 || layerMap->GetWidth() != width || layerMap->GetHeight() != height)
        return false;
    if (layerMap->HasAlphaMask() && !layerMap->IsAlphaMaskValid())
        layerMap->GetAlphaMask().Resize(width, height, QORImageMap_Resize_Bilinear);
    return layerMap->GetPixels() != nullptr;
}

void AppendStep(TResolveLayer_Job& job, int x0, int y0, int x1, int y1, bool postMix)
{
    TResolveLayer_BlockInfo step;
    step.x0 = x0;
    step.y0 = y0;
    step.x1 = x1;
    step.y1 = y1;
    step.postMix = postMix;
    job.steps.push_back(step);
}

// Clears the export flag on every way out, also when a job threw.
struct TExportFlagScope {
    explicit TExportFlagScope(bool forExport) { ResolvingLayersForExport = forExport; }
    ~TExportFlagScope() { ResolvingLayersForExport = false; }
    TExportFlagScope(const TExportFlagScope&) = delete;
    TExportFlagScope& operator=(const TExportFlagScope&) = delete;
};

} // namespace

void TQORMaterialMapSource::ResolveLayers(bool forExport)
{
    TQORImageMapLock lock(OwnerMutex);

    // 1. Only a map whose layer group holds layers, and only when something is stale.
    auto* group = ThingyAs<TKSN_LayerGroup>(GetLayerTopGroupID());
    if (!group || !group->items || group->items->Count() == 0) return;
    {
        std::scoped_lock gridLock(GridMutex);
        if (StaleQueueLength == 0) return;
    }
    const int W = Width, H = Height;
    if (W <= 0 || H <= 0 || BytesPerPixel != 3) return;

    // 2. Shared state of the kernels.
    Create_Saturation_Up_Table(0.0f);
    ResolvingLayersForExport = false;

    // 3. The composite's alpha lives in the mask; every resolved pixel is
    //    cleared first, so a new mask needs no initial value.
    if (!HasAlphaMask() || !IsAlphaMaskValid()) AlphaMask.SetDimensions(W, H, 1);

    // 4. The stack, bottom layer first, each layer map shaped like the map;
    //    every layer but the bottom one gets a mask (opaque when it had none).
    std::vector<TStackEntry> stack;
    TKSN_LayerOrderIterator begin, end;
    GetOrderedLayerDataIterators(begin, end);
    for (auto it = begin; it != end; ++it) {
        auto* layerMap = ThingyAs<TQORMaterialMapSource>(it->second);
        if (!layerMap || layerMap == this) continue;
        if (!PrepareLayerMap(layerMap, W, H)) continue;
        if (!stack.empty() && !layerMap->HasAlphaMask()) {
            layerMap->GetAlphaMask().SetDimensions(W, H, 1);
            layerMap->GetAlphaMask().ClearToValue(255);
        }
        stack.push_back({layerMap, ThingyAs<TKSN_LayerDefinition>(layerMap->GetDefinitionID())});
    }

    // 5. Destination and checkerboard.
    unsigned char* destination = GetPixels();
    unsigned char* destinationAlpha = AlphaMask.GetPixels();
    if (!destination || !destinationAlpha) return;
    unsigned char firstGrid[3], secondGrid[3];
    GetGridColors(firstGrid, secondGrid);

    // 7. An opaque bottom layer (no mask) covers everything: no checkerboard.
    //    It still starts from a cleared rectangle, never from old bytes.
    bool postMixNeeded = true;
    for (const TStackEntry& entry : stack) {
        if (!entry.definition || entry.definition->IsHidden()) continue;
        postMixNeeded = entry.map->HasAlphaMask();
        break;
    }

    // The blend steps of every run: the pixel pointers are fetched here, on
    // this thread, through the maps' own locking accessors.
    std::vector<TResolveLayer_BlockInfo> blends;
    for (const TStackEntry& entry : stack) {
        auto* layer = dynamic_cast<TKSN_MapLayer*>(entry.definition);
        if (!layer || layer->IsHidden()) continue;
        TResolveLayer_BlockInfo step;
        step.layer = layer;
        step.sourcePixels = entry.map->GetPixels();
        step.sourceAlpha = entry.map->GetAlphaMaskPixels();
        step.mixFunction = layer->GetMixFunction();
        if (step.sourcePixels && step.mixFunction) blends.push_back(step);
    }

    // 6. The pool; one job per run, handed to whichever slot is free.
    if (!ThreadCruncher) ThreadCruncher_Initialize();
    TThreadCruncher* pool = ThreadCruncher;
    TThreadCruncher_Releaser releaser;
    pool->StartUsing(releaser);
    std::vector<TResolveLayer_Job> jobs;
    auto newJob = [&]() -> TResolveLayer_Job& {
        TResolveLayer_Job& job = jobs.emplace_back();
        job.destinationPixels = destination;
        job.destinationAlpha = destinationAlpha;
        job.width = W;
        job.height = H;
        std::memcpy(job.firstGridColor, firstGrid, 3);
        std::memcpy(job.secondGridColor, secondGrid, 3);
        return job;
    };

    // 8 and 10. Cut the stale blocks into runs and deal them out. The queue is
    //    taken whole under the grid mutex and every block is valid from here
    //    on: a block marked while the workers run is queued again and
    //    resolved next time, never lost.
    {
        std::scoped_lock gridLock(GridMutex);
        constexpr int n64 = GridDimension;
        for (int q = 0; q < StaleQueueLength; ++q) {
            const int i = StaleQueue[size_t(q)];
            if (BlockValid[size_t(i)]) continue;
            const int bx = i % n64, by = i / n64;
            const int y0 = int(int64_t(H) * by / n64), y1 = int(int64_t(H) * (by + 1) / n64);
            const int x0 = int(int64_t(W) * bx / n64);
            int e = bx;
            while (e < n64 && !BlockValid[size_t(by * n64 + e)]) BlockValid[size_t(by * n64 + e++)] = 1;
            const int x1 = int(int64_t(W) * e / n64);
            if (x1 <= x0 || y1 <= y0) continue;   // blocks narrower than a pixel hold none

            // A run goes out in slices of a few rows, so that even one
            // stale block (a brush dab) keeps several slots busy.
            const int sliceRows = std::max(1, (y1 - y0 + kSlicesPerRun - 1) / kSlicesPerRun);
            for (int sy0 = y0; sy0 < y1; sy0 += sliceRows) {
                const int sy1 = std::min(y1, sy0 + sliceRows);
                TResolveLayer_Job& job = newJob();
                AppendStep(job, x0, sy0, x1, sy1, false);
                for (TResolveLayer_BlockInfo step : blends) {
                    step.x0 = x0;
                    step.y0 = sy0;
                    step.x1 = x1;
                    step.y1 = sy1;
                    job.steps.push_back(step);
                }
                if (postMixNeeded) AppendStep(job, x0, sy0, x1, sy1, true);
            }
        }
        for (int q = 0; q < StaleQueueLength; ++q) BlockValid[size_t(StaleQueue[size_t(q)])] = 1;
        StaleQueueLength = 0;
    }

    // 9. Run.
    TExportFlagScope exportFlag(forExport);
    try {
        pool->ProcessBlocks(jobs.size(), 1, ResolveRuns, &jobs);
    } catch (...) {
        // The blocks were marked valid up front; none of them can be trusted now.
        InvalidateResolvedMap();
        throw;
    }
}

// [Preview] -------------------------------------------------------------------

void TQORMaterialMapSource::MakeThumbnail(float* unused1, float* unused2)
{
    if (!HelpersInvalid) return;
    if (!GetResolvedPixels()) return;
    // The map's own pixels now hold the resolved image, 3 bytes a pixel, so
    // the image map's preview shows it as it is, without a checkerboard.
    TQORImageMap::MakeThumbnail(unused1, unused2);
}

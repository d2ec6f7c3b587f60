// The octree of a freshly built level: the mesh root's build, with the
// polygon filing and the box fit worked out from the level's own records
// instead of walking every row of the vertex-to-polygon table visit by
// visit. The tree, the slices, the lists and the boxes are the ones the
// mesh root's build makes (see KSN_MeshRoot_Octree.cpp); only the way to
// them is shorter. See KSN_SubDMesh.h.
#include "KSN_SubDMesh.h"

#include "KSN_OctreeLeafBoxes.h"

#include "KSN_ParallelBlocks.h"
#include "QORMemory.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <vector>

namespace {

bool InRange(int index, int count) { return index >= 0 && index < count; }

// The polygon's corners into c; their count (a triangle repeats its third).
int CornersOf(const TKSN_SubDPolygon& poly, int32_t (&c)[4])
{
    c[0] = poly.Corner0;
    c[1] = poly.Corner1;
    c[2] = poly.Corner2;
    c[3] = poly.Corner3;
    return c[2] == c[3] ? 3 : 4;
}

} // namespace

void TKSN_SubDMesh::BuildLevelOctree()
{
    // The mesh root's build step by step (BuildOctree); the table's rows were
    // made from the polygons as they are now.
    BeginLevelOctreeBuild();
    // One working block for both steps below (2 V + 2 P + 1 ints).
    const size_t V = size_t(std::max(vertexCount, 0)), P = size_t(std::max(polygonCount, 0));
    const auto work = std::make_unique_for_overwrite<int32_t[]>(2 * V + 2 * P + 1);
    FileLevelPolygons(work.get());
    EndOctreeBuild();
    if (!FitLevelOctreeBoxes(work.get())) RecalculateOctreePolyBoundsRecurse(octreeRoot.get(), nullptr, nullptr);
}

void TKSN_SubDMesh::BeginLevelOctreeBuild()
{
    auto root = StartOctreeRoot();

    // The cell from the base positions of the visible vertices, as the
    // root's serial fold makes it: the first in-range vertex starts it, then
    // std::min / std::max keep the earlier of equal values (+0 and -0) and
    // pass over a NaN. So a block folds only its non-NaN values, the blocks
    // are combined in order the same way, and an axis whose first value is
    // NaN stays that NaN, as the fold started from it would. The flags of
    // the visible polygons are cleared in the same hand-out.
    const int visibleVertexTotal = GetVisibleVertexCount();
    constexpr size_t kBlock = 16384;
    const size_t vertexBlocks = (size_t(std::max(visibleVertexTotal, 0)) + kBlock - 1) / kBlock;
    const size_t polygonBlocks = (size_t(std::max(visiblePolygonCount, 0)) + kBlock - 1) / kBlock;
    struct TFold {
        float Min[3], Max[3];
        bool Found[3];
    };
    std::vector<TFold> folds(vertexBlocks);
    auto pass = [&](size_t first, size_t end) {
        for (size_t b = first; b < end; ++b) {
            if (b >= vertexBlocks) {
                const size_t from = (b - vertexBlocks) * kBlock;
                const size_t to = std::min(size_t(visiblePolygonCount), from + kBlock);
                for (size_t i = from; i < to; ++i)
                    if (InRange(visiblePolygons[i], polygonCount))
                        std::atomic_ref<uint8_t>(CustomPFlags[visiblePolygons[i]]).store(0, std::memory_order_relaxed);
                continue;
            }
            TFold f{{0, 0, 0}, {0, 0, 0}, {false, false, false}};
            const size_t to = std::min(size_t(visibleVertexTotal), (b + 1) * kBlock);
            for (size_t i = b * kBlock; i < to; ++i) {
                const int v = visibleVertices[i];
                if (!InRange(v, vertexCount)) continue;
                const float* p = baseVertices + 3 * size_t(v);
                for (int a = 0; a < 3; ++a) {
                    if (p[a] != p[a]) continue;
                    if (!f.Found[a]) {
                        f.Min[a] = f.Max[a] = p[a];
                        f.Found[a] = true;
                        continue;
                    }
                    f.Min[a] = std::min(f.Min[a], p[a]);
                    f.Max[a] = std::max(f.Max[a], p[a]);
                }
            }
            folds[b] = f;
        }
    };
    KSN_RunInBlocks(vertexBlocks + polygonBlocks, 1, pass);
    TFold all{{0, 0, 0}, {0, 0, 0}, {false, false, false}};
    for (const TFold& f : folds)
        for (int a = 0; a < 3; ++a) {
            if (!f.Found[a]) continue;
            all.Min[a] = all.Found[a] ? std::min(all.Min[a], f.Min[a]) : f.Min[a];
            all.Max[a] = all.Found[a] ? std::max(all.Max[a], f.Max[a]) : f.Max[a];
            all.Found[a] = true;
        }
    for (int i = 0; i < visibleVertexTotal; ++i) {
        const int v = visibleVertices[i];
        if (!InRange(v, vertexCount)) continue;
        const float* p = baseVertices + 3 * size_t(v);
        for (int a = 0; a < 3; ++a)
            if (p[a] != p[a]) all.Min[a] = all.Max[a] = p[a];
        break;
    }
    PlantOctreeRoot(std::move(root), all.Min, all.Max);
}

void TKSN_SubDMesh::FileLevelPolygons(int32_t* work)
{
    // The mesh root files a polygon in the first leaf, in walk order, whose
    // filed vertices' rows list it, at the place of that first visit (vertex
    // by vertex, each row in ascending polygon order). A row lists exactly
    // the polygons with a corner on its vertex, so the first visit of a
    // polygon is at its corner with the lowest place in the leaf-ordered
    // vertex list, and a leaf's polygons come by that place, then by number.
    std::vector<TQOROctreeNode<int>*> leaves;
    KSN_CollectOctreeLeaves(octreeRoot.get(), leaves);
    if (polygonCount <= 0) return;
    size_t filed = 0;
    for (const TQOROctreeNode<int>* leaf : leaves) filed += leaf->TempVertices.size();
    if (filed > size_t(std::max(vertexCount, 0))) {
        // A visible list naming vertices twice: more places than the work block has room for.
        AddPolygonsToOctree(octreeRoot.get());
        return;
    }

    // The place of each filed vertex (the first, should the list name one twice).
    int32_t* placeOf = work;
    std::fill_n(placeOf, std::max(vertexCount, 0), INT32_MAX);
    std::vector<int32_t> firstPlace(leaves.size() + 1, 0);
    int32_t place = 0;
    for (size_t l = 0; l < leaves.size(); ++l) {
        firstPlace[l] = place;
        for (const int32_t v : leaves[l]->TempVertices) {
            int32_t& slot = placeOf[size_t(v)];
            if (slot > place) slot = place;
            ++place;
        }
    }
    firstPlace[leaves.size()] = place;

    // Per polygon: the lowest place among its corners, -1 when it may not be
    // taken (flag set, hidden) or no corner was filed in a leaf.
    int32_t* lowest = work + std::max(vertexCount, 0);
    auto rank = [&](size_t first, size_t end) {
        for (size_t p = first; p < end; ++p) {
            int32_t best = INT32_MAX;
            if (!CustomPFlags[p] && !IsPolyHidden(int(p))) {
                int32_t c[4];
                const int n = CornersOf(Polygons[p], c);
                for (int k = 0; k < n; ++k)
                    if (InRange(c[k], vertexCount)) best = std::min(best, placeOf[size_t(c[k])]);
            }
            lowest[p] = best == INT32_MAX ? -1 : best;
        }
    };
    KSN_RunInBlocks(size_t(polygonCount), 16384, rank);

    // Counting sort by place: polygons of one place stay in ascending order.
    // place <= V: the room of V + 1 after lowest.
    int32_t* start = lowest + polygonCount;
    std::fill_n(start, size_t(place) + 1, 0);
    for (int p = 0; p < polygonCount; ++p)
        if (lowest[p] >= 0) ++start[size_t(lowest[p]) + 1];
    for (int32_t i = 0; i < place; ++i) start[size_t(i) + 1] += start[size_t(i)];
    int32_t* sorted = start + std::max(vertexCount, 0) + 1;
    std::vector<int32_t> leafStart(leaves.size() + 1);
    for (size_t l = 0; l <= leaves.size(); ++l) leafStart[l] = start[size_t(firstPlace[l])];
    for (int p = 0; p < polygonCount; ++p) {
        const int32_t at = lowest[size_t(p)];
        if (at >= 0) sorted[size_t(start[size_t(at)]++)] = p;
    }
    // Each polygon is in one leaf's run, so the flags set here are distinct items.
    auto take = [&](size_t first, size_t end) {
        for (size_t l = first; l < end; ++l) {
            if (leafStart[l + 1] == leafStart[l]) continue;
            leaves[l]->TempPolygons.assign(sorted + leafStart[l], sorted + leafStart[l + 1]);
            for (int32_t i = leafStart[l]; i < leafStart[l + 1]; ++i) CustomPFlags[sorted[size_t(i)]] = 1;
        }
    };
    KSN_RunInBlocks(leaves.size(), 16, take);
}

bool TKSN_SubDMesh::FitLevelOctreeBoxes(int32_t* work)
{
    // The mesh root fits each leaf over the polygons its vertices' rows name,
    // vertex by vertex in slice order, each row in ascending polygon order,
    // a polygon only at its first visit, corner by corner. A row names the
    // polygons with a corner on its vertex, so a leaf meets polygon p at
    // rank (lowest slice place among p's corners in the leaf, p). The
    // polygons of the leaf's own slice were filed at their lowest corner,
    // so they come in rank order already; the others with a corner in the
    // leaf (filed in an earlier leaf, or in none) are few and gathered from
    // the polygons' side. Both are merged by rank and grown in that order,
    // exactly as the walk grows them, without the walk over the rows.
    if (!octreeRoot || !resolvedVertices || vertexPolygons.GetRowCount() != vertexCount) return false;
    const int P = polygonCount, V = vertexCount;
    std::vector<TQOROctreeNode<int>*> leaves;
    KSN_CollectOctreeLeaves(octreeRoot.get(), leaves);
    const int L = int(leaves.size());

    // Leaf and slice place of each vertex of a slice; a vertex listed twice
    // is left to the walk.
    int32_t* placeOf = work;
    int32_t* leafOf = work + std::max(V, 0);
    std::fill_n(leafOf, std::max(V, 0), -1);
    for (int l = 0; l < L; ++l) {
        const int begin = std::max(leaves[size_t(l)]->VertexBegin, 0);
        const int end = std::min(leaves[size_t(l)]->VertexEnd, visibleVertexCount);
        for (int i = begin; i < end; ++i) {
            const int v = visibleVertices[i];
            if (!InRange(v, V)) continue;
            if (leafOf[size_t(v)] >= 0) return false;
            leafOf[size_t(v)] = l;
            placeOf[size_t(v)] = i;
        }
    }
    // The leaf whose slice holds each polygon.
    int32_t* sliceLeaf = leafOf + std::max(V, 0);
    std::fill_n(sliceLeaf, std::max(P, 0), -1);
    for (int l = 0; l < L; ++l) {
        const int begin = std::max(leaves[size_t(l)]->PolygonBegin, 0);
        const int end = std::min(leaves[size_t(l)]->PolygonEnd, visiblePolygonCount);
        for (int i = begin; i < end; ++i) {
            const int p = visiblePolygons[i];
            if (!InRange(p, P)) continue;
            if (sliceLeaf[size_t(p)] >= 0) return false;
            sliceLeaf[size_t(p)] = l;
        }
    }

    // The other meetings: (leaf, rank place, polygon), gathered block by
    // block, then sorted by leaf and rank.
    struct TMeet {
        int32_t Leaf, Place, Polygon;
    };
    constexpr size_t kBlock = 16384;
    const size_t blocks = (size_t(std::max(P, 0)) + kBlock - 1) / kBlock;
    // The leaves other than its own that polygon p has corners in, each with
    // its lowest corner place there; the count.
    auto meetsOf = [&](size_t p, int32_t* meetLeaf, int32_t* meetPlace) {
        int32_t c[4];
        const int n = CornersOf(Polygons[p], c);
        const int32_t own = sliceLeaf[p];
        int meets = 0;
        for (int k = 0; k < n; ++k) {
            if (!InRange(c[k], V)) continue;
            const int32_t l = leafOf[size_t(c[k])];
            if (l < 0 || l == own) continue;
            const int32_t at = placeOf[size_t(c[k])];
            int j = 0;
            while (j < meets && meetLeaf[j] != l) ++j;
            if (j == meets) {
                meetLeaf[meets] = l;
                meetPlace[meets++] = at;
            } else {
                meetPlace[j] = std::min(meetPlace[j], at);
            }
        }
        return meets;
    };
    // Counted, then written at each block's offset: no list grows on the
    // pool's threads. The count marks the polygons that meet other leaves
    // (about one in eight on a smooth level), one bit each, so the writing
    // pass visits only those. A block's bits are whole words of its own;
    // they take the room after sliceLeaf (P / 32 words of its P + 1).
    static_assert(kBlock % 32 == 0);
    uint32_t* meetBits = reinterpret_cast<uint32_t*>(sliceLeaf + std::max(P, 0));
    std::vector<int32_t> blockStart(blocks + 1, 0);
    auto count = [&](size_t first, size_t end) {
        for (size_t b = first; b < end; ++b) {
            int32_t total = 0;
            int32_t meetLeaf[4], meetPlace[4];
            uint32_t word = 0;
            const size_t last = std::min(size_t(P), (b + 1) * kBlock);
            for (size_t p = b * kBlock; p < last; ++p) {
                const int meets = meetsOf(p, meetLeaf, meetPlace);
                total += meets;
                word |= uint32_t(meets != 0) << (p % 32);
                if (p % 32 == 31 || p + 1 == last) {
                    meetBits[p / 32] = word;
                    word = 0;
                }
            }
            blockStart[b + 1] = total;
        }
    };
    KSN_RunInBlocks(blocks, 1, count);
    for (size_t b = 0; b < blocks; ++b) blockStart[b + 1] += blockStart[b];
    const auto found = std::make_unique_for_overwrite<TMeet[]>(size_t(blockStart[blocks]));
    auto gather = [&](size_t first, size_t end) {
        for (size_t b = first; b < end; ++b) {
            TMeet* out = found.get() + blockStart[b];
            int32_t meetLeaf[4], meetPlace[4];
            const size_t last = std::min(size_t(P), (b + 1) * kBlock);
            for (size_t w = b * kBlock / 32; w < (last + 31) / 32; ++w) {
                for (uint32_t word = meetBits[w]; word; word &= word - 1) {
                    const size_t p = w * 32 + size_t(__builtin_ctz(word));
                    const int meets = meetsOf(p, meetLeaf, meetPlace);
                    for (int k = 0; k < meets; ++k) *out++ = {meetLeaf[k], meetPlace[k], int32_t(p)};
                }
            }
        }
    };
    KSN_RunInBlocks(blocks, 1, gather);
    const size_t foundCount = size_t(blockStart[blocks]);
    std::vector<int32_t> meetStart(size_t(L) + 1, 0);
    for (size_t i = 0; i < foundCount; ++i) ++meetStart[size_t(found[i].Leaf) + 1];
    for (int l = 0; l < L; ++l) meetStart[size_t(l) + 1] += meetStart[size_t(l)];
    const auto meets = std::make_unique_for_overwrite<TMeet[]>(size_t(meetStart[size_t(L)]));
    {
        std::vector<int32_t> cursor(meetStart.begin(), meetStart.end() - 1);
        for (size_t i = 0; i < foundCount; ++i) meets[size_t(cursor[size_t(found[i].Leaf)]++)] = found[i];
    }

    std::vector<TKSN_LeafBoxes> result(static_cast<size_t>(L));
    std::vector<uint8_t> fitted(size_t(L), 0);
    std::atomic<bool> unusable{false};
    auto fit = [&](size_t first, size_t last) {
        for (size_t l = first; l < last; ++l) {
            TQOROctreeNode<int>* leaf = leaves[l];
            const int vBegin = std::max(leaf->VertexBegin, 0);
            const int vEnd = std::min(leaf->VertexEnd, visibleVertexCount);
            if (vEnd <= vBegin) continue;
            fitted[l] = 1;
            TMeet* other = meets.get() + meetStart[l];
            TMeet* otherEnd = meets.get() + meetStart[l + 1];
            // Polygons of one place come in ascending order.
            std::sort(other, otherEnd, [](const TMeet& a, const TMeet& b) {
                return a.Place != b.Place ? a.Place < b.Place : a.Polygon < b.Polygon;
            });
            int pi = std::max(leaf->PolygonBegin, 0);
            const int pEnd = std::min(leaf->PolygonEnd, visiblePolygonCount);
            // The rank place of the slice's polygon at pi, skipping entries
            // that name no polygon; INT32_MAX once the slice is done.
            auto slicePlace = [&](int& at, int32_t& polygon) -> int32_t {
                for (; at < pEnd; ++at) {
                    polygon = visiblePolygons[at];
                    if (!InRange(polygon, P)) continue;
                    int32_t c[4];
                    const int n = CornersOf(Polygons[polygon], c);
                    int32_t best = INT32_MAX;
                    for (int k = 0; k < n; ++k)
                        if (InRange(c[k], V) && leafOf[size_t(c[k])] == int32_t(l))
                            best = std::min(best, placeOf[size_t(c[k])]);
                    return best;
                }
                return INT32_MAX;
            };
            // Grown here, where the boxes can stay in registers from corner
            // to corner, and stored once the leaf is done.
            TKSN_LeafBoxes boxes;
            auto visit = [&](int32_t p) {
                int32_t c[4];
                const int n = CornersOf(Polygons[p], c);
                boxes.AddPolygon(
                    [&](auto&& take) {
                        for (int k = 0; k < n; ++k)
                            if (InRange(c[k], V)) take(resolvedVertices + 3 * size_t(c[k]));
                    },
                    polygonNormals ? polygonNormals + 3 * size_t(p) : nullptr);
            };
            int32_t slicePolygon = -1, previousPlace = -1, previousPolygon = -1;
            int32_t place = slicePlace(pi, slicePolygon);
            while (place != INT32_MAX || other != otherEnd) {
                const bool fromSlice =
                    other == otherEnd ||
                    (place != INT32_MAX &&
                     (place != other->Place ? place < other->Place : slicePolygon < other->Polygon));
                const int32_t at = fromSlice ? place : other->Place;
                const int32_t p = fromSlice ? slicePolygon : other->Polygon;
                // The slice must come in rank order, each polygon with a corner here.
                if (at == INT32_MAX || at < previousPlace || (at == previousPlace && p <= previousPolygon)) {
                    unusable.store(true, std::memory_order_relaxed);
                    return;
                }
                previousPlace = at;
                previousPolygon = p;
                visit(p);
                if (fromSlice) {
                    ++pi;
                    place = slicePlace(pi, slicePolygon);
                } else {
                    ++other;
                }
            }
            result[l] = boxes;
        }
    };
    KSN_RunInBlocks(size_t(L), 16, fit);
    if (unusable.load()) return false;

    for (int l = 0; l < L; ++l) result[size_t(l)].WriteTo(*leaves[size_t(l)], boundsDiagonal);
    KSN_MergeLeafBoundsUpward(leaves, fitted, nullptr);
    return true;
}

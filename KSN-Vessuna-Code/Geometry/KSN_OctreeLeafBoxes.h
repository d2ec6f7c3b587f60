// A leaf's content and normal boxes grown polygon by polygon, the way the
// octree's fits grow them: the content box over every usable corner of each
// polygon met, the normal box over the normal of each polygon with a usable
// corner, the first one met starting both boxes.
#pragma once

#include "QOROctree.h"

#include <cmath>

struct TKSN_LeafBoxes {
    using TFloat4 = float __attribute__((vector_size(16)));

    // x, y, z in lanes 0..2. minps(p, lo) is p < lo ? p : lo and maxps(p, hi)
    // is p > hi ? p : hi, lane by lane: std::min(lo, p) and std::max(hi, p)
    // exactly, ties (+0, -0) and NaN included.
    static void Grow(TFloat4& lo, TFloat4& hi, const float* p, bool first)
    {
        const TFloat4 q = {p[0], p[1], p[2], 0.0f};
        lo = first ? q : __builtin_ia32_minps(q, lo);
        hi = first ? q : __builtin_ia32_maxps(q, hi);
    }

    // forEachCorner(take) calls take(position) for each usable corner in
    // order; normal is the polygon's normal or null.
    template <class ForEachCorner>
    void AddPolygon(ForEachCorner&& forEachCorner, const float* normal)
    {
        bool cornerMet = false;
        forEachCorner([&](const float* position) {
            Grow(CMin, CMax, position, !Met && !cornerMet);
            cornerMet = true;
        });
        if (!cornerMet) return;
        if (normal) Grow(NMin, NMax, normal, !Met);
        Met = true;
    }

    // The boxes into the leaf, the content box padded by the leaf's share of
    // the mesh's diagonal; nothing when no polygon was met.
    void WriteTo(TQOROctreeNode<int>& leaf, float boundsDiagonal) const
    {
        if (!Met) return;
        const float pad = 0.0001f * boundsDiagonal / std::pow(2.0f, float(leaf.Depth));
        for (int a = 0; a < 3; ++a) {
            leaf.ContentMin[a] = CMin[a] - pad;
            leaf.ContentMax[a] = CMax[a] + pad;
            leaf.NormalMin[a] = NMin[a];
            leaf.NormalMax[a] = NMax[a];
        }
    }

    TFloat4 CMin = {}, CMax = {}, NMin = {}, NMax = {};
    bool Met = false;
};

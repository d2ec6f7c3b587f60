// TQORProximityTester: finds coincident points without comparing every pair.
//
// Every point gets a sort key - its distance from a reference point, or its
// coordinate on one axis - and ProcessPoints sorts the points by that key.
// Two points closer than the tolerance have keys at most the tolerance apart
// (triangle inequality), so a caller compares each sorted position k only with
// the following positions j while AreRadiiIdentical(k, j) holds, and confirms
// with ArePointsIdentical(k, j). GetPointIndex turns positions back into the
// caller's point numbers.
//
// The tester does not copy coordinates: it keeps pointers to the caller's
// points (dimension-count floats each), which must outlive it. Positions refer
// to the order of SetPoint until ProcessPoints, to the sorted order afterwards.
#pragma once

#include "QORThingy.h"

#include <cstddef>
#include <vector>

class TQORProximityTester : public TQOR_Atom {
public:
    // dimensions is truncated to a whole count and kept within 1..3; reference
    // holds at least that many floats and is copied.
    TQORProximityTester(int count, const float* reference, float tolerance, float dimensions);
    ~TQORProximityTester();

    TQORProximityTester(const TQORProximityTester&) = delete;
    TQORProximityTester& operator=(const TQORProximityTester&) = delete;

    // Records point i (ignored when i is outside 0..count-1) and its key.
    void SetPoint(int i, const float* point);
    // Sorts the records by ascending key.
    void ProcessPoints();
    // The point number at position k; -1 when k is out of range.
    int GetPointIndex(int k) const;
    // Keys of positions a and b at most the tolerance apart.
    bool AreRadiiIdentical(int a, int b) const;
    // Points at positions a and b strictly closer than the tolerance.
    bool ArePointsIdentical(int a, int b) const;

    int GetPointCount() const { return pointCount; }

    // Key choice; the default is the distance from the reference point. With
    // KeyByDistance false the key is the coordinate on KeyAxis (0..dimensions-1).
    // Set before the SetPoint calls.
    bool KeyByDistance = true;
    int KeyAxis = 0;

private:
    struct TPointRecord {
        int index;
        float key;
        const float* point;
    };

    float ComputeKey(const float* point) const;
    bool IsPosition(int k) const { return k >= 0 && k < pointCount; }

    int dimensionCount;
    int pointCount;
    float tolerance;
    float reference[3] = {0.0f, 0.0f, 0.0f};
    std::vector<TPointRecord> points;
};

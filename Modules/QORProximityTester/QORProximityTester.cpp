#include "QORProximityTester.h"

#include "QORMatrix.h"

#include <algorithm>
#include <cmath>

namespace {

// Keys closer than this count as equal when the heap decides which record
// moves; it keeps the order of equal keys the same on every run.
constexpr double kKeyEpsilon = 1e-30;

} // namespace

TQORProximityTester::TQORProximityTester(int count, const float* reference_, float tolerance_, float dimensions)
    : pointCount(std::max(count, 0)), tolerance(tolerance_)
{
    // The reference holds three floats: a larger count would read past it.
    const float clamped = std::isnan(dimensions) ? 1.0f : std::clamp(dimensions, 1.0f, 3.0f);
    dimensionCount = int(clamped);
    Vector_Copy(reference, reference_, dimensionCount);
    points.resize(size_t(pointCount));
    for (int i = 0; i < pointCount; ++i) points[size_t(i)] = TPointRecord{i, 0.0f, nullptr};
}

TQORProximityTester::~TQORProximityTester() = default;

float TQORProximityTester::ComputeKey(const float* point) const
{
    if (!KeyByDistance) {
        const int axis = std::clamp(KeyAxis, 0, dimensionCount - 1);
        return point[axis];
    }
    float difference[3];
    Vector_Difference(difference, point, reference, dimensionCount);
    return Vector_Modulus(difference, dimensionCount);
}

void TQORProximityTester::SetPoint(int i, const float* point)
{
    if (!IsPosition(i) || !point) return;
    points[size_t(i)] = TPointRecord{i, ComputeKey(point), point};
}

// Heap sort: a max-heap over the keys, emptied from the back so that the
// output ascends.
void TQORProximityTester::ProcessPoints()
{
    const int n = pointCount;
    if (n < 2) return;

    std::vector<TPointRecord> heap(points);
    auto siftDown = [&heap](int position, int end, TPointRecord item) {
        for (;;) {
            int child = 2 * position + 1;
            if (child >= end) break;
            if (child + 1 < end && double(heap[size_t(child)].key) < double(heap[size_t(child + 1)].key) - kKeyEpsilon)
                ++child;
            if (double(heap[size_t(child)].key) - kKeyEpsilon > double(item.key)) {
                heap[size_t(position)] = heap[size_t(child)];
                position = child;
            } else {
                break;
            }
        }
        heap[size_t(position)] = item;
    };

    for (int parent = (n - 2) / 2; parent >= 0; --parent) siftDown(parent, n, heap[size_t(parent)]);

    std::vector<TPointRecord> sorted(static_cast<size_t>(n));
    for (int end = n; end > 0; --end) {
        const TPointRecord largest = heap[0];
        siftDown(0, end - 1, heap[size_t(end - 1)]);
        sorted[size_t(end - 1)] = largest;
    }
    points = std::move(sorted);
}

int TQORProximityTester::GetPointIndex(int k) const
{
    return IsPosition(k) ? points[size_t(k)].index : -1;
}

bool TQORProximityTester::AreRadiiIdentical(int a, int b) const
{
    if (!IsPosition(a) || !IsPosition(b)) return false;
    return std::fabs(points[size_t(a)].key - points[size_t(b)].key) <= tolerance;
}

bool TQORProximityTester::ArePointsIdentical(int a, int b) const
{
    if (!IsPosition(a) || !IsPosition(b)) return false;
    const float* pa = points[size_t(a)].point;
    const float* pb = points[size_t(b)].point;
    if (!pa || !pb) return false;
    float difference[3];
    Vector_Difference(difference, pa, pb, dimensionCount);
    return Vector_Modulus(difference, dimensionCount) < tolerance;
}

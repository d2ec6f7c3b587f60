#include "KSN_ObjWeld.h"

#include "QORMatrix.h"
#include "QORPolyMesh.h"
#include "QORProximityTester.h"

#include <algorithm>
#include <cassert>
#include <vector>

void QuickWeld3(TQORPolyMesh* mesh, float tolerance)
{
    assert(mesh && "QuickWeld3 needs a mesh");
    mesh->BuildVertexPolygons();
    const int count = mesh->vertexCount;
    const float* positions = mesh->baseVertices;

    float lo[3], hi[3];
    Points_Bounds(positions, count, lo, hi);
    const float radius = tolerance * std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});

    if (count > 0) {
        TQORProximityTester tester(count, lo, radius, 3.0f);
        for (int i = 0; i < count; ++i) tester.SetPoint(i, positions + 3 * i);
        tester.ProcessPoints();

        std::vector<unsigned char> welded(size_t(count), 0);
        for (int a = 0; a < count; ++a) {
            const int i = tester.GetPointIndex(a);
            if (welded[size_t(i)]) continue;
            for (int b = a + 1; b < count && tester.AreRadiiIdentical(a, b); ++b) {
                if (!tester.ArePointsIdentical(a, b)) continue;
                const int w = tester.GetPointIndex(b);
                const int* polygons = mesh->vertexPolygons[w];
                bool found = false;
                for (int k = 1; k <= polygons[0]; ++k) {
                    const int p = polygons[k];
                    const int corners = mesh->vGetPolyN(p);
                    bool usesI = false;
                    for (int c = 0; c < corners && !usesI; ++c) usesI = mesh->vGetPolyV(p, c) == i;
                    if (usesI) continue;   // welding would fold this polygon onto itself
                    for (int c = 0; c < corners; ++c)
                        if (mesh->vGetPolyV(p, c) == w) {
                            mesh->VertexInfo[w].WeldMaster = i;
                            found = true;
                        }
                }
                if (found) welded[size_t(w)] = 1;
            }
        }
    }

    mesh->Welded = true;
    mesh->BuildVertexPolygons();
    mesh->BuildPolygonNeighbors();
    mesh->BuildPolygonEdges();
}

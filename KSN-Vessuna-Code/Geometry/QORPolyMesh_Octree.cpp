// The polygon mesh's octree operations: build, refit after the geometry moved,
// the per-leaf selected and changed marks, and the culling test of a node
// against a viewport (which knows the mesh transform and its symmetry plane).
#include "QORPolyMesh.h"

#include "QORMatrix.h"
#include "QOROctree_Internal.h"

#include <algorithm>
#include <cmath>

void TQORPolyMesh::BuildOctree()
{
    TKSN_MeshRoot::BuildOctree();
}

void TQORPolyMesh::OctreeBoundsChanged()
{
    TKSN_MeshRoot::OctreeBoundsChanged();
    if (!IsOctreeValid()) {
        BuildOctree();
        return;
    }
    // The culler and the touch-up renderer read the boxes being refitted.
    KSN_CancelViewportDependentWork();
    RecalculateOctreePolyBounds();
}

void TQORPolyMesh::ClearChangedPolygonFlags()
{
    for (TQOROctreeNode<int>* leaf : leafList)
        leaf->Flags &= ~uint32_t(QOROctree_DisplayChanged | QOROctree_DisplayChanged2);
    if (!PolygonsMarkedChanged) return;
    for (int i = 0; i < polygonCount; ++i) PolygonFlags[i] &= ~uint32_t(QORPoly_Changed);
    PolygonsMarkedChanged = false;
}

void TQORPolyMesh::UpdateOctreeSelectedFlags()
{
    for (TQOROctreeNode<int>* leaf : leafList) {
        leaf->Flags &= ~uint32_t(QOROctree_Selected);
        bool selected = false;
        const int pEnd = std::min(leaf->PolygonEnd, visiblePolygonCount);
        for (int i = std::max(leaf->PolygonBegin, 0); i < pEnd && !selected; ++i) {
            const int p = visiblePolygons[i];
            selected = p >= 0 && p < polygonCount && GetResolvedPSelect(p) > 1e-30f;
        }
        const int vEnd = std::min(leaf->VertexEnd, visibleVertexCount);
        for (int i = std::max(leaf->VertexBegin, 0); i < vEnd && !selected; ++i) {
            const int v = visibleVertices[i];
            selected = v >= 0 && v < vertexCount && GetResolvedVSelect(v) > 1e-30f;
        }
        if (selected) leaf->Flags |= QOROctree_Selected;
    }
}

bool TQORPolyMesh::CullOctreeNode(TKSN_Viewport* viewport, TQOROctreeNode<int>* node, bool testView,
                                  bool testDirection, bool testRectangle, float* rectMin, float* rectMax,
                                  bool toObjectSpace)
{
    if (!node) return true;
    float cMin[3], cMax[3], nMin[3], nMax[3];
    std::copy_n(node->ContentMin, 3, cMin);
    std::copy_n(node->ContentMax, 3, cMax);
    std::copy_n(node->NormalMin, 3, nMin);
    std::copy_n(node->NormalMax, 3, nMax);

    if (toObjectSpace) {
        // The mirror plane is defined in the untransformed frame.
        if (!TotalMatrixIsIdentity) {
            AdjustMinMaxWithMatrix(cMin, cMax, InverseTotalMatrix, false);
            AdjustMinMaxWithMatrix(nMin, nMax, InverseRotationMatrix, false);
        }
        if (symmetryState != 0 && symmetryAxis >= 0 && symmetryAxis < 3) {
            const int a = symmetryAxis;
            // Mirroring negates the normals' component on the axis, so the
            // widened range must hold the larger magnitude on both sides.
            const float n = std::max(std::fabs(nMin[a]), std::fabs(nMax[a]));
            nMin[a] = -n;
            nMax[a] = n;
            const float w = std::max(std::fabs(cMin[a] - symmetryOffset), std::fabs(cMax[a] - symmetryOffset));
            cMin[a] = symmetryOffset - w;
            cMax[a] = symmetryOffset + w;
        }
        if (!TotalMatrixIsIdentity) {
            AdjustMinMaxWithMatrix(cMin, cMax, TotalMatrix, false);
            AdjustMinMaxWithMatrix(nMin, nMax, RotationMatrix, false);
        }
    }

    const TKSN_ViewportOctreeServices& services = KSN_GetViewportOctreeServices();
    if (testView && viewport && services.CubeInView && !services.CubeInView(viewport, cMin, cMax, 1e-30f))
        return true;
    if (testDirection && viewport && services.NormalsMayFaceViewer &&
        !services.NormalsMayFaceViewer(viewport, nMin, nMax))
        return true;
    if (!testRectangle || !rectMin || !rectMax) return false;

    float projection[16];
    QORMatrix_Identity4x4(projection);
    if (viewport && services.ProjectionMatrix)
        if (const float* m = services.ProjectionMatrix(viewport)) std::copy_n(m, 16, projection);
    float pMin[3], pMax[3];
    AdjustMinMaxWithMatrix(pMin, pMax, projection, true, cMin, cMax);
    return !QOROctreeBoxes::BoxCollision(rectMin, rectMax, pMin, pMax, 0.01f, 0.01f);
}

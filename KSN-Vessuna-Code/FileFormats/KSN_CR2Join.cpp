// Joining the partial morphs of full-body dials.
//
// The body parts of a figure's OBJ are separate pieces whose seam vertices
// are duplicated, so the join runs on a welded mesh: each weld class (a
// master and the duplicates welded to it) is settled once, after every
// partial of the dial, and all its members take the longest weighted delta
// found in the class. A seam vertex that only its own body part moves thus
// keeps its move, and the duplicates of one seam vertex never tear apart.
#include "KSN_CR2Import.h"

#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_ObjWeld.h"
#include "KSN_Project.h"
#include "OS.h"

#include <cmath>
#include <vector>

namespace {

float LengthSquared(const float* d) { return d[0] * d[0] + d[1] * d[1] + d[2] * d[2]; }

// Every member of a weld class takes the class's longest delta; on equal
// lengths the lowest vertex wins.
void SettleWeldClasses(TKSN_Mesh* mesh, float* deltas)
{
    const int count = mesh->vertexCount;
    std::vector<int> best(size_t(count), -1);
    auto masterOf = [mesh, count](int v) {
        const int m = mesh->VertexInfo[v].WeldMaster;
        return (m >= 0 && m < count) ? m : v;
    };
    for (int v = 0; v < count; ++v) {
        int& b = best[size_t(masterOf(v))];
        if (b < 0 || LengthSquared(deltas + 3 * v) > LengthSquared(deltas + 3 * b)) b = v;
    }
    for (int v = 0; v < count; ++v) {
        const int b = best[size_t(masterOf(v))];
        if (b == v) continue;
        for (int k = 0; k < 3; ++k) deltas[3 * v + k] = deltas[3 * b + k];
    }
}

}  // namespace

void JoinFullBodyMorphs(TKSN_CR2Parser* parser, TKSN_Mesh* mesh)
{
    if (!parser || !mesh || !mesh->MorphTree) return;
    const bool wasWelded = mesh->Welded;
    OS.DebugMessage("Test to see if welding here matters at all.");
    if (!wasWelded) {
        const float threshold = Project ? Project->WeldThreshold : 4.0f;
        QuickWeld3(mesh, std::pow(10.0f, -threshold));
    }

    for (auto& [dial, node] : parser->fullBodyMorphs) {
        if (node->list->Count() <= 1) continue;
        TKSN_Morph* full = nullptr;
        if (parser->bodyGroup) {
            full = mesh->CreateMorph(nullptr);
            parser->bodyGroup->AddItem(full);
        } else {
            full = mesh->CreateMorph(mesh->MorphTree);
        }
        mesh->BeginUsingMorph(full);
        full->SetName("%s", node->GetName());
        full->SetReadOnly(true);
        full->Clear();
        full->Strength = 0.0f;
        float* target = full->GetPointerToExpandedArray();

        mesh->MorphTree->ClearSelectedItems();
        for (TJoinFullBodyMorphs_MorphNode* part : *node->list) {
            if (!part->morph) continue;
            mesh->BeginUsingMorph(part->morph);
            int vertex = 0;
            float* delta = nullptr;
            for (bool more = part->morph->GetFirstDelta(&vertex, &delta); more;
                 more = part->morph->GetNextDelta(&vertex, &delta)) {
                if (vertex < 0 || vertex >= mesh->vertexCount || !target) continue;
                const float scaled[3] = {part->weight * delta[0], part->weight * delta[1], part->weight * delta[2]};
                float* current = target + 3 * vertex;
                if (LengthSquared(scaled) > LengthSquared(current))
                    for (int k = 0; k < 3; ++k) current[k] = scaled[k];
            }
            mesh->EndUsingMorph(part->morph);
            mesh->MorphTree->SelectItem(part->morph->GetID(), false, true);
            part->morph = nullptr;   // deleted with the selection below
        }
        if (target) SettleWeldClasses(mesh, target);
        mesh->MorphTree->DeleteSelectedItems();
        full->Compress();
        mesh->EndUsingMorph(full);
    }

    if (!wasWelded) mesh->Unweld();
    SetGroupPaths(mesh->MorphTree);
}

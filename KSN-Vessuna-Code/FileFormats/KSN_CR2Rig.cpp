// Re-rigging a figure: every actor's joints follow its reshaped body part.
//
// Each actor's polygon group is measured by two axis-aligned boxes, over its
// base vertices (old) and its resolved vertices (new). Joint points are
// scaled about the old box's centre by the ratio of the extents and moved to
// the new box's centre; twist end points and sphere matrices take the
// actor's orientation into account. Entries whose numbers do not read (or do
// not fit) are left exactly as they are.
#include "KSN_CR2Rig.h"

#include "KSN_CR2_Internal.h"
#include "KSN_Mesh.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORStringParser.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

void Identity(float* m)
{
    for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// out = a·b (row-major, row vectors); out may not alias a or b.
void Multiply(float* out, const float* a, const float* b)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[4 * i + k] * b[4 * k + j];
            out[4 * i + j] = sum;
        }
}

void Rotation(float* m, int axis, float angle)
{
    Identity(m);
    const float c = std::cos(angle), s = std::sin(angle);
    // The two rows and columns the rotation mixes, with the sign of its sine.
    const int a = axis == 0 ? 1 : 0;
    const int b = axis == 2 ? 1 : 2;
    m[4 * a + a] = c;
    m[4 * b + b] = c;
    // Rx rows (0, c, -s), (0, s, c); Ry (c, 0, -s), (s, 0, c); Rz (c, -s, 0), (s, c, 0).
    m[4 * a + b] = -s;
    m[4 * b + a] = s;
}

// (x, y, z, 1)·m, first three components.
void Transform(float* out, const float* p, const float* m)
{
    for (int j = 0; j < 3; ++j) out[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
}

bool AxisOf(char c, int& axis)
{
    const char l = QOR_tolower(c);
    if (l < 'x' || l > 'z') return false;
    axis = l - 'x';
    return true;
}

struct TBoxes {
    float oldCentre[3], newCentre[3], offset[3], scale[3];
};

// False when the group has no vertex in range.
bool MeasureGroup(const TQORGroup2* group, const std::vector<float>& base, const std::vector<float>& resolved,
                  int vertexCount, TBoxes& boxes)
{
    float oldMin[3] = {}, oldMax[3] = {}, newMin[3] = {}, newMax[3] = {};
    bool any = false;
    for (int e = 0; e < group->VertexCount; ++e) {
        const int v = group->Vertices ? group->Vertices[e] : -1;
        if (v < 0 || v >= vertexCount) continue;
        for (int k = 0; k < 3; ++k) {
            const float o = base[size_t(3 * v + k)], n = resolved[size_t(3 * v + k)];
            if (!any) {
                oldMin[k] = oldMax[k] = o;
                newMin[k] = newMax[k] = n;
                continue;
            }
            oldMin[k] = std::min(oldMin[k], o);
            oldMax[k] = std::max(oldMax[k], o);
            newMin[k] = std::min(newMin[k], n);
            newMax[k] = std::max(newMax[k], n);
        }
        any = true;
    }
    if (!any) return false;
    for (int k = 0; k < 3; ++k) {
        const float oldExtent = oldMax[k] - oldMin[k];
        boxes.scale[k] = oldExtent > 1e-30f ? (newMax[k] - newMin[k]) / oldExtent : 1.0f;
        boxes.oldCentre[k] = 0.5f * (oldMin[k] + oldMax[k]);
        boxes.newCentre[k] = 0.5f * (newMin[k] + newMax[k]);
        boxes.offset[k] = boxes.newCentre[k] - boxes.oldCentre[k];
    }
    return true;
}

// One matrix row: the entry's command and the three words of its parameter.
bool ReadRow(TQORCR2TreeNode* entry, float* row)
{
    TQORStringParser words(entry->GetParameter(), false);
    if (words.Tokens.Count() != 3) return false;
    if (!CR2_ParseFloat(entry->GetCommand(), row[0])) return false;
    for (int k = 0; k < 3; ++k)
        if (!CR2_ParseFloat(words.Tokens[k], row[k + 1])) return false;
    return true;
}

void AdjustSphereMatrices(TQORCR2TreeNode* channel, const float* newCentre, const float* oldCentre,
                          const float* scale, const float* R, const float* Rinv)
{
    TQORCR2TreeNode* marker = channel->Find("sphereMatsRaw", nullptr, false);
    if (!marker) return;
    TQORCR2TreeNode* entry = marker->GetNext();
    for (int matrix = 0; matrix < 2 && entry; ++matrix) {
        TQORCR2TreeNode* rows[4] = {};
        float m[4][4];
        for (int r = 0; r < 4; ++r) {
            // An incomplete matrix stays as it is, and nothing beyond it is read.
            if (!entry || !ReadRow(entry, m[r])) return;
            rows[r] = entry;
            entry = entry->GetNext();
        }
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 4; ++k) m[r][k] *= scale[r];
        const float t[3] = {m[3][0], m[3][1], m[3][2]};
        const float d[3] = {oldCentre[0] - t[0], oldCentre[1] - t[1], oldCentre[2] - t[2]};
        float dr[3], ds[3], back[3];
        Transform(dr, d, Rinv);
        for (int k = 0; k < 3; ++k) ds[k] = dr[k] * scale[k];
        Transform(back, ds, R);
        for (int k = 0; k < 3; ++k) m[3][k] = newCentre[k] + 2.0f * (t[k] - oldCentre[k]) * scale[k] + back[k];
        for (int r = 0; r < 4; ++r) {
            rows[r]->SetCommand(QORFormat("%.8f", m[r][0]).c_str());
            rows[r]->SetParameter(QORFormat("%.8f %.8f %.8f", m[r][1], m[r][2], m[r][3]).c_str());
        }
    }
}

}  // namespace

TQORGroup2* CR2_FindGroup(TKSN_Mesh* mesh, const char* name)
{
    for (int i = 0; mesh->Groups2 && i < mesh->Groups2->GetItemCount(); ++i) {
        TQORGroup2* group = mesh->Groups2->GetItemAs(i);
        if (!group) break;
        if (Morph_NamesEqual(group->GetName(), name)) return group;
    }
    return nullptr;
}

void GetRotationMatrix(float* m, float x, float y, float z, bool inverse)
{
    float rx[16], ry[16], rz[16], t[16];
    if (!inverse) {
        Rotation(rx, 0, x);
        Rotation(ry, 1, y);
        Rotation(rz, 2, z);
        Multiply(t, rx, ry);
        Multiply(m, t, rz);
    } else {
        Rotation(rz, 2, -z);
        Rotation(ry, 1, -y);
        Rotation(rx, 0, -x);
        Multiply(t, rz, ry);
        Multiply(m, t, rx);
    }
}

void AdjustRigVector(TKSN_Mesh*, TQORGroup2*, TQORCR2TreeNode* entry, TQORStringParser* words,
                     const float* oldCentre, const float* scale, const float* newCentre)
{
    if (!entry || !words || words->Tokens.Count() < 3) return;
    float p[3];
    for (int k = 0; k < 3; ++k)
        if (!CR2_ParseFloat(words->Tokens[k], p[k])) return;
    for (int k = 0; k < 3; ++k) p[k] = (p[k] - oldCentre[k]) * scale[k] + newCentre[k];
    entry->SetParameter(QORFormat("%.6f %.6f %.6f", p[0], p[1], p[2]).c_str());
}

void AdjustSinglePoint(TQORCR2TreeNode* entry, const float* newCentre, const float* oldCentre, const float*,
                       const float* scale, int axis)
{
    float v = 0.0f;
    if (!entry || !CR2_ParseFloat(entry->GetParameter(), v)) return;
    v = (v - oldCentre[axis]) * scale[axis] + newCentre[axis];
    entry->SetParameter(QORFormat("%.8f", v).c_str());
}

void AdjustSinglePointThatDependsOnOrientation(TQORCR2TreeNode* entry, const float* newCentre,
                                               const float* oldCentre, const float*, const float* scale,
                                               const float* R, const float* Rinv, int axis)
{
    float v = 0.0f;
    if (!entry || !CR2_ParseFloat(entry->GetParameter(), v)) return;
    float p[3] = {0.0f, 0.0f, 0.0f};
    p[axis] = v;
    for (int k = 0; k < 3; ++k) p[k] -= oldCentre[k];
    float q[3], back[3];
    Transform(q, p, R);
    for (int k = 0; k < 3; ++k) q[k] *= scale[k];
    Transform(back, q, Rinv);
    entry->SetParameter(QORFormat("%.8f", back[axis] + newCentre[axis]).c_str());
}

void AdjustChannel(TKSN_Mesh* mesh, TQORGroup2* group, TQORCR2TreeNode* channel, const float* newCentre,
                   const float* oldCentre, const float* offset, const float* scale, const float* R, const float* Rinv)
{
    const char* command = channel->GetCommand();
    int axis = 0;
    if (command[0] && QORstrncmpi(command + 1, "Offset", 6) == 0) {
        if (!AxisOf(command[0], axis)) return;
        AdjustSinglePoint(channel->Find("initValue", nullptr, false), newCentre, oldCentre, offset, scale, axis);
    } else if (QORstrncmpi(command, "twist", 5) == 0) {
        if (!AxisOf(command[5], axis)) return;
        for (const char* key : {"startPt", "endPt"})
            AdjustSinglePointThatDependsOnOrientation(channel->Find(key, nullptr, false), newCentre, oldCentre,
                                                      offset, scale, R, Rinv, axis);
    }
    AdjustSphereMatrices(channel, newCentre, oldCentre, scale, R, Rinv);
    for (TQORCR2TreeNode* child = channel->GetChild(); child; child = child->GetNext()) {
        if (QORstrcmpi(child->GetCommand(), "center") != 0) continue;
        TQORStringParser words(child->GetParameter(), false);
        AdjustRigVector(mesh, group, child, &words, oldCentre, scale, newCentre);
    }
}

void TKSN_Project::AutoRigCR2File(TKSN_Mesh* mesh, TQORCR2TreeNode* root)
{
    if (!mesh || !root) return;
    TQORCR2TreeNode* first = root->Find("actor", nullptr, false);
    if (!first) return;
    TQORCR2TreeNode* second = first->FindNext("actor", first->GetParameter(), false);
    if (!second) return;

    const int vertexCount = mesh->vertexCount;
    std::vector<float> base(size_t(vertexCount) * 3), resolved(size_t(vertexCount) * 3);
    if (vertexCount > 0) {
        mesh->GetBaseVertexArray(base.data(), vertexCount);
        mesh->GetResolvedVertexArray(resolved.data(), vertexCount);
    }

    for (TQORCR2TreeNode* actor = second; actor; actor = actor->FindNext("actor", nullptr, false)) {
        TQORGroup2* group = CR2_FindGroup(mesh, actor->GetParameter());
        if (!group) {
            if (!Morph_NamesEqual(actor->GetParameter(), "BODY"))
                OS.WarningMessage(Lang.GetText(1031), actor->GetParameter());
            continue;
        }
        if (!actor->Find("origin", nullptr, false)) continue;
        TBoxes boxes;
        // A group without any vertex leaves its actor unchanged.
        if (!MeasureGroup(group, base, resolved, vertexCount, boxes)) continue;

        float R[16], Rinv[16];
        Identity(R);
        Identity(Rinv);
        if (TQORCR2TreeNode* orientation = actor->Find("orientation", nullptr, false)) {
            float angles[3] = {0.0f, 0.0f, 0.0f};
            std::sscanf(orientation->GetParameter(), "%f %f %f", &angles[0], &angles[1], &angles[2]);
            GetRotationMatrix(R, angles[0], angles[1], angles[2], false);
            GetRotationMatrix(Rinv, angles[0], angles[1], angles[2], true);
        }

        for (TQORCR2TreeNode* entry = actor->GetChild(); entry; entry = entry->GetNext()) {
            const char* command = entry->GetCommand();
            if (QORstrcmpi(command, "origin") == 0 || QORstrcmpi(command, "endPoint") == 0 ||
                QORstrcmpi(command, "center") == 0) {
                TQORStringParser words(entry->GetParameter(), false);
                AdjustRigVector(mesh, group, entry, &words, boxes.oldCentre, boxes.scale, boxes.newCentre);
            } else if (QORstrcmpi(command, "channels") == 0) {
                for (TQORCR2TreeNode* channel = entry->GetChild(); channel; channel = channel->GetNext())
                    AdjustChannel(mesh, group, channel, boxes.newCentre, boxes.oldCentre, boxes.offset,
                                  boxes.scale, R, Rinv);
            }
        }
    }
}

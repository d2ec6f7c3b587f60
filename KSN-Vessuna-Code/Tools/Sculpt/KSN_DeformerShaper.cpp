// The geometric shaper: shape fitting at the press, the pull per motion step
// and the outlines drawn while the drag is live.
#include "KSN_DeformerShaper.h"

#include <GL/gl.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "KSN_Mesh.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

namespace {

float Dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Apply(const float* m, const float* v, float* out)
{
    const float x = v[0], y = v[1], z = v[2];
    out[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    out[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    out[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
}

const char* const kShapeNames[5] = {"Sphere", "Box", "Cylinder", "Plane", "Paraboloid"};

} // namespace

float KSN_FastInverseSqrt(float x)
{
    const uint32_t bits = 0x5F3759DFu - (std::bit_cast<uint32_t>(x) >> 1);
    float y = std::bit_cast<float>(bits);
    return y * (1.5f - 0.5f * x * y * y);
}

TKSN_GeometricShaper::TKSN_GeometricShaper()
{
    SetName("%s", Lang.GetText(122));
    IconName = "GeometricShaper";
}

bool TKSN_GeometricShaper::DoesUseAutoCalcDepth()
{
    switch (ShapeType) {
    case 0:
    case 4: return true;
    case 2: return Horizontal || Vertical;
    case 3: return Depth;
    default: return false;
    }
}

void TKSN_GeometricShaper::OnParameterChange(TKSN_Parameter* parameter)
{
    TKSN_Tool::OnParameterChange(parameter);
    if (!parameter) return;
    bool* data = static_cast<bool*>(parameter->Data);
    if (data != &Horizontal && data != &Vertical && data != &Depth) return;
    Horizontal = data == &Horizontal;
    Vertical = data == &Vertical;
    Depth = data == &Depth;
    QOREvents_PushEvent(431);
}

void TKSN_GeometricShaper::UpdateParameters()
{
    TKSN_Deformer::UpdateParameters();
    TKSN_Parameter* type = KSN_MakeListParameter(this, Lang.GetText(669), Lang.GetText(670), Type_ListFunc);
    Parameters->Insert(std::clamp(HeaderParameterCount, 0, Parameters->Count()), type);
    if (DoesUseAutoCalcDepth()) AddAutoDepthCalParameter();
}

bool TKSN_GeometricShaper::Type_ListFunc(TQOREvent* event)
{
    auto* tool = KSN_GetListParameterTool<TKSN_GeometricShaper>(event);
    if (!tool) return false;
    const int index = event->GetIndex();
    switch (event->GetCommand()) {
    case KSN_LIST_ITEM_NAME:
        event->AssignStringParameter(index >= 0 && index < 5 ? kShapeNames[index] : "ERROR", 0);
        return true;
    case KSN_LIST_CURRENT: event->SetIndex(tool->ShapeType); return true;
    case KSN_LIST_CHOOSE:
        tool->ShapeType = index;
        QOREvents_PushEvent(431);
        return true;
    case KSN_LIST_COUNT: event->intParameters[0] = 5; return true;
    default: return false;
    }
}

bool TKSN_GeometricShaper::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx,
                                   float fy)
{
    if (!TKSN_Deformer::OnMouse(mesh, viewport, button, state, fx, fy)) return false;
    if (state != 0) return true;
    float K[3];
    Apply(PressModelView, Centre, K);
    std::memcpy(Centre, K, sizeof K);
    const float* B1 = ViewBoxMin;
    const float* B2 = ViewBoxMax;
    const float h[3] = {(B2[0] - B1[0]) * 0.5f, (B2[1] - B1[1]) * 0.5f, (B2[2] - B1[2]) * 0.5f};
    switch (ShapeType) {
    case 0: {
        const float d[3] = {B2[0] - B1[0], B2[1] - B1[1], B2[2] - B1[2]};
        ShapeRadius = std::sqrt(Dot3(d, d)) * 0.5f / std::sqrt(3.0f);
        break;
    }
    case 1: {
        const float normals[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, -1}};
        const float* corners[6] = {B1, B2, B1, B2, B1, B2};
        for (int i = 0; i < 6; ++i) {
            std::memcpy(ShapePlanes[i], normals[i], 3 * sizeof(float));
            ShapePlanes[i][3] = -Dot3(normals[i], corners[i]);
        }
        break;
    }
    case 3: {
        float n[3] = {0, 0, 0};
        if (Horizontal)
            n[1] = 1.0f;
        else if (Vertical)
            n[0] = 1.0f;
        else
            n[2] = 1.0f;
        std::memcpy(ShapePlanes[0], n, sizeof n);
        ShapePlanes[0][3] = -Dot3(n, K);
        break;
    }
    case 2:
    case 4:
        OS.DebugMessage("Min = %.4f, %.4f, %.4f", double(B1[0]), double(B1[1]), double(B1[2]));
        OS.DebugMessage("Max = %.4f, %.4f, %.4f", double(B2[0]), double(B2[1]), double(B2[2]));
        if (Vertical) {
            CylinderAxis = 1;
            ShapeRadius = std::sqrt((h[0] * h[0] + h[2] * h[2]) / 2.0f);
        } else if (Horizontal) {
            CylinderAxis = 0;
            ShapeRadius = std::sqrt((h[1] * h[1] + h[2] * h[2]) / 2.0f);
        } else {
            CylinderAxis = 2;
            ShapeRadius = std::sqrt((h[0] * h[0] + h[1] * h[1]) / 2.0f);
        }
        break;
    default: break;
    }
    return true;
}

bool TKSN_GeometricShaper::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    const float raw = (ShapeType == 4 && Vertical) ? fx - PressX
                                                   : GetOneDimStrength(mesh, viewport, PressX, PressY, fx, fy, false);
    float amount = std::fabs(AdjustValueForSensitvity(GetStrength() * raw));
    if (std::isnan(amount)) amount = 0.0f;
    if (ShapeType == 4) ParaboloidExponent = 0.5f;
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        ResolveTempMorphs(m);
        m->RecalculateSelectedNormals();
        PrintStrengthHintAndSnapPrecision(m, Lang.GetText(460), GetStrength(), &amount, 1, 2, 4);
        const float a[3] = {amount, 0.0f, 0.0f};
        DeformSelectedVertices(m, viewport, a, Centre, zero, false, true);
        ResolveTempMorphs(m);
        m->AfterDeformStep();
    }
    return true;
}

void TKSN_GeometricShaper::ScaleAroundAxis(const float* p, float radius, float* q) const
{
    float u[3] = {p[0] - Centre[0], p[1] - Centre[1], p[2] - Centre[2]};
    const int axis = std::clamp(CylinderAxis, 0, 2);
    const float axial = u[axis];
    u[axis] = 0.0f;
    const float length2 = Dot3(u, u);
    if (length2 > 0.0f) {
        const float scale = radius * KSN_FastInverseSqrt(length2);
        for (float& c : u) c *= scale;
    }
    u[axis] = axial;
    for (int k = 0; k < 3; ++k) q[k] = Centre[k] + u[k];
}

void TKSN_GeometricShaper::DeformVertex_Sphere(const float* p, float* q) const
{
    float u[3] = {p[0] - Centre[0], p[1] - Centre[1], p[2] - Centre[2]};
    const float length2 = Dot3(u, u);
    if (length2 > 0.0f) {
        const float scale = ShapeRadius * KSN_FastInverseSqrt(length2);
        for (float& c : u) c *= scale;
    }
    for (int k = 0; k < 3; ++k) q[k] = Centre[k] + u[k];
}

void TKSN_GeometricShaper::DeformVertex_Box(const float* p, float* q) const
{
    int chosen = -1;
    float best = 1e30f;
    for (int i = 0; i < 6; ++i) {
        const float distance = std::fabs(Dot3(ShapePlanes[i], p) + ShapePlanes[i][3]);
        if (!(distance < best)) continue;   // ties keep the lower plane; NaN never wins
        best = distance;
        chosen = i;
    }
    for (int k = 0; k < 3; ++k) q[k] = p[k] + (chosen >= 0 ? best * ShapePlanes[chosen][k] : 0.0f);
}

void TKSN_GeometricShaper::DeformVertex_Cylinder(const float* p, float* q) const { ScaleAroundAxis(p, ShapeRadius, q); }

void TKSN_GeometricShaper::DeformVertex_SinglePlane(const float* p, float* q) const
{
    const float s = Dot3(ShapePlanes[0], p) + ShapePlanes[0][3];
    for (int k = 0; k < 3; ++k) q[k] = p[k] - s * ShapePlanes[0][k];
}

bool TKSN_GeometricShaper::DeformVertex_Paraboloid(const float* p, float* q) const
{
    const int a = std::clamp(CylinderAxis, 0, 2);
    const float m = std::max(std::fabs(Centre[a] - ViewBoxMin[a]), std::fabs(Centre[a] - ViewBoxMax[a]));
    if (m < 1e-30f) return false;
    const double t = std::fabs(double(Centre[a]) - p[a]) / m;
    const float r = float(double(ShapeRadius) * std::pow(t, double(ParaboloidExponent)));
    ScaleAroundAxis(p, r, q);
    return true;
}

void TKSN_GeometricShaper::DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport*, int vertex, const float* a, float weight,
                                        const float*, const float*, float* out, int)
{
    const float* v = mesh->resolvedVertices + 3 * vertex;
    float p[3], q[3];
    Apply(PressModelView, v, p);
    switch (ShapeType) {
    case 0: DeformVertex_Sphere(p, q); break;
    case 1: DeformVertex_Box(p, q); break;
    case 2: DeformVertex_Cylinder(p, q); break;
    case 3: DeformVertex_SinglePlane(p, q); break;
    case 4:
        if (!DeformVertex_Paraboloid(p, q)) return;
        break;
    default: return;
    }
    float back[3];
    Apply(PressInverseModelView, q, back);
    const float f = std::clamp(weight * a[0], 0.0f, 1.0f);
    for (int k = 0; k < 3; ++k) out[k] = (back[k] - v[k]) * f;
}

// [SECTION] Drawing

void TKSN_GeometricShaper::Project(const float* viewPoint, float* screen) const
{
    Apply(PressProjection, viewPoint, screen);
}

void TKSN_GeometricShaper::DrawOutline(const std::vector<float>& points, bool loop) const
{
    for (int pass = 0; pass < 2; ++pass) {
        glLineWidth(pass == 0 ? 3.0f : 1.0f);
        const float c = pass == 0 ? 0.0f : 1.0f;
        glColor3f(c, c, c);
        glBegin(loop ? GL_LINE_LOOP : GL_LINES);
        for (size_t i = 0; i + 1 < points.size(); i += 2) glVertex2f(points[i], points[i + 1]);
        glEnd();
    }
    glLineWidth(1.0f);
}

void TKSN_GeometricShaper::OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    TKSN_Tool::OnDraw(mesh, viewport, fx, fy);
    // Outlined only while a drag is live.
    if (!DeformActive || !InUse) return;
    auto circle = [&]() {
        std::vector<float> points;
        for (int k = 0; k < 36; ++k) {
            const float theta = float((1.0 + 10.0 * k) * M_PI / 180.0);
            const float p[3] = {Centre[0] + ShapeRadius * std::cos(theta), Centre[1] + ShapeRadius * std::sin(theta),
                                Centre[2]};
            float s[3];
            Project(p, s);
            points.push_back(s[0]);
            points.push_back(s[1]);
        }
        DrawOutline(points, true);
    };
    auto box = [&]() {
        float a[3], b[3];
        Project(ViewBoxMin, a);
        Project(ViewBoxMax, b);
        DrawOutline({a[0], a[1], b[0], a[1], b[0], b[1], a[0], b[1]}, true);
    };
    float k[3];
    Project(Centre, k);
    auto axisLine = [&](bool vertical) {
        if (vertical)
            DrawOutline({k[0], -1.0f, k[0], 1.0f}, false);
        else
            DrawOutline({-1.0f, k[1], 1.0f, k[1]}, false);
    };
    switch (ShapeType) {
    case 0:
        circle();
        DrawInitialCrossHairs(mesh, viewport);
        break;
    case 1: box(); break;
    case 3:
        if (Depth) {
            box();
            break;
        }
        axisLine(Vertical);
        DrawInitialCrossHairs(mesh, viewport);
        break;
    case 2:
    case 4:
        if (Depth) {
            circle();
        } else {
            axisLine(Vertical);
        }
        DrawInitialCrossHairs(mesh, viewport);
        break;
    default: break;
    }
}

// The four chisels: the reference geometry of an iteration and the rule for
// one vertex of Resurface, Touchup, Contour and Bulge (see KSN_Chisel.h).
#include "KSN_Chisel.h"

#include <algorithm>
#include <cmath>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"
#include "QOREvents.h"
#include "QORLanguage.h"

float UVTangentLine[3] = {0, 0, 0};

namespace {

float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
float Length(const float* a) { return std::sqrt(Dot(a, a)); }

TKSN_Parameter* AddListParameter(TKSN_Tool* tool, TKSN_ParameterCallback callback)
{
    auto* list = new TKSN_Parameter(tool, Lang.GetText(249), KSN_PARAM_LIST, reinterpret_cast<void*>(callback), -1);
    tool->Parameters->Add(list);
    return list;
}

// The list protocol for a list of fixed items; name and hint of each row.
struct TListRow {
    const char* Name;
    const char* Hint;
    bool Disabled;
};
bool ServeList(TQOREvent* event, const TListRow* rows, int count, int& current)
{
    const int index = event->GetIndex();
    const bool valid = index >= 0 && index < count;
    switch (event->GetCommand()) {
    case KSN_LIST_ITEM_NAME:
        event->AssignStringParameter(valid ? rows[index].Name : "ERROR", 0);
        event->intParameters[0] = valid && rows[index].Disabled ? 1 : 0;
        return true;
    case KSN_LIST_ITEM_HINT: event->AssignStringParameter(valid ? rows[index].Hint : "", 0); return true;
    case KSN_LIST_CURRENT: event->SetIndex(current); return true;
    case KSN_LIST_CHOOSE:
        current = index;
        // The parameters that depend on the type come and go with it.
        QOREvents_PushEvent(new TQOREvent(431));
        return true;
    case KSN_LIST_COUNT: event->intParameters[0] = count; return true;
    default: return false;
    }
}

void StartFromZero(float* centre, float* direction)
{
    std::fill_n(centre, 3, 0.0f);
    std::fill_n(direction, 3, 0.0f);
}

} // namespace

// [SECTION] Resurface: pulls the area onto its average plane, with build-up

TKSN_ResurfaceChisel::TKSN_ResurfaceChisel() { Describe("Resurface Chisel", "Chisel-Resurface"); }

void TKSN_ResurfaceChisel::UpdateParameters()
{
    TKSN_Chisel::UpdateParameters();
    AddPercentParameter("Build Up", "Build Up", &BuildUp, -1.0f, 1.0f);
}

void TKSN_ResurfaceChisel::CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport*)
{
    StartFromZero(ChiselCentre, ChiselDirection);
    CalculateAveragePostionAndNormal(mesh);
}

void TKSN_ResurfaceChisel::DeformVertex(TKSN_MeshRoot*, TKSN_Viewport*, int, float* direction, float strength,
                                        float* out, float* position, float*, float)
{
    const float toCentre[3] = {ChiselCentre[0] - position[0], ChiselCentre[1] - position[1],
                               ChiselCentre[2] - position[2]};
    const float d = Dot(toCentre, direction) * strength;
    const float a[3] = {direction[0] * d, direction[1] * d, direction[2] * d};
    const float up = Length(a) * BuildUp;
    for (int k = 0; k < 3; ++k) out[k] = a[k] + direction[k] * up;
}

// [SECTION] Touchup: smooth, smudge, sharpen, flatten, unmorph

TKSN_TouchupChisel::TKSN_TouchupChisel() { Describe("Touchup Chisel", "Chisel-Touchup"); }

bool TKSN_TouchupChisel::DoShowPostSmoothParameter()
{
    return TouchupType == Smudge || TouchupType == Sharpen || TouchupType == Flatten;
}

float TKSN_TouchupChisel::GetPostSmoothStrength() { return DoShowPostSmoothParameter() ? _PostSmoothStrength : 0.0f; }

void TKSN_TouchupChisel::UpdateParameters()
{
    TKSN_Chisel::UpdateParameters();
    AddListParameter(this, Type_ListFunc);
    if (TouchupType == Smooth)
        AddBoolParameterTriplet("Reduce...", "", "Shrinking", Lang.GetText(663), &PreventShrinking, "Spreading",
                                Lang.GetText(370), &PreventSpreading, nullptr, nullptr, nullptr);
}

void TKSN_TouchupChisel::OnParameterChange(TKSN_Parameter* parameter)
{
    TKSN_Chisel::OnParameterChange(parameter);
    if (!parameter) return;
    if (parameter->GetData() == &PreventSpreading && PreventSpreading) PreventShrinking = false;
    if (parameter->GetData() == &PreventShrinking && PreventShrinking) PreventSpreading = false;
}

bool TKSN_TouchupChisel::Type_ListFunc(TQOREvent* event)
{
    TKSN_TouchupChisel* tool = KSN_GetListParameterTool<TKSN_TouchupChisel>(event);
    if (!tool) return false;
    const bool modelling = App && App->GetToolTypeTab() == KSN_TOOL_TAB_MODELLING;
    const TListRow rows[5] = {
        {Lang.GetText(102), Lang.GetText(103), false},
        {"Smudge", "Smudge", false},
        {"Sharpen", "Sharpen", false},
        {Lang.GetText(673), Lang.GetText(674), false},
        // There is no morph to unmorph while the base vertices are edited.
        {Lang.GetText(427), modelling ? Lang.GetText(955) : Lang.GetText(428), modelling},
    };
    return ServeList(event, rows, 5, tool->TouchupType);
}

void TKSN_TouchupChisel::CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport)
{
    StartFromZero(ChiselCentre, ChiselDirection);
    switch (TouchupType) {
    case Smudge: {
        const float motion[3] = {GetDirHoriz() ? MouseX - PreviousX : 0.0f, GetDirVert() ? MouseY - PreviousY : 0.0f,
                                 0.0f};
        KSN_TransformPoint(viewport->TransposedRotationMatrix, motion, ChiselDirection);
        const float zoom = viewport->GetZoomFactor();
        for (float& d : ChiselDirection) d *= zoom;
        break;
    }
    case Sharpen: std::copy_n(WorldToBrushZDir, 3, ChiselDirection); break;
    case Flatten: CalculateAveragePostionAndNormal(mesh); break;
    default: break;
    }
}

void TKSN_TouchupChisel::DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport*, int vertex, float* direction,
                                      float strength, float* out, float* position, float* morphDelta, float)
{
    std::fill_n(out, 3, 0.0f);
    switch (TouchupType) {
    case Smooth: {
        float target[3] = {0, 0, 0};
        int n = 0;
        const int* row = mesh->vertexPolygons[vertex];
        for (int k = 1; k <= row[0]; ++k)
            for (int c = 0; c < mesh->vGetPolyN(row[k]); ++c) {
                const int q = mesh->vGetPolyV(row[k], c);
                if (q < 0 || q >= mesh->GetVCount()) continue;
                for (int i = 0; i < 3; ++i) target[i] += mesh->resolvedVertices[3 * size_t(q) + i];
                ++n;
            }
        if (n == 0) return;
        for (int i = 0; i < 3; ++i) out[i] = target[i] / float(n) - position[i];
        if (mesh->vertexNormals && (PreventSpreading || PreventShrinking)) {
            const float* normal = mesh->vertexNormals + 3 * size_t(vertex);
            const float along = Dot(normal, out);
            for (int i = 0; i < 3; ++i)
                out[i] = PreventSpreading ? normal[i] * along : out[i] - normal[i] * along;
        }
        for (int i = 0; i < 3; ++i) out[i] *= strength;
        return;
    }
    case Smudge:
        for (int i = 0; i < 3; ++i) out[i] = direction[i] * strength;
        return;
    case Sharpen: {
        if (!mesh->vertexNormals) return;
        const float* normal = mesh->vertexNormals + 3 * size_t(vertex);
        float weightSum = 0.0f, sum[3] = {0, 0, 0};
        int n = 0;
        const int* row = mesh->vertexPolygons[vertex];
        for (int k = 1; k <= row[0]; ++k)
            for (int c = 0; c < mesh->vGetPolyN(row[k]); ++c) {
                const int q = mesh->vGetPolyV(row[k], c);
                if (q < 0 || q >= mesh->GetVCount()) continue;
                // Neighbours whose normal differs from the vertex's count more.
                const float dot = Dot(normal, mesh->vertexNormals + 3 * size_t(q));
                const float u = dot > 0.0f ? 1.0f - dot : 1.0f;
                weightSum += u;
                for (int i = 0; i < 3; ++i) sum[i] += u * mesh->resolvedVertices[3 * size_t(q) + i];
                ++n;
            }
        if (weightSum <= 1e-30f) return;
        for (int i = 0; i < 3; ++i) out[i] = sum[i] / weightSum - position[i];
        const float along = Dot(direction, out);
        for (int i = 0; i < 3; ++i) out[i] -= direction[i] * along;
        const float f = std::clamp(std::pow(weightSum / float(n), 0.25f), 0.0f, 1.0f);
        for (int i = 0; i < 3; ++i) out[i] *= f * strength;
        return;
    }
    case Flatten: {
        const float toCentre[3] = {ChiselCentre[0] - position[0], ChiselCentre[1] - position[1],
                                   ChiselCentre[2] - position[2]};
        const float d = Dot(toCentre, direction) * strength;
        for (int i = 0; i < 3; ++i) out[i] = direction[i] * d;
        return;
    }
    case Unmorph:
        if (morphDelta)
            for (int i = 0; i < 3; ++i) out[i] = -morphDelta[i] * strength;
        return;
    default: return;
    }
}

// [SECTION] Contour: squeezes the surface towards the stroke line on screen

TKSN_ContourChisel::TKSN_ContourChisel() { Describe("Countour Chisel", "Chisel-Countour"); }

void TKSN_ContourChisel::CalculateDirection(TKSN_MeshRoot*, TKSN_Viewport*)
{
    StartFromZero(ChiselCentre, ChiselDirection);
    UVTangentLine[0] = 0.1f * (MouseY - PreviousY);
    UVTangentLine[1] = -0.1f * (MouseX - PreviousX);
    UVTangentLine[2] = 0.0f;
}

void TKSN_ContourChisel::DeformVertex(TKSN_MeshRoot*, TKSN_Viewport* viewport, int, float*, float strength,
                                      float* out, float* position, float*, float)
{
    const float* t = UVTangentLine;
    float s[3];
    KSN_TransformPoint(viewport->CombinedMatrix, position, s);
    const float k = (s[0] - PreviousX) * t[0] + (s[1] - PreviousY) * t[1];
    const float sign = k > 0.0f ? -1.0f : 1.0f;
    const float moved[3] = {s[0] + sign * t[0], s[1] + sign * t[1], s[2]};
    float w[3];
    KSN_TransformPoint(viewport->InverseCombinedMatrix, moved, w);
    for (int i = 0; i < 3; ++i) out[i] = (w[i] - position[i]) * strength;
}

// [SECTION] Bulge: normal, mushroom, spike and round

TKSN_BulgeChisel::TKSN_BulgeChisel() { Describe("Bulge Chisel", "Chisel-Bulge"); }

float TKSN_BulgeChisel::GetWorldBrushRadius()
{
    const auto current = KSN_GetToolProjectHooks().GetCurrentViewport;
    TKSN_Viewport* viewport = current ? current() : nullptr;
    if (!viewport) return 0.0f;
    const float* m = viewport->InverseCombinedMatrix;
    const float x[3] = {m[0], m[1], m[2]};   // the unit x vector's image, translation left out
    return GetSize() * Length(x);
}

float TKSN_BulgeChisel::GetTotalStrength()
{
    float strength = GetWorldBrushRadius() * 0.1f * GetStrength() * PressureScale();
    if (AltAtPress && BulgeType != Round) strength = -strength;
    return strength;
}

float TKSN_BulgeChisel::GetTotalStrengthB()
{
    const float strength = GetStrength() * PressureScale();
    return BulgeType == Spike ? strength * Sharpness * std::fabs(Sharpness) : strength;
}

void TKSN_BulgeChisel::UpdateParameters()
{
    TKSN_Chisel::UpdateParameters();
    if (BulgeType == Spike) AddPercentParameter("Sharpness", "Sharpness", &Sharpness, 0.0f, 1.0f);
    AddListParameter(this, Type_ListFunc);
}

bool TKSN_BulgeChisel::Type_ListFunc(TQOREvent* event)
{
    TKSN_BulgeChisel* tool = KSN_GetListParameterTool<TKSN_BulgeChisel>(event);
    if (!tool) return false;
    static const TListRow rows[4] = {
        {"Normal", "Normal", false}, {"Mushroom", "Mushroom", false}, {"Spike", "Spike", false}, {"Round", "Round", false}};
    return ServeList(event, rows, 4, tool->BulgeType);
}

void TKSN_BulgeChisel::CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport*)
{
    StartFromZero(ChiselCentre, ChiselDirection);
    if (BulgeType == Mushroom) return;
    CalculateAveragePostionAndNormal(mesh);
    if (BulgeType == Round) {
        // A centre one brush radius behind the surface rounds it; in front of it (Alt) dents it.
        const float r = AltAtPress ? GetWorldBrushRadius() : -GetWorldBrushRadius();
        for (int i = 0; i < 3; ++i) ChiselCentre[i] += ChiselDirection[i] * r;
    }
}

void TKSN_BulgeChisel::DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport*, int vertex, float* direction,
                                    float strength, float* out, float* position, float*, float weight)
{
    switch (BulgeType) {
    case Mushroom:
        if (mesh->vertexNormals)
            for (int i = 0; i < 3; ++i) out[i] = mesh->vertexNormals[3 * size_t(vertex) + i] * strength;
        return;
    case Spike:
        for (int i = 0; i < 3; ++i)
            out[i] = direction[i] * strength + (ChiselCentre[i] - position[i]) * (weight * TotalStrengthB);
        return;
    case Round: {
        float away[3] = {position[0] - ChiselCentre[0], position[1] - ChiselCentre[1], position[2] - ChiselCentre[2]};
        const float length = Length(away);
        if (length > 1e-30f)
            for (float& a : away) a /= length;
        for (int i = 0; i < 3; ++i) out[i] = away[i] * strength;
        return;
    }
    default:
        for (int i = 0; i < 3; ++i) out[i] = direction[i] * strength;
        return;
    }
}

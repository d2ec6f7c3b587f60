// The brush base (see KSN_Brush.h): shared brush values, panel, falloff and
// the outline of a thick stroke path. Drawing lives in KSN_Brush_Draw.cpp,
// the connected-surface restriction in KSN_Brush_Surface.cpp.
#include "KSN_Brush.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "KSN_Parameter.h"
#include "QORLanguage.h"

float SelectionBrushSize = 0.1f, SelectionBrushNewAspect = 1.0f, SelectionBrushStrength = 1.0f,
      SelectionBrushHardness = 0.1f, SelectionBrushDensity = 1.0f, SelectionStepPercent = 0.1f;
float PaintBrushSize = 0.1f, PaintBrushNewAspect = 1.0f, PaintBrushStrength = 1.0f, PaintBrushHardness = 0.0f;

TKSN_Brush::TKSN_Brush() : Points(std::make_unique<TQORNewStaticList<TKSN_Brush_Point*>>(1, false))
{
    Flags |= KSN_TOOL_POLYGON_INFO | KSN_TOOL_MIRRORED_INPUT;
    Flags &= ~KSN_TOOL_NO_MIRRORED_REPEATS;
}

TKSN_Brush::~TKSN_Brush() { OnClearFocus(); }

void TKSN_Brush::OnClearFocus()
{
    for (TKSN_Brush_Point* point : *Points) delete point;
    Points->SetCount(0);
}

int TKSN_Brush::GetEffectiveCullingMethod()
{
    const auto user = KSN_GetToolProjectHooks().GetUserCullingMethod;
    return user ? user() : 0;
}

void TKSN_Brush::UpdateParameters()
{
    struct Row {
        int name, hint;
        float* data;
        float min, max;
        bool quadratic;
    };
    const Row rows[] = {
        {110, 111, GetSizePtr(), 0.001f, 1.0f, true},
        {112, 113, GetStrengthPtr(), 0.01f, 1.0f, false},
        {134, 135, GetHardnessPtr(), 0.0f, 1.0f, false},
    };
    for (const Row& row : rows) {
        TKSN_Parameter* p = AddPercentParameter(Lang.GetText(row.name), Lang.GetText(row.hint), row.data, row.min,
                                                row.max);
        p->QuadraticSlider = row.quadratic;
        p->InvalidateOverlayOnChange = true;
    }
}

bool TKSN_Brush::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy)
{
    const bool answer = TKSN_Tool::OnMouse(mesh, viewport, button, state, fx, fy);
    if (state == 0) ProcessLocalPoints_OnMouse(mesh, viewport, fx, fy);
    return answer;
}

bool TKSN_Brush::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    const bool answer = TKSN_Tool::OnMotion(mesh, viewport, fx, fy);
    ProcessLocalPoints_OnMotion(mesh, viewport, fx, fy);
    return answer;
}

// ============================================================================
// [SECTION] Falloff and path outline
// ============================================================================

float GetRadiusFactor(float d, float r, float hardness)
{
    const double c = std::cos(double(d) / double(r) * M_PI / 2.0);
    return float(std::pow(c, 2.0 * (1.0 - double(hardness))));
}

namespace {

struct TVec {
    float x, y;
};
TVec operator-(TVec a, TVec b) { return {a.x - b.x, a.y - b.y}; }
TVec operator+(TVec a, TVec b) { return {a.x + b.x, a.y + b.y}; }
TVec operator*(float s, TVec a) { return {s * a.x, s * a.y}; }
float Cross(TVec a, TVec b) { return a.x * b.y - a.y * b.x; }
float Dot(TVec a, TVec b) { return a.x * b.x + a.y * b.y; }
TVec Normalised(TVec a)
{
    const float length = std::sqrt(a.x * a.x + a.y * a.y);
    return length <= 1e-30f ? a : TVec{a.x / length, a.y / length};
}
TVec Get(const float* c) { return {c[0], c[1]}; }
void Put(float* c, TVec v)
{
    c[0] = v.x;
    c[1] = v.y;
}

TKSN_LineSegment MakeSegment(TVec a, TVec b, float w, float aspect)
{
    const TVec d = Normalised(b - a);
    const TVec v = w * Normalised({d.y * aspect, -d.x});
    TKSN_LineSegment s;
    Put(s.c0, a - v);
    Put(s.c1, a + v);
    Put(s.c2, b + v);
    Put(s.c3, b - v);
    return s;
}

TKSN_LineSegmentQuad* NewQuad(const float* c0, const float* c1, const float* c2, const float* c3, bool join)
{
    auto* q = new TKSN_LineSegmentQuad;
    Put(q->c0, Get(c0));
    Put(q->c1, Get(c1));
    Put(q->c2, Get(c2));
    Put(q->c3, Get(c3));
    q->Join = join;
    return q;
}

// The join between segment s and the following segment t, on the outer side of the bend.
TKSN_LineSegmentQuad* MakeJoin(const TKSN_LineSegment& s, const TKSN_LineSegment& t)
{
    const float z = Cross(Get(s.c3) - Get(s.c0), Get(t.c3) - Get(t.c0));
    const TVec sStart = z < 0.0f ? Get(s.c0) : Get(s.c1);
    const TVec sEnd = z < 0.0f ? Get(s.c3) : Get(s.c2);
    const TVec tStart = z < 0.0f ? Get(t.c0) : Get(t.c1);
    const TVec tEnd = z < 0.0f ? Get(t.c3) : Get(t.c2);

    const TVec r = sEnd - sStart, q = tEnd - tStart;
    const float denominator = Cross(r, q);
    const float along = std::fabs(denominator) <= 1e-30f ? 0.0f : Cross(tStart - sStart, q) / denominator;
    const TVec i = sStart + along * r;
    const TVec m = 0.5f * (sEnd + tStart);
    const TVec e1 = Normalised(q), e2 = Normalised(sStart - sEnd);
    const float q4 = std::pow(std::max(0.0f, Dot(e1, e2)), 4.0f);
    const TVec j = q4 * m + (1.0f - q4) * i;
    const TVec c = 0.5f * (Get(t.c0) + Get(t.c1));
    float jc[2], cc[2];
    Put(jc, j);
    Put(cc, c);
    return z >= 0.0f ? NewQuad(s.c2, jc, t.c1, cc, true) : NewQuad(t.c0, jc, s.c3, cc, true);
}

} // namespace

void CreateConnectedLineWithThickness(TQORNewStaticList<TKSN_Brush_Point*>* points,
                                      TQORNewStaticList<TKSN_LineSegmentQuad*>* quads, bool closed, float halfWidth,
                                      float aspect)
{
    if (!points || !quads) return;
    const int n = points->Count();
    auto at = [points](int i) { return TVec{(*points)[i]->X, (*points)[i]->Y}; };
    std::vector<TKSN_LineSegment> segments;
    if (n > 2) segments.push_back(MakeSegment(at(n - 1), at(0), halfWidth, aspect));
    for (int i = 1; i < n; ++i) segments.push_back(MakeSegment(at(i - 1), at(i), halfWidth, aspect));
    const int m = int(segments.size());
    if (m == 0) return;
    if (m == 1) {
        const TKSN_LineSegment& s = segments[0];
        quads->Add(NewQuad(s.c0, s.c1, s.c2, s.c3, false));
        return;
    }
    for (int k = 0; k < m; ++k) {
        if (!closed && k == m - 1) break;
        const TKSN_LineSegment& s = segments[size_t(k)];
        const TKSN_LineSegment& t = segments[size_t((k + 1) % m)];
        quads->Add(NewQuad(t.c0, t.c1, t.c2, t.c3, false));
        if (closed || k > 0) quads->Add(MakeJoin(s, t));
    }
}

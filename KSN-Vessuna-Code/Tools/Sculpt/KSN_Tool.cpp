// The tool base (see KSN_Tool.h): stroke bookkeeping, direction switches,
// shared values, mouse travel to angles, the soft-rotation tables and the
// hooks to the layers above. Drawing lives in KSN_Tool_Draw.cpp.
//
// Index:
//   [SECTION] Hooks and globals
//   [SECTION] Construction
//   [SECTION] Direction switches and parameters
//   [SECTION] Stroke bookkeeping
//   [SECTION] Shared values
//   [SECTION] Hint, use and activation
//   [SECTION] Mouse travel to strengths and angles
//   [SECTION] Soft-rotation lookup
#include "KSN_Tool.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "KSN_Application.h"
#include "KSN_BrushShape.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QORString.h"
#include "QORTablet.h"
#include "QORTimer.h"

// ============================================================================
// [SECTION] Hooks and globals
// ============================================================================

namespace {

TKSN_ToolProjectHooks ProjectHooks;
TKSN_ToolWindowHooks WindowHooks;

constexpr int CommandRefreshToolPanel = 431;

} // namespace

void KSN_SetToolProjectHooks(const TKSN_ToolProjectHooks& hooks) { ProjectHooks = hooks; }
const TKSN_ToolProjectHooks& KSN_GetToolProjectHooks() { return ProjectHooks; }
void KSN_SetToolWindowHooks(const TKSN_ToolWindowHooks& hooks) { WindowHooks = hooks; }

float MaxMouseDisplacement = 0.0f;
bool IsMirrorStroke = false;

float ToolSize = 0.1f, ToolNewAspect = 1.0f, ToolStrength = 1.0f, ToolHardness = 0.1f, ToolStepPercent = 0.05f,
      ToolDensity = 1.0f;
float DeformerNewAspect = 1.0f, DeformerStrength = 1.0f, DeformerHardness = 0.1f, DeformerStepPercent = 0.05f,
      DeformerDensity = 1.0f, DeformerRigidness = 0.5f;
bool DeformerAutoSelect = false;

TKSN_Soft_Rotate_Lookup SoftRotationLookup;
TKSN_Soft_Rotate_Lookup SoftRotationLookupB;

// ============================================================================
// [SECTION] Construction
// ============================================================================

TKSN_Tool::TKSN_Tool() : Parameters(std::make_unique<TQORNewStaticList<TKSN_Parameter*>>(1, false))
{
    // Button events carry the tool's ID.
    RegisterForLookup();
    SetName("%s", "New Tool");
}

TKSN_Tool::~TKSN_Tool() { ClearParameters(); }

void TKSN_Tool::Describe(const char* name, const char* icon, uint32_t setFlags)
{
    SetName("%s", name);
    IconName = icon;
    Flags |= setFlags;
}

// ============================================================================
// [SECTION] Direction switches and parameters
// ============================================================================

const char* TKSN_Tool::GetDepthName() { return Lang.GetText(99); }
const char* TKSN_Tool::GetDepthHint() { return Lang.GetText(100); }

float TKSN_Tool::AdjustValueForSensitvity(float v)
{
    return (CanUseSensitiveMouse() && FineMode) ? v * SensitivityFactor : v;
}

void TKSN_Tool::OnDirChange(void* changed)
{
    bool* horiz = GetDirHorizPtr();
    bool* vert = GetDirVertPtr();
    bool* depth = GetDirDepthPtr();
    if (changed != horiz && changed != vert && changed != depth) return;
    // At least one direction always stays on: the one just turned off comes back.
    if (changed == horiz && !*vert && !*depth) *horiz = true;
    if (changed == vert && !*horiz && !*depth) *vert = true;
    if (changed == depth && !*horiz && !*vert) *depth = true;
    QOREvents_PushEvent(CommandRefreshToolPanel);
}

void TKSN_Tool::OnParameterChange(TKSN_Parameter* parameter)
{
    if (parameter) OnDirChange(parameter->Data);
}

void TKSN_Tool::UpdateHeaderParameters()
{
    if (!IsDirectionEverUsed()) return;
    TKSN_Parameter* triplet = AddBoolParameterTriplet(Lang.GetText(793), Lang.GetText(795), Lang.GetText(91),
                                                      Lang.GetText(92), GetDirHorizPtr(), Lang.GetText(97),
                                                      Lang.GetText(98), GetDirVertPtr(), GetDepthName(),
                                                      GetDepthHint(), GetDirDepthPtr());
    triplet->Enabled = DirectionIsEnabled();
    triplet->Third->Enabled = DepthIsEnabled();
}

void TKSN_Tool::UpdateAllParameters()
{
    UpdateHeaderParameters();
    HeaderParameterCount = Parameters->Count();
    UpdateParameters();
    UpdateFooterParameters();
}

bool TKSN_Tool::ConsiderDisablingParameter(TKSN_Parameter* parameter)
{
    if (!parameter || !GetDirDepth() || !DepthIsExclusive()) return false;
    return parameter->Data == GetDirHorizPtr() || parameter->Data == GetDirVertPtr();
}

bool TKSN_Tool::UsesSizeParameter() { return GetParameterFromPtr(GetSizePtr()) != nullptr; }
bool TKSN_Tool::UsesHardnessParameter() { return GetParameterFromPtr(GetHardnessPtr()) != nullptr; }
bool TKSN_Tool::UsesDensityParameter() { return GetParameterFromPtr(GetDensityPtr()) != nullptr; }
bool TKSN_Tool::UsesStrengthParameter() { return GetParameterFromPtr(GetStrengthPtr()) != nullptr; }
TKSN_Parameter* TKSN_Tool::GetStrengthParameter() { return GetParameterFromPtr(GetStrengthPtr()); }
TKSN_Parameter* TKSN_Tool::GetSizeParameter() { return GetParameterFromPtr(GetSizePtr()); }
TKSN_Parameter* TKSN_Tool::GetHardnessParameter() { return GetParameterFromPtr(GetHardnessPtr()); }
TKSN_Parameter* TKSN_Tool::GetSpacingParameter() { return GetParameterFromPtr(GetStepPercentPtr()); }
TKSN_Parameter* TKSN_Tool::GetDensityParameter() { return GetParameterFromPtr(GetDensityPtr()); }

// ============================================================================
// [SECTION] Stroke bookkeeping
// ============================================================================

float TKSN_Tool::ReadPressure() const
{
    if (!TabletInUse) return 1.0f;
    const float p = QORTablet_GetPressure();
    return p > 1.0f ? 1.0f : std::max(0.0f, p);
}

void TKSN_Tool::PreProcess_fx_fy(float& fx, float& fy)
{
    if (DirectionIsEnabled() && DirectionLocksMouse()) {
        if (DepthIsEnabled() && GetDirDepth()) {
            // Horizontal travel drives the depth, or vertical travel does.
            if (DepthControlledHorizontally())
                fy = PressY;
            else
                fx = PressX;
        } else {
            if (!GetDirHoriz()) fx = PressX;
            if (!GetDirVert()) fy = PressY;
        }
    }
    MouseX = fx;
    MouseY = fy;
}

bool TKSN_Tool::OnMouse(TKSN_Mesh*, TKSN_Viewport*, int button, int state, float fx, float fy)
{
    PressureFactor = 1.0f;
    HasMoved = FirstMotion = LockX = LockY = MovedSinceDraw = false;
    MotionCount = 0;
    MouseButton = button;
    MouseState = state;
    MouseX = fx;
    MouseY = fy;

    if (state == 1 && button == 0 && WindowHooks.UnlockMouseWheel) WindowHooks.UnlockMouseWheel();
    if (state == 0) {
        MaxMouseDisplacement = 0.0f;
        AltAtPress = OS.IsAltHeld();
        ShiftAtPress = OS.IsShiftHeld();
        CtrlAtPress = OS.IsCtrlHeld();
        if (button == 0 && WindowHooks.LockMouseWheel) WindowHooks.LockMouseWheel();
        TabletInUse = QORTablet_IsTabletInUse();
        PressTime = float(QORGetProgramTime());
        FineMode = false;
        SensitivityFactor = 1.0f;
        if (CanUseSensitiveMouse() && OS.IsAltHeld()) {
            FineMode = true;
            SensitivityFactor = 0.1f;
        }
        PressX = fx;
        PressY = fy;
        if (App) App->stateFlags |= KSN_APP_TOOL_USED;
    }
    PressureFactor = ReadPressure();
    return true;
}

bool TKSN_Tool::OnDoubleClick(TKSN_Mesh*, TKSN_Viewport*, float fx, float fy)
{
    MovedSinceDraw = false;
    MouseX = fx;
    MouseY = fy;
    return true;
}

bool TKSN_Tool::OnMotion(TKSN_Mesh*, TKSN_Viewport*, float fx, float fy)
{
    PressureFactor = ReadPressure();
    MouseX = fx;
    MouseY = fy;
    MovedSinceDraw = true;
    if (!HasMoved) {
        HasMoved = FirstMotion = true;
    } else {
        FirstMotion = false;
    }
    ++MotionCount;
    const float dx = fx - PressX, dy = fy - PressY;
    // The first two motions decide the axis of a Shift stroke; later ones keep it.
    if (MotionCount <= 2 && OS.IsShiftHeld() && (Flags & KSN_TOOL_SHIFT_AXIS_LOCK)) {
        if (std::fabs(dx) > std::fabs(dy)) {
            LockY = true;
            LockX = false;
        } else {
            LockX = true;
            LockY = false;
        }
    }
    MaxMouseDisplacement = std::max(MaxMouseDisplacement, std::sqrt(dx * dx + dy * dy));
    return true;
}

// ============================================================================
// [SECTION] Shared values
// ============================================================================

float TKSN_Tool::GetSize() { return ToolSize; }
float TKSN_Tool::GetNewAspect() { return ToolNewAspect; }
float TKSN_Tool::GetHardness() { return ToolHardness; }
float TKSN_Tool::GetStrength() { return ToolStrength; }
float TKSN_Tool::GetStepPercent() { return ToolStepPercent; }
float TKSN_Tool::GetDensity() { return ToolDensity; }
float* TKSN_Tool::GetSizePtr() { return &ToolSize; }
float* TKSN_Tool::GetNewAspectPtr() { return &ToolNewAspect; }
float* TKSN_Tool::GetHardnessPtr() { return &ToolHardness; }
float* TKSN_Tool::GetStrengthPtr() { return &ToolStrength; }
float* TKSN_Tool::GetDensityPtr() { return &ToolDensity; }
float* TKSN_Tool::GetStepPercentPtr() { return &ToolStepPercent; }
void TKSN_Tool::SetSize(float v) { ToolSize = v; }
void TKSN_Tool::SetNewAspect(float v) { ToolNewAspect = v; }
void TKSN_Tool::SetHardness(float v) { ToolHardness = v; }
void TKSN_Tool::SetStrength(float v) { ToolStrength = v; }
void TKSN_Tool::SetStepPercent(float v) { ToolStepPercent = v; }
void TKSN_Tool::SetDensity(float v) { ToolDensity = v; }

float TKSN_Tool::GetEffectiveStrength()
{
    const float v = GetStrength();
    return (App && App->tabletPressureVariesStrength) ? v * PressureFactor : v;
}

float TKSN_Tool::GetEffectiveSize()
{
    float v = GetSize();
    if (App && App->tabletPressureVariesPseudoSize) v *= PressureFactor;
    return std::max(v, 0.01f);
}

float TKSN_Tool::GetEffectiveHardness()
{
    const float v = GetHardness();
    return (App && App->tabletPressureVariesHardness) ? v * PressureFactor : v;
}

float TKSN_Tool::GetHardnessDensity()
{
    const float v = GetDensity();
    return (App && App->tabletPressureVariesDensity) ? v * PressureFactor : v;
}

// ============================================================================
// [SECTION] Hint, use and activation
// ============================================================================

void TKSN_Tool::PrintHint(TKSN_Mesh*, const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    KSN_CutToolText(text);
    // Passed as an argument, so a '%' in a name shows literally.
    OS.PrintHint("%s", text.c_str());
}

bool TKSN_Tool::DoDrawAltGraphic()
{
    if (!AltCursorImage) return false;
    return MouseState == 0 ? OS.IsAltHeld() : IsAltHeldRightNow();
}

bool TKSN_Tool::CanAffectHiddenGeometry()
{
    const TKSN_Tool* current = App && App->currentTool ? App->currentTool : this;
    return (current->Flags & KSN_TOOL_AFFECTS_HIDDEN) != 0;
}

void TKSN_Tool::BeforeUse()
{
    if ((Flags & KSN_TOOL_NAVIGATION_LOCK) && App)
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport) viewport->NavLock();
    InUse = true;
    if (RequiredCullingCalculations() && ProjectHooks.WaitForVertexCullingToBecomeReady)
        ProjectHooks.WaitForVertexCullingToBecomeReady();
}

void TKSN_Tool::AfterUse()
{
    if ((Flags & KSN_TOOL_NAVIGATION_LOCK) && App)
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport) viewport->NavUnlock();
    InUse = false;
}

void TKSN_Tool::OnActivate(TKSN_Mesh*)
{
    if (RequiredCullingCalculations() && ProjectHooks.StartVertexCullingIfNecessary)
        ProjectHooks.StartVertexCullingIfNecessary(true);
}

bool TKSN_Tool::DoCallOnDraw(TKSN_Viewport* viewport)
{
    if (!App || !viewport) return false;
    auto viewportAt = [](int index) -> TKSN_Viewport* {
        return index >= 0 && index < 4 ? App->viewports[index] : nullptr;
    };
    // During a stroke only the pressed viewport draws the tool.
    if (App->mouseDownViewport >= 0) return viewport == viewportAt(App->mouseDownViewport);
    if (viewport != viewportAt(App->mouseOverViewport)) return false;
    TKSN_Viewport* current = ProjectHooks.GetCurrentViewport ? ProjectHooks.GetCurrentViewport() : nullptr;
    return viewport == current;
}

// ============================================================================
// [SECTION] Mouse travel to strengths and angles
// ============================================================================

float GetOneDimStrength(TKSN_Mesh*, TKSN_Viewport* viewport, float, float y0, float, float y1, bool zoomed)
{
    const float d = y1 - y0;
    return (zoomed && viewport) ? d * viewport->GetZoomFactor() : d;
}

void GetTwoDimStrength(TKSN_Mesh*, TKSN_Viewport* viewport, float* out, float x0, float y0, float x1, float y1)
{
    const float zoom = viewport ? viewport->GetZoomFactor() : 1.0f;
    const float aspect = viewport ? viewport->Aspect : 1.0f;
    out[0] = (x1 - x0) * zoom;
    out[1] = (y1 - y0) * zoom * aspect;
}

float GetAngleFromPixelDistanceInDegrees(float pixels)
{
    const float n = std::round(pixels);   // halves away from zero
    const float s = n < 0.0f ? -1.0f : 1.0f;
    const float a = std::fabs(n);
    const bool alt = OS.IsAltHeld();
    const float zone1 = alt ? 100.0f : 10.0f;
    const float zone2 = alt ? 190.0f : 98.0f;
    const float perPixel = alt ? 0.1f : 0.5f;

    float angle = std::min(a, zone1) / zone1;
    float r = a - zone1;
    if (r < 1e-30f) return s * angle;
    angle += std::min(r, zone2) * perPixel;
    r -= zone2;
    if (r < 1e-30f) return s * angle;
    if (alt) return s * (angle + std::round(r) * 0.2f);
    angle += std::min(r, 50.0f);
    if (r - 50.0f >= 1e-30f) return s * (angle + std::round((r - 50.0f) / 5.0f) * 5.0f);
    return s * angle;
}

void TKSN_Tool::GetTiltRotationFromViewportMotion(TKSN_Viewport* viewport, float dx, float& angle, float* matrix)
{
    const float width = viewport ? float(viewport->WindowWidth) : 0.0f;
    const float degrees = AdjustValueForSensitvity(GetAngleFromPixelDistanceInDegrees(width * dx * 0.5f));
    angle = float(double(degrees) / 180.0 * M_PI);
    if (!matrix) return;
    const float c = std::cos(angle), s = std::sin(angle);
    const float m[16] = {c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::copy(m, m + 16, matrix);
}

void TKSN_Tool::GetTwoDimRotationFromViewportMotion(TKSN_Viewport* viewport, float dx, float dy, float& ax,
                                                    float& ay, float* matrix)
{
    const float width = viewport ? float(viewport->WindowWidth) : 0.0f;
    const float height = viewport ? float(viewport->WindowHeight) : 0.0f;
    auto toRadians = [this](float pixels) {
        return float(double(AdjustValueForSensitvity(GetAngleFromPixelDistanceInDegrees(pixels))) / 180.0 * M_PI);
    };
    ax = toRadians(width * dx * 0.5f);
    ay = toRadians(height * dy * 0.5f);
    if (!matrix) return;
    const float ca = std::cos(ax), sa = std::sin(ax), cb = std::cos(ay), sb = std::sin(ay);
    const float a[16] = {ca, 0, -sa, 0, 0, 1, 0, 0, sa, 0, ca, 0, 0, 0, 0, 1};
    const float b[16] = {1, 0, 0, 0, 0, cb, -sb, 0, 0, sb, cb, 0, 0, 0, 0, 1};
    QORMatrix_MultiplyMatrix4x4(a, b, matrix);
}

// ============================================================================
// [SECTION] Soft-rotation lookup
// ============================================================================

void TKSN_Soft_Rotate_Lookup::CalculateAllMatrices(float angle, const float* centre, const float* axis)
{
    for (int k = 0; k < 100; ++k) GetRotationMatrix(Matrices[k], float(k + 1) * 0.01f * angle, axis, centre);
}

void TKSN_Soft_Rotate_Lookup::GetRotationMatrixB(float* out, float t) const
{
    const float scaled = 100.0f * t;
    const int e = int(scaled);   // truncation
    const int hi = std::clamp(e, 0, 99);
    const int lo = std::clamp(e - 1, 0, 99);
    const float w = scaled - float(e);
    for (int i = 0; i < 16; ++i) out[i] = w * Matrices[hi][i] + (1.0f - w) * Matrices[lo][i];
}

#include "KSN_NavigationHistory.h"

#include "KSN_Application.h"
#include "KSN_Project.h"
#include "KSN_Viewport.h"
#include "QOREvents.h"
#include "QORThingy.h"

#include <algorithm>
#include <deque>
#include <optional>

namespace {

constexpr size_t MaxEntries = 100;

std::deque<TKSN_NavNode> UndoStack, RedoStack;
std::optional<TKSN_NavNode> CopiedView;
std::optional<TKSN_NavNode> CopiedViews[4];

TKSN_NavNode Capture(TKSN_Viewport* v)
{
    TKSN_NavNode n;
    n.ViewportID = v->GetID();
    std::copy(v->RotationMatrix, v->RotationMatrix + 16, n.Rotation);
    std::copy(v->DefaultRotationMatrix, v->DefaultRotationMatrix + 16, n.DefaultRotation);
    v->GetLookAt(n.LookAt);
    n.Zoom = v->GetZoom();
    n.AutoView = v->GetAutoView();
    n.CopyViewportIndex = v->CopyViewportIndex;
    return n;
}

void Push(std::deque<TKSN_NavNode>& stack, const TKSN_NavNode& node)
{
    stack.push_back(node);
    while (stack.size() > MaxEntries) stack.pop_front();
}

TKSN_Viewport* ViewportOf(const TKSN_NavNode& n)
{
    return dynamic_cast<TKSN_Viewport*>(n.ViewportID ? __GetThingyFromID(n.ViewportID) : nullptr);
}

// Gives the viewport the view (the viewport's own navigation lock applies).
void Apply(TKSN_Viewport* v, const TKSN_NavNode& n)
{
    v->SetRotationMatrix(n.Rotation);
    v->SetLookAt(n.LookAt, nullptr, 0.0f, false);
    v->SetZoom(n.Zoom);
    std::copy(n.DefaultRotation, n.DefaultRotation + 16, v->DefaultRotationMatrix);
    v->SetAutoView(n.AutoView);
    v->CopyViewportIndex = n.CopyViewportIndex;
    if (Project) Project->OnSingleViewportChanged(v);
}

void Finish()
{
    if (!Project) return;
    Project->OnFinishedNavigating(false);
    Project->OnAllViewportsChanged();
}

// Moves the newest live entry of from onto the viewport, keeping its present view on to.
bool Step(std::deque<TKSN_NavNode>& from, std::deque<TKSN_NavNode>& to)
{
    while (!from.empty()) {
        const TKSN_NavNode node = from.back();
        from.pop_back();
        TKSN_Viewport* v = ViewportOf(node);
        if (!v) continue;
        Push(to, Capture(v));
        Apply(v, node);
        Finish();
        return true;
    }
    return false;
}

TKSN_Viewport* CurrentViewport() { return Project ? Project->GetCurrentViewport() : nullptr; }

} // namespace

void NavSetupUndo(TKSN_Viewport* viewport)
{
    if (!viewport) return;
    Push(UndoStack, Capture(viewport));
    RedoStack.clear();
}

void NavCleanStacks()
{
    UndoStack.clear();
    RedoStack.clear();
}

TKSN_NavNode* NavPeekUndoNode() { return UndoStack.empty() ? nullptr : &UndoStack.back(); }
TKSN_NavNode* NavPeekRedoNode() { return RedoStack.empty() ? nullptr : &RedoStack.back(); }

bool KSN_NavigatorCommandsCB(TQOREvent* event)
{
    if (!event || !App) return false;
    switch (event->GetCommand()) {
    case 536257:
        for (int i = 0; i < 4; ++i)
            CopiedViews[i] = App->viewports[i] ? std::optional(Capture(App->viewports[i])) : std::nullopt;
        return true;
    case 536258: {
        bool any = false;
        for (int i = 0; i < 4; ++i) {
            if (!CopiedViews[i] || !App->viewports[i]) continue;
            NavSetupUndo(App->viewports[i]);
            Apply(App->viewports[i], *CopiedViews[i]);
            any = true;
        }
        if (any) Finish();
        return any;
    }
    case 536259:
        if (TKSN_Viewport* v = CurrentViewport()) {
            CopiedView = Capture(v);
            return true;
        }
        return false;
    case 536260: {
        TKSN_Viewport* v = CurrentViewport();
        if (!v || !CopiedView) return false;
        NavSetupUndo(v);
        Apply(v, *CopiedView);
        Finish();
        return true;
    }
    case 536261: return Step(UndoStack, RedoStack);
    case 536262: return Step(RedoStack, UndoStack);
    default: return false;
    }
}

// The main window's hot-key table (see KSN_Gui_HotKeys.h).
#include "KSN_Gui_HotKeys.h"

#include "GuiMenu.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_TilePresets.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_ToolList.h"
#include "KestruneEvents.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"

#include <vector>

bool KSN_ExtrudeModeler_CommandCB(TQOREvent*) { return false; }
bool KSN_SubdivideModeler_CommandCB(TQOREvent*) { return false; }

namespace {

enum : int { Shift = 1, Ctrl = 2, Alt = 4 };
enum : int { KeyLeft = 314, KeyUp = 315, KeyRight = 316, KeyDown = 317, KeyF1 = 340 };

struct THotKeys {
    TKSN_MainWindow* W;

    TQOREvent* Event(TQOREventFunction callback, int command, int int0 = 0)
    {
        auto* e = new TQOREvent(callback ? callback : KestruneEvents_CommandCB, 0, command);
        e->intParameters[0] = int0;
        return e;
    }
    // A character key; the node takes the event.
    TGui_HotKeyNode* Key(unsigned char key, int modifiers, TQOREvent* e, bool ignoreShift = false)
    {
        return new TGui_HotKeyNode(W, key, 0, e, modifiers, ignoreShift);
    }
    TGui_HotKeyNode* Special(int key, int modifiers, TQOREvent* e)
    {
        return new TGui_HotKeyNode(W, 0, key, e, modifiers, false);
    }
    void Command(unsigned char key, int modifiers, int command, bool ignoreShift = false)
    {
        Key(key, modifiers, Event(nullptr, command), ignoreShift);
    }
    // A tool-selection key: the callback gets the main window as owner.
    void Tool(unsigned char key, int modifiers, TQOREventFunction callback, int index)
    {
        auto* e = new TQOREvent(callback, 0, index);
        e->SetOwner(W);
        Key(key, modifiers, e);
    }
    void SpecialTool(int key, TQOREventFunction callback, int index)
    {
        auto* e = new TQOREvent(callback, 0, index);
        e->SetOwner(W);
        Special(key, 0, e);
    }
    // Ctrl+1 .. Ctrl+9, Ctrl+: for the tools of a list; separators take an
    // index but no key.
    void ListKeys(TKSN_ToolList* list, int modifiers, TQOREventFunction callback, const char* name)
    {
        if (!list) return;
        std::vector<bool> seen(size_t(list->Count()), false);
        int n = 0;
        for (int i = 0; i < list->Count() && n <= 9; ++i) {
            if (seen[size_t(i)]) QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_ToolPtr", "Tool", name);
            seen[size_t(i)] = true;
            if (!(*list)[i]) continue;
            Tool(static_cast<unsigned char>('1' + n), modifiers, callback, i);
            ++n;
        }
    }
};

} // namespace

void TKSN_MainWindow::CreateHotKeys()
{
    THotKeys k{this};
    k.Special(KeyF1 + 0, Alt, k.Event(nullptr, 308, 1));
    k.Special(KeyF1 + 1, Alt, k.Event(nullptr, 308, 4));
    const char* channels[] = {"Color", "Bump", "Transparency", "Displacement", "Specular", "Ambient"};
    for (int i = 0; i < 6; ++i) {
        TQOREvent* e = k.Event(nullptr, 307);
        e->AssignStringParameter(channels[i], 0);
        k.Special(KeyF1 + 2 + i, Alt, e);
    }
    k.Command('x', 0, 94);
    k.Command('r', Ctrl, 449);
    k.Command(18, Ctrl, 449);
    k.Command('r', 0, 43);
    k.Command('t', Ctrl | Shift, 36);
    k.Command(20, Ctrl | Shift, 36);
    k.Command('v', 0, 42);
    k.Command('v', Shift, 44);
    k.Command('h', Ctrl, 33);
    k.Command('v', Ctrl, 34);
    k.Command('d', Ctrl, 35);
    k.Command('c', Shift, 487);
    k.Command('o', 0, 339);
    k.Command('o', Shift, 340);
    k.Command('g', 0, 341);
    struct TPan {
        int Key;
        float Dx, Dy;
    } const pans[] = {{KeyLeft, -0.25f, 0.0f}, {KeyRight, 0.25f, 0.0f}, {KeyUp, 0.0f, 0.25f}, {KeyDown, 0.0f, -0.25f}};
    for (const TPan& p : pans) {
        TQOREvent* e = k.Event(nullptr, 266);
        e->floatParameters[0] = p.Dx;
        e->floatParameters[1] = p.Dy;
        k.Special(p.Key, Ctrl, e);
    }
    k.Command('\t', 0, 194);
    k.Command('\t', Shift, 194);
    k.Special(KeyDown, 0, k.Event(nullptr, 270));
    k.Special(KeyUp, 0, k.Event(nullptr, 271));
    k.Special(KeyLeft, 0, k.Event(nullptr, 272));
    k.Special(KeyRight, 0, k.Event(nullptr, 273));
    k.Special(KeyDown, Shift, k.Event(nullptr, 274));
    k.Special(KeyUp, Shift, k.Event(nullptr, 275));
    k.Command(' ', 0, 302);
    k.Command(' ', Shift, 41);

    for (int n = 0; n <= 9; ++n) {
        const auto digit = static_cast<unsigned char>('0' + n);
        k.Key(digit, Ctrl | Shift | Alt, k.Event(Kestrune_SpecialHotkeys, 2, n));
        k.Key(digit, Ctrl | Shift, k.Event(Kestrune_SpecialHotkeys, 3, n));
    }

    // The tool-type tabs answer Alt and their underlined letter; they carry
    // no special key, so Alt+Down stays free.
    const int tabs[][2] = {{1158, 417}, {1159, 418}, {1160, 419}};
    for (const auto& t : tabs)
        k.Command(static_cast<unsigned char>(GetHotkeyFromUnderlinedLetterInText(Lang.GetText(t[0]))), Alt, t[1]);

    for (int i = 0; i < 6; ++i) k.Tool(static_cast<unsigned char>('1' + i), 0, SelectBrushCB, i);
    if (App) {
        k.ListKeys(App->deformationTools, Ctrl, SelectTransformCB, "App->Deformers");
        k.ListKeys(App->paintTools, Alt, SelectPaintBrushCB, "App->PaintBrushes");
    }

    CreateFileHotKeys();
    CreateNavHotKeys();
    CreateToolHotKeys();
    CreateEditHotKeys();
    CreateSelectionHotKeys();
}

void TKSN_MainWindow::CreateFileHotKeys()
{
    THotKeys k{this};
    k.Command('s', Ctrl, 377);
    k.Command('o', Ctrl, 368);
    k.Command('s', Ctrl | Shift, 378);
    k.Command('q', Ctrl, 183);
}

void TKSN_MainWindow::CreateNavHotKeys()
{
    THotKeys k{this};
    for (int i = 0; i < 3; ++i) k.SpecialTool(KeyF1 + i, SelectNavigationToolsCB, i);
    k.Special(KeyF1 + 8, 0, k.Event(nullptr, 284));
    k.Special(KeyF1 + 8, Shift, k.Event(nullptr, 284));
    k.Special(KeyF1 + 9, 0, k.Event(nullptr, 285));
}

void TKSN_MainWindow::CreateToolHotKeys()
{
    THotKeys k{this};
    k.Key('e', Shift | Alt, k.Event(KSN_ExtrudeModeler_CommandCB, 1));
    k.Key('d', Shift | Alt, k.Event(KSN_SubdivideModeler_CommandCB, 1));
    k.Key('d', Ctrl | Alt, k.Event(KSN_SubdivideModeler_CommandCB, 3));
    k.Key('d', Ctrl | Shift | Alt, k.Event(KSN_SubdivideModeler_CommandCB, 4));
    const struct {
        char Key;
        int Command;
    } keys[] = {{'`', 153}, {',', 104}, {'.', 103}, {'<', 106}, {'>', 105}, {';', 110},
                {'\'', 109}, {':', 108}, {'"', 107}, {'[', 112}, {']', 111}};
    for (const auto& key : keys) k.Command(static_cast<unsigned char>(key.Key), 0, key.Command, true);
}

void TKSN_MainWindow::CreateEditHotKeys()
{
    THotKeys k{this};
    k.Command('z', Ctrl, 148);
    k.Command(26, Ctrl, 148);
    k.Command('z', Ctrl | Shift, 149);
    k.Command(26, Ctrl | Shift, 149);
    k.Key('z', Ctrl | Alt, k.Event(KSN_NavigatorCommandsCB, 536261));
    k.Key('z', Ctrl | Shift | Alt, k.Event(KSN_NavigatorCommandsCB, 536262));
}

void TKSN_MainWindow::CreateSelectionHotKeys()
{
    THotKeys k{this};
    k.Command('u', Ctrl, 237);
    k.Command('{', 0, 247, true);
    k.Command('}', 0, 246, true);
    k.Command('a', Ctrl, 236);
    k.Command(1, Ctrl, 236);
    k.Command('i', 0, 238);
    k.Key('s', 0, k.Event(nullptr, 243))->HotKeyAnyModifiers = true;
    k.Command('n', 0, 244);
    k.Command('n', Alt, 244);
}

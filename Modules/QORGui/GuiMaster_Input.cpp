// TGui_Master input entry points.
//
// TODO(stub): stands for the master's input dispatch (hit testing, focus on
// press, clicks and double clicks, mouse-over enter and exit, drag-and-drop,
// keys, hot keys and the modal block). Until it exists the entry points only
// keep the plain input state that nodes and drawing read: the modifier bits,
// the mouse position and the last button and its state.
#include "GuiMaster.h"

namespace {
void StoreModifiers(TGui_Master& m, int modifiers)
{
    m.Modifiers = modifiers;
    m.ShiftHeld = (modifiers & 1) != 0;
    m.CtrlHeld = (modifiers & 2) != 0;
    m.AltHeld = (modifiers & 4) != 0;
}
} // namespace

void TGui_Master::ProcessMouseButton(int button, int state, int x, int y, int modifiers)
{
    StoreModifiers(*this, modifiers);
    LastButton = button;
    LastButtonState = state;
    MouseX = x;
    MouseY = y;
    if (state == 0) {
        PressX = x;
        PressY = y;
    }
}

void TGui_Master::ProcessMouseMotion(int x, int y)
{
    MouseX = x;
    MouseY = y;
}

void TGui_Master::ProcessPassiveMouseMotion(int x, int y)
{
    MouseX = x;
    MouseY = y;
    LastPassiveX = x;
    LastPassiveY = y;
}

void TGui_Master::ProcessKey(unsigned char, int x, int y, int modifiers)
{
    StoreModifiers(*this, modifiers);
    MouseX = x;
    MouseY = y;
}

void TGui_Master::ProcessSpecialKey(int, int x, int y, int modifiers)
{
    StoreModifiers(*this, modifiers);
    MouseX = x;
    MouseY = y;
}

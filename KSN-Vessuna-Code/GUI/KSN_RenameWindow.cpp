#include "KSN_RenameWindow.h"

#include "GuiButton.h"
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiMaster.h"
#include "KSN_Thingy.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <cctype>
#include <vector>

namespace {

constexpr unsigned char KeyEnterCode = 13;

TKSN_RenameWindow* FindWindow(TQOREvent* event)
{
    return event ? dynamic_cast<TKSN_RenameWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
}

TQOREvent* WindowEvent(TQOREventFunction callback, TKSN_RenameWindow* window)
{
    auto* event = new TQOREvent(callback, 0, -1);
    event->SetOwner(window);
    return event;
}

bool IsBlank(const char* text)
{
    for (const char* c = text; *c; ++c)
        if (!std::isspace(static_cast<unsigned char>(*c))) return false;
    return true;
}

} // namespace

TKSN_RenameWindow::TKSN_RenameWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    MakeNonResizeable();
    SetSize(230, 80);
    const int left = MarginX, top = MarginY;
    NameField = AddEditText(Lang.GetText(455), 0);
    NameField->SetPosition(left, top + 10);
    NameField->SetSize(220, NameField->Height);
    NameField->EditField->KeyEvent = WindowEvent(OnKeyPressedCB, this);

    OkButton = AddButton(Lang.GetText(180), left, top + 36, nullptr);
    OkButton->ClickEvent = WindowEvent(OkClickedCB, this);
    OkButton->SetSize(100, OkButton->Height);
    OkButton->HotKey = char(KeyEnterCode);

    CancelButton = AddButton(Lang.GetText(181), left + 120, top + 36, nullptr);
    CancelButton->ClickEvent = WindowEvent(CancelClickedCB, this);
    CancelButton->SetSize(100, CancelButton->Height);

    SetName(Lang.GetText(563), true);
    Hide();
}

TKSN_Thingy* TKSN_RenameWindow::GetThingy() const
{
    return ThingyID ? dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(ThingyID)) : nullptr;
}

void TKSN_RenameWindow::Execute(TKSN_Thingy* thingy, const char* oldName, int okCommand, int cancelCommand,
                                TKSN_NameCheck nameCheck, const char* title, const char* label,
                                TQOREventFunction okCallback, TQOREventFunction cancelCallback)
{
    NameCheck = nameCheck;
    OkCommand = okCommand;
    CancelCommand = cancelCommand;
    OkCallback = okCallback;
    CancelCallback = cancelCallback;
    ThingyID = 0;
    if (!thingy) {
        Hide();
        return;
    }
    if (!thingy->IsRegisteredForLookup()) thingy->RegisterForLookup();
    ThingyID = thingy->GetID();
    OldName.assign(oldName ? oldName : "");
    if (OldName.size() > 255) OldName.resize(255);

    TGui_EditField* field = NameField->EditField;
    field->SetText(thingy->GetName());
    SetName(title ? title : Lang.GetText(563), true);
    NameField->SetName(label ? label : Lang.GetText(455), true);
    TGui_Window::Execute();
    if (TGui_Master* master = GetMaster()) master->SetActiveNode(field);
    field->SelectAllText();
    field->Cursor = int32_t(std::string(field->GetText()).size());
}

void TKSN_RenameWindow::Accept()
{
    // Enter reaches both the OK button's hot key and the field's key event:
    // only the first answer while the window is open counts.
    if (!Shown) return;
    TKSN_Thingy* thingy = GetThingy();
    if (!thingy) {
        Hide();
        return;
    }
    const std::string typed = NameField->EditField->GetText() ? NameField->EditField->GetText() : "";
    if (IsBlank(typed.c_str())) {
        OS.Message("%s", "Please enter a name.");
        return;
    }
    if (NameCheck) {
        std::vector<char> message(MessageBufferSize, '\0');
        if (!NameCheck(typed.c_str(), thingy, message.data()) && QORstrcmpi(typed.c_str(), OldName.c_str()) != 0) {
            message[MessageBufferSize - 1] = '\0';
            if (message[0])
                OS.Message("%s", message.data());
            else
                OS.Message(Lang.GetText(1215), typed.c_str());
            return;
        }
    }
    thingy->SetName("%s", typed.c_str());
    if (OkCommand >= 1) {
        auto* followUp = new TQOREvent(OkCallback ? OkCallback : KestruneEvents_CommandCB, thingy->GetID(), OkCommand);
        QOREvents_PushEvent(followUp);
    }
    Hide();
}

void TKSN_RenameWindow::Cancel()
{
    if (!Shown) return;
    Hide();
    TKSN_Thingy* thingy = GetThingy();
    if (thingy && CancelCommand >= 1)
        QOREvents_PushEvent(
            new TQOREvent(CancelCallback ? CancelCallback : KestruneEvents_CommandCB, thingy->GetID(), CancelCommand));
}

bool TKSN_RenameWindow::OkClickedCB(TQOREvent* event)
{
    if (TKSN_RenameWindow* window = FindWindow(event)) window->Accept();
    return true;
}

bool TKSN_RenameWindow::CancelClickedCB(TQOREvent* event)
{
    if (TKSN_RenameWindow* window = FindWindow(event)) window->Cancel();
    return true;
}

bool TKSN_RenameWindow::OnKeyPressedCB(TQOREvent* event)
{
    if (event && event->intParameters[0] == KeyEnterCode) return OkClickedCB(event);
    return true;
}

TKSN_ProgressWindow::TKSN_ProgressWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    MakeNonResizeable();
    SetSize(300, 50);
    MarginX = MarginY = 10;
    Gauge = AddGauge(nullptr, nullptr, 0.0f, 1.0f);
    Gauge->SetSize(Width - 20, Gauge->Height);
    Gauge->SetPosition((Width - Gauge->Width) / 2, (Height - Gauge->Height) / 2);
    SetName(Lang.GetText(552), true);
    Hide();
}

// The one naming dialog and the (never shown) progress window.
//
// A handler opens the rename window on a document object with its previous
// name, an optional uniqueness check and a follow-up command; OK gives the
// object the typed name and queues the follow-up, which does the rest of the
// work at the next pump pass. The window holds the object by ID only and
// resolves it when the user answers, so an object deleted meanwhile is never
// touched.
#pragma once

#include "KSN_Gui_Panel.h"
#include "QOREvents.h"

#include <cstdint>
#include <string>

class TQORThingy;
class TKSN_Thingy;
class TGui_EditText;
class TGui_Button;
class TGui_Gauge;

// Accepts (true) or refuses a name; a refusal may write its own text into
// message (10000 bytes, empty on entry).
typedef bool (*TKSN_NameCheck)(const char* newName, TQORThingy* thingy, char* message);

class TKSN_RenameWindow : public TKSN_SubWindow {
public:
    static constexpr int MessageBufferSize = 10000;

    explicit TKSN_RenameWindow(TGui_Node* parent);
    ~TKSN_RenameWindow() override = default;

    // Opens the window on thingy (a null thingy only hides it). title and
    // label null: the defaults. Null callbacks mean the central dispatcher.
    void Execute(TKSN_Thingy* thingy, const char* oldName, int okCommand, int cancelCommand,
                 TKSN_NameCheck nameCheck, const char* title, const char* label,
                 TQOREventFunction okCallback = nullptr, TQOREventFunction cancelCallback = nullptr);

    static bool OkClickedCB(TQOREvent* event);
    static bool CancelClickedCB(TQOREvent* event);
    static bool OnKeyPressedCB(TQOREvent* event);

    // The thingy being named, or null when it is gone.
    TKSN_Thingy* GetThingy() const;

    TKSN_NameCheck NameCheck = nullptr;
    TQOREventFunction OkCallback = nullptr;
    TQOREventFunction CancelCallback = nullptr;
    int32_t OkCommand = -1;
    int32_t CancelCommand = -1;
    uint32_t ThingyID = 0;
    TGui_EditText* NameField = nullptr;
    TGui_Button* OkButton = nullptr;
    TGui_Button* CancelButton = nullptr;
    std::string OldName;   // at most 255 characters

private:
    void Accept();
    void Cancel();
};

class TKSN_ProgressWindow : public TKSN_SubWindow {
public:
    explicit TKSN_ProgressWindow(TGui_Node* parent);
    ~TKSN_ProgressWindow() override = default;
    TGui_Gauge* Gauge = nullptr;
};

// TKSN_CR2ExportWindow: the "CR2 Export Wizard", which asks how a model goes
// back into a CR2 figure file as one choice among three described pictures
// (simple morphs, full-body morphs, a new character). A click on a picture
// raises command 143, 144 or 145, whose handler sets the project's CR2
// options, starts the export and hides this window. Made hidden with the main
// window; shown modally by the export window's wizard button.
#pragma once

#include "KSN_MainWindow_Panels.h"

class TGui_Button;

class TKSN_CR2ExportWindow : public TKSN_SubWindow {
public:
    explicit TKSN_CR2ExportWindow(TGui_Node* parent);
    ~TKSN_CR2ExportWindow() override = default;

    TGui_Button* Pictures[3] = {};   // simple morphs, body morphs, new character
};

// The handlers of commands 143, 144 and 145: the project's three CR2
// options for the choice, the export window's second type, the export command 405
// queued and the wizard hidden. False for any other command.
bool KSN_CR2ExportChoice(int command);

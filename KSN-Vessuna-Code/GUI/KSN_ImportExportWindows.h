// TKSN_ImportWindow and TKSN_ExportWindow: the two modal dialogs of model and
// set files. The main window makes one hidden instance of each. The import
// window opens for a file (asking for one when none is given), shows the
// options of its type and on Ok stores them in the project and queues the
// import command of the type; the export window lets the user pick a type,
// asks for the target file on Ok and queues the export command. Both keep
// the chosen file name, which the file commands read.
#pragma once

#include "KSN_Gui_Panel.h"

#include <string>

class TGui_Button;
class TGui_CheckBox;
class TGui_EditText;
class TGui_ListBox;
class TGui_Separator;
class TGui_Text;
class TGui_TextAndGauge;
class TQOREvent;

class TKSN_ImportWindow : public TKSN_SubWindow {
public:
    // Longest file name kept, in characters (with the terminator).
    static constexpr int FileNameSize = 10000;

    explicit TKSN_ImportWindow(TGui_Node* parent);
    ~TKSN_ImportWindow() override = default;

    // Opens the window for the file `name`; a name that is no existing file
    // asks for one. Unknown types are refused with a warning; layer sets are
    // imported at once without showing the window.
    void Execute(const char* name);
    // Shows, hides, enables and titles the widgets for the file's type.
    void Update();
    void UpdateSize() override;
    // The file's type as listed by the application ("OBJ", "SelSet", ...), or
    // "" when the extension names none of them.
    std::string GetFileType() const;
    static bool OkClickedCB(TQOREvent* event);

    std::string FileName;
    TGui_CheckBox* AsMorphTargetBox = nullptr;
    TGui_CheckBox* FlipNormalsBox = nullptr;
    TGui_CheckBox* FlipUVsHorizontallyBox = nullptr;
    TGui_CheckBox* FlipUVsVerticallyBox = nullptr;
    TGui_CheckBox* MergeSetBox = nullptr;
    TGui_CheckBox* ScaleObjectBox = nullptr;
    TGui_EditText* ScaleField = nullptr;
    TGui_CheckBox* CenterObjectBox = nullptr;
    TGui_CheckBox* InternalNamesBox = nullptr;
    TGui_CheckBox* WeldBox = nullptr;
    TGui_TextAndGauge* PrecisionGauge = nullptr;
    TGui_Separator* FirstSeparator = nullptr;
    TGui_CheckBox* ImportMorphsBox = nullptr;
    TGui_CheckBox* ImportTexturesBox = nullptr;
    TGui_Separator* SecondSeparator = nullptr;
    TGui_Button* OkButton = nullptr;

private:
    bool Accept();
};

class TKSN_ExportWindow : public TKSN_SubWindow {
public:
    static constexpr int FileNameSize = 10000;
    // The file name that stands for "ask for each highlighted object".
    static constexpr const char* MultipleMarker = "<MULTIPLE>";

    explicit TKSN_ExportWindow(TGui_Node* parent);
    ~TKSN_ExportWindow() override = default;

    // Loads the options and the current morph's name, then shows the window.
    void Execute();
    // Shows and enables the widgets of the selected type.
    void Update();
    // The selected type name ("Maps", "OBJ", ...), or "" when none.
    std::string GetSelectedType() const;
    // Selects the row of a type name (case ignored); false when none has it.
    bool SelectType(const char* type);
    // One row per export type of the application (rebuilt when the
    // application's list changed since); the first row selected.
    void FillTypeList();
    // The text of the "Channel" field, written into MOR pose files.
    std::string GetChannel() const;
    static bool OkClickedCB(TQOREvent* event);

    std::string FileName;
    TGui_Text* ChooseText = nullptr;
    TGui_ListBox* TypeList = nullptr;
    TGui_Button* WizardButton = nullptr;
    TGui_EditText* NameField = nullptr;
    TGui_EditText* ChannelField = nullptr;
    TGui_CheckBox* VerticesOnlyBox = nullptr;
    TGui_CheckBox* ExportGroupsBox = nullptr;
    TGui_CheckBox* SeparateFilesBox = nullptr;
    TGui_CheckBox* InternalNamesBox = nullptr;
    TGui_CheckBox* ChangedGroupsBox = nullptr;
    TGui_Separator* OBJSeparator = nullptr;
    TGui_CheckBox* AutoRigBox = nullptr;
    TGui_CheckBox* SaveNewOBJBox = nullptr;
    TGui_Separator* CR2Separator = nullptr;
    TGui_CheckBox* FullBodyMorphsBox = nullptr;
    TGui_CheckBox* ExportMorphsBox = nullptr;
    TGui_Button* OkButton = nullptr;

private:
    bool Accept();
};

// The main window's instances (null before the main window is built).
TKSN_ImportWindow* KSN_GetImportWindow();
TKSN_ExportWindow* KSN_GetExportWindow();

#include "KSN_CR2ExportWindow.h"

#include "GuiButton.h"
#include "GuiText.h"
#include "KSN_ImportExportWindows.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORString.h"

namespace {

constexpr int PictureWidth = 256, PictureHeight = 128;
const float White[3] = {1.0f, 1.0f, 1.0f};

struct TChoice {
    const char* picture;
    int command;
    int y;
    const char* lines[6];   // the first is the title (white)
};

const TChoice Choices[3] = {
    {"CR2Wizard_SimpleMorphs", 143, 30, {"Simple Morph(s)", "- Morph target(s) are on a single body part"}},
    {"CR2Wizard_BodyMorphs",
     144,
     158,
     {"Full Body Morph(s)", "- Morph target(s) span over multiple body parts",
      "- The joints are roughly in the same position", "- Especially important that the fingers joint",
      "  positions are unchanged"}},
    {"CR2Wizard_NewCharacter",
     145,
     286,
     {"New Character", "- Creates a new OBJ file that looks EXACTLY like the object",
      "  as it currently appears in the viewport.", "- The joints may have been changed significantly.",
      "- Joint positions and spherically falloff zones will be adjusted",
      "- Joint parameters may need to be tweaked in some cases"}},
};

} // namespace

TKSN_CR2ExportWindow::TKSN_CR2ExportWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    const int mx = MarginX, my = MarginY;
    TGui_Text* intro = AddText("Please click on the image below which best describes your project.", mx, my, nullptr);
    std::copy(White, White + 3, intro->TextColor);
    for (int i = 0; i < 3; ++i) {
        const TChoice& c = Choices[i];
        TGui_Button* b = AddButton("", mx, c.y, nullptr);
        b->SetGraphic(QORglut_Textures_GetTextureFromList(c.picture));
        b->AutoSize = false;
        b->SetSize(PictureWidth, PictureHeight);
        b->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, c.command);
        Pictures[i] = b;
        int y = c.y;
        for (int l = 0; l < 6 && c.lines[l]; ++l) {
            TGui_Text* t = AddText(c.lines[l], 2 * mx + PictureWidth, y, nullptr);
            if (l == 0) std::copy(White, White + 3, t->TextColor);
            y += t->Height;
        }
    }
    SetName("CR2 Export Wizard", false);
    MakeNonResizeable();
    AutoSize = true;
    Hide();
}

bool KSN_CR2ExportChoice(int command)
{
    if (command < 143 || command > 145) return false;
    if (Project) {
        Project->CR2AutoRig = command == 145;
        Project->CR2SaveNewOBJ = command == 145;
        Project->CR2SetupFullBodyMorphs = command != 143;
    }
    // The choice selects the "CR2" row of the export list by its name, not by
    // a fixed position, so the export runs as CR2 whatever the list holds.
    if (App && App->exportFileTypes)
        for (int i = 0; i < App->exportFileTypes->Count(); ++i)
            if (const char* type = (*App->exportFileTypes)[i]; type && QORstrcmpi(type, "CR2") == 0) {
                App->exportFileTypesIndex = i;
                break;
            }
    if (TKSN_ExportWindow* window = KSN_GetExportWindow()) {
        window->FillTypeList();
        if (App) window->TypeList->SetIndex(App->exportFileTypesIndex);
    }
    QOREvents_PushEvent(405);
    if (MainWindow && MainWindow->CR2ExportWindow) MainWindow->CR2ExportWindow->Hide();
    return true;
}

// Tile presets and the special hot-key callback (see KSN_Gui_TilePresets.h).
#include "KSN_Gui_TilePresets.h"

#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <algorithm>

TKSN_TilePreset TilePresets[10];
bool (*KSN_TilePresetLoadBrush)(const char* path) = nullptr;

void TKSN_TilePreset::SetToProject()
{
    if (!Set || !Project) return;
    TKSN_Project& p = *Project;
    p.SetPaintMappingStyle(MappingStyle);
    std::copy(TileRotationMatrix, TileRotationMatrix + 16, p.TileRotationMatrix);
    std::copy(TileCentre, TileCentre + 3, p.TileCentre);
    p.TileWidth = TileWidth;
    p.InvTileWidth = TileWidth != 0.0f ? 1.0f / TileWidth : 0.0f;
    p.TileHeight = TileHeight;
    p.InvTileHeight = TileHeight != 0.0f ? 1.0f / TileHeight : 0.0f;
    p.TileRepeat = TileRepeat;
    p.AutoAlignTilingWithViewport = AutoAlign;
    if (QORstrcmpi(BrushFileName.c_str(), CurrentBrushFileName.c_str()) == 0) return;
    // A brush image that cannot be loaded leaves the rest of the preset
    // applied; the user is told which file is missing.
    if (KSN_TilePresetLoadBrush && KSN_TilePresetLoadBrush(BrushFileName.c_str())) {
        CurrentBrushFileName = BrushFileName;
        return;
    }
    OS.WarningMessage("Could not load the brush image \"%s\" of the tile preset.", BrushFileName.c_str());
}

bool Kestrune_SpecialHotkeys(TQOREvent* event)
{
    if (!event) return false;
    const auto n = static_cast<uint32_t>(event->intParameters[0]);
    switch (event->GetCommand()) {
    case 2: {
        if (n > 9) {
            OS.PrintMessage("Invalid preset number (%d)", int(n));
            return false;
        }
        if (!OS.MessageYesNo("Are you sure that you want to save the tiling settings to preset %d?", int(n)))
            return false;
        OS.PrintMessage("Set Tile Preset %d", int(n));
        if (!Project) return false;
        TKSN_TilePreset& t = TilePresets[n];
        t.MappingStyle = Project->GetPaintMappingStyle();
        std::copy(Project->TileRotationMatrix, Project->TileRotationMatrix + 16, t.TileRotationMatrix);
        std::copy(Project->TileCentre, Project->TileCentre + 3, t.TileCentre);
        t.TileWidth = Project->TileWidth;
        t.TileHeight = Project->TileHeight;
        t.TileRepeat = Project->TileRepeat;
        t.AutoAlign = Project->AutoAlignTilingWithViewport;
        t.BrushFileName = CurrentBrushFileName;
        t.Set = true;
        return true;
    }
    case 3:
        if (n > 9) {
            OS.PrintMessage("Invalid preset number (%d)", int(n));
            return false;
        }
        OS.PrintMessage("Get Tile Preset %d", int(n));
        if (!Project) return false;
        Project->SetupUndoRedoForTiling(Project->UndoList, Lang.GetText(1480));
        Project->EmptyRedoStack();
        TilePresets[n].SetToProject();
        QOREvents_PushEvent(431);
        QOREvents_PushEvent(299);
        return true;
    default: return false;
    }
}

// Ten in-memory presets of the brush-tiling set-up (mapping style, rotation,
// centre, tile size, repeat, auto-align and the brush image's file), stored
// and applied by the special hot keys. Nothing writes them to a file; they
// outlive loading and new projects.
#pragma once

#include "KSN_Thingy.h"

#include <string>

class TQOREvent;

class TKSN_TilePreset : public virtual TKSN_Thingy {
public:
    TKSN_TilePreset() = default;
    // Applies the preset to the current project when it holds settings.
    void SetToProject();

    bool Set = false;
    int MappingStyle = 0;
    float TileRotationMatrix[16] = {};
    float TileCentre[3] = {};
    float TileWidth = 1.0f, TileHeight = 1.0f;
    float TileRepeat = 1.0f;
    bool AutoAlign = false;
    std::string BrushFileName;   // any length
};

extern TKSN_TilePreset TilePresets[10];

// Command 2 stores preset n (integer slot 0, read unsigned) after asking,
// command 3 applies it; false for a number above 9 or a declined store.
bool Kestrune_SpecialHotkeys(TQOREvent* event);

// The current brush image's file name is the document's (declared again
// here for the presets; empty while none is loaded). A preset loads its
// brush image through this hook, which start-up points at the project's
// loader; null: nothing can be loaded and applying such a preset warns.
extern std::string CurrentBrushFileName;
extern bool (*KSN_TilePresetLoadBrush)(const char* path);

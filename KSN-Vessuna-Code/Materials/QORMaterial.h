// Materials, their channels and the mesh's map bindings.
//
// A material (TQORMaterial) describes how a set of polygons looks: a list of
// named channels (ArbChannels). Every new material has the same seven, in
// this order: "Color", "Transparency", "Bump", "Displacement", "Specular",
// "Ambient", "Glossy" ("Glossy" is kept but not listed in the interface).
//
// A channel (TQORMaterialChannel) carries a colour, a strength with the
// limits the editor offers, an offset and optionally an image map. It does
// not point at the map: it stores the object ID of a map binding
// (TQORMaterialMap), which belongs to the mesh and names a paintable map
// source (TQORMaterialMapSource) by ID in turn. So one map source can serve
// several meshes and channels, while each mesh keeps its own binding with the
// per-mesh data painting needs (which of its polygons use the map).
//
// Invariants:
// - A material owns its channels; the mesh owns its materials and bindings; a
//   binding owns its polygon list.
// - IDs in channels and bindings are references looked up on use: an ID whose
//   object is gone resolves to nothing. The seven cached channel pointers are
//   borrowed from ArbChannels and only valid after CacheChannels, until the
//   channel list changes (Copy clears them).
// - A channel's map file name never holds a backslash: folders written by
//   another operating system are cut off when it is stored.
//
// Threads: changed on the main thread only (commands, loading, undo). Paint
// threads read channel map IDs and binding polygon lists and flags while a
// stroke is applied, when nothing changes them.
#pragma once

#include "KSN_Thingy.h"
#include "OS.h"
#include "QORNewStaticList.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TQORMaterialMapSource;

// In place: removes everything up to and including the last backslash.
// Only the backslash counts, so forward slashes and a bare drive letter
// ("C:skin.png") stay. Null does nothing.
void CleanFileNameFromDifferent_OS(char* path);

// ============================================================================
// [SECTION] Channel
// ============================================================================

class TQORMaterialChannel : public virtual TKSN_Thingy {
public:
    TQORMaterialChannel();
    ~TQORMaterialChannel() override;

    const char* GetMapFileName() const { return MapFileName.c_str(); }
    // Copies the name into destination, cut safely at size bytes (size > 0).
    void GetMapFileName(char* destination, int size = TOS_PATH_BUFFER) const;
    // Stores a copy without any folder part (CleanFileNameFromDifferent_OS);
    // null stores "".
    void SetMapFileName(const char* name);

    // Object ID of the mesh's map binding; 0 for no map.
    uint32_t GetMapID() const { return MapID; }
    void SetMapID(int id) { MapID = uint32_t(id); }

    // The short menu label: the interface text for the six listed channel
    // names (compared with case), any other name as it is.
    const char* GetTruncatedDisplayName() const;

    // Everything but UseStrength, which stays this channel's own.
    void Copy(TQORMaterialChannel* source);

    // Fields in the order the "channel" block and the material editor know them.
    std::string MapFileName;
    float MinStrength = 0.0f;    // lowest value offered for Strength
    float MaxStrength = 1.0f;    // highest value offered for Strength
    float Strength = 1.0f;
    float Offset = 0.0f;         // offered for "Bump" and "Displacement"
    float Color[3] = {1.0f, 1.0f, 1.0f};   // red, green, blue, 0..1
    bool UseColor = true;        // the editor offers a colour button
    bool UseStrength = true;     // the editor offers a strength control (shown ×100 as percent)
    bool UseOffset = false;      // the editor offers an offset control
    bool Listed = false;         // shown in the editor and the viewport's channel menu
    bool Unsupported = false;    // listed but marked as not available
    int32_t TextureIndex = -1;   // position in the project's map list as read from a file; −1 none

private:
    uint32_t MapID = 0;
};

// ============================================================================
// [SECTION] Map binding
// ============================================================================

class TQORMaterialMap : public virtual TKSN_Thingy {
public:
    // Registered for lookup by ID: channels find it that way.
    TQORMaterialMap();
    ~TQORMaterialMap() override;

    uint32_t GetMapSourceID() const { return MapSourceID; }
    void SetMapSource(uint32_t id) { MapSourceID = id; }
    // The bound map source; null when the ID is 0, unknown, or names an
    // object of another class.
    TQORMaterialMapSource* GetMapSource() const;

    // Kept for the mesh, which calls it after it creates or loads a binding;
    // there is nothing to set up.
    void InitializeQuadTree() {}

    // One line at the current indentation: "ID", a tab and this binding's own
    // object ID. The flag is not used. True.
    bool SaveToStream_Text(FILE* file, bool withHeader) override;
    // "ID" (exact case) stores its value as SavedID; every key is accepted.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    int GetPolygonCount() const { return int(PolygonList.size()); }

    uint32_t SavedID = 0;            // the "ID" read from a text block
    int32_t MapIndex = -1;           // position in the mesh's binding list; renumbered by the mesh
    bool RelevantToPainting = false; // receives paint in the current viewport (set by the project)
    // Working flag of the painting brushes: set on every binding when a stroke
    // starts flagging polygons, cleared on each binding with a polygon inside
    // the stroke; painting passes over bindings where it is still set.
    bool NoPolygonInStroke = false;
    // Indices of the mesh's polygons whose material uses this binding,
    // ascending; the mesh replaces it whenever its map topology changes.
    std::vector<int32_t> PolygonList;

private:
    uint32_t MapSourceID = 0;
};

// ============================================================================
// [SECTION] Material
// ============================================================================

class TQORMaterial : public virtual TKSN_Thingy {
public:
    // An empty name and the seven standard channels.
    TQORMaterial();
    ~TQORMaterial() override;

    // The first channel whose name equals name in any case; null when none.
    TQORMaterialChannel* GetChannelFromName(const char* name);
    // Points each cached channel at the first channel of its name (any case),
    // or null when there is none.
    void CacheChannels();
    void ResetCachedPointers();
    // Whether some channel's map ID is the binding's object ID; false for null.
    bool IsMapInMaterial(TQORMaterialMap* binding);
    // Takes the source's name, second name and a plain copy of each of its
    // channels in order (whatever their class); this material's own channels
    // are deleted and the cached pointers cleared.
    void Copy(TQORMaterial* source);
    // Copy, and each channel's UseStrength by position as well: for a copy
    // that must give this very material back (the file, undo).
    void CopyWithChannelFlags(TQORMaterial* source);

    // Appends a channel; the material owns it from then on.
    void AddChannel(TQORMaterialChannel* channel);
    // Deletes every channel and clears the cached pointers.
    void DeleteAllChannels();

    // Borrowed from ArbChannels; valid after CacheChannels.
    TQORMaterialChannel* ColorChannel = nullptr;
    TQORMaterialChannel* BumpChannel = nullptr;
    TQORMaterialChannel* TransparencyChannel = nullptr;
    TQORMaterialChannel* DisplacementChannel = nullptr;
    TQORMaterialChannel* SpecularChannel = nullptr;
    TQORMaterialChannel* GlossyChannel = nullptr;
    TQORMaterialChannel* AmbientChannel = nullptr;
    // Set by the automatic UV mapping on each material all of whose polygons
    // it maps (cleared on the others); the Paint Setup Wizard makes maps for
    // the channels of marked materials.
    bool MappingMark = false;
    int32_t MaterialIndex = -1;      // position in the mesh's list, set by the OBJ reader
    // The channels in order; the material owns every item.
    TQORNewStaticList<TQORMaterialChannel*> ArbChannels;
    // A further name the mesh's material lookup can require besides the
    // object name; stored whole.
    std::string SecondName;
};

// The declared interface that the mesh and the application object use to
// handle materials without seeing this header: TQORMaterial is defined here,
// above the geometry and shell libraries that own materials and bindings.
TQORMaterial* KSN_NewMaterial(const char* name);
void KSN_DeleteMaterial(TQORMaterial* material);
TQORMaterial* KSN_MaterialFromThingy(TKSN_Thingy* item);
const char* KSN_GetMaterialSecondName(const TQORMaterial* material);
void KSN_DeleteMaterialMap(TQORMaterialMap* binding);
// For the quick render and the displacement validation (KSN_QuickRenderData.h).
bool KSN_GetMaterialChannelInfo(TQORMaterial* material, int slotIndex, float* values, bool* hasBinding,
                                TQORMaterialMapSource** source);
const uint8_t* KSN_GetMapSourceRGBPixels(TQORMaterialMapSource* source, int32_t& w, int32_t& h);

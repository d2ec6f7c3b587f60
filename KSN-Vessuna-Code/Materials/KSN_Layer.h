// Layer definitions, layer data, layer data sets and layer groups.
//
// A layer is split in two. The definition (name, strength, blend type, lock
// and hide state) lives once in a layer group, the tree the layer window
// shows. The layer's pixels or vertex values are layer data: one data object
// per definition in every holder that carries the layer (a paintable map holds
// one layer map per map layer, a mesh one vertex map per sculpt layer). A
// holder is a layer data set: it maps definition IDs to layer-data IDs and can
// list its data bottom layer first.
//
// Everything refers to everything else by object ID; an ID whose object is
// gone resolves to nothing and is skipped, so deleting a definition never
// leaves a dangling pointer behind (its data is dropped by the next
// CleanLayers of each set).
//
// Invariants:
// - After AddLayerDataForSet(set, data) on definition D: the set's raw data
//   maps D's ID to the data's ID, D's data-set map holds the set's ID, the
//   data's definition is D's ID and its owner is the set's ID.
// - A set owns the data objects its raw data names; a definition owns nothing.
// - Locked and hidden exclude each other: locking shows, hiding unlocks.
// - The strength stays within [minimum, maximum] (0..1 unless a derived class
//   changes the limits).
// - The order key of a definition is its display index; lower is lower in the
//   stack. A layer group numbers every layer of its whole tree, sub-folders
//   included, whenever a layer joins it (NumberLayers), so no layer is ever
//   left without a distinct index.
//
// All of this runs on the main thread and takes no lock.
#pragma once

#include "KSN_Thingy.h"
#include "QORTree.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

class TKSN_LayerData;
class TKSN_LayerDataSet;
class TKSN_LayerGroup;
class TKSN_MapLayer;

// Object ID to object ID (ascending key).
using TKSN_LayerIDMap = std::map<uint32_t, uint32_t>;
using TKSN_LayerIDIterator = TKSN_LayerIDMap::const_iterator;
// Order index (display index) to layer-data ID, bottom layer first.
using TKSN_LayerOrderMap = std::map<int32_t, uint32_t>;
using TKSN_LayerOrderIterator = TKSN_LayerOrderMap::const_iterator;

class TKSN_LayerDefinition : public virtual TKSN_Thingy {
public:
    TKSN_LayerDefinition() = default;
    ~TKSN_LayerDefinition() override = default;

    // Strength, its limits, blend type, lock and hide state and the name of
    // other; the data-set map, the owner group and the display index stay.
    virtual void CopySettings(TKSN_LayerDefinition* other);
    virtual void Lock();     // also clears hidden
    virtual void Unlock();
    virtual void Hide();     // also clears locked
    virtual void Unhide();
    virtual bool IsLocked() const { return locked; }
    virtual bool IsHidden() const { return hidden; }
    // Bring stale layer data up to date; nothing to do for a bare definition.
    virtual void ResolveInvalidData() {}
    virtual void ResolveAllData() {}
    virtual void AddLayerDataForSet(TKSN_LayerDataSet* set, TKSN_LayerData* data);
    // Stored without a range check: an unknown type is named "undef" by the
    // derived classes and composites as their first type.
    virtual void SetCurrentBlendType(int type) { currentBlendType = type; }
    virtual int GetCurrentBlendType() const { return currentBlendType; }
    virtual int GetBlendTypeCount() const { return 0; }
    // The name functions write into a caller buffer of at least 16 bytes.
    virtual void GetBlendTypeName(int type, char* out) const;
    virtual void GetCurrentBlendTypeName(char* out) const;
    virtual void GetBlendTypeNameShort(int type, char* out) const;
    virtual void GetCurrentBlendTypeNameShort(char* out) const;

    // Above the maximum gives the maximum, below the minimum (or not a number)
    // the minimum.
    void SetStrength(float s);
    float GetStrength() const { return strength; }
    float GetMinStrength() const { return minStrength; }
    float GetMaxStrength() const { return maxStrength; }

    void AddLayerDataSet(uint32_t setID);
    // Detaches one set: the set deletes its data for this layer and the set's
    // entry is dropped. A set ID that does not name a live set is kept.
    void RemoveLayerDataSet(uint32_t setID);
    // The IDs of every set that holds data for this layer (key and value alike).
    void GetLayerDataSetIterators(TKSN_LayerIDIterator& begin, TKSN_LayerIDIterator& end) const;

    // The root layer group that created the definition (0 for none).
    uint32_t GetOwnerGroupID() const { return ownerGroup; }
    // Order key among the layers of a tree: 0 is the bottom layer; -1 until a
    // layer group numbers it.
    int32_t GetDisplayIndex() const { return displayIndex; }
    void SetDisplayIndex(int32_t index) { displayIndex = index; }

protected:
    TKSN_LayerIDMap dataSets;
    float strength = 1.0f;
    float minStrength = 0.0f;
    float maxStrength = 1.0f;
    uint32_t ownerGroup = 0;
    int32_t currentBlendType = 0;
    bool locked = false;
    bool hidden = false;
    int32_t displayIndex = -1;

    friend class TKSN_LayerGroup;
};

class TKSN_LayerData : public virtual TKSN_Thingy {
public:
    TKSN_LayerData() = default;
    ~TKSN_LayerData() override = default;

    // Stores owner's ID, 0 for none.
    void SetOwner(TKSN_Thingy* owner);
    uint32_t GetOwnerID() const { return ownerID; }
    uint32_t GetDefinitionID() const { return definitionID; }

protected:
    uint32_t definitionID = 0;   // the layer definition this data belongs to
    uint32_t ownerID = 0;        // the layer data set (or other thingy) that holds it

    friend class TKSN_LayerDefinition;
};

class TKSN_LayerDataSet : public virtual TKSN_Thingy {
public:
    TKSN_LayerDataSet() = default;
    // Deletes every layer data object its raw data names (never itself).
    ~TKSN_LayerDataSet() override;

    void SetLayerTopGroup(TKSN_LayerGroup* group);
    uint32_t GetLayerTopGroupID() const { return topLayerGroup; }
    // The current layer is always the current layer of the layer group.
    void SetCurrentLayerData(TKSN_LayerDefinition*) {}
    // The current layer of the root of the set's layer group; when that is
    // not set (or gone) the tree's first layer becomes current. Null when the
    // set has no layer group, its root is not a layer group or it has no layers.
    TKSN_LayerDefinition* GetCurrentLayerDefinition();
    // The set's data for the current layer; 0 when there is none.
    uint32_t GetCurrentLayerDataID();
    // Drops (and deletes) the data of definitions that no longer exist and
    // empties the ordered view.
    void CleanLayers();
    // Deletes the data held for one definition and forgets it.
    void DeleteLayerData(uint32_t definitionID);
    // Rebuilds the ordered view from the live data; of two definitions that
    // share an order index, the one with the larger ID wins.
    void SortDataInOrder();
    // Ascending definition ID.
    void GetRawLayerDataIterators(TKSN_LayerIDIterator& begin, TKSN_LayerIDIterator& end) const;
    // Sorts first, then bottom layer first.
    void GetOrderedLayerDataIterators(TKSN_LayerOrderIterator& begin, TKSN_LayerOrderIterator& end);

protected:
    TKSN_LayerIDMap rawData;          // definition ID -> layer-data ID
    TKSN_LayerOrderMap orderedData;   // order index -> layer-data ID (a cache)
    uint32_t topLayerGroup = 0;

    friend class TKSN_LayerDefinition;
};

// The tree of layer definitions that the layer window shows. The current
// layer is kept only at the root group.
//
// TODO(stub): stands for TKSN_UnionGroup<TKSN_MapLayer>, the union-group
// template of the scene subsystem, which adds nothing to the top tree group;
// derive from it once it exists.
class TKSN_LayerGroup : public TKSN_TopTreeGroup {
public:
    TKSN_LayerGroup() = default;
    ~TKSN_LayerGroup() override = default;

    // A new definition of the group's kind, not linked anywhere.
    virtual TKSN_LayerDefinition* CreateNewLayerRaw() { return nullptr; }
    // Makes a layer, gives it the root group as owner, appends it to this
    // group and numbers the tree's layers. The caller names it. Null when the
    // group makes no layers.
    virtual TKSN_LayerDefinition* CreateNewLayer();
    virtual void InvalidateAllLayers() {}
    virtual void ValidateAllLayers() {}

    // Stores d (0 for null) as the current layer of the root, when the root is
    // a layer group.
    void SetCurrentLayer(TKSN_LayerDefinition* d);
    // This group's own current-layer field (meaningful at the root).
    uint32_t GetCurrentLayerID() const { return currentLayer; }
    // The root of this group's tree when it is a layer group, else null.
    TKSN_LayerGroup* GetRootLayerGroup();

    // Lookups over the whole tree, from its root, in layer order: a group's
    // items, then its child groups, each in list order.
    std::vector<TKSN_LayerDefinition*> GetAllLayers();
    TKSN_LayerDefinition* GetFirstLayer();
    // The first layer of the tree whose name equals name in any case.
    TKSN_LayerDefinition* FindLayerByName(const char* name);
    // Gives every layer of the tree its position in layer order as display
    // index, 0 first: the root's own items keep their list positions.
    void NumberLayers();

protected:
    uint32_t currentLayer = 0;
};

// The project's group of map layers ("*Map Layers") and its sub-folders.
class TKSN_MapLayerGroup : public TKSN_LayerGroup {
public:
    TKSN_MapLayerGroup() = default;
    ~TKSN_MapLayerGroup() override = default;

    // A new map layer: blend type Normal, not the base layer.
    TKSN_LayerDefinition* CreateNewLayerRaw() override;
    // Reads the "mapLayers" block: "Hidden", "group" and "mapLayer" lines.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // A nested "group" block becomes a child map-layer group named value.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
    // Every map holding data for any layer of the tree composites again.
    void InvalidateAllLayers() override;
    void ValidateAllLayers() override {}
    // The first layer of the whole tree takes over each map's current pixels.
    TKSN_LayerDefinition* CreateNewLayer() override;
};

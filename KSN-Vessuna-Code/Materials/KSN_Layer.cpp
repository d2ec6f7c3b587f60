// Layer definitions, layer data, layer data sets and layer groups.
//
// [SECTION] Lookup helpers
// [SECTION] Layer definition
// [SECTION] Layer data
// [SECTION] Layer data set
// [SECTION] Layer group
// [SECTION] Map-layer group
#include "KSN_Layer.h"

#include "KSN_MapLayer.h"
#include "QORString.h"

#include <cassert>
#include <cstring>

// [SECTION] Lookup helpers

namespace {

// The live object of that ID as class T, or null (ID 0, gone, other class).
template <class T>
T* ThingyAs(uint32_t ID)
{
    return ID ? dynamic_cast<T*>(__GetThingyFromID(ID)) : nullptr;
}

TKSN_TreeGroup* TreeRoot(TKSN_TreeGroup* group)
{
    while (group->GetParent())
        group = group->GetParent();
    return group;
}

// Layer order: a group's items, then its child groups, each in list order.
// Only the group's own subtree is walked, never its following siblings.
void CollectLayers(TKSN_TreeGroup* group, std::vector<TKSN_LayerDefinition*>& out)
{
    for (TKSN_Thingy* item : *group->items)
        if (auto* layer = dynamic_cast<TKSN_LayerDefinition*>(item))
            out.push_back(layer);
    for (TKSN_TreeGroup* child = group->GetChild(); child; child = child->GetNext())
        CollectLayers(child, out);
}

} // namespace

// [SECTION] Layer definition

void TKSN_LayerDefinition::CopySettings(TKSN_LayerDefinition* other)
{
    assert(other && "CopySettings needs the layer to copy from");
    strength = other->strength;
    minStrength = other->minStrength;
    maxStrength = other->maxStrength;
    currentBlendType = other->currentBlendType;
    locked = other->locked;
    hidden = other->hidden;
    SetName("%s", other->GetName());
}

void TKSN_LayerDefinition::Lock()
{
    locked = true;
    hidden = false;
}

void TKSN_LayerDefinition::Unlock()
{
    locked = false;
}

void TKSN_LayerDefinition::Hide()
{
    hidden = true;
    locked = false;
}

void TKSN_LayerDefinition::Unhide()
{
    hidden = false;
}

void TKSN_LayerDefinition::GetBlendTypeName(int /*type*/, char* out) const
{
    std::strcpy(out, "undef");
}

void TKSN_LayerDefinition::GetCurrentBlendTypeName(char* out) const
{
    GetBlendTypeName(currentBlendType, out);
}

void TKSN_LayerDefinition::GetBlendTypeNameShort(int /*type*/, char* out) const
{
    std::strcpy(out, "undef");
}

void TKSN_LayerDefinition::GetCurrentBlendTypeNameShort(char* out) const
{
    GetBlendTypeNameShort(currentBlendType, out);
}

void TKSN_LayerDefinition::SetStrength(float s)
{
    if (s > maxStrength)
        strength = maxStrength;
    else if (!(s >= minStrength))   // a NaN from a file must not poison the blend
        strength = minStrength;
    else
        strength = s;
}

void TKSN_LayerDefinition::AddLayerDataSet(uint32_t setID)
{
    dataSets[setID] = setID;
}

void TKSN_LayerDefinition::AddLayerDataForSet(TKSN_LayerDataSet* set, TKSN_LayerData* data)
{
    const uint32_t setID = set ? set->GetID() : 0;
    if (data)
        data->ownerID = setID;
    dataSets[setID] = setID;
    if (!data)
        return;
    if (set)
        set->rawData[GetID()] = data->GetID();
    data->definitionID = GetID();
}

void TKSN_LayerDefinition::RemoveLayerDataSet(uint32_t setID)
{
    auto it = dataSets.find(setID);
    if (it == dataSets.end())
        return;
    auto* set = ThingyAs<TKSN_LayerDataSet>(it->second);
    if (!set)
        return;
    set->DeleteLayerData(GetID());
    dataSets.erase(it);
}

void TKSN_LayerDefinition::GetLayerDataSetIterators(TKSN_LayerIDIterator& begin, TKSN_LayerIDIterator& end) const
{
    begin = dataSets.begin();
    end = dataSets.end();
}

// [SECTION] Layer data

void TKSN_LayerData::SetOwner(TKSN_Thingy* owner)
{
    ownerID = owner ? owner->GetID() : 0;
}

// [SECTION] Layer data set

TKSN_LayerDataSet::~TKSN_LayerDataSet()
{
    // Taken out first: a data object may look at this set while it goes.
    TKSN_LayerIDMap entries;
    entries.swap(rawData);
    orderedData.clear();
    for (const auto& [definitionID, dataID] : entries) {
        if (dataID == GetID())
            continue;
        // Looked up again each time: two entries may name one object.
        if (auto* data = ThingyAs<TKSN_Thingy>(dataID))
            delete data;
    }
}

void TKSN_LayerDataSet::SetLayerTopGroup(TKSN_LayerGroup* group)
{
    topLayerGroup = group ? group->GetID() : 0;
}

TKSN_LayerDefinition* TKSN_LayerDataSet::GetCurrentLayerDefinition()
{
    auto* group = ThingyAs<TKSN_LayerGroup>(topLayerGroup);
    if (!group)
        return nullptr;
    TKSN_LayerGroup* root = group->GetRootLayerGroup();
    if (!root)
        return nullptr;
    if (auto* current = ThingyAs<TKSN_LayerDefinition>(root->GetCurrentLayerID()))
        return current;
    TKSN_LayerDefinition* first = root->GetFirstLayer();
    if (first)
        root->SetCurrentLayer(first);
    return first;
}

uint32_t TKSN_LayerDataSet::GetCurrentLayerDataID()
{
    TKSN_LayerDefinition* definition = GetCurrentLayerDefinition();
    if (!definition)
        return 0;
    auto it = rawData.find(definition->GetID());
    return it == rawData.end() ? 0 : it->second;
}

void TKSN_LayerDataSet::CleanLayers()
{
    for (auto it = rawData.begin(); it != rawData.end();) {
        if (ThingyAs<TKSN_LayerDefinition>(it->first)) {
            ++it;
            continue;
        }
        const uint32_t dataID = it->second;
        it = rawData.erase(it);
        if (dataID == GetID())
            continue;
        if (auto* data = ThingyAs<TKSN_LayerData>(dataID))
            delete data;
    }
    orderedData.clear();
}

void TKSN_LayerDataSet::DeleteLayerData(uint32_t definitionID)
{
    auto it = rawData.find(definitionID);
    if (it == rawData.end())
        return;
    const uint32_t dataID = it->second;
    rawData.erase(it);
    orderedData.clear();
    if (dataID == GetID())
        return;
    if (auto* data = ThingyAs<TKSN_LayerData>(dataID))
        delete data;
}

void TKSN_LayerDataSet::SortDataInOrder()
{
    CleanLayers();
    for (const auto& [definitionID, dataID] : rawData) {
        auto* data = ThingyAs<TKSN_LayerData>(dataID);
        if (!data)
            continue;
        auto* definition = ThingyAs<TKSN_LayerDefinition>(data->GetDefinitionID());
        if (!definition)
            continue;
        orderedData[definition->GetDisplayIndex()] = dataID;
    }
}

void TKSN_LayerDataSet::GetRawLayerDataIterators(TKSN_LayerIDIterator& begin, TKSN_LayerIDIterator& end) const
{
    begin = rawData.begin();
    end = rawData.end();
}

void TKSN_LayerDataSet::GetOrderedLayerDataIterators(TKSN_LayerOrderIterator& begin, TKSN_LayerOrderIterator& end)
{
    SortDataInOrder();
    begin = orderedData.begin();
    end = orderedData.end();
}

// [SECTION] Layer group

TKSN_LayerGroup* TKSN_LayerGroup::GetRootLayerGroup()
{
    return dynamic_cast<TKSN_LayerGroup*>(TreeRoot(this));
}

TKSN_LayerDefinition* TKSN_LayerGroup::CreateNewLayer()
{
    TKSN_LayerDefinition* d = CreateNewLayerRaw();
    if (!d)
        return nullptr;
    if (TKSN_LayerGroup* root = GetRootLayerGroup())
        d->ownerGroup = root->GetID();
    AddItem(d);
    NumberLayers();
    return d;
}

void TKSN_LayerGroup::SetCurrentLayer(TKSN_LayerDefinition* d)
{
    if (TKSN_LayerGroup* root = GetRootLayerGroup())
        root->currentLayer = d ? d->GetID() : 0;
}

std::vector<TKSN_LayerDefinition*> TKSN_LayerGroup::GetAllLayers()
{
    std::vector<TKSN_LayerDefinition*> layers;
    CollectLayers(TreeRoot(this), layers);
    return layers;
}

TKSN_LayerDefinition* TKSN_LayerGroup::GetFirstLayer()
{
    std::vector<TKSN_LayerDefinition*> layers = GetAllLayers();
    return layers.empty() ? nullptr : layers.front();
}

TKSN_LayerDefinition* TKSN_LayerGroup::FindLayerByName(const char* name)
{
    if (!name)
        return nullptr;
    for (TKSN_LayerDefinition* layer : GetAllLayers())
        if (QORstrcmpi(layer->GetName(), name) == 0)
            return layer;
    return nullptr;
}

void TKSN_LayerGroup::NumberLayers()
{
    int32_t index = 0;
    for (TKSN_LayerDefinition* layer : GetAllLayers())
        layer->SetDisplayIndex(index++);
}

// [SECTION] Map-layer group

TKSN_LayerDefinition* TKSN_MapLayerGroup::CreateNewLayerRaw()
{
    return new TKSN_MapLayer;
}

TKSN_LayerDefinition* TKSN_MapLayerGroup::CreateNewLayer()
{
    TKSN_LayerDefinition* d = TKSN_LayerGroup::CreateNewLayer();
    // Only the first layer of the whole tree: a sub-folder's first layer must
    // not take the maps' composite over once more.
    if (d && GetAllLayers().size() == 1 && KSN_MapSourceHooks.TakeOverFirstLayer)
        if (auto* layer = dynamic_cast<TKSN_MapLayer*>(d))
            KSN_MapSourceHooks.TakeOverFirstLayer(layer);
    return d;
}

bool TKSN_MapLayerGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    TKSN_LayerGroup::LoadFromStream_Text_ConsiderCommand(file, key, value);
    if (QORstrcmpi(key, "mapLayer") == 0)
        if (TKSN_LayerDefinition* layer = CreateNewLayer())
            layer->LoadFromStream_Text(file);
    return true;
}

bool TKSN_MapLayerGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    auto* group = new TKSN_MapLayerGroup;
    group->SetName("%s", value);
    // Linked before it reads, so the tree owns it even if reading throws.
    LinkChild(group);
    group->LoadFromStream_Text(file);
    return true;
}

void TKSN_MapLayerGroup::InvalidateAllLayers()
{
    for (TKSN_LayerDefinition* layer : GetAllLayers())
        if (auto* mapLayer = dynamic_cast<TKSN_MapLayer*>(layer))
            mapLayer->InvalidateResolvedMaps();
}

// Unique names: the naming rules of every named thing the user manages
// (polygon layers, morphs, maps, selections, polygon groups, materials).
//
// Index:
//   [SECTION] Matching and numbering over plain lists of names
//   [SECTION] Output buffers
//   [SECTION] Scopes of the document
//   [SECTION] Generators and testers
//   [SECTION] Copies, numbered names and list de-duplication
//
// The rules live in the KSN_* functions over plain lists of names, so they are
// the same whether the document or a test hands them the names; the
// document-facing functions only gather a scope's names and write the result.
//
// Names are compared without regard to case (QORstrcmpi). A name is never
// used as a printf or scanf format: material and group names may hold '%',
// and a name is matched and written literally whatever it holds.
//
// The document-facing functions work on names in the form SetName stores
// (KSN_StoredName: ':' '/' '\' '%' become '_', cut at QORMaxNameLength), the
// wanted name and the scope's names alike: "a/b" is taken beside "a_b", and a
// generated name is never changed again when it is stored.
#include "KSN_Project.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Selection.h"
#include "KSN_Union.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

// ============================================================================
// [SECTION] Matching and numbering over plain lists of names
// ============================================================================

namespace {

bool NamesEqual(const std::string& a, const char* b) { return QORstrcmpi(a.c_str(), b) == 0; }

bool IsTaken(const TKSN_NameList& names, const std::string& name)
{
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return NamesEqual(n, name.c_str()); });
}

bool IsScanSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads text against "<wanted> (<number>": the wanted name's characters
// literally and case-sensitively, where any white space of the pattern takes
// any run of white space (also none), then '(' and a signed decimal integer;
// what follows the number is not looked at. These are the scanf rules the
// numbered forms have always been recognised by, minus the conversions that a
// '%' in a name would start.
bool ReadBracketNumber(const char* text, const char* wanted, int64_t& number)
{
    static constexpr const char* Tail = " (";
    const char* t = text;
    for (const char* patterns : {wanted, Tail}) {
        for (const char* p = patterns; *p;) {
            if (IsScanSpace(*p)) {
                while (IsScanSpace(*p)) ++p;
                while (IsScanSpace(*t)) ++t;
                continue;
            }
            if (*t != *p) return false;
            ++t;
            ++p;
        }
    }
    while (IsScanSpace(*t)) ++t;
    const char* digits = (*t == '+' || *t == '-') ? t + 1 : t;
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
    const long long value = std::strtoll(t, nullptr, 10);   // saturates on overflow
    number = value;
    return true;
}

std::string BracketName(const std::string& base, int64_t number)
{
    return base + " (" + std::to_string(number) + ")";
}

// The first number from `first` on whose bracket name is free. The bracket
// rule alone can hand out a taken name (a numbered form before the first
// plain one is not counted, and the number is read case-sensitively while a
// taken name is not), so the candidate is checked and stepped on when taken;
// at most one step per listed name.
int64_t FirstFreeNumber(const std::string& base, const TKSN_NameList& names, int64_t first)
{
    int64_t n = first;
    for (size_t guard = 0; guard <= names.size(); ++guard) {
        if (!IsTaken(names, BracketName(base, n))) return n;
        n = n < INT64_MAX ? n + 1 : 1;
    }
    return n;
}

// The bracket rule: the flag turns on at the first name equal to the wanted
// one; from there on every name is read for a number.
bool BracketMaximum(const char* wanted, const TKSN_NameList& names, int64_t& maximum)
{
    bool started = false;
    maximum = 0;
    for (const std::string& name : names) {
        if (!started && !NamesEqual(name, wanted)) continue;
        started = true;
        int64_t number = 0;
        if (ReadBracketNumber(name.c_str(), wanted, number) && number > maximum) maximum = number;
    }
    return started;
}

int64_t NextNumber(int64_t maximum) { return maximum < INT64_MAX ? maximum + 1 : 1; }

// Where the extension of a name starts: after the last '.' of its last path
// component; npos when there is none.
size_t ExtensionDot(const std::string& name)
{
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    return dot;
}

std::string CutAtExtension(const std::string& name)
{
    const size_t dot = ExtensionDot(name);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExtensionOf(const std::string& name)
{
    const size_t dot = ExtensionDot(name);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool IsExportType(const std::string& extension, const TKSN_NameList& exportTypes)
{
    return IsTaken(exportTypes, extension);
}

} // namespace

TKSN_NameList KSN_GetExportImageFileTypes()
{
    TKSN_NameList types;
    if (!App || !App->exportImageTypes) return types;
    for (const char* type : *App->exportImageTypes)
        if (type) types.emplace_back(type);
    return types;
}

std::string KSN_BracketNumberedName(const char* wanted, const TKSN_NameList& names)
{
    const std::string base = wanted ? wanted : "";
    int64_t maximum = 0;
    if (!BracketMaximum(base.c_str(), names, maximum)) return base;
    return BracketName(base, FirstFreeNumber(base, names, NextNumber(maximum)));
}

std::string KSN_UniqueMapName(const char* wanted, const TKSN_NameList& mapNames, const TKSN_NameList& exportTypes)
{
    const std::string name = wanted ? wanted : "";
    const std::string base = CutAtExtension(name);
    std::string extension = ExtensionOf(name);
    if (!IsExportType(extension, exportTypes) && !exportTypes.empty()) extension = exportTypes[0];

    TKSN_NameList bases;
    bases.reserve(mapNames.size());
    for (const std::string& mapName : mapNames) bases.push_back(CutAtExtension(mapName));

    std::string result = base;
    int64_t maximum = 0;
    if (BracketMaximum(base.c_str(), bases, maximum))
        result = BracketName(base, FirstFreeNumber(base, bases, NextNumber(maximum)));
    // Without any export type a name without extension stays without one
    // rather than ending in a bare dot.
    if (!extension.empty()) result += "." + extension;
    return result;
}

bool KSN_IsNameFree(const char* wanted, const TKSN_NameList& names)
{
    return !IsTaken(names, wanted ? wanted : "");
}

bool KSN_IsMapNameFree(const char* wanted, const TKSN_NameList& otherMapNames, const TKSN_NameList& exportTypes,
                       std::string* message)
{
    const std::string name = wanted ? wanted : "";
    const std::string extension = ExtensionOf(name);
    if (!IsExportType(extension, exportTypes)) {
        if (message) {
            std::string text = QORFormat(Lang.GetText(491), extension.c_str()) + "\n";
            for (size_t i = 0; i < exportTypes.size(); ++i) text += (i ? ", " : "") + exportTypes[i];
            *message = std::move(text);
        }
        return false;
    }
    const std::string base = CutAtExtension(name);
    return std::none_of(otherMapNames.begin(), otherMapNames.end(),
                        [&](const std::string& other) { return NamesEqual(CutAtExtension(other), base.c_str()); });
}

std::string KSN_CopyOfName(const char* name)
{
    std::string copy = name ? name : "";
    if (copy.size() >= 2) {
        size_t found = std::string::npos;
        if (copy.back() == '(') {
            found = copy.size() - 1;
        } else if (copy.back() == ')') {
            for (size_t i = copy.size() - 2; i >= 1; --i)
                if (copy[i] == '(') {
                    found = i;
                    break;
                }
        }
        if (found != std::string::npos) {
            copy.resize(found);
            while (!copy.empty() && (copy.back() == ' ' || copy.back() == '\t')) copy.pop_back();
        }
    }
    static constexpr const char* Suffix = " Copy";
    if (copy.size() > 5 && QORstrcmpi(copy.c_str() + copy.size() - 5, Suffix) == 0) return copy;
    return copy + Suffix;
}

void KSN_SplitNumberedName(const char* name, std::string& base, int64_t& number)
{
    base = name ? name : "";
    number = 0;
    size_t digits = base.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(base[digits - 1]))) --digits;
    if (digits == base.size() || digits == 0) return;   // no trailing digit, or digits only
    number = std::strtoll(base.c_str() + digits, nullptr, 10);   // saturates on overflow
    base.resize(digits);
}

std::string KSN_ListItemName(const TKSN_NameList& earlier, const char* name)
{
    const std::string whole = name ? name : "";
    std::string base;
    int64_t number = 0;
    KSN_SplitNumberedName(whole.c_str(), base, number);
    bool duplicate = false;
    int64_t maximum = 0;
    for (const std::string& other : earlier) {
        std::string otherBase;
        int64_t otherNumber = 0;
        KSN_SplitNumberedName(other.c_str(), otherBase, otherNumber);
        if (NamesEqual(other, whole.c_str())) duplicate = true;
        if (NamesEqual(otherBase, base.c_str())) maximum = std::max({maximum, otherNumber, number});
    }
    if (!duplicate) return whole;
    // A name of digits only is its own base, so "<base><n>" can meet a name
    // that was split differently ('1231' against '123' + 1): step on then.
    int64_t n = NextNumber(maximum);
    for (size_t guard = 0; guard <= earlier.size(); ++guard) {
        const std::string candidate = base + std::to_string(n);
        if (!IsTaken(earlier, candidate)) return candidate;
        n = NextNumber(n);
    }
    return base + std::to_string(n);
}

void KSN_MakeNamesUnique(TKSN_NameList& names)
{
    for (size_t j = 1; j < names.size(); ++j) {
        const TKSN_NameList earlier(names.begin(), names.begin() + std::ptrdiff_t(j));
        names[j] = KSN_ListItemName(earlier, names[j].c_str());
    }
}

bool Morph_NamesEqual(const char* a, const char* b)
{
    std::string left = a ? a : "";
    std::string right = b ? b : "";
    left.resize(std::min(left.find(':'), left.size()));
    right.resize(std::min(right.find(':'), right.size()));
    return QORstrcmpi(left.c_str(), right.c_str()) == 0;
}

// ============================================================================
// [SECTION] Output buffers
// ============================================================================

namespace {

// Room a generator may add to a wanted name: " (n)" with any 64-bit n, or a
// bracket number and a short extension.
constexpr size_t SuffixRoom = 40;

// The longest prefix of text within max bytes that does not split a UTF-8 character.
size_t Utf8Prefix(const std::string& text, size_t max) { return QORUtf8Prefix(text, max).size(); }

// Writes into a caller buffer of KSN_NAME_BUFFER bytes, always terminated.
static_assert(QORMaxNameLength < size_t(KSN_NAME_BUFFER), "a name must fit the callers' buffers whole");
void CopyOut(char* out, const std::string& text)
{
    if (!out) return;
    const size_t n = Utf8Prefix(text, KSN_NAME_BUFFER - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

// Runs a generator rule and writes its result. A result that would not fit is
// made again from the wanted name cut short, so what is lost is the end of
// the wanted name, never the number that makes the result unique.
template <class Rule>
void WriteGenerated(char* out, const char* wanted, Rule rule)
{
    std::string name = KSN_StoredName(wanted ? wanted : "");
    std::string result = rule(name);
    // A result past the name limit would lose its number when stored.
    if (result.size() > QORMaxNameLength) {
        name = KSN_StoredName(name.substr(0, Utf8Prefix(name, QORMaxNameLength - SuffixRoom)));
        result = rule(name);
    }
    CopyOut(out, result);
}

} // namespace

// ============================================================================
// [SECTION] Scopes of the document
// ============================================================================

namespace {

template <class T>
bool IsSkipped(T* item, const TQORThingy* renamed)
{
    return renamed && static_cast<const TQORThingy*>(item) == renamed;
}

template <class T>
void AppendNames(TKSN_NameList& names, TQORNewStaticList<T*>* list, const TQORThingy* renamed)
{
    if (!list) return;
    for (T* item : *list)
        if (item && !IsSkipped(item, renamed)) names.emplace_back(KSN_StoredName(item->GetName()));
}

// Owns a list that the document hands out, so it is deleted on every answer.
template <class T>
using TOwnedList = std::unique_ptr<TQORNewStaticList<T*>>;

// Slots 30 and 31 (hidden and locked polygons) are never named by the user.
constexpr int UserLayerSlots = 30;

TKSN_NameList LayerNames(const TQORThingy* renamed)
{
    TKSN_NameList names;
    if (!Project) return names;
    for (int slot = 0; slot < UserLayerSlots; ++slot) {
        TKSN_Layer* layer = Project->PolygonLayers[slot];
        if (layer && layer->IsEnabled() && !IsSkipped(layer, renamed))
            names.emplace_back(KSN_StoredName(layer->GetName()));
    }
    return names;
}

TKSN_NameList MorphUnionNames(const TQORThingy* renamed)
{
    TKSN_NameList names;
    if (!Project) return names;
    TOwnedList<TKSN_MorphUnion> unions(Project->GetMorphUnionList());
    AppendNames(names, unions.get(), renamed);
    return names;
}

TKSN_NameList MapNames(const TQORThingy* renamed)
{
    TKSN_NameList names;
    if (!Project) return names;
    TOwnedList<TQORMaterialMapSource> maps(Project->GetMapList());
    AppendNames(names, maps.get(), renamed);
    return names;
}

TOwnedList<TKSN_Mesh> Meshes()
{
    return TOwnedList<TKSN_Mesh>(Project ? Project->GetMeshList() : nullptr);
}

TKSN_NameList SelectionNames(const TQORThingy* renamed)
{
    TKSN_NameList names;
    TOwnedList<TKSN_Mesh> meshes = Meshes();
    if (!meshes) return names;
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh) continue;
        TOwnedList<TKSN_Selection> selections(mesh->GetSelectionList());
        AppendNames(names, selections.get(), renamed);
    }
    return names;
}

// The polygon groups or materials of a mesh, in tree order; the walk stops at
// the first empty entry or one of another class.
template <class T, class Tree>
std::vector<T*> TreeItems(Tree* tree)
{
    std::vector<T*> items;
    if (!tree) return items;
    for (int i = 0; i < tree->GetItemCount(); ++i) {
        T* item = dynamic_cast<T*>(tree->GetItem(i));
        if (!item) break;
        items.push_back(item);
    }
    return items;
}

std::vector<TQORGroup2*> GroupsOf(TKSN_Mesh* mesh) { return TreeItems<TQORGroup2>(mesh->Groups2); }
std::vector<TQORMaterial*> MaterialsOf(TKSN_Mesh* mesh) { return TreeItems<TQORMaterial>(mesh->Materials); }

bool HasSelectedPolygon(TKSN_Mesh* mesh)
{
    if (!mesh->SelectedListsValid)
        mesh->BuildSelectedVerticesAndPolygons2(true, false);
    return mesh->SelectedPolygonCount > 0;
}

template <class T>
bool AnyHighlighted(const std::vector<T*>& items)
{
    return std::any_of(items.begin(), items.end(), [](T* item) { return item->multiSelected; });
}

enum class TMeshFilter { SelectedPolygons, HighlightedGroups, HighlightedMaterials };

// Groups or materials of the meshes that pass the filter; the meshes follow
// one another in the order of the object tree.
template <class T, class ItemsOf>
TKSN_NameList MeshItemNames(TMeshFilter filter, ItemsOf itemsOf, const TQORThingy* renamed)
{
    TKSN_NameList names;
    TOwnedList<TKSN_Mesh> meshes = Meshes();
    if (!meshes) return names;
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh) continue;
        bool takesPart = false;
        switch (filter) {
        case TMeshFilter::SelectedPolygons: takesPart = HasSelectedPolygon(mesh); break;
        case TMeshFilter::HighlightedGroups: takesPart = AnyHighlighted(GroupsOf(mesh)); break;
        case TMeshFilter::HighlightedMaterials: takesPart = AnyHighlighted(MaterialsOf(mesh)); break;
        }
        if (!takesPart) continue;
        for (T* item : itemsOf(mesh))
            if (!IsSkipped(item, renamed)) names.emplace_back(KSN_StoredName(item->GetName()));
    }
    return names;
}

TKSN_NameList GroupNames(TMeshFilter filter, const TQORThingy* renamed)
{
    return MeshItemNames<TQORGroup2>(filter, GroupsOf, renamed);
}

TKSN_NameList MaterialNames(TMeshFilter filter, const TQORThingy* renamed)
{
    return MeshItemNames<TQORMaterial>(filter, MaterialsOf, renamed);
}

std::string StoredWanted(const char* wanted) { return KSN_StoredName(wanted ? wanted : ""); }

void Bracketed(const char* wanted, char* out, const TKSN_NameList& names)
{
    WriteGenerated(out, wanted, [&](const std::string& w) { return KSN_BracketNumberedName(w.c_str(), names); });
}

} // namespace

// ============================================================================
// [SECTION] Generators and testers
// ============================================================================

void GetUniqueLayerName(const char* wanted, char* out) { Bracketed(wanted, out, LayerNames(nullptr)); }
bool IsLayerNameUnique(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), LayerNames(renamed));
}

void GetUniqueMorphName(const char* wanted, char* out) { Bracketed(wanted, out, MorphUnionNames(nullptr)); }
bool IsMorphNameUnique(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), MorphUnionNames(renamed));
}

bool IsMorphNameUniqueToObjectContainingCurrentSelection(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    TKSN_Object* object = Project ? Project->GetObjectContainingCurrentSelection() : nullptr;
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh) return false;
    TKSN_NameList names;
    TOwnedList<TKSN_Morph> morphs(mesh->GetMorphList());
    AppendNames(names, morphs.get(), renamed);
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), names);
}

namespace {

// The wanted map name in stored form. The extension is found in the name as
// given ("v1.2/Skin" has none), then both parts are stored; a name without an
// export type gets the first one here, so the '.' that a '/' may leave behind
// in the base is never taken for an extension.
std::string StoredMapName(const std::string& name, const TKSN_NameList& types, size_t baseLimit)
{
    std::string base = KSN_StoredName(CutAtExtension(name));
    std::string extension = ExtensionOf(name);
    if (!IsExportType(extension, types)) extension = types.empty() ? std::string() : types[0];
    extension = KSN_StoredName(extension);
    if (base.size() > baseLimit) base = KSN_StoredName(base.substr(0, Utf8Prefix(base, baseLimit)));
    return extension.empty() ? base : base + "." + extension;
}

} // namespace

void GetUniqueMapName(const char* wanted, char* out)
{
    const TKSN_NameList maps = MapNames(nullptr);
    const TKSN_NameList types = KSN_GetExportImageFileTypes();
    const std::string name = wanted ? wanted : "";
    std::string result = KSN_UniqueMapName(StoredMapName(name, types, QORMaxNameLength).c_str(), maps, types);
    if (result.size() > QORMaxNameLength) {
        // Cut the base, keep an extension that can be one of the types.
        const size_t room = 2 * SuffixRoom;
        result = KSN_UniqueMapName(StoredMapName(name, types, QORMaxNameLength - room).c_str(), maps, types);
    }
    CopyOut(out, result);
}

bool IsMapNameUnique(const char* wanted, TQORThingy* renamed, char* message)
{
    std::string text;
    // The extension is checked as typed; the base is compared as it will be stored.
    // Without an extension the name is refused for that alone.
    const std::string name = wanted ? wanted : "";
    const std::string stored = ExtensionDot(name) == std::string::npos
                                   ? name
                                   : KSN_StoredName(CutAtExtension(name)) + "." + ExtensionOf(name);
    const bool free = KSN_IsMapNameFree(stored.c_str(), MapNames(renamed), KSN_GetExportImageFileTypes(), &text);
    if (!free && message && !text.empty()) CopyOut(message, text);
    return free;
}

void GetUniqueSelectionName(const char* wanted, char* out) { Bracketed(wanted, out, SelectionNames(nullptr)); }
bool IsSelectionNameUnique(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), SelectionNames(renamed));
}

void GetUniqueGroupNameInSelectedObject(const char* wanted, char* out)
{
    Bracketed(wanted, out, GroupNames(TMeshFilter::SelectedPolygons, nullptr));
}
bool IsGroupNameUniqueInSelectedObject(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), GroupNames(TMeshFilter::SelectedPolygons, renamed));
}

void GetUniqueMaterialNameInSelectedObject(const char* wanted, char* out)
{
    Bracketed(wanted, out, MaterialNames(TMeshFilter::SelectedPolygons, nullptr));
}
bool IsMaterialNameUniqueInSelectedObject(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), MaterialNames(TMeshFilter::SelectedPolygons, renamed));
}

bool IsGroupNameUniqueInObjectsWithHighlightedGroups(const char* wanted, TQORThingy* renamed, char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), GroupNames(TMeshFilter::HighlightedGroups, renamed));
}

bool IsMaterialNameUniqueInObjectsWithHighlightedMaterials(const char* wanted, TQORThingy* renamed,
                                                           char* /*message*/)
{
    return KSN_IsNameFree(StoredWanted(wanted).c_str(), MaterialNames(TMeshFilter::HighlightedMaterials, renamed));
}

// ============================================================================
// [SECTION] Copies, numbered names and list de-duplication
// ============================================================================

void GetCopyOfName(char* out, const char* name, TKSN_UniqueNameFunc generator)
{
    const std::string copy = KSN_CopyOfName(name);
    // The generators fit what they write to the buffer themselves.
    if (generator)
        generator(copy.c_str(), out);
    else
        CopyOut(out, copy);
}

void GetNumberedName(const char* name, char* base, int* number)
{
    std::string baseText;
    int64_t value = 0;
    KSN_SplitNumberedName(name, baseText, value);
    // The base is never longer than the name, which the caller's buffer holds.
    if (base) std::memcpy(base, baseText.c_str(), baseText.size() + 1);
    if (number) *number = int(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

namespace {

// Each item is compared with the names the earlier items bear now, including
// names given earlier in the same run, exactly as the items store them.
template <class T>
void MakeItemNamesUnique(TQORNewStaticList<T*>* list)
{
    if (!list) return;
    TKSN_NameList earlier;
    for (T* item : *list) {
        if (!item) continue;
        std::string name = KSN_ListItemName(earlier, item->GetName());
        // The digits must survive the name limit: make room for them first.
        if (name.size() > QORMaxNameLength) {
            const std::string whole = item->GetName();
            const std::string shorter = whole.substr(0, Utf8Prefix(whole, QORMaxNameLength - SuffixRoom));
            name = KSN_ListItemName(earlier, shorter.c_str());
        }
        if (name != item->GetName()) item->SetName("%s", name.c_str());
        earlier.emplace_back(item->GetName());
    }
}

} // namespace

void MakeListItemNamesUnique(TQORNewStaticList<TKSN_Thingy*>* list) { MakeItemNamesUnique(list); }
void MakeListItemNamesUnique_QORThingy(TQORNewStaticList<TQORThingy*>* list) { MakeItemNamesUnique(list); }

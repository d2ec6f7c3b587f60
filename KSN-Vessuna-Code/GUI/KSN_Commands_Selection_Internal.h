// Helpers shared by the command sources: the object walks of the selection,
// layer, material and morph commands and the visible-and-unlocked tests. Only the
// command sources of this folder include it.
#pragma once

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"

#include <memory>
#include <vector>

namespace ksn_selection_cmd {

// Bits of the vertex and polygon flag words that keep an item out of every edit.
constexpr uint32_t HiddenOrLocked = 0x1 | 0x4;

inline int SelectionType() { return App ? int(App->selectionType) : 0; }

inline bool VertexEditable(TKSN_Mesh* mesh, int v) { return (mesh->VertexInfo[v].Flags & HiddenOrLocked) == 0; }
inline bool PolygonEditable(TKSN_Mesh* mesh, int p)
{
    return !mesh->PolygonFlags || (mesh->PolygonFlags[p] & HiddenOrLocked) == 0;
}

// The project's objects in object-tree order (a fresh copy each call).
inline std::vector<TKSN_Object*> Objects()
{
    std::vector<TKSN_Object*> out;
    if (!Project) return out;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
    if (list)
        for (TKSN_Object* object : *list)
            if (object) out.push_back(object);
    return out;
}

inline bool HasMesh(TKSN_Object* o) { return o && o->Mesh; }
inline bool Affectable(TKSN_Object* o) { return HasMesh(o) && Project->CanAffectObject(o); }
inline bool HasSelection(TKSN_Object* o)
{
    return Affectable(o) && !o->GetCustomBooleanProperty("COMPLETELY_LOCKED") && o->Mesh->HasSelectedVertices();
}
inline bool Highlighted(TKSN_Object* o) { return HasMesh(o) && o->multiSelected; }

template <class Pred>
std::vector<TKSN_Object*> ObjectsWhere(Pred pred)
{
    std::vector<TKSN_Object*> out;
    for (TKSN_Object* o : Objects())
        if (pred(o)) out.push_back(o);
    return out;
}

} // namespace ksn_selection_cmd

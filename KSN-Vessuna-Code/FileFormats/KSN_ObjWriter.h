// The OBJ writers: one mesh as one file, or one file per polygon group.
//
// Both write the current shape (the resolved vertices, morphs applied) in the
// dialect the reader takes, with an MTL library beside the file ("%s.mtl"
// from the output path without its extension). Polygons with fewer than
// three corners are never written. Existing files at the target paths are
// deleted first; lines end with LF.
//
// Main thread only.
#pragma once

#include <stdexcept>
#include <string>

class TQORPolyMesh;

// The library path of an output path: the path without its extension + ".mtl".
std::string KSN_ObjLibraryPath(const char* objPath);

// Writes mesh to path. verticesOnly: no "vt" lines, corners as v//v.
// writeGroups: a "g" line at each change of polygon group; internalNames: a
// "#  InternalName: %s" comment there (both with the group name cut at its
// first ':'). Corners follow the weld table when it is in force. Failures
// are reported by message ("Cannot create the file %s"); false when the OBJ
// file could not be written.
bool ExportObjectFile(TQORPolyMesh* mesh, const char* path, bool verticesOnly, bool writeGroups,
                      bool internalNames);

// The suffix of a group's file: the name cut at its first ':', characters no
// file name holds as '_', a name of dots as '_'.
std::string KSN_GroupFileSuffix(const char* groupName);

// One file "<path without extension>_<suffix>.OBJ" per polygon group, each
// with its own vertex numbering, and the library. verticesOnly: only "v"
// lines; changedOnly: only groups with a vertex moved by a morph. A suffix
// that repeats one of the same export (any case) gets "_2", "_3" ... .
// Throws std::runtime_error ("Error saving the file %s", "Error creating the
// file %s") when the library or a group's file cannot be written; files
// already written stay. Returns the number of OBJ files written.
int KSN_ExportGroupsAsSeparateObjects(TQORPolyMesh* mesh, const char* path, bool verticesOnly, bool changedOnly);

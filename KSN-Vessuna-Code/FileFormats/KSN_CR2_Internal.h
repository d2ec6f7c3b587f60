// Helpers shared by the CR2 sources of this folder only.
#pragma once

#include <string>

class TKSN_Mesh;
class TKSN_Object;

// Strict number reading for figure files: the whole leading number must fit.
// False for a text that is no number, an integer beyond 32 bits or a float
// that is not finite; such an entry counts as malformed.
bool CR2_ParseInt(const char* text, int& value);
bool CR2_ParseFloat(const char* text, float& value);
// "%d %f %f %f" with the same checks; false unless all four are read.
bool CR2_ParseDeltaLine(const char* text, int& index, float& x, float& y, float& z);

// TODO(stub): OBJ reader. Stands for TKSN_Project::LoadObject (with
// ignoreInternalNames) of the OBJ import, which another part of this library
// provides; the lead connects them. Reads "v", "vt", "f", "g" and "usemtl"
// into a new mesh of the object (one polygon group per "g" name, one material
// per "usemtl" name). False, the object left without a mesh, when the file
// cannot be read or names a vertex it does not define.
bool CR2_LoadObjectStandIn(TKSN_Object* object, const char* path);

// TODO(stub): quick weld. Stands for QuickWeld3 of the OBJ import: every
// vertex within tolerance of an earlier one takes that one's weld master.
void CR2_QuickWeldStandIn(TKSN_Mesh* mesh, float tolerance);

// TODO(stub): OBJ writer. Stands for ExportObjectFile(mesh, path, false, true)
// of the OBJ export: vertices, texture vertices and group lines in the mesh's
// own numbering. False when the file cannot be written.
bool CR2_ExportObjectFileStandIn(TKSN_Mesh* mesh, const char* path);

// TODO(stub): stands for TKSN_Project::SetupMeshAfterImport with keepGeometry
// (weld and map binding) and TKSN_Project::SetupAfterLoad of the project file
// reader: here only the resolved vertices and the tree paths are brought up to date.
void CR2_SetupAfterImportStandIn(TKSN_Mesh* mesh);

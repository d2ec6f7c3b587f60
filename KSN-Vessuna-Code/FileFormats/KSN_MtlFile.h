// The Wavefront MTL material library of an OBJ file.
//
// LoadMTLFile fills the materials the OBJ reader made from "usemtl" lines:
// "Ka", "Kd", "Ks" colours (Ambient, Color, Specular), "d" (Transparency
// strength = 1 − d, within 0..1), "Ns" (Glossy strength = Ns / 100) and the
// map file names of "map_Kd", "map_Bump", "map_Ks", "map_Ka", "disp" and
// "map_d". Keywords match without regard to case. Option words ("-clamp on",
// "-o 0 0 0", ...) are dropped before a statement is used, so a map line
// keeps only its file name; a negative number is such a word too, so
// "d -1" changes nothing. Lines are read whole, whatever their length.
//
// SaveMTLFile writes each material of a mesh as "newmtl", the three colour
// lines, "d" and one line per bound map, every line ending with one LF.
//
// Main thread only.
#pragma once

#include <string>

class TQORPolyMesh;
class TQORMaterialChannel;

// Reads the mesh's material library (the "mtllib" name, looked up beside
// objPath). Does nothing when the mesh names no library or the library cannot
// be opened; library materials the mesh lacks are skipped.
void LoadMTLFile(TQORPolyMesh* mesh, const char* objPath);
// The path LoadMTLFile opens: the library name's file part in objPath's folder.
std::string KSN_MtlLibraryPath(const char* objPath, const std::string& libraryName);
// Writes every material of mesh to path (mode "w"); false when the file cannot
// be created or written.
bool SaveMTLFile(TQORPolyMesh* mesh, const char* path);
// The name a channel's map is written under: the bound map source's name, or
// the channel's own map file name when nothing is bound; "" for no map.
std::string KSN_ChannelMapName(TQORMaterialChannel* channel);

// Helpers shared by the CR2 sources of this folder only.
#pragma once

#include <string>

class TKSN_Mesh;
class TQORGroup2;

// Strict number reading for figure files: the whole leading number must fit.
// False for a text that is no number, an integer beyond 32 bits or a float
// that is not finite; such an entry counts as malformed.
bool CR2_ParseInt(const char* text, int& value);
bool CR2_ParseFloat(const char* text, float& value);
// "%d %f %f %f" with the same checks; false unless all four are read.
bool CR2_ParseDeltaLine(const char* text, int& index, float& x, float& y, float& z);

// The mesh's polygon group of an actor's name (compared as morph names are),
// or null; the search stops at the first empty slot.
TQORGroup2* CR2_FindGroup(TKSN_Mesh* mesh, const char* name);

// The string-resource tables that older figure files refer to.
//
// A parameter of a figure file may read "GetStringRes(table,index)" instead
// of spelling a name or path out. These are the system's own copies of the
// tables such references use: 1024 body parts, 1025 cameras, 1026 props,
// 1027 lights, 1028 parameter dials, 1029 texture and bump maps, 1037 hand
// poses and 1052 one geometry path. Rows are numbered from 1; index 0, a
// negative index, an index past the last row, a row left empty and every
// other table give the empty text, so such a reference stays as written.
//
// The tables are constant; any thread may read them.
#pragma once

#include <string>

std::string getStringRes(int table, int index);
std::string getStringRes1024(int index);
std::string getStringRes1025(int index);
std::string getStringRes1026(int index);
std::string getStringRes1028(int index);
std::string getStringRes1029(int index);
std::string getStringRes1037(int index);

// Replaces text (a zero-terminated buffer of at least 256 bytes) by the
// resource when the resource is not empty, copying at most 255 characters;
// otherwise the text stays as it was.
void Mimic_GetStringRes(char* text, int table, int index);

// When text reads "GetStringRes(table,index)" (both numbers read) and that
// resource is not empty, replaces text by it and answers true.
bool CR2_ResolveStringRes(std::string& text);

// TKSN_ToolList: a named list of tools that the main window shows together.
//
// A null entry is a separator: the main window's rows of tool buttons break
// there. The list does not own its tools; the application object deletes
// them. Its destructor frees only the pointer array.
#pragma once

#include "KSN_Thingy.h"
#include "QORNewStaticList.h"

class TKSN_Tool;

class TKSN_ToolList : public TQORNewStaticList<TKSN_Tool*>, public virtual TKSN_Thingy {
public:
    TKSN_ToolList() : TQORNewStaticList<TKSN_Tool*>(1) {}
    ~TKSN_ToolList() override = default;
};

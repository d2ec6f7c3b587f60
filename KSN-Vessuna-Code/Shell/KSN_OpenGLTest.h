// The OpenGL driver test: the current driver is looked up once at start-up in
// the table of known video cards, "OpenGL_Database.csv" in the data folder.
// A driver marked not compatible lets the user go on or end the program; one
// marked as having issues offers a web page about them. The test also records
// whether textures may be compressed and whether the window may be minimised.
//
// Table format: lines split like a command line (runs of blanks separate
// fields; a field opening with a double quote runs to the next double quote
// followed by a blank or the line end; commas are ordinary characters). Only
// lines of 16 or more fields count; the first of them is the header. Fields:
// 1 vendor, 2 renderer, 3 version, 9 status (0 not compatible, 1 or 2 has
// issues, else nothing to say), 10 web page, 11 and 12 flags, 13 allow
// minimise, 15 comment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKSN_VideoCard_DataBaseNode {
public:
    std::string vendor;
    std::string renderer;
    std::string version;
    int32_t status = 0;
    std::string webPage;
    bool firstFlag = true;        // kept with the row, not used
    bool secondFlag = true;       // kept with the row, not used
    std::string comment;
    bool allowMinimize = true;
};

class TKSN_VideoCard_DataBase {
public:
    // Appends one row per data line of the file. A file that cannot be opened
    // shows "Cannot open the file %s" and adds nothing.
    void LoadFromFile(const char* path);
    // The first row equal in vendor, renderer and (when `version` is not
    // null) version; else the first equal in vendor and renderer; all without
    // regard to case. Null when none.
    const TKSN_VideoCard_DataBaseNode* FindDriver(const char* vendor, const char* renderer,
                                                  const char* version) const;

    std::vector<std::unique_ptr<TKSN_VideoCard_DataBaseNode>> List;
};

// Runs the whole test on the current GL context; nothing without one. May end
// the program (status 1) when the user declines to run on a driver marked
// not compatible.
void TestOpenGL();
// The test for given driver strings (`extensions` null: no context, no test).
void TestOpenGLDriver(const char* vendor, const char* renderer, const char* version, const char* extensions);

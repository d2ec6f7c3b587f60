// Document object base: TKSN_Thingy.
//
// Every object of the document (objects, meshes, morphs, selections, unions,
// tree groups, materials, maps, layers, brush images...) derives virtually
// from TKSN_Thingy, so a class reached along several paths holds one
// TKSN_Thingy and one TQORThingy. A document object is registered for ID
// lookup from the moment it exists.
//
// It adds the read-only and "current" flags, the tree flags, a group path,
// name-keyed custom properties that any code may hang on any document object
// (memory only: no file form writes or reads them), and the serialisation
// protocol every document class implements: the text block form (key lines,
// nested blocks, the generic block reader that skips blocks nobody consumes)
// and the older binary chunk.
//
// Names are made safe for file names and for the one-line text form: SetName
// turns ':' '\' '/' '%' into '_', removes control characters but the tab (a
// newline would start a key line of its own), trims surrounding blanks and
// tabs (the reader trims them) and cuts at QORMaxNameLength, so every stored name round-trips exactly.
// Flags and properties are not guarded; they live on the main thread.
#pragma once

#include "QORThingy.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

// The name SetName would store for text: what the unique-name generators must
// compare, since two different wishes can become the same stored name.
std::string KSN_StoredName(std::string_view text);

// The value of one custom property. One key holds one record, so a key used
// with two setters holds both values; members never set stay zero.
struct TKSN_CustomProperty {
    bool booleanValue = false;
    int32_t unused1 = 0;
    int32_t unused2 = 0;
    void* pointerValue = nullptr;   // not owned
    float* floatArray = nullptr;    // owned by the thingy: QORfree'd when it is destroyed
    int32_t floatCount = 0;         // unit is the caller's (the system's keys: entries of 3 floats)
};

class TKSN_Thingy : public virtual TQORThingy {
public:
    TKSN_Thingy();
    ~TKSN_Thingy() override;

    TKSN_Thingy(const TKSN_Thingy&) = delete;
    TKSN_Thingy& operator=(const TKSN_Thingy&) = delete;

    virtual bool IsReadOnly() const { return readOnly; }
    virtual void SetReadOnly(bool value) { readOnly = value; }
    // printf-style; a null format changes nothing; stores KSN_StoredName of the
    // text, so a document name can always be part of a file name, never acts
    // as a format and reads back from the file as it was.
    __attribute__((format(printf, 2, 3))) void SetName(const char* format, ...) override;

    // Legacy binary chunk: header with chunkType, then the 261-byte body of
    // SaveBasicStuff. False when any write failed.
    virtual bool SaveToStream(FILE* file);
    virtual bool SaveToStream_Bin(FILE* file);
    // The base writes the basics at the current depth; derived classes wrap
    // their block around them. The flag is for derived classes.
    virtual bool SaveToStream_Text(FILE* file, bool flag);
    // Per-class key handler of the generic reader; true when the key was handled.
    virtual bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value);
    // The generic block reader: skips to the "{" line, hands every line to the
    // basics reader and to LoadFromStream_Text_ConsiderCommand, skips nested
    // blocks nobody consumed, and stops after the matching "}" or at the end
    // of the file. Returns true.
    virtual bool LoadFromStream_Text(FILE* file);
    // Reads the body of a legacy chunk (the header was read by the dispatcher).
    virtual bool LoadFromStream(FILE* file);
    // Bytes held, for memory accounting.
    virtual uint64_t GetApproximateSize() { return 0; }

    const char* GetGroupPath() const { return groupPath.c_str(); }
    void SetGroupPath(const char* path) { groupPath = path ? path : ""; }

    // Writes "Name", "ReadOnly", "Collapsed", "ID" and (when set) "Current" at
    // the current depth. Always true.
    bool SaveBasicStuff_Text(FILE* file);
    // "name" (any case) sets the name, "ReadOnly" and "Current" (exact case)
    // their flags; true when the key was one of them.
    bool LoadFromStream_Text_ConsiderCommand_BasicStuff(FILE* file, char* key, char* value);
    // The legacy chunk body: 256-byte name field, read-only byte, 4-byte ID.
    bool SaveBasicStuff(FILE* file);

    // Custom properties. A setter inserts a zeroed record for an absent key and
    // then sets only its own member. A float array is stored as passed (not
    // copied) and not released when replaced: callers fetch and release the old
    // one first, or store null with count 0 to clear the key.
    void SetCustomBooleanProperty(const char* key, bool value);
    void SetCustomPointerProperty(const char* key, void* value);
    void SetCustomFloatArrayProperty(const char* key, float* array, int count);
    bool GetCustomBooleanProperty(const char* key) const;
    void* GetCustomPointerProperty(const char* key) const;
    float* GetCustomFloatArrayProperty(const char* key, int& count) const;

    // Document flags, read and set directly by the trees, managers and commands.
    bool readOnly = false;
    int32_t displayListNumber = 0;   // set by the main window's manager tree
    bool reservedFlag = false;       // free for derived classes
    int32_t chunkType = 0;           // legacy chunk type word, set by derived classes
    int32_t reservedValue = -1;      // free for derived classes
    bool current = false;            // the current item of its kind
    bool changed = true;
    bool saveable = true;            // written by its tree group only while set
    bool deletable = true;
    bool renamable = true;
    bool duplicable = true;
    bool multiSelected = false;      // membership in its tree's multi-selection

private:
    std::string groupPath;
    std::map<std::string, TKSN_CustomProperty, std::less<>> customProperties;
};

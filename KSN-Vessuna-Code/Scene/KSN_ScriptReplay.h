// TKSN_VertexAdjustmentScript: how a topology edit renumbered the vertices
// (or polygons) of a mesh, replayed lazily onto each morph and selection.
//
// The stream is a flat run of 32-bit entries, one operation after another:
//     opcode, n, n arguments
// Item indices are signed; weights are 32-bit floats stored by their bit
// pattern. Opcodes: 1 copy (d, s); 2 clear (d); 3 clear in edit-time
// selections (d); 4 mirror copy (d, s); 5 average (d, s1 … sk);
// 6 blend to average (d, w, s1 … sk); 7 interpolate (d, w, a, b); 8 ends the
// stream (its n is not read). Every other opcode is skipped with its arguments.
//
// Invariants of a replay:
//  - it never reads past the stream nor keeps more than 256 arguments: an
//    operation that claims more than 256, or more than the stream still holds,
//    stops the replay with one debug line;
//  - every write lies inside the morph or selection; bad indices skip their
//    operation (or end an average early), and only the first such problem of
//    a replay is reported;
//  - the morph or selection always ends with CountAfter items.
// Morph sources are read live (an operation sees what an earlier one wrote);
// selection sources come from a copy of the weights taken when the replay
// began, and a source the copy does not reach reads as 0.
//
// Main thread only: the replay cursor lives in the script, so one script is
// replayed by one caller at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TKSN_Morph;
class TKSN_Selection;
class TKSN_Mesh;

enum eVertexAdjustmentScriptKind : int32_t {
    eVertexAdjustmentScript_Vertex = 0,
    eVertexAdjustmentScript_Polygon = 1,
};

class TKSN_VertexAdjustmentScript {
public:
    static constexpr int MaxArguments = 256;
    static constexpr int MaxNameLength = 255;

    // Name cut at 255 bytes; kind 0 vertex, 1 polygon; the mesh's vertex
    // (polygon) count when the script is made.
    explicit TKSN_VertexAdjustmentScript(const char* name = "", int32_t kind = eVertexAdjustmentScript_Vertex,
                                         int32_t countBefore = 0);

    TKSN_VertexAdjustmentScript(const TKSN_VertexAdjustmentScript&) = delete;
    TKSN_VertexAdjustmentScript& operator=(const TKSN_VertexAdjustmentScript&) = delete;

    // Appends an opcode and its argument count; the writer then appends the
    // arguments to Stream one entry at a time (weights by their bit pattern).
    void AddOpCode(int32_t opcode, int32_t argumentCount);

    // Replays the whole script onto one morph; the mesh supplies the symmetry
    // axis of the mirror copy (x when there is no mesh).
    void AdjustMorph(TKSN_Morph* morph, TKSN_Mesh* mesh);
    // Replays the whole script onto one selection.
    void AdjustSelection(TKSN_Selection* selection);

    std::string Name;
    std::vector<int32_t> Stream;
    int32_t ReadPosition = 0;
    int32_t ArgumentsRead = 0;
    int32_t ParamCount = 0;
    int32_t Kind = eVertexAdjustmentScript_Vertex;
    uint32_t ScriptNumber = 0;   // given by the mesh when attached
    int32_t CountBefore = 0;     // items when the script was made
    int32_t CountAfter = 0;      // items when attached: every replay ends here

private:
    // One step of the stream: the next operation's opcode and arguments.
    enum class TReadResult { Operation, End, Malformed };
    TReadResult ReadOperation(int32_t& opcode, int32_t* arguments);
    // The debug line of a stream that ends inside an operation, or of an
    // operation with more than MaxArguments arguments.
    void ReportMalformed(int32_t opcode, const char* itemKind, const char* itemName) const;
};

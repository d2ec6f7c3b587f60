// The brace tree of CR2 figure files.
//
// A CR2 file is brace-nested text: every line is a command word optionally
// followed by a parameter, and a line "{" opens a block that belongs to the
// line before it. The figure rewrite loads a whole file into this tree of
// command/parameter nodes, edits it and prints it back; the import streams
// the lines instead (KSN_CR2Import.h).
//
// Invariants:
// - The reader's root has an empty command and parameter; its children are
//   the file's top-level entries in file order, each with its block's entries
//   as its children. The caller owns the tree and deletes it through the root.
// - A node's braced flag makes the writer print a block even when it is empty,
//   so "{" "}" after an entry survives a read and a print.
// - Texts are kept whole: lines of any length, bytes 128-255 included.
//
// Printing what was read gives the source back byte for byte when the source
// is in the printed form (tab indentation, one blank between command and
// parameter, LF line ends).
//
// Main thread only.
#pragma once

#include "QORTree.h"

#include <cstdio>
#include <stdexcept>
#include <string>

// A malformed figure file: the text names the file, the line and the fault.
class TKSN_CR2Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TQORCR2TreeNode : public TQORTreeNode {
public:
    TQORCR2TreeNode(const char* command, const char* parameter);
    ~TQORCR2TreeNode() override = default;

    void SetCommand(const char* text) { command = text ? text : ""; }
    void SetParameter(const char* text) { parameter = text ? text : ""; }
    const char* GetCommand() const { return command.c_str(); }
    const char* GetParameter() const { return parameter.c_str(); }
    TQORCR2TreeNode* GetChild() const { return static_cast<TQORCR2TreeNode*>(child); }
    TQORCR2TreeNode* GetNext() const { return static_cast<TQORCR2TreeNode*>(next); }
    TQORCR2TreeNode* GetParent() const { return static_cast<TQORCR2TreeNode*>(parent); }

    // Writes the sibling chain from first as one brace block at depth (tabs).
    // The node it is called on plays no part; the whole file is
    // PrintTree(file, root->GetChild(), 0). False when a write failed.
    bool PrintTree(FILE* file, TQORCR2TreeNode* first, int depth);

    // The first child (Find) or following sibling (FindNext) that matches. A
    // null command or parameter matches anything. Commands compare ignoring
    // case, parameters by CR2_ParametersEqual.
    TQORCR2TreeNode* Find(const char* command, const char* parameter, bool ignoreSuffix);
    TQORCR2TreeNode* FindNext(const char* command, const char* parameter, bool ignoreSuffix);

    // A new node inserted as the first child (the injected blocks go there).
    TQORCR2TreeNode* InsertFirstChild(const char* command, const char* parameter);
    // A new node appended as the last child.
    TQORCR2TreeNode* AppendChild(const char* command, const char* parameter);

    bool braced = false;

private:
    std::string command;
    std::string parameter;
};

// Equal ignoring case, as whole texts; with ignoreSuffix each is first cut at
// its first ':' (hip:1, HIP:2 and hip are then equal). Null equals only null or "".
bool CR2_ParametersEqual(const char* a, const char* b, bool ignoreSuffix);

// Reads a CR2 file into a new tree. Null when the file cannot be opened or
// holds no "{". With noMerge false a repeated actor or prop section continues
// the first node of that name (suffix ignored).
// Throws TKSN_CR2Error for a "}" without a "{", a "{" after the outermost
// block closed, a file that ends inside a block, or nesting beyond
// KSN_CR2_MAX_DEPTH; the partial tree is freed first.
TQORCR2TreeNode* ImportCR2TreeOrThrow(const char* path, bool noMerge);
// The same, but a malformed file is reported as a warning (the error's text)
// and gives null.
TQORCR2TreeNode* ImportCR2Tree(const char* path, bool noMerge);

// Deeper nesting than any figure uses; refusing it keeps the recursive
// printer and destructor within the stack.
inline constexpr int KSN_CR2_MAX_DEPTH = 2000;

// Reads one line of any length: CR, LF, CR LF and LF CR end it and are not
// stored, NUL bytes are dropped, bytes 128-255 kept. False at the end of the
// file with nothing read.
bool CR2_ReadLine(FILE* file, std::string& line);

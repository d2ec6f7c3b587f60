// TODO(stub): stands for the GUI toolkit's widget node TGui_Node (its own
// library under Modules/), until that toolkit exists. Only what the message
// panel needs: text lines as children, emptying and a flash request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGui_Node {
public:
    struct TLine {
        std::string text;
        bool red = false;
        int32_t command = -1;   // -1: not clickable
    };

    virtual ~TGui_Node() = default;
    // Deletes every child (here: every line).
    void Empty() { lines.clear(); }
    // Starts a short flash in one of the node's two styles.
    void Flash(bool style)
    {
        ++flashCount;
        lastFlashStyle = style;
    }

    std::vector<TLine> lines;
    int32_t flashCount = 0;
    bool lastFlashStyle = false;
};

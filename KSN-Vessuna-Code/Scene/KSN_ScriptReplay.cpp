// Replay of vertex adjustment scripts onto morphs and selections.
//
// Index: [SECTION] Script record · Reading the stream · Morph replay ·
//        Selection replay
#include "KSN_ScriptReplay.h"

#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Selection.h"
#include "OS.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr int32_t OpCopy = 1;
constexpr int32_t OpClear = 2;
constexpr int32_t OpClearEditTime = 3;
constexpr int32_t OpMirrorCopy = 4;
constexpr int32_t OpAverage = 5;
constexpr int32_t OpBlendToAverage = 6;
constexpr int32_t OpInterpolate = 7;
constexpr int32_t OpEnd = 8;

// The ops with fixed arguments read at most this many; slots the operation did
// not supply hold an index no item has, so they fail the range checks instead
// of reading what the previous operation left behind.
constexpr int FixedArgumentSlots = 4;
constexpr int32_t MissingArgument = -1;

// Only the first problem of one replay is reported.
class TReplayReporter {
public:
    explicit TReplayReporter(const char* itemName) : name(itemName) {}
    void operator()(const char* format)
    {
        if (reported)
            return;
        reported = true;
        OS.DebugMessage(format, name);
    }

private:
    const char* name;
    bool reported = false;
};

} // namespace

// [SECTION] Script record

TKSN_VertexAdjustmentScript::TKSN_VertexAdjustmentScript(const char* name, int32_t kind, int32_t countBefore)
    : Name(name ? std::string(name).substr(0, MaxNameLength) : std::string()), Kind(kind), CountBefore(countBefore)
{
}

void TKSN_VertexAdjustmentScript::AddOpCode(int32_t opcode, int32_t argumentCount)
{
    Stream.push_back(opcode);
    Stream.push_back(argumentCount);
}

// [SECTION] Reading the stream

TKSN_VertexAdjustmentScript::TReadResult TKSN_VertexAdjustmentScript::ReadOperation(int32_t& opcode,
                                                                                    int32_t* arguments)
{
    const int64_t count = int64_t(Stream.size());
    if (ReadPosition >= count)
        return TReadResult::End;
    opcode = Stream[size_t(ReadPosition++)];
    if (opcode == OpEnd)
        return TReadResult::End;
    ParamCount = 0;
    ArgumentsRead = 0;
    if (ReadPosition >= count)
        return TReadResult::Malformed;   // the count itself is missing
    const int32_t n = Stream[size_t(ReadPosition++)];
    ParamCount = n;
    if (n > MaxArguments || (n > 0 && n > count - ReadPosition))
        return TReadResult::Malformed;
    for (int32_t i = 0; i < n; ++i)
        arguments[i] = Stream[size_t(ReadPosition + i)];
    for (int32_t i = std::max(n, 0); i < FixedArgumentSlots; ++i)
        arguments[i] = MissingArgument;
    if (n > 0) {
        ReadPosition += n;
        ArgumentsRead = n;
    }
    return TReadResult::Operation;
}

void TKSN_VertexAdjustmentScript::ReportMalformed(int32_t opcode, const char* itemKind, const char* itemName) const
{
    if (ParamCount > MaxArguments)
        OS.DebugMessage("Operation %d of the vertex adjustment script %s has %d arguments (at most %d); "
                        "replay stopped for the %s %s",
                        opcode, Name.c_str(), ParamCount, MaxArguments, itemKind, itemName);
    else
        OS.DebugMessage("Operation %d of the vertex adjustment script %s runs past the end of the script; "
                        "replay stopped for the %s %s",
                        opcode, Name.c_str(), itemKind, itemName);
}

// [SECTION] Morph replay

void TKSN_VertexAdjustmentScript::AdjustMorph(TKSN_Morph* morph, TKSN_Mesh* mesh)
{
    if (!morph)
        return;
    const bool wasCompressed = morph->IsCompressed();
    morph->Expand();
    const int target = std::max(CountAfter, 0);
    if (morph->GetVCount() < target)
        morph->SetVCount(target);

    const int count = morph->GetVCount();
    float* deltas = morph->GetPointerToExpandedArray();
    const int axis = mesh ? std::clamp(int(mesh->symmetryAxis), 0, 2) : 0;
    const auto inRange = [count](int32_t i) { return i >= 0 && i < count; };
    const auto at = [deltas](int32_t i) { return deltas + 3 * int64_t(i); };

    TReplayReporter report(morph->GetName());
    const char* destMessage = "DestIV is out of range in vertex adjustment script for the morph %s";
    const char* sourceMessage = "SourceIV is out of range in vertex adjustment script for the morph %s";

    // Sums the delta sources from args[first] on, stopping at the first bad one.
    const auto sumSources = [&](const int32_t* args, int first, int n, float sum[3]) {
        int summed = 0;
        for (int i = first; i < n; ++i) {
            if (!inRange(args[i])) {
                report(sourceMessage);
                break;
            }
            const float* s = at(args[i]);
            for (int c = 0; c < 3; ++c)
                sum[c] += s[c];
            ++summed;
        }
        return summed;
    };

    int32_t args[MaxArguments];
    int32_t opcode = 0;
    ReadPosition = 0;
    TReadResult step;
    while ((step = ReadOperation(opcode, args)) == TReadResult::Operation) {
        const int n = ParamCount;
        switch (opcode) {
        case OpCopy:
        case OpMirrorCopy: {
            if (!inRange(args[0])) { report(destMessage); break; }
            if (!inRange(args[1])) { report(sourceMessage); break; }
            float value[3] = {at(args[1])[0], at(args[1])[1], at(args[1])[2]};
            if (opcode == OpMirrorCopy)
                value[axis] = -value[axis];
            std::copy(value, value + 3, at(args[0]));
            break;
        }
        case OpClear:
            if (!inRange(args[0])) { report(destMessage); break; }
            std::fill(at(args[0]), at(args[0]) + 3, 0.0f);
            break;
        case OpClearEditTime:
            break;   // deltas have no edit-time copy
        case OpAverage: {
            if (n < 2)
                break;
            if (!inRange(args[0])) { report(destMessage); break; }
            float sum[3] = {0.0f, 0.0f, 0.0f};
            const int summed = sumSources(args, 1, n, sum);
            if (summed == 0)
                break;
            const float scale = 1.0f / float(summed);
            for (int c = 0; c < 3; ++c)
                at(args[0])[c] = sum[c] * scale;
            break;
        }
        case OpBlendToAverage: {
            if (n < 3)
                break;
            if (!inRange(args[0])) { report(destMessage); break; }
            const float w = std::bit_cast<float>(args[1]);
            float sum[3] = {0.0f, 0.0f, 0.0f};
            const int summed = sumSources(args, 2, n, sum);
            if (summed == 0)
                break;
            const float scale = 1.0f / float(summed);
            float* d = at(args[0]);
            for (int c = 0; c < 3; ++c) {
                const float average = sum[c] * scale;
                d[c] = w * average + (1.0f - w) * d[c];
            }
            break;
        }
        case OpInterpolate: {
            if (n != 4) { report("ParamCount != 4 in morph %s"); break; }
            if (!inRange(args[0])) { report(destMessage); break; }
            if (!inRange(args[2]) || !inRange(args[3])) { report(sourceMessage); break; }
            const float w = std::bit_cast<float>(args[1]);
            const float* a = at(args[2]);
            const float* b = at(args[3]);
            float value[3];
            for (int c = 0; c < 3; ++c)
                value[c] = a[c] + (b[c] - a[c]) * w;
            std::copy(value, value + 3, at(args[0]));
            break;
        }
        default:
            break;   // unknown operations are skipped with their arguments
        }
    }
    if (step == TReadResult::Malformed)
        ReportMalformed(opcode, "morph", morph->GetName());

    if (morph->GetVCount() > target)
        morph->SetVCount(target);
    if (wasCompressed)
        morph->Compress();
}

// [SECTION] Selection replay

void TKSN_VertexAdjustmentScript::AdjustSelection(TKSN_Selection* selection)
{
    if (!selection)
        return;
    const bool wasCompressed = selection->IsCompressed();
    // Sources read the weights as they were before the replay.
    std::vector<float> old;
    if (selection->GetVCount() > 0) {
        const float* weights = selection->GetPointerToExpandedArray();
        old.assign(weights, weights + selection->GetVCount());
    }
    const int oldCount = int(old.size());
    const int target = std::max(CountAfter, 0);
    if (selection->GetVCount() < target)
        selection->SetVCount(target);
    selection->Expand();

    const int count = selection->GetVCount();
    const auto inRange = [count](int32_t i) { return i >= 0 && i < count; };
    // Items made by the edit itself have no old weight.
    const auto oldWeight = [&](int32_t i) { return i < oldCount ? old[size_t(i)] : 0.0f; };

    TReplayReporter report(selection->GetName());
    const char* destMessage = "DestIV is out of range in vertex adjustment script for the selection %s";
    const char* sourceMessage = "SourceIV is out of range in vertex adjustment script for the selection %s";

    int32_t args[MaxArguments];
    int32_t opcode = 0;
    ReadPosition = 0;
    TReadResult step;
    while ((step = ReadOperation(opcode, args)) == TReadResult::Operation) {
        const int n = ParamCount;
        switch (opcode) {
        case OpCopy:
        case OpMirrorCopy:
            if (!inRange(args[0])) { report(destMessage); break; }
            if (!inRange(args[1])) { report(sourceMessage); break; }
            selection->SetVSelect(args[0], oldWeight(args[1]));
            break;
        case OpClear:
            if (!inRange(args[0])) { report(destMessage); break; }
            selection->SetVSelect(args[0], 0.0f);
            break;
        case OpClearEditTime:
            if (!selection->IsEditTimeSelection())
                break;
            if (!inRange(args[0])) { report(destMessage); break; }
            selection->SetVSelect(args[0], 0.0f);
            break;
        case OpAverage: {
            if (!inRange(args[0])) { report(destMessage); break; }
            // A new item between a selected and an unselected one stays as
            // selected as its most selected source (p is 0 when any source is
            // 0); between selected ones it takes their average (p ≈ 1).
            float sum = 0.0f, hi = 0.0f, lo = 1.0f;
            int summed = 0;
            for (int i = 1; i < n; ++i) {
                if (!inRange(args[i])) {
                    report(sourceMessage);
                    break;
                }
                const float w = oldWeight(args[i]);
                sum += w;
                hi = std::max(hi, w);
                lo = std::min(lo, w);
                ++summed;
            }
            float weight = 0.0f;
            if (summed > 0) {
                const float average = sum / float(summed);
                const float p = float(std::pow(double(lo), double(0.0001f)));
                weight = (1.0f - p) * hi + p * average;
            }
            selection->SetVSelect(args[0], weight);
            break;
        }
        case OpBlendToAverage:
            break;   // weights are not blended
        case OpInterpolate: {
            if (n != 4) { report("ParamCount != 4 in morph %s"); break; }
            if (!inRange(args[0])) {
                report("DestIV is out of range in vertex adjustment script for the Selection %s");
                break;
            }
            if (!inRange(args[2]) || !inRange(args[3])) { report(sourceMessage); break; }
            const float t = std::bit_cast<float>(args[1]);
            const float a = oldWeight(args[2]);
            const float b = oldWeight(args[3]);
            selection->SetVSelect(args[0], a + (b - a) * t);
            break;
        }
        default:
            break;
        }
    }
    if (step == TReadResult::Malformed)
        ReportMalformed(opcode, "selection", selection->GetName());

    if (selection->GetVCount() > target)
        selection->SetVCount(target);
    if (wasCompressed)
        selection->Compress();
}

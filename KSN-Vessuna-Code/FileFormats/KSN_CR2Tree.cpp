// The CR2 brace tree: node, reader, printer and searches.
#include "KSN_CR2Tree.h"

#include "OS.h"
#include "QORString.h"

#include <memory>
#include <string_view>

namespace {

constexpr const char* kPlaceholder = "<AVAILABLE>";

std::string_view CutAtColon(std::string_view text)
{
    const size_t colon = text.find(':');
    return colon == std::string_view::npos ? text : text.substr(0, colon);
}

bool IsPlaceholder(const TQORCR2TreeNode* node)
{
    return std::string_view(node->GetCommand()) == kPlaceholder;
}

bool Matches(TQORCR2TreeNode* node, const char* command, const char* parameter, bool ignoreSuffix)
{
    if (command && QORstrcmpi(node->GetCommand(), command) != 0) return false;
    if (parameter && !CR2_ParametersEqual(node->GetParameter(), parameter, ignoreSuffix)) return false;
    return true;
}

// Command word and trimmed rest of a line, kept whole.
void SplitLine(const std::string& line, std::string& command, std::string& parameter)
{
    command.assign(line.size() + 1, '\0');
    parameter.assign(line.size() + 1, '\0');
    GetCommandAndParameter(line.c_str(), command.data(), parameter.data());
    command.resize(std::char_traits<char>::length(command.c_str()));
    parameter.resize(std::char_traits<char>::length(parameter.c_str()));
}

[[noreturn]] void Fail(const char* path, long line, const char* fault)
{
    throw TKSN_CR2Error(QORFormat("Cannot read \"%s\", line %ld: %s", path, line, fault));
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Node
// ---------------------------------------------------------------------------

TQORCR2TreeNode::TQORCR2TreeNode(const char* command, const char* parameter)
    : command(command ? command : ""), parameter(parameter ? parameter : "")
{
}

bool TQORCR2TreeNode::PrintTree(FILE* file, TQORCR2TreeNode* first, int depth)
{
    const std::string indent(size_t(depth > 0 ? depth : 0), '\t');
    bool ok = true;
    auto put = [&](const std::string& text) { ok = std::fwrite(text.data(), 1, text.size(), file) == text.size() && ok; };
    put(indent + "{\n");
    for (TQORCR2TreeNode* node = first; node; node = node->GetNext()) {
        put(indent + '\t' + node->command + ' ' + node->parameter + '\n');
        if (node->braced || node->GetChild()) ok = PrintTree(file, node->GetChild(), depth + 1) && ok;
    }
    put(indent + "}\n");
    return ok;
}

TQORCR2TreeNode* TQORCR2TreeNode::Find(const char* command, const char* parameter, bool ignoreSuffix)
{
    for (TQORCR2TreeNode* node = GetChild(); node; node = node->GetNext())
        if (Matches(node, command, parameter, ignoreSuffix)) return node;
    return nullptr;
}

TQORCR2TreeNode* TQORCR2TreeNode::FindNext(const char* command, const char* parameter, bool ignoreSuffix)
{
    for (TQORCR2TreeNode* node = GetNext(); node; node = node->GetNext())
        if (Matches(node, command, parameter, ignoreSuffix)) return node;
    return nullptr;
}

TQORCR2TreeNode* TQORCR2TreeNode::InsertFirstChild(const char* command, const char* parameter)
{
    auto* node = new TQORCR2TreeNode(command, parameter);
    if (TQORCR2TreeNode* first = GetChild())
        first->LinkPrev(node);
    else
        LinkChild(node);
    return node;
}

TQORCR2TreeNode* TQORCR2TreeNode::AppendChild(const char* command, const char* parameter)
{
    auto* node = new TQORCR2TreeNode(command, parameter);
    LinkChild(node);
    return node;
}

bool CR2_ParametersEqual(const char* a, const char* b, bool ignoreSuffix)
{
    std::string_view left = a ? a : "";
    std::string_view right = b ? b : "";
    if (ignoreSuffix) {
        left = CutAtColon(left);
        right = CutAtColon(right);
    }
    if (left.size() != right.size()) return false;
    for (size_t i = 0; i < left.size(); ++i)
        if (QOR_tolower(left[i]) != QOR_tolower(right[i])) return false;
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] Reader
// ---------------------------------------------------------------------------

bool CR2_ReadLine(FILE* file, std::string& line)
{
    line.clear();
    int c = std::fgetc(file);
    if (c == EOF) return false;
    for (; c != EOF; c = std::fgetc(file)) {
        if (c == '\n' || c == '\r') {
            const int other = c == '\n' ? '\r' : '\n';
            const int following = std::fgetc(file);
            if (following != other && following != EOF) std::ungetc(following, file);
            return true;
        }
        if (c != 0) line += char(c);
    }
    return true;
}

TQORCR2TreeNode* ImportCR2TreeOrThrow(const char* path, bool noMerge)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) return nullptr;

    std::unique_ptr<TQORCR2TreeNode> root;
    TQORCR2TreeNode* current = nullptr;
    int depth = 0;   // blocks open; 0 before the first "{" and after the outermost "}"
    long lineNumber = 0;
    std::string line, command, parameter;

    while (CR2_ReadLine(file.get(), line)) {
        ++lineNumber;
        if (line.empty()) continue;
        SplitLine(line, command, parameter);
        if (command.empty()) continue;

        if (command[0] == '{') {
            if (!root) {
                root = std::make_unique<TQORCR2TreeNode>("", "");
                current = root.get();
            } else if (depth == 0) {
                Fail(path, lineNumber, "Error parsing the file (CurrentNode == NULL) (1)");
            }
            if (depth >= KSN_CR2_MAX_DEPTH)
                Fail(path, lineNumber, QORFormat("blocks nested deeper than %d levels", KSN_CR2_MAX_DEPTH).c_str());
            current->braced = true;
            current = current->AppendChild(kPlaceholder, "");
            ++depth;
            continue;
        }
        if (command[0] == '}') {
            if (depth == 0) Fail(path, lineNumber, "Error parsing the file (CurrentNode == NULL) (2)");
            TQORCR2TreeNode* parent = current->GetParent();
            if (std::string_view(current->GetCommand()) == kPlaceholder) {
                // An empty block: the parent keeps its braced flag, so "{" "}" is written back.
                current->Unlink();
                delete current;
            }
            current = parent;
            --depth;
            continue;
        }
        // Entries before the first "{" and after the outermost "}" belong to no block.
        if (depth == 0) continue;

        if (!noMerge && (QORstrcmpi(command.c_str(), "actor") == 0 || QORstrcmpi(command.c_str(), "prop") == 0)) {
            TQORCR2TreeNode* earlier = root->Find(command.c_str(), parameter.c_str(), true);
            if (earlier && earlier != current) {
                if (IsPlaceholder(current)) {
                    current->Unlink();
                    delete current;
                }
                current = earlier;
                continue;
            }
        }
        if (IsPlaceholder(current)) {
            current->SetCommand(command.c_str());
            current->SetParameter(parameter.c_str());
            continue;
        }
        auto* node = new TQORCR2TreeNode(command.c_str(), parameter.c_str());
        current->LinkNext(node);
        current = node;
    }
    if (depth > 0) Fail(path, lineNumber, "the file ends inside a block (a \"{\" without its \"}\")");
    return root.release();
}

TQORCR2TreeNode* ImportCR2Tree(const char* path, bool noMerge)
{
    try {
        return ImportCR2TreeOrThrow(path, noMerge);
    } catch (const TKSN_CR2Error& error) {
        OS.WarningMessage("%s", error.what());
        return nullptr;
    }
}

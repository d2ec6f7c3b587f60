// Hints: the stored hint form and the hint node's wrapping and placement.
#include "GuiHint.h"

#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "QORGL.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

void AdjustFormatForNewHintType(const char* source, char* dest, int destSize)
{
    if (!dest || destSize < 1) return;
    std::string src = source ? source : "", out;
    if (src.find('\n') == std::string::npos) {
        out = src;
    } else {
        size_t start = 0;
        for (int line = 0;; ++line) {
            size_t end = src.find('\n', start);
            bool last = end == std::string::npos;
            std::string text = src.substr(start, last ? std::string::npos : end - start);
            if (line == 0) {
                out += text.rfind("[b]", 0) == 0 ? text : "[b]" + text + "[/b]";
                if (!last) out += '\n';
            } else if (!(line == 1 && text.empty() && !last)) {
                out += text;
                if (!last) out += '\n';
            }
            if (last) break;
            start = end + 1;
        }
    }
    size_t n = std::min(out.size(), size_t(destSize - 1));
    std::memcpy(dest, out.data(), n);
    dest[n] = 0;
}

TGui_HintNode::TGui_HintNode(TGui_Node* parent) : TGui_Node(parent)
{
    KeepOnTop = true;
    PictureNode = new TGui_Node(this);
    PictureNode->SetSize(128, 128);
    PictureNode->BorderWidth = 1;
    PictureNode->ShowName = false;
    TextColumn = new TGui_Node(this);
    TextColumn->SetSize(128, 128);
    TextColumn->StackChildren = true;
    TextColumn->AutoSize = true;
    TextColumn->DrawSurface = false;
    TextColumn->BorderWidth = 0;
    TextColumn->ShowName = false;
}

void TGui_HintNode::PrintHint(TGui_Node* node, const char* text)
{
    if (!Parent) return;
    if (!text || !*text) {
        if (Floating) {
            TextColumn->Empty();
            Hide();
            PostRedisplay();
        }
        return;
    }
    TextColumn->Empty();

    int ax = 0, ay = 0;
    if (node) {
        ax = node->AbsX + node->Width + node->MarginX;
        ay = node->AbsY + node->Height + node->MarginY;
        if (node->HintGraphicID) {
            TQORglutTexture* t = ResolveTexture(node->HintGraphicID);
            if (t && t->GetWidth() > 0 && t->GetHeight() > 0) {
                PictureNode->BackgroundColor[0] = PictureNode->BackgroundColor[1] = PictureNode->BackgroundColor[2] = 1;
                PictureNode->SetGraphic(t);
            }
        }
    }
    if (PictureNode->GetGraphic())
        PictureNode->Show();
    else
        PictureNode->Hide();

    TGui_Master* master = GetMaster();
    int limit = master ? int(0.75 * master->Width) : TextColumn->Width;
    if (PictureNode->Shown) limit -= PictureNode->Width;

    auto emit = [&](const std::string& line) {
        TGui_Text* t = TextColumn->AddText(line.c_str(), 0, 0, nullptr);
        std::copy(BackgroundColor, BackgroundColor + 3, t->BackgroundColor);
        std::copy(TextColor, TextColor + 3, t->TextColor);
    };
    // The line buffer never grows past the word limit: a line that would is emitted first.
    auto appendCut = [](std::string& line, const char* word) {
        line += word;
        if (line.size() > size_t(MaxWordBytes)) line.resize(size_t(MaxWordBytes));
        if (line.size() < size_t(MaxWordBytes)) line += ' ';
    };
    std::vector<char> word(size_t(MaxWordBytes) + 1, 0);
    std::string line;
    for (int n = 0;; ++n) {
        int r = GetWordFromString(text, word.data(), n, int(word.size()));
        if (r == 0) break;
        // The word's trailing space counts too, so that no emitted line (which
        // keeps its trailing space) is wider than the limit.
        bool tooWide = GetStringWidth(line.c_str()) + GetStringWidth(word.data()) + GetStringWidth(" ") > limit;
        bool tooLong = line.size() + std::strlen(word.data()) + 1 > size_t(MaxWordBytes);
        if (tooWide || r == 2 || tooLong) {
            emit(line);
            line.clear();
        }
        appendCut(line, word.data());
    }
    emit(line);
    emit("");
    emit(master && master->HintText ? master->HintText : "");

    TextColumn->UpdateSize();
    UpdateSize();
    UpdateSize_SecondPass();

    int W = Width, H = Height, x, y;
    if (node) {
        x = ax + node->HintOffsetX;
        y = ay + node->HintOffsetY;
        if (x + W > Parent->Width) x = std::max(0, node->AbsX - W - node->MarginX);
        if (y + H > Parent->Height) y = std::max(0, node->AbsY - H - node->MarginY);
    } else {
        x = std::max(0, Parent->Width - W);
        y = std::max(0, Parent->Height - H);
    }
    if (Floating) {
        SetPosition(x, y);
        Pop();
    } else {
        SetPosition(0, 0);
    }
    Show();
    PostRedisplay();
}

void TGui_HintNode::UpdateSize_SecondPass()
{
    if (PictureNode->Shown) {
        PictureNode->SetPosition(0, 0);
        TextColumn->SetPosition(PictureNode->Width, 0);
        if (Floating) Height = std::max(PictureNode->Height, TextColumn->Height);
    } else {
        TextColumn->SetPosition(0, 0);
        Height = TextColumn->Height;
    }
    Width = TextColumn->X + TextColumn->Width;
}

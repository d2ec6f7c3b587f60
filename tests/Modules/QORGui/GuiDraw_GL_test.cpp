// Frames of a blank application drawn for real in the shell's window (Xvfb
// with Mesa) and read back with glReadPixels: bevels, text with an underlined
// hot-key letter, clipping of long names, and text below the window.
#include "GuiGLTestSupport.h"
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORMemory.h"
#include "GuiTheme.h"
#include "KSN_WX.h"
#include "OS.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

class GuiDrawTest : public TGuiFrameTest {};

TEST_F(GuiDrawTest, TheBlankApplicationOwnsTheWindowsCallbacksAndClearsTheCanvas)
{
    EXPECT_EQ(fOnDisplay, &TGui_BlankApp::DisplayCB);
    EXPECT_EQ(fOnReshape, &TGui_BlankApp::ReshapeCB);
    App->BackgroundColor[0] = 0.2f;
    App->BackgroundColor[1] = 0.4f;
    App->BackgroundColor[2] = 0.6f;
    Frame();
    EXPECT_TRUE(Near(At(WindowW / 2, WindowH / 2), Bytes(App->BackgroundColor)));
    QORglutWigits_InterfaceBrightness = 0.0f;
    Frame();
    EXPECT_TRUE(Near(At(WindowW / 2, WindowH / 2), Bytes(App->BackgroundColor, 0.75f)));
}

TEST_F(GuiDrawTest, ABevelOfWidthTwoFillsItsEdgesInTheBevelColours)
{
    TGui_Node* node = App->AddNode(nullptr, 10, 10);
    node->SetPosition(50, 60);
    node->BorderWidth = 2;
    node->DrawSurface = false;
    node->ShowName = false;
    Frame();
    TPixel light = Bytes(QORglutWigits_DefaultBevelLightColor), dark = Bytes(QORglutWigits_DefaultBevelDarkColor);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            TPixel p = At(50 + x, 60 + y);
            if (x >= 8 || y >= 8)
                EXPECT_TRUE(Near(p, dark));
            else if (x < 2 || y < 2)
                EXPECT_TRUE(Near(p, light));
            else
                EXPECT_TRUE(Near(p, TPixel{0, 0, 0})) << "the inside stays the canvas";
        }
    // Nothing outside the node.
    EXPECT_TRUE(Near(At(49, 65), TPixel{0, 0, 0}));
    EXPECT_TRUE(Near(At(60, 65), TPixel{0, 0, 0}));
    EXPECT_TRUE(Near(At(55, 70), TPixel{0, 0, 0}));
}

TEST_F(GuiDrawTest, ANodeWithNothingLeftOfItsClippedRectangleDrawsNothing)
{
    TGui_Node* flat = App->AddNode(nullptr, 0, 10);   // a bevel would still fill a column
    flat->SetPosition(40, 40);
    flat->ShowName = false;
    TGui_Node* parent = App->AddNode(nullptr, 30, 30);
    parent->SetPosition(100, 100);
    parent->ShowName = false;
    parent->DrawSurface = false;
    parent->BorderWidth = 0;
    TGui_Node* outside = parent->AddNode(nullptr, 10, 10);
    outside->SetPosition(30, 0);   // touches the parent's right edge from outside
    outside->ShowName = false;
    Frame();
    for (int y = 30; y < 140; ++y)
        for (int x = 30; x < 150; ++x) ASSERT_TRUE(Near(At(x, y), TPixel{0, 0, 0})) << x << "," << y;
}

TEST_F(GuiDrawTest, AHotKeyLetterIsUnderlinedAndTheTextStaysInItsBox)
{
    TGui_Text* text = App->AddText("[u]F[/u]ile", 100, 100, nullptr);
    text->TextColor[0] = text->TextColor[1] = text->TextColor[2] = 1.0f;
    Frame();
    const TPixel black{0, 0, 0};
    int inside = 0, outside = 0;
    for (int y = 90; y < 125; ++y)
        for (int x = 90; x < 140; ++x) {
            bool in = x >= 100 && x < 100 + text->Width && y >= 100 && y < 100 + text->Height;
            (Near(At(x, y), black) ? (void)0 : (void)(in ? ++inside : ++outside));
        }
    EXPECT_GT(inside, 10);
    EXPECT_EQ(outside, 0);
    // The underline: the glyph box's last row, under the "F" (x from the left margin).
    int fx = 100 + text->BorderWidth + text->MarginX, row = 100 + (13 - 9) / 2 - 4 + 1 + 13 - 1;
    int run = 0, best = 0;
    for (int x = fx - 3; x < fx + Arial9_Font_Chars['F'][2] + 3; ++x) {
        run = Near(At(x, row), black) ? 0 : run + 1;
        best = std::max(best, run);
    }
    EXPECT_GE(best, 5);
    // "ile" is not underlined.
    int ileStart = fx + Arial9_Font_Chars['F'][2] + 1;
    for (int x = ileStart; x < 100 + text->Width; ++x) EXPECT_TRUE(Near(At(x, row), black)) << x;
}

TEST_F(GuiDrawTest, AVeryLongNameChangesNoPixelOutsideItsNode)
{
    TGui_Node* node = App->AddNode(nullptr, 60, 20);
    node->SetPosition(200, 150);
    node->TextAlignment = 1;
    node->SetName(std::string(5000, 'W').c_str(), false);
    Frame();
    for (int y = 0; y < WindowH; ++y)
        for (int x = 0; x < WindowW; ++x) {
            if (x >= 200 && x < 260 && y >= 150 && y < 170) continue;
            ASSERT_TRUE(Near(At(x, y), TPixel{0, 0, 0})) << x << "," << y;
        }
    EXPECT_TRUE(Near(At(201, 151), Bytes(node->BackgroundColor))) << "the node itself is drawn";
}

TEST_F(GuiDrawTest, TextWhollyBelowTheWindowIsNotDrawn)
{
    // A glyph with ink in the two top rows of its box: those rows reach into
    // the window when the text line lies just below it.
    int code = 0;
    for (int c = 33; c < 127 && !code; ++c) {
        const int32_t* r = Arial9_Font_Chars[c];
        for (int y = r[1]; y < r[1] + 2 && !code; ++y)
            for (int x = r[0]; x < r[0] + r[2]; ++x)
                if (Arial9_Font_Data[(y * 128 + x) * 2 + 1] == 255) code = c;
    }
    if (!code) GTEST_SKIP() << "no glyph reaches the top of its box";
    const std::string glyphs(8, char(code));

    for (int below : {0, 1}) {
        SCOPED_TRACE(below);
        App->Empty();
        TGui_Node* node = App->AddNode(nullptr, 100, 13);
        node->ClipToParent = false;
        node->DrawSurface = false;
        node->BorderWidth = 0;
        node->TextAlignment = 1;
        node->TextOffsetY = 0;
        node->SetName(glyphs.c_str(), false);
        // The name's text line (y = (13 - 9) / 2 = 2 in the node) lands at window row H + below.
        node->SetPosition(10, WindowH + below - 2);
        node->TextColor[0] = node->TextColor[1] = node->TextColor[2] = 1.0f;
        App->LayoutTree();
        node->SetupToDraw(false);
        node->Draw();
        glFinish();
        Pixels.assign(size_t(WindowW * WindowH * 4), 0);
        glReadPixels(0, 0, WindowW, WindowH, GL_RGBA, GL_UNSIGNED_BYTE, Pixels.data());
        int lit = 0;
        for (int y = WindowH - 3; y < WindowH; ++y)
            for (int x = 0; x < 200; ++x) lit += Near(At(x, y), TPixel{255, 255, 255});
        if (below == 0)
            EXPECT_GT(lit, 0) << "a text line at the bottom edge is drawn";
        else
            EXPECT_EQ(lit, 0);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
}

// [SECTION] Widgets

TEST_F(GuiDrawTest, AButtonsBevelIsLightTopLeftAndDarkBottomRightSwappedWhilePressed)
{
    App->BackgroundColor[1] = 0.6f;   // the dark edge must differ from the canvas
    TGui_Button* b = App->AddButton("OK", 100, 100, nullptr);
    b->AutoSize = false;
    b->SetSize(60, 24);
    for (bool pressed : {false, true}) {
        SCOPED_TRACE(pressed);
        if (pressed) App->ProcessMouseButton(0, 0, 130, 112, 0);
        Frame();
        EXPECT_EQ(b->Pressed, pressed);
        int top = Brightness(At(130, 100)), bottom = Brightness(At(130, 123));
        int left = Brightness(At(100, 112)), right = Brightness(At(159, 112));
        EXPECT_EQ(top > bottom, !pressed) << top << " " << bottom;
        EXPECT_EQ(left > right, !pressed) << left << " " << right;
    }
    App->ProcessMouseButton(0, 1, 130, 112, 0);
}

TEST_F(GuiDrawTest, AClickReachesTheButtonAtEveryPixelItDrewAndNotOneBeyond)
{
    App->BackgroundColor[1] = 0.6f;
    TGui_Button* b = App->AddButton("Go", 200, 150, nullptr);
    b->AutoSize = false;
    b->SetSize(50, 20);
    b->ClickEvent = new TQOREvent(801);
    Frame();
    const TPixel canvas = At(5, 5);
    // The drawn extent along the middle row and column, found from the pixels.
    int x0 = 300, x1 = 0, y0 = 200, y1 = 0;
    for (int x = 150; x < 300; ++x) {
        if (Near(At(x, 160), canvas)) continue;
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
    }
    for (int y = 130; y < 200; ++y) {
        if (Near(At(225, y), canvas)) continue;
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
    EXPECT_EQ(x1 - x0 + 1, 50);
    EXPECT_EQ(y1 - y0 + 1, 20);
    struct TCase {
        int X, Y;
        bool Hits;
    };
    const TCase cases[] = {{x0, 160, true},      {x1, 160, true},      {225, y0, true},      {225, y1, true},
                           {x0 - 1, 160, false}, {x1 + 1, 160, false}, {225, y0 - 1, false}, {225, y1 + 1, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
        QOREvents_Clean();
        App->ProcessMouseButton(0, 0, c.X, c.Y, 0);
        App->ProcessMouseButton(0, 1, c.X, c.Y, 0);
        EXPECT_EQ(QOREvents_GetEventCount(), c.Hits ? 1 : 0);
        App->Clock.Stop();
        App->Clock.SetTime(App->Clock.Read() + 1.0);   // no double clicks
    }
    QOREvents_Clean();
}

TEST_F(GuiDrawTest, AnOpenMenuShowsItsItemsTextAndItsDropShadow)
{
    App->BackgroundColor[0] = App->BackgroundColor[1] = App->BackgroundColor[2] = 0.5f;
    TGui_Menu* menu = App->AddMenu();
    TGui_MenuText* open = menu->AddTextItem("Open", nullptr, nullptr);
    menu->AddTextItem("Save", nullptr, nullptr);
    Frame();
    const TPixel canvas = At(300, 300);
    EXPECT_TRUE(Near(At(150, 150), canvas)) << "a hidden menu draws nothing";
    menu->Popup(nullptr, 100, 100);
    Frame();
    const TPixel surface = At(menu->AbsX + menu->Width - 3, open->AbsY + 1);
    int ink = 0;
    for (int y = open->AbsY; y < open->AbsY + open->Height; ++y)
        for (int x = open->AbsX; x < open->AbsX + open->Width; ++x)
            if (Brightness(At(x, y)) + 60 < Brightness(surface)) ++ink;
    EXPECT_GT(ink, 10) << "dark text on the light menu";
    int right = Brightness(At(menu->AbsX + menu->Width + 3, menu->AbsY + menu->Height / 2));
    int below = Brightness(At(menu->AbsX + menu->Width / 2, menu->AbsY + menu->Height + 3));
    EXPECT_LT(right, Brightness(canvas) - 20);
    EXPECT_LT(below, Brightness(canvas) - 20);
    EXPECT_TRUE(Near(At(menu->AbsX + menu->Width + 20, menu->AbsY + menu->Height / 2), canvas));
}

TEST_F(GuiDrawTest, AButtonWithAGraphicDrawsThePictureAndNoCaption)
{
    const int w = 30, h = 20;
    auto* pixels = static_cast<unsigned char*>(QORalloc(w * h * 3));
    for (int i = 0; i < w * h; ++i) {
        pixels[i * 3] = 255;
        pixels[i * 3 + 1] = 0;
        pixels[i * 3 + 2] = 0;
    }
    auto texture = std::make_unique<TQORglutTexture>(pixels, w, h, false);
    TGui_Button* b = App->AddButton("Caption that would show", 300, 200, nullptr);
    b->SetGraphic(texture.get());
    b->TextColor[0] = b->TextColor[1] = b->TextColor[2] = 1.0f;
    Frame();
    EXPECT_EQ(b->Width, w);
    EXPECT_EQ(b->Height, h);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) ASSERT_TRUE(Near(At(300 + x, 200 + y), TPixel{255, 0, 0})) << x << "," << y;
    App.reset();
}

} // namespace


// The layer window drawn in the real window (Xvfb with Mesa) and read back:
// the current layer's red marker and the layers' colour buttons.
#include "KSN_MainWindowGLTestSupport.h"

#include "GuiButton.h"
#include "GuiPanel.h"
#include "GuiText.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_PolygonLayer.h"
#include "KsnTestReadBack.h"

#include <GL/gl.h>

#include <array>
#include <string>

namespace {

class LayerWindowDrawn : public MainWindowGLFixture {
protected:
    // The colour most pixels of the node's inner area have.
    bool MostlyNear(TGui_Node* n, TPixel colour, int tolerance)
    {
        int near = 0, total = 0;
        for (int y = n->AbsY + 1; y < n->AbsY + n->Height - 1; ++y)
            for (int x = n->AbsX + 1; x < n->AbsX + n->Width - 1; ++x) {
                const TPixel p = At(x, y);
                ++total;
                bool ok = true;
                for (int c = 0; c < 3; ++c) ok = ok && std::abs(p[c] - colour[c]) <= tolerance;
                near += ok;
            }
        return total > 0 && near * 2 > total;
    }
};

TEST_F(LayerWindowDrawn, TheCurrentLayerShowsItsRedMarkerAndEveryLayerItsColour)
{
    for (int n = 1; n <= 29; ++n) Project->PolygonLayers[n]->SetEnabled(n <= 3);
    Project->PolygonLayers[3]->Color[0] = 0.0f;
    Project->PolygonLayers[3]->Color[1] = 1.0f;
    Project->PolygonLayers[3]->Color[2] = 0.0f;
    Project->ChangeLayer(2, false);

    TKSN_LayerWindow* window = MainWindow->LayerWindow;
    ASSERT_NE(window, nullptr);
    window->SetPosition(WindowW - 300, 60);
    window->SetSize(240, 400);
    window->Show();
    window->Update();
    if (DisplayLayersPanel->IsCollapsed()) DisplayLayersPanel->Toggle->OnClick(0, 0);
    window->Update();
    Layout();
    Frame();

    std::vector<TGui_Node*> rows;
    for (TGui_Node* c = DisplayLayersPanel->FirstChild; c; c = c->Next)
        if (dynamic_cast<TGui_Button*>(c)) rows.push_back(c);
    ASSERT_EQ(rows.size(), 4u);
    TGui_Node* marker = nullptr;
    TGui_Node* colour = nullptr;
    for (TGui_Node* c = rows[2]->FirstChild; c; c = c->Next)
        if (c->Width == 4) marker = c;
    for (TGui_Node* c = rows[3]->FirstChild; c; c = c->Next)
        if (c->X == 182) colour = c;
    ASSERT_NE(marker, nullptr);
    ASSERT_NE(colour, nullptr);
    EXPECT_TRUE(MostlyNear(marker, {255, 0, 0}, 40)) << "the current layer's marker is red";
    EXPECT_TRUE(MostlyNear(colour, {0, 255, 0}, 60)) << "layer 3's colour button shows its green";
    for (TGui_Node* c = rows[3]->FirstChild; c; c = c->Next) EXPECT_NE(c->Width, 4) << "only the current row has a marker";
}

} // namespace

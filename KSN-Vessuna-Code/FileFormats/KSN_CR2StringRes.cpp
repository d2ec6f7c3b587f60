// The string-resource tables of figure files.
#include "KSN_CR2StringRes.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Rows 1..N; "" marks a row whose text the tables leave empty.
constexpr std::string_view k1024[] = {
    "Body", "Head", "Neck", "Chest", "Abdomen", "Hip",
    "Left Thigh", "Left Shin", "Left Foot", "Right Thigh", "Right Shin", "Right Foot",
    "Left Shoulder", "Left Forearm", "Left Hand", "Right Shoulder", "Right Forearm", "Right Hand",
    "Left Collar", "Right Collar", "Jaw",
    "Left Pinky 1", "Left Pinky 2", "Left Pinky 3", "Left Ring 1", "Left Ring 2", "Left Ring 3",
    "Left Mid 1", "Left Mid 2", "Left Mid 3", "Left Index 1", "Left Index 2", "Left Index 3",
    "Left Thumb 1", "Left Thumb 2", "Left Thumb 3",
    "Right Pinky 1", "Right Pinky 2", "Right Pinky 3", "Right Ring 1", "Right Ring 2", "Right Ring 3",
    "Right Mid 1", "Right Mid 2", "Right Mid 3", "Right Index 1", "Right Index 2", "Right Index 3",
    "Right Thumb 1", "Right Thumb 2", "Right Thumb 3",
    "Left Toe", "Right Toe", "Neck 1", "Neck 2",
    "Right Finger 1", "Right Claw 1",
    "", "", "", "", "", "", "", "", "", "", "", "",   // 58-69
    "Left Toe 1", "Left Toe 2",
    "Tail 1", "Tail 2", "Tail 3", "Tail 4",
    "Left Up Arm", "Right Up Arm", "Left Wrist", "Right Wrist", "Lower Neck", "Upper Neck",
    "Left Leg", "Right Leg", "Left Ankle", "Right Ankle", "Waist",
    "Left Ear 1", "Right Ear 1", "Left Ear 2", "Right Ear 2", "Left Ear 3", "Right Ear 3",
    "Tail Fins", "Right Pect Fin", "Left Pect Fin",
    "Body 1", "Body 2", "Body 3", "Body 4", "Body 5",
    "Left Eye", "Right Eye",
    "InnerMatSphere", "outerMatSphere", "nullMatSphere",
};
static_assert(std::size(k1024) == 105);

constexpr std::string_view k1025[] = {
    "Main Camera", "Side Camera", "Top Camera", "Front Camera", "Posing Camera", "Dolly Camera",
    "Shadow Lite 1 Cam", "Shadow Lite 2 Cam", "Shadow Lite 3 Cam", "Right Camera", "Left Camera",
    "Face Camera", "LHand Camera", "RHand Camera", "Aux Camera", "Back Camera", "Bottom Camera",
    "Shadow Cam Lite 4",
};
static_assert(std::size(k1025) == 18);

constexpr std::string_view k1026[] = {
    "Ball", "Box", "Cane", "Stairs", "Torus", "Cyl", "Cone", "Square", "GROUND", "UNIVERSE",
};
static_assert(std::size(k1026) == 10);

constexpr std::string_view k1027[] = {"Light 1", "Light 2", "Light 3"};

constexpr std::string_view k1028[] = {
    "Taper", "Twist", "Side-Side", "Bend", "Scale", "xScale", "yScale", "zScale",
    "xRotate", "yRotate", "zRotate", "xTrans", "yTrans", "zTrans",
    "Focal", "Pitch", "Yaw", "Roll", "Red", "Green", "Blue", "Intensity", "Turn", "Front-Back",
    "DollyX", "DollyY", "DollyZ", "Shadow", "Map Size", "PanX", "PanY", "Zoom",
    "xTranB", "yTranB", "yTranB", "xOffset", "yOffset", "zOffset", "xOrbit", "yOrbit", "zOrbit",
    "Hand Type", "BreastSize", "OriginX", "OriginY", "OriginZ",
    "Fatness", "Grasp", "Thumb Grasp", "Spread", "Curve", "curve", "Up-Down",
};
static_assert(std::size(k1028) == 53);

constexpr std::string_view k1029[] = {
    "No Bump", "Male Muscle Bump", "Female Muscle Bump", "None", "Male Muscle Texture",
    "Female Muscle Texture", "Ground Default Texture",
    "male casual texture", "", "", "", "", "", "", "child casual texture",   // 8-15
    "ground Default Texture", "angelfishmap",
    "biz man texture",                                                       // 18
    "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",  // 19-43
    "raptor texture", "raptor texture", "wolfmap",
    "p4 man bump", "p4 man bump", "p4 man texture", "p4 man texture2",
    "p4 woman bump", "p4 woman bump", "p4 woman texture", "p4 woman texture2",
    "p4casboy", "p4casgirl", "p4infant", "p4nudboy", "p4nudgrl", "snakelo",
};
static_assert(std::size(k1029) == 60);

constexpr std::string_view k1037[] = {
    "Relaxed", "Cupped", "Limp", "Quirky relaxed", "Greetings", "Flat", "Coupled", "Reach", "Taut", "Spread",
    "Push", "Scratch", "Scrape", "Gnarled", "Fist", "Pont", "Gun Point", "Peace", "Pinky Point", "OK",
};
static_assert(std::size(k1037) == 20);

template <size_t N>
std::string Row(const std::string_view (&table)[N], int index)
{
    if (index < 1 || size_t(index) > N) return {};
    return std::string(table[index - 1]);
}

}  // namespace

std::string getStringRes1024(int index) { return Row(k1024, index); }
std::string getStringRes1025(int index) { return Row(k1025, index); }
std::string getStringRes1026(int index) { return Row(k1026, index); }
std::string getStringRes1028(int index) { return Row(k1028, index); }
std::string getStringRes1029(int index) { return Row(k1029, index); }
std::string getStringRes1037(int index) { return Row(k1037, index); }

std::string getStringRes(int table, int index)
{
    switch (table) {
    case 1024: return getStringRes1024(index);
    case 1025: return getStringRes1025(index);
    case 1026: return getStringRes1026(index);
    case 1027: return Row(k1027, index);
    case 1028: return getStringRes1028(index);
    case 1029: return getStringRes1029(index);
    case 1037: return getStringRes1037(index);
    case 1052: return index == 24 ? ":Runtime:Geometries:maleCasLo:maleCasLo.obj" : "";
    default: return {};
    }
}

void Mimic_GetStringRes(char* text, int table, int index)
{
    const std::string resource = getStringRes(table, index);
    if (resource.empty() || !text) return;
    const size_t n = resource.size() < 255 ? resource.size() : 255;
    std::memcpy(text, resource.data(), n);
    text[n] = '\0';
}

bool CR2_ResolveStringRes(std::string& text)
{
    int table = 0, index = 0;
    if (std::sscanf(text.c_str(), "GetStringRes(%d,%d)", &table, &index) != 2) return false;
    std::string resource = getStringRes(table, index);
    if (resource.empty()) return false;
    text = std::move(resource);
    return true;
}

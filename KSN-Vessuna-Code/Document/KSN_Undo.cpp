// The undo node, its links and validity, and the small payloads.
#include "KSN_Undo.h"

#include "KSN_Application.h"
#include "KSN_Undo_Paging.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORVirtualMemory.h"

#include <algorithm>
#include <cstring>

// [SECTION] Node

TKSN_Undo_Node::TKSN_Undo_Node() { StepNumber = App ? App->frameCounter : 0; }

TKSN_Undo_Node::~TKSN_Undo_Node() { delete Payload; }

void TKSN_Undo_Node::AddToEnd(TKSN_Undo_Node* node)
{
    TKSN_Undo_Node* last = GetLast();
    last->Next = node;
    node->Prev = last;
    node->Next = nullptr;
}

TKSN_Undo_Node* TKSN_Undo_Node::GetLast()
{
    // A damaged list that leads back into itself would never end: a second
    // pointer at half speed meets the first one exactly then.
    TKSN_Undo_Node* node = this;
    TKSN_Undo_Node* slow = this;
    bool advance = false;
    while (node->Next) {
        node = node->Next;
        if (advance) slow = slow->Next;
        advance = !advance;
        if (node == slow)
            QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_Undo_Node *", "Node", "UndoList");
    }
    return node;
}

void TKSN_Undo_Node::Unlink()
{
    if (Prev) Prev->Next = Next;
    if (Next) Next->Prev = Prev;
}

void TKSN_Undo_Node::SetMessage(const char* message)
{
    Message[0] = '\0';
    if (!message) return;
    const size_t length = std::min(std::strlen(message), sizeof(Message) - 1);
    std::memcpy(Message, message, length);
    Message[length] = '\0';
}

bool TKSN_Undo_Node::IsStillValid()
{
    switch (Kind) {
    case KSN_UNDO_SELECTION:
    case KSN_UNDO_DEFORMATION:
    case KSN_UNDO_TRANSFORM:
    case KSN_UNDO_MAP_ASSIGNMENTS:
    case KSN_UNDO_MODEL:
    case 1012:
    case KSN_UNDO_LAYER_ASSIGNMENTS:
    case KSN_UNDO_MATERIAL_ASSIGNMENTS:
    case KSN_UNDO_MATERIAL_STATES:
    case KSN_UNDO_GROUP_ASSIGNMENTS:
    case KSN_UNDO_GROUP_STATES:
        return ObjectID != 0 && dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(ObjectID)) != nullptr;
    case KSN_UNDO_PAINT: {
        if (!Payload) return true;
        auto* paint = dynamic_cast<TKSN_Undo_Node_Paint*>(Payload);
        if (!paint) return false;
        for (int i = paint->Maps.Count() - 1; i >= 0; --i) {
            const uint32_t id = paint->Maps[i]->MapSourceID;
            if (id && dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(id))) continue;
            delete paint->Maps[i];
            paint->Maps.Delete(i);
        }
        return paint->Maps.Count() > 0;
    }
    default:
        return true;
    }
}

// [SECTION] Small payloads

TKSN_LayerUndoNode::~TKSN_LayerUndoNode()
{
    QORfree(Values);
    QORVirtualMemory_Delete(VirtualMemoryHandle);
}

void TKSN_LayerUndoNode::PushDataToVirtualMemory()
{
    ksn_undo_paging::PushArray(Values, VirtualMemoryHandle, Count);
}

void TKSN_LayerUndoNode::PopDataFromVirtualMemory()
{
    ksn_undo_paging::PopArray(Values, VirtualMemoryHandle);
}

TKSN_MaterialStateUndoNode::~TKSN_MaterialStateUndoNode()
{
    for (int i = 0; Materials && i < Count; ++i) delete Materials[i];
    QORfree(Materials);
}

TKSN_GroupStateUndoNode::~TKSN_GroupStateUndoNode()
{
    for (int i = 0; Groups && i < Count; ++i) delete Groups[i];
    QORfree(Groups);
}

TKSN_MapAssignmentNode::~TKSN_MapAssignmentNode()
{
    QORfree(MaterialName);
    QORfree(ChannelName);
}

TKSN_MapAssignments::~TKSN_MapAssignments()
{
    for (TKSN_MapAssignmentNode* node : Nodes) delete node;
}

// The command layer: the pump's main function and the category handlers.
//
// Every menu item, hot key, button and handler asks for work by queueing a
// TQOREvent with a command id; the pump (KestruneEvents_ProcessEvents) runs
// them once per pass, and KestruneEvents_CommandCB, installed as the event
// queue's main function, routes each id by range to one category handler.
// Sources:
//   KestruneEvents.cpp            the dispatcher, its redraw table and its own ids
//   KestruneEvents_Update.cpp     interface refreshes (410-457)
//   KestruneEvents_Variables.cpp  live interface variables (15-116)
//   KSN_Commands_Tool.cpp         commands on the current tool (part of 15-116)
//   KSN_Commands_File.cpp         project file commands (365-409)
//   KSN_Commands_Object.cpp       object commands (191-206)
//   KSN_Commands_Morph.cpp        morph commands (207-224)
//   KSN_Commands_Material.cpp     material and polygon group commands (349-364)
//   KSN_Commands_Drop.cpp         drops on the Manager tab's trees (2-6)
//   KSN_Commands_Selection*.cpp   selection commands (225-258)
//   KSN_Commands_Layer.cpp        layer commands (315-348)
//
// Invariants:
// - Every handler returns true when the command was carried out or has
//   nothing to do, false when it was refused; the pump ignores the result.
// - Handlers never touch widgets to show a change: they queue the refresh
//   commands. Main thread only; the queue is not locked.
#pragma once

#include <cstdint>

class TQOREvent;

// The main event function: routes one command; false without a main window.
bool KestruneEvents_CommandCB(TQOREvent* event);
// Told of every command the dispatcher receives (tests listen here); null: none.
extern void (*KestruneEvents_CommandListener)(TQOREvent* event);
// Installs the dispatcher as the queue's main function and the pump's redisplay.
void KestruneEvents_Install();

// The per-command table: bit 0 marks the ids that make every viewport stale.
extern int32_t Kestrune_EventProperties[491];
extern bool Kestrune_Events_Initialized;
void Kestrune_InitializeEvents();
// Redisplays the dispatcher has posted (for the frame cycle and tests).
extern int KestruneEvents_RedisplayCount;
void KestruneEvents_PostRedisplay();

// Category handlers, by id range.
bool Kestrune_Events_SystemCB(TQOREvent* event);              // 182-190
bool Kestrune_Events_ObjectCB(TQOREvent* event);              // 191-206
bool Kestrune_Events_MorphCB(TQOREvent* event);               // 207-224
bool Kestrune_Events_SelectionCB(TQOREvent* event);           // 225-258
bool Kestrune_Events_ViewportCB(TQOREvent* event);            // 259-314
bool Kestrune_Events_LayerCB(TQOREvent* event);               // 315-348
bool Kestrune_Events_MaterialCB(TQOREvent* event);            // 349-357
bool Kestrune_Events_GroupCB(TQOREvent* event);               // 358-364
bool Kestrune_Events_FileIOCB(TQOREvent* event);              // 365-409
bool Kestrune_Events_UpdateInterfaceCB(TQOREvent* event);     // 410-457
bool Kestrune_Events_VariousInterfaceACB(TQOREvent* event);   // 478-490
bool Kestrune_Events_MapsCB(TQOREvent* event);                // 458-477
bool Kestrune_Events_InterfaceVariablesCB(TQOREvent* event);  // 15-116
bool Kestrune_Events_SystemWindowCB(TQOREvent* event);        // -10000 to -9988

// The current-tool ids of the live-variable range (33-35, 52-54, 68-70,
// 103-115); false for any other id.
bool Kestrune_Events_ToolCommandCB(TQOREvent* event, bool* handled);

// Shared shapes of the live variables: mode 0 writes the value into the
// event, mode 1 stores the event's value (then pushes followUp when not 0).
void ProcessLiveBoolEvent(TQOREvent* event, bool* variable, int32_t followUp);
void ProcessLiveFloatEvent(TQOREvent* event, float* variable);
// Float to int: halves round up for 0 and above; negatives are truncated.
int32_t KSN_RoundForInterface(float value);

// TODO(stub): stands for the central command handler of the command-handler
// subsystem until it exists. Only the commands that start-up, the first
// frame, the main window's frame cycle and its menus raise are handled: 121
// (end of start-up), 369 (open the start file), 140 and 141 (resizing), 146
// (redisplay), 446 (close the splash), 143 to 145 (the CR2 wizard's choices)
// and the menus' refresh commands 8, 422 to 429, 432 and 433.
#pragma once

class TQOREvent;

// The main event function: true when the command was handled.
bool KestruneEvents_CommandCB(TQOREvent* event);
// Told of every command before it is handled (tests listen here); null: none.
extern void (*KestruneEvents_CommandListener)(TQOREvent* event);

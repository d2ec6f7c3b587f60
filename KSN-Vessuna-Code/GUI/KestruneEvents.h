// TODO(stub): stands for the central command handler of the command-handler
// subsystem until it exists. Only the commands that start-up and the first
// frame raise are handled: 121 (end of start-up) and 369 (open the start file).
#pragma once

class TQOREvent;

// The main event function: true when the command was handled.
bool KestruneEvents_CommandCB(TQOREvent* event);

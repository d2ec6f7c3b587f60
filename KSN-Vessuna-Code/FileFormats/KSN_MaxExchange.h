// The exchange with the 3DS Max plug-in through files in the system's
// temporary folder.
//
// Every exchange file is the transport prefix - the temporary folder, the 13
// characters "KSN-Transport" and a backslash - followed by a fixed name; on
// systems where the backslash is no folder separator it is part of each
// file name, and the plug-in relies on those names exactly. Nothing is
// locked: each side writes a flag file, the other polls for it, acts and
// deletes it.
//
//   Max2KSN.sending / .please.send / .please.sync   flags of the plug-in
//   Max2KSN.script                                   the plug-in's transfer script
//   <OBJ path>.materials                             one transferred object's materials
//   KSN2MAX.script, KSN2Max.sending                  the program's changes and their flag
//   KSN-Transport-Finished.flag                      a receive, send or map save is done
//
// One value per line, LF line ends; lines are read whole, so a long OBJ path
// never shifts the script's name and path pairs. Numbers are "%d" or "%.8f".
// Main thread only; the send command waits for the plug-in, asking the user
// every 2 seconds whether to go on waiting.
#pragma once

#include <cstdio>
#include <string>

class TQOREvent;
class TQORMaterial;

// The version the program writes and the plug-in must match: 4.2.8.0.
inline constexpr const char* KSN_InterApp_Version = "4.2.8.0";

// Commands: 0 receive the plug-in's objects, 1 send the changes, 2 save the
// maps, 3 poll the flag files; any other number does nothing and answers true.
bool KSN_InterApp_CommandCB(int command);
// The event-callback form: runs the command the event carries.
bool KSN_InterApp_CommandCB(TQOREvent* event);

// One channel record: name (first line), map file name, strength, red,
// green, blue. A material without the channel is warned about and gets the
// record "Error", "", 1, 1, 1, 1.
void WriteChannelToFile(FILE* file, const char* name, const char* channelName, TQORMaterial* material);
// Reads one record (its first line is not used) into the material's channel
// named channelName; without that channel the values are dropped. Values
// missing at the end of the file read as empty (0).
void ReadChannelFromFile(FILE* file, const char* channelName, TQORMaterial* material);

// The temporary folder with its separator, "KSN-Transport" and a backslash.
std::string KSN_InterApp_TransportPrefix();

// Registers the poll (command 3) with the project's idle work; once at start-up.
void KSN_RegisterInterAppExchange();


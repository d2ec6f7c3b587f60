// What the document's sources ask of the application object, in calls that
// need no application header: KSN_Application.h and the selection header
// (KSN_Selection.h, through KSN_Mesh.h) each declare their own selection-type
// enum, so one source cannot include both. Each call answers as an
// application without tools and viewports does while `App` is null.
#pragma once

class TKSN_Tool;
class TKSN_Viewport;

TKSN_Tool* KSN_ProjectApp_CurrentTool();
// The application's viewport 0..3, or null.
TKSN_Viewport* KSN_ProjectApp_Viewport(int index);
// The index (0..3) of the viewport among the application's four, or -1.
int KSN_ProjectApp_ViewportIndex(const TKSN_Viewport* viewport);
void KSN_ProjectApp_InvalidateVertexCulling();
// Empties the search folders taken from loaded files.
void KSN_ProjectApp_ClearDocumentSearchPaths();
void KSN_ProjectApp_RestartSaveReminder();
void KSN_ProjectApp_WarningNoCurrentObject(bool pushCommand);

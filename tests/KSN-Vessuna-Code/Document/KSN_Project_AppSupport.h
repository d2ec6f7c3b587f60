// The application object for the document tests (see KSN_Project_AppSupport_test.cpp).
#pragma once

class TKSN_Tool;
class TKSN_Viewport;

// Makes `App` (HOME should be a test folder); Delete ends it and clears `App`.
void KSN_TestApp_Create();
void KSN_TestApp_Delete();
void KSN_TestApp_SetCurrentTool(TKSN_Tool* tool);
TKSN_Viewport* KSN_TestApp_Viewport(int index);
// A viewport that is none of the application's four.
TKSN_Viewport* KSN_TestApp_NewStrayViewport();
void KSN_TestApp_DeleteStrayViewport(TKSN_Viewport* viewport);

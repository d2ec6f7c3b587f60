# The GLUT-like layer, the window host, the GUI graphics, the OpenGL driver
# test and the message hooks.
ksn_add_test(NAME KSN_Glut_tests SOURCES QORglut_test.cpp LIBS KSN_Shell)
ksn_add_test(NAME KSN_ShellServices_tests
  SOURCES KSN_GuiGraphics_test.cpp KSN_OpenGLTest_test.cpp KSN_MessageHooks_test.cpp KSN_ShellTestMain.cpp
  LIBS KSN_Shell KSN_Render KSN_Tools_Sculpt ksn_test_support)
target_compile_definitions(KSN_ShellServices_tests PRIVATE KSN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
ksn_add_test(NAME KSN_WX_tests SOURCES KSN_WX_test.cpp LIBS KSN_Shell KSN_Render KSN_Tools_Sculpt ksn_test_support GL)
target_compile_definitions(KSN_WX_tests PRIVATE KSN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

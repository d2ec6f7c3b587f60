# The start-up services: window placement, launcher refresh, dialog hooks,
# the viewport-dependent cancel and the last-word splitter.
ksn_add_test(NAME KSN_Startup_tests SOURCES KSN_Startup_test.cpp LIBS KSN_Shell KSN_Render KSN_Tools_Sculpt ksn_test_support)

# Adds every direct or nested subfolder of DIR that holds a CMakeLists.txt
# (nested: KSN-Vessuna-Code/Tools/Sculpt).
function(ksn_add_subdirectories dir)
  file(GLOB_RECURSE lists CONFIGURE_DEPENDS
       RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(l IN LISTS lists)
    get_filename_component(sub ${l} DIRECTORY)
    add_subdirectory(${sub})
  endforeach()
endfunction()

# ksn_add_test(NAME <target> SOURCES ... LIBS ... [GL])
# A GoogleTest executable registered with CTest. GL tests need a display:
# the suite runs under xvfb-run, and the label lets them be picked out.
function(ksn_add_test)
  cmake_parse_arguments(T "GL" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(labels unit)
  if(T_GL)
    set(labels gl)
  endif()
  set(properties LABELS "${labels}" TIMEOUT 300)
  if(KSN_SANITIZE AND T_GL)
    # The display stack (Mesa, GTK, fontconfig, D-Bus) keeps allocations to
    # the end of the process; leak reports there are not ours. Everything
    # else AddressSanitizer checks stays on.
    list(APPEND properties ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  endif()
  gtest_discover_tests(${T_NAME}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ${properties}
    DISCOVERY_TIMEOUT 60)
endfunction()

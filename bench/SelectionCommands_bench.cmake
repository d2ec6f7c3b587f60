set(SelectionCommands_bench_LIBS KSN_GUI)
# The project needs the default brush shape from the source tree's main folder.
set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/SelectionCommands_bench.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS KSN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# One level of subdivision next to OpenSubdiv on the same quads, when
# OpenSubdiv (libosd-dev) is installed; without it only our side is measured.
# Found by header and library: Debian's package config names a static library
# the package does not ship.
find_path(KSN_OPENSUBDIV_INCLUDE_DIR opensubdiv/far/topologyRefiner.h)
find_library(KSN_OPENSUBDIV_CPU_LIBRARY osdCPU)
add_library(ksn_subd_bench_osd INTERFACE)
if(KSN_OPENSUBDIV_INCLUDE_DIR AND KSN_OPENSUBDIV_CPU_LIBRARY)
  target_include_directories(ksn_subd_bench_osd INTERFACE ${KSN_OPENSUBDIV_INCLUDE_DIR})
  target_link_libraries(ksn_subd_bench_osd INTERFACE ${KSN_OPENSUBDIV_CPU_LIBRARY})
  target_compile_definitions(ksn_subd_bench_osd INTERFACE KSN_HAVE_OPENSUBDIV=1)
endif()
set(SubD_bench_LIBS KSN_Scene ksn_subd_bench_osd)

# Our OBJ import against a second reader, when that one is installed.
set(ObjRead_bench_LIBS KSN_FileFormats)
find_package(tinyobjloader QUIET)
if(TARGET tinyobjloader::tinyobjloader)
  list(APPEND ObjRead_bench_LIBS tinyobjloader::tinyobjloader)
endif()

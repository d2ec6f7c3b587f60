set(KSN_MapPixels_bench_LIBS KSN_GUI)

set(ViewportPanel_bench_LIBS KSN_GUI)

set(KSN_Render_bench_LIBS KSN_Render)

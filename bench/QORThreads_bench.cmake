set(QORThreads_bench_LIBS QORThreads)

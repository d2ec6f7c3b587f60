set(QORImage_bench_LIBS QORImage)

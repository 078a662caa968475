# dBase benchmark (included from bench/CMakeLists.txt): bin/bench_dbase SCRATCH_DIR [RECORDS]
add_executable(bench_dbase ${CMAKE_CURRENT_LIST_DIR}/dbase_bench.cpp)
target_link_libraries(bench_dbase PRIVATE quillora_tables_dbase Qt6::Core)

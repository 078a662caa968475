# dBase index upkeep benchmark (included from bench/CMakeLists.txt): bin/bench_dbase_index SCRATCH_DIR [RECORDS]
add_executable(bench_dbase_index ${CMAKE_CURRENT_LIST_DIR}/dbase_index_bench.cpp)
target_link_libraries(bench_dbase_index PRIVATE quillora_tables_dbase Qt6::Core)

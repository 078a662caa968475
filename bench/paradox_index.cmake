# Cost of keeping a keyed Paradox table's secondary indexes (included from bench/CMakeLists.txt):
# bin/bench_paradox_index SCRATCH_DIR [RECORDS].
add_executable(bench_paradox_index ${CMAKE_CURRENT_LIST_DIR}/paradox_index_bench.cpp)
target_link_libraries(bench_paradox_index PRIVATE quillora_tables_paradox Qt6::Core)

# Building the spatial matrix and one relational resolution over it, at 1,000 and
# 10,000 entries.
add_executable(spatial_bench ${CMAKE_CURRENT_LIST_DIR}/spatial_bench.cpp)
target_link_libraries(spatial_bench PRIVATE quillfen_layout_mapper quillfen_relation_solver benchmark::benchmark)

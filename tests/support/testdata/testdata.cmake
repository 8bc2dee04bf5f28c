# kestrel_testdata: generated test text for tests, benchmarks and kxtool (no GoogleTest needed).
add_library(kestrel_testdata STATIC ${CMAKE_CURRENT_LIST_DIR}/generated_text.cpp)
target_include_directories(kestrel_testdata PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(kestrel_testdata PUBLIC kestrel_host)

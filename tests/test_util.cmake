# The helpers the tests and the fuzz target share (files, texts, bitmaps,
# the symbol checker), built once as a static library.
if(NOT TARGET qrimage_test_util)
  add_library(qrimage_test_util STATIC
    ${CMAKE_CURRENT_LIST_DIR}/test_util.cpp
    ${CMAKE_CURRENT_LIST_DIR}/symbol_checker.cpp)
  target_include_directories(qrimage_test_util PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(qrimage_test_util PUBLIC qrimage_internal PRIVATE qrimage_warnings)
endif()

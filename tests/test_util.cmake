# The helpers the tests and the fuzz target share (files, texts, bitmaps,
# the symbol checker), built once as a static library, and the host of the
# shared library that makes QRImage calls in a process of its own.
if(NOT TARGET qrimage_test_util)
  add_executable(qrimage_reference_bitmap ${CMAKE_CURRENT_LIST_DIR}/end_to_end/reference_bitmap.cpp)
  # The static library in cross builds, whose programs are linked statically.
  target_link_libraries(qrimage_reference_bitmap
    PRIVATE $<IF:$<BOOL:${CMAKE_CROSSCOMPILING}>,qrimage_static,qrimage> qrimage_warnings)
  add_library(qrimage_test_util STATIC
    ${CMAKE_CURRENT_LIST_DIR}/test_util.cpp
    ${CMAKE_CURRENT_LIST_DIR}/symbol_checker.cpp)
  target_include_directories(qrimage_test_util PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(qrimage_test_util PUBLIC qrimage_test_forms PRIVATE qrimage_warnings)
  target_compile_definitions(qrimage_test_util
    PRIVATE QRIMAGE_REFERENCE_BITMAP="$<TARGET_FILE:qrimage_reference_bitmap>")
  add_dependencies(qrimage_test_util qrimage_reference_bitmap)
endif()

# Windows settings for qrimage.dll, included by the top-level CMakeLists.txt
# after the library targets exist.

# The export table comes from a .def file alone: on 32-bit Windows the one
# export is the decorated stdcall name _QRImage@12 at ordinal 1, on 64-bit
# it is QRImage.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QRIMAGE_DEF_FILE ${PROJECT_SOURCE_DIR}/src/api/qrimage32.def)
else()
  set(QRIMAGE_DEF_FILE ${PROJECT_SOURCE_DIR}/src/api/qrimage64.def)
endif()
target_sources(qrimage PRIVATE ${QRIMAGE_DEF_FILE})

# qrimage.dll (not libqrimage.dll), with the import library beside it.
set_target_properties(qrimage PROPERTIES PREFIX "" IMPORT_PREFIX "lib")

# Inside the library the header declares QRImage without dllimport; code
# linked against the static library sees it the same way.
target_compile_definitions(qrimage_objects PRIVATE QRIMAGE_STATIC)
target_compile_definitions(qrimage_static PUBLIC QRIMAGE_STATIC)

# The C++ runtime is linked in, so the DLL and the tool need nothing but
# system DLLs.
target_link_options(qrimage PRIVATE -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
if(TARGET qrimage_tool)
  target_link_options(qrimage_tool PRIVATE -static-libgcc -static-libstdc++)
endif()

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

# The library needs no C or C++ runtime: it allocates nothing, prints
# nothing and throws nothing. The DLL is linked without one (its entry
# point and memset are in dll_runtime.cpp), imports from KERNEL32.dll only
# and takes from libgcc only the helpers the compiler calls (stack probes,
# 64-bit bit counts on 32-bit). No exception tables either; 64-bit Windows
# keeps its unwind tables, which the system itself uses.
target_sources(qrimage PRIVATE ${PROJECT_SOURCE_DIR}/src/api/dll_runtime.cpp)
target_link_libraries(qrimage PRIVATE qrimage_warnings)
target_compile_options(qrimage PRIVATE -fno-exceptions -fno-rtti)
# -O3 copies and unrolls the loops of the mask search until the DLL no
# longer fits in 64 KB; what makes it faster than -O2 is the vectoriser's
# full cost model, which is kept. (The 32-bit DLL has no vector unit to
# use: it runs on any i686.)
target_compile_options(qrimage_objects PRIVATE
  "$<$<CONFIG:Release>:-O2;-fvect-cost-model=dynamic>")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(qrimage_objects PRIVATE -fno-asynchronous-unwind-tables)
  target_compile_options(qrimage PRIVATE -fno-asynchronous-unwind-tables)
  set(QRIMAGE_DLL_ENTRY _DllMainCRTStartup@12)
else()
  set(QRIMAGE_DLL_ENTRY DllMainCRTStartup)
endif()
# A section per function lets --gc-sections drop what QRImage does not reach
# (a section per object would pad the DLL's data instead). In the 64-bit
# DLL every function's unwind entry keeps it, so what only the tests or the
# tool call is built into libraries of their own, never into these objects.
target_compile_options(qrimage_objects PRIVATE -ffunction-sections)
target_link_options(qrimage PRIVATE -nostdlib -Wl,--entry,${QRIMAGE_DLL_ENTRY}
  -Wl,--gc-sections -Wl,--no-insert-timestamp)
target_link_libraries(qrimage PRIVATE kernel32 gcc)

# The DLL ships stripped; its symbols and debug information go to
# qrimage.dll.debug beside it, which debuggers find through the link the
# DLL keeps to it.
add_custom_command(TARGET qrimage POST_BUILD
  COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:qrimage> $<TARGET_FILE:qrimage>.debug
  COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE:qrimage>.debug
    $<TARGET_FILE:qrimage>
  WORKING_DIRECTORY $<TARGET_FILE_DIR:qrimage>
  VERBATIM)

# The tool links the C++ runtime in, so it needs nothing but system DLLs.
if(TARGET qrimage_tool)
  target_link_options(qrimage_tool PRIVATE -static-libgcc -static-libstdc++)
endif()

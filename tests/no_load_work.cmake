# Loading and unloading the shared library must do no work: no dynamic
# initialiser (a global whose constructor runs at load) and no registered
# destructor (one that would run at unload).
# Usage: cmake -DNM=nm -DLIBRARY=libqrimage.so -P no_load_work.cmake
execute_process(COMMAND ${NM} ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]*(_GLOBAL__sub_I|__cxa_atexit|[ _]atexit)[^\n]*" found "${symbols}")
if(found)
  message(FATAL_ERROR "load or unload work in ${LIBRARY}:\n${found}")
endif()

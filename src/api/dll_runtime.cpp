// qrimage.dll is linked without a C or C++ runtime: the library allocates
// nothing, prints nothing and throws nothing, so the two things it needs
// from one are here instead.
#include <windows.h>

#include <cstddef>

// Clearing and copying work buffers compiles to memset and memcpy calls.
// rep stosb and rep movsb work upwards from the start: the direction flag
// is clear on entry to every function on Windows.
extern "C" void* memset(void* destination, int value, std::size_t count) {
  void* cursor = destination;
  asm volatile("rep stosb" : "+D"(cursor), "+c"(count) : "a"(value) : "memory");
  return destination;
}

extern "C" void* memcpy(void* destination, const void* source, std::size_t count) {
  void* to = destination;
  asm volatile("rep movsb" : "+D"(to), "+S"(source), "+c"(count) : : "memory");
  return destination;
}

// The entry point: no static object needs construction or destruction,
// so attaching and detaching have nothing to do.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

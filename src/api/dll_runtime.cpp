// qrimage.dll is linked without a C or C++ runtime: the library allocates
// nothing, prints nothing and throws nothing, so the two things it needs
// from one are here instead.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Clearing and copying work buffers compiles to memset and memcpy calls.
// The string instructions work upwards from the start: the direction flag
// is clear on entry to every function on Windows.

// Whole machine words first, then the few bytes left: a fraction of the
// steps of a byte-wise fill where the processor (or an emulator) runs the
// repetitions one by one.
extern "C" void* memset(void* destination, int value, std::size_t count) {
  const std::uintptr_t pattern =
      static_cast<unsigned char>(value) * (~std::uintptr_t{0} / 0xFF);  // the byte in every lane
  void* cursor = destination;
  std::size_t words = count / sizeof pattern;
  std::size_t bytes = count % sizeof pattern;
#ifdef _WIN64
  asm volatile("rep stosq" : "+D"(cursor), "+c"(words) : "a"(pattern) : "memory");
#else
  asm volatile("rep stosl" : "+D"(cursor), "+c"(words) : "a"(pattern) : "memory");
#endif
  asm volatile("rep stosb" : "+D"(cursor), "+c"(bytes) : "a"(pattern) : "memory");
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

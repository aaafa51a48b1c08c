# Build for 32-bit x86 Linux with GCC (Debian: g++-multilib):
# plain i686 code without SSE2, so every routine takes its scalar path,
# linked statically; the programs run under qemu-i386 (Debian: qemu-user).
#   cmake -S . -B build/i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -march=i686")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=i686")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
find_program(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)

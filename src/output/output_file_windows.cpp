// Windows file operations: the path is read in the calling thread's ANSI
// code page and opened through the wide-character API.
#include "output/output_file.h"

namespace qrimage {

bool OpenOutputFile(const char* path, OutputFile& file) {
  if (path == nullptr || path[0] == '\0') {
    return false;
  }
  // A converted path of 260 characters or more does not fit (with its
  // terminator) and is refused before the file system is asked.
  const int converted =
      MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, file.widePath, kMaxPathLength);
  if (converted <= 0) {
    return false;
  }
  SECURITY_ATTRIBUTES security = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  file.handle = CreateFileW(file.widePath, GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  file.isRegularFile = GetFileType(file.handle) == FILE_TYPE_DISK;
  return true;
}

bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count) {
  DWORD written = 0;
  return WriteFile(file.handle, bytes, static_cast<DWORD>(count), &written, nullptr) &&
         written == count;
}

bool CloseOutputFile(OutputFile& file) {
  return CloseHandle(file.handle) != 0;
}

void DiscardOutputFile(OutputFile& file, bool stillOpen) {
  if (stillOpen) {
    // Empty the file first: if it cannot be deleted (another program has
    // it open, or the folder may not be changed), no partial bitmap is left.
    if (file.isRegularFile) {
      LARGE_INTEGER start = {};
      if (SetFilePointerEx(file.handle, start, nullptr, FILE_BEGIN)) {
        SetEndOfFile(file.handle);
      }
    }
    CloseHandle(file.handle);
  }
  if (file.isRegularFile) {
    DeleteFileW(file.widePath);
  }
}

}  // namespace qrimage

// Windows file operations: the path is read in the calling thread's ANSI
// code page and opened through the wide-character API.
#include "output/output_file.h"

namespace qrimage {

void StartOutputRecord(OutputFile& file) {
  file.handle = INVALID_HANDLE_VALUE;
  file.isRegularFile = false;
  file.isStandardOutput = false;
  file.error = 0;
}

bool OpenOutputFile(const char* path, OutputFile& file) {
  StartOutputRecord(file);
  if (path == nullptr || path[0] == '\0') {
    file.error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  // A converted path of 260 characters or more does not fit (with its
  // terminator) and is refused before the file system is asked.
  const int converted =
      MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, file.widePath, kMaxPathLength);
  if (converted <= 0) {
    file.error = GetLastError();
    return false;
  }
  // The handle is inheritable, as hosts of this DLL have always had it; a
  // program the host starts during the call inherits it (the header says so).
  SECURITY_ATTRIBUTES security = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  file.handle = CreateFileW(file.widePath, GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE) {
    file.error = GetLastError();
    return false;
  }
  file.isRegularFile = GetFileType(file.handle) == FILE_TYPE_DISK;
  return true;
}

bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count) {
  DWORD written = 0;
  if (!WriteFile(file.handle, bytes, static_cast<DWORD>(count), &written, nullptr)) {
    file.error = GetLastError();
    return false;
  }
  // A request that moved fewer bytes but succeeded sets no error code:
  // GetLastError would give one left over from an earlier call. It is
  // recorded as a failure the system gave no code for.
  if (written != count) {
    file.error = 0;
    return false;
  }
  return true;
}

bool CloseOutputFile(OutputFile& file) {
  if (file.isStandardOutput) {
    return true;
  }
  if (!CloseHandle(file.handle)) {
    file.error = GetLastError();
    return false;
  }
  return true;
}

void DiscardOutputFile(OutputFile& file, bool stillOpen) {
  if (file.isStandardOutput) {
    return;
  }
  if (!file.isRegularFile) {
    if (stillOpen) {
      CloseHandle(file.handle);
    }
    return;
  }
  // After a failed close the file is opened again by its name, to empty it
  // and to count its names.
  const HANDLE handle = stillOpen
                            ? file.handle
                            : CreateFileW(file.widePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return;
  }
  // Empty the file first: if its name is kept or cannot be deleted (another
  // program has it open, or the folder may not be changed), no partial
  // bitmap is left.
  LARGE_INTEGER start = {};
  if (SetFilePointerEx(handle, start, nullptr, FILE_BEGIN)) {
    SetEndOfFile(handle);
  }
  // The name is deleted only if it is the file's one and only name:
  // deleting a symbolic link would leave its target behind, deleting one of
  // several hard links the others; the attributes are those of the name
  // itself, not of a link's target. The handle's access (writing only)
  // allows no deletion through it, so the name is deleted after the handle
  // is closed, and nothing checks that it still leads to this file: one
  // that another program moved to the name in between would be deleted.
  BY_HANDLE_FILE_INFORMATION information;
  const DWORD attributes = GetFileAttributesW(file.widePath);
  const bool onlyName = GetFileInformationByHandle(handle, &information) &&
                        information.nNumberOfLinks == 1 && attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  CloseHandle(handle);
  if (onlyName) {
    DeleteFileW(file.widePath);
  }
}

}  // namespace qrimage

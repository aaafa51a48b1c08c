// Windows file operations: the path is read in the calling thread's ANSI
// code page and opened through the wide-character API.
#include "output/output_file.h"

namespace qrimage {
namespace {

void StartRecord(OutputFile& file) {
  file.handle = INVALID_HANDLE_VALUE;
  file.isRegularFile = false;
  file.isStandardOutput = false;
  file.replacing = false;
  file.error = 0;
}

// Writes `path`, a dot and `number` in hex to `to` (the library has no C
// runtime to format it). The caller has room for kTemporarySuffixLength
// more characters than the path.
void TemporaryName(wchar_t* to, const wchar_t* path, unsigned long long number) {
  while (*path != L'\0') {
    *to++ = *path++;
  }
  *to++ = L'.';
  for (int shift = 60; shift >= 0; shift -= 4) {
    *to++ = L"0123456789abcdef"[(number >> shift) & 0xF];
  }
  *to = L'\0';
}

}  // namespace

bool OpenReplacement(const char* path, OutputFile& file, ReplacementNames&) {
  StartRecord(file);
  if (path == nullptr || path[0] == '\0' ||
      MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, file.targetPath, kMaxPathLength) <= 0) {
    return false;
  }
  // Only an existing plain file with one name; links and the rest are
  // written in place.
  const DWORD attributes = GetFileAttributesW(file.targetPath);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return false;
  }
  const HANDLE old = CreateFileW(file.targetPath, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (old == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information;
  const bool plain = GetFileType(old) == FILE_TYPE_DISK &&
                     GetFileInformationByHandle(old, &information) &&
                     information.nNumberOfLinks == 1;
  CloseHandle(old);
  if (!plain) {
    return false;
  }
  // The new file beside it: the name with a suffix no other writer picks.
  static volatile LONG counter = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    TemporaryName(file.widePath, file.targetPath,
                  static_cast<unsigned long long>(GetCurrentProcessId()) << 32 |
                      static_cast<unsigned long>(InterlockedIncrement(&counter)));
    file.handle = CreateFileW(file.widePath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle != INVALID_HANDLE_VALUE) {
      file.isRegularFile = true;
      file.replacing = true;
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  return false;
}

bool OpenStandardOutput(OutputFile& file) {
  StartRecord(file);
  file.handle = GetStdHandle(STD_OUTPUT_HANDLE);
  file.isStandardOutput = true;
  if (file.handle == nullptr || file.handle == INVALID_HANDLE_VALUE) {
    file.error = file.handle == nullptr ? ERROR_INVALID_HANDLE : GetLastError();
    return false;
  }
  return true;
}

bool OpenOutputFile(const char* path, OutputFile& file) {
  StartRecord(file);
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
  if (WriteFile(file.handle, bytes, static_cast<DWORD>(count), &written, nullptr) &&
      written == count) {
    return true;
  }
  file.error = GetLastError();
  return false;
}

bool CloseOutputFile(OutputFile& file) {
  if (file.isStandardOutput) {
    return true;
  }
  if (!CloseHandle(file.handle) ||
      (file.replacing && !MoveFileExW(file.widePath, file.targetPath, MOVEFILE_REPLACE_EXISTING))) {
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
  // several hard links the others. The handle, which does not share
  // deletion, keeps the name from being moved or deleted meanwhile; the
  // attributes are those of the name itself, not of a link's target.
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

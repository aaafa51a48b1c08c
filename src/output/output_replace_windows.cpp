// Windows: a replacement is made beside its target and moved over it.
#include "output/output_replace.h"

namespace qrimage {
namespace {

// Writes `path`, a dot and `number` in hex to `to`. The caller has room for kTemporarySuffixLength
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
  StartOutputRecord(file);
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
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  return false;
}

bool OpenStandardOutput(OutputFile& file) {
  StartOutputRecord(file);
  file.handle = GetStdHandle(STD_OUTPUT_HANDLE);
  file.isStandardOutput = true;
  if (file.handle == nullptr || file.handle == INVALID_HANDLE_VALUE) {
    file.error = file.handle == nullptr ? ERROR_INVALID_HANDLE : GetLastError();
    return false;
  }
  return true;
}

bool MoveIntoPlace(OutputFile& file) {
  if (!MoveFileExW(file.widePath, file.targetPath, MOVEFILE_REPLACE_EXISTING)) {
    file.error = GetLastError();
    return false;
  }
  return true;
}

}  // namespace qrimage

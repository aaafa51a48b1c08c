// Windows: a replacement is made beside its target and moved over it.
#include "output/output_replace.h"

namespace qrimage {
namespace {

// Writes the folder of `path`, then ".qrimage-" and `number` in hex, to `to`:
// a name of fixed length, which fits wherever the target's name does. The
// caller has room for kTemporarySuffixLength more characters than the path.
void TemporaryName(wchar_t* to, const wchar_t* path, unsigned long long number) {
  const wchar_t* folderEnd = path;
  for (const wchar_t* at = path; *at != L'\0'; ++at) {
    if (*at == L'\\' || *at == L'/' || *at == L':') {
      folderEnd = at + 1;
    }
  }
  while (path != folderEnd) {
    *to++ = *path++;
  }
  for (const wchar_t* prefix = L".qrimage-"; *prefix != L'\0';) {
    *to++ = *prefix++;
  }
  for (int shift = 60; shift >= 0; shift -= 4) {
    *to++ = L"0123456789abcdef"[(number >> shift) & 0xF];
  }
  *to = L'\0';
}

Replacement Refuse(OutputFile& file, DWORD error) {
  file.error = error;
  return Replacement::kRefused;
}

}  // namespace

Replacement OpenReplacement(const char* path, OutputFile& file, ReplacementNames&) {
  StartOutputRecord(file);
  if (path == nullptr || path[0] == '\0' ||
      MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, file.targetPath, kMaxPathLength) <= 0) {
    return Replacement::kInPlace;
  }
  // Only an existing plain file with one name; links and the rest are
  // written in place.
  const DWORD attributes = GetFileAttributesW(file.targetPath);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    return Replacement::kInPlace;
  }
  // A read-only file is refused, as opening it in place would be.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Refuse(file, ERROR_ACCESS_DENIED);
  }
  const HANDLE old = CreateFileW(file.targetPath, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (old == INVALID_HANDLE_VALUE) {
    return Replacement::kInPlace;
  }
  BY_HANDLE_FILE_INFORMATION information;
  const bool plain = GetFileType(old) == FILE_TYPE_DISK &&
                     GetFileInformationByHandle(old, &information) &&
                     information.nNumberOfLinks == 1;
  CloseHandle(old);
  if (!plain) {
    return Replacement::kInPlace;
  }
  // The new file beside it: the name with a suffix no other writer picks.
  static volatile LONG counter = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    TemporaryName(file.widePath, file.targetPath,
                  static_cast<unsigned long long>(GetCurrentProcessId()) << 32 |
                      static_cast<unsigned long>(InterlockedIncrement(&counter)));
    // Beyond the path length the system takes, the new file cannot be made.
    if (lstrlenW(file.widePath) >= kMaxPathLength) {
      return Refuse(file, ERROR_FILENAME_EXCED_RANGE);
    }
    file.handle = CreateFileW(file.widePath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle != INVALID_HANDLE_VALUE) {
      file.isRegularFile = true;
      return Replacement::kOpened;
    }
    const DWORD error = GetLastError();
    // A folder the caller may not add to: its files are written in place.
    if (error == ERROR_ACCESS_DENIED) {
      return Replacement::kInPlace;
    }
    if (error != ERROR_FILE_EXISTS || attempt == 7) {
      return Refuse(file, error);
    }
  }
  return Refuse(file, ERROR_FILE_EXISTS);
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

bool MoveIntoPlace(OutputFile& file, bool& writeInPlace) {
  writeInPlace = false;
  if (!MoveFileExW(file.widePath, file.targetPath, MOVEFILE_REPLACE_EXISTING)) {
    file.error = GetLastError();
    DeleteFileW(file.widePath);
    return false;
  }
  return true;
}

void AbandonReplacement(OutputFile&) {}

}  // namespace qrimage

// Windows: a replacement is made beside its target and moved over it.
#include "tool_core/output/output_replace.h"

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

// Whether the existing file at file.targetPath, with `attributes`, is one
// a rename may replace: a plain file with one name that no other program
// holds against deletion. kOpened when it is, else kInPlace or kRefused
// (with file.error set).
Replacement Replaceable(OutputFile& file, DWORD attributes) {
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
  // A file another program holds open without letting it be deleted
  // cannot be moved over: it is refused now, before any file of a set is
  // changed.
  const HANDLE probe =
      CreateFileW(file.targetPath, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
  } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
    return Refuse(file, ERROR_SHARING_VIOLATION);
  }
  return Replacement::kOpened;
}

}  // namespace

Replacement OpenReplacement(const char* path, OutputFile& file, ReplacementNames&, bool newFile) {
  StartOutputRecord(file);
  if (path == nullptr || path[0] == '\0' ||
      MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, file.targetPath, kMaxPathLength) <= 0) {
    return Replacement::kInPlace;
  }
  // Only an existing plain file with one name, or with `newFile` a name
  // that leads to no file yet; links and the rest are written in place.
  const DWORD attributes = GetFileAttributesW(file.targetPath);
  const bool missing =
      attributes == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
  if (!(newFile && missing)) {
    const Replacement replaceable = Replaceable(file, attributes);
    if (replaceable != Replacement::kOpened) {
      return replaceable;
    }
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

void HoldEndingSignals(bool) {}

void AbandonReplacement(OutputFile& file, bool written) {
  if (written) {
    DeleteFileW(file.widePath);
  }
}

InPlace OpenInPlace(const char* path, OutputFile& file, unsigned long long& length) {
  StartOutputRecord(file);
  if (path == nullptr || path[0] == '\0' ||
      MultiByteToWideChar(CP_THREAD_ACP, 0, path, -1, file.widePath, kMaxPathLength) <= 0) {
    return InPlace::kOther;
  }
  InPlace opened = InPlace::kKept;
  file.handle = CreateFileW(file.widePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    opened = InPlace::kWriteOnly;
    file.handle = CreateFileW(file.widePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file.handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // No file yet: it is made as the library makes one.
    if (error == ERROR_FILE_NOT_FOUND) {
      return InPlace::kOther;
    }
    file.error = error;
    return InPlace::kRefused;
  }
  LARGE_INTEGER size;
  if (GetFileType(file.handle) != FILE_TYPE_DISK || !GetFileSizeEx(file.handle, &size)) {
    CloseHandle(file.handle);
    file.handle = INVALID_HANDLE_VALUE;
    return InPlace::kOther;
  }
  file.isRegularFile = true;
  length = static_cast<unsigned long long>(size.QuadPart);
  return opened;
}

bool ReopenInPlace(OutputFile& file) {
  file.handle = CreateFileW(file.widePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file.handle != INVALID_HANDLE_VALUE;
}

namespace {

bool Failed(OutputFile& file) {
  if (file.error == 0) {
    file.error = GetLastError();
  }
  return false;
}

bool MoveTo(OutputFile& file, unsigned long long position) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file.handle, at, nullptr, FILE_BEGIN) || Failed(file);
}

// Sets the room the file system holds for the file.
bool SetRoom(OutputFile& file, unsigned long long size) {
  FILE_ALLOCATION_INFO room;
  room.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(file.handle, FileAllocationInfo, &room, sizeof room);
}

}  // namespace

bool ReadFromStart(OutputFile& file, void* bytes, std::size_t count) {
  if (!MoveTo(file, 0)) {
    return false;
  }
  char* next = static_cast<char*>(bytes);
  for (std::size_t done = 0; done < count;) {
    DWORD got = 0;
    if (!ReadFile(file.handle, next + done, static_cast<DWORD>(count - done), &got, nullptr)) {
      return Failed(file);
    }
    if (got == 0) {  // the file was cut meanwhile
      file.error = ERROR_HANDLE_EOF;
      return false;
    }
    done += got;
  }
  return true;
}

bool Rewind(OutputFile& file) {
  return MoveTo(file, 0);
}

bool Position(OutputFile& file, unsigned long long& position) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER at;
  if (!SetFilePointerEx(file.handle, zero, &at, FILE_CURRENT)) {
    return false;
  }
  position = static_cast<unsigned long long>(at.QuadPart);
  return true;
}

bool SetLength(OutputFile& file, unsigned long long length) {
  return MoveTo(file, length) && (SetEndOfFile(file.handle) || Failed(file));
}

bool ReserveRoom(OutputFile& file, std::size_t count) {
  // Only room past the end is asked for: less would cut the file.
  LARGE_INTEGER size;
  if (GetFileSizeEx(file.handle, &size) && count > static_cast<unsigned long long>(size.QuadPart) &&
      !SetRoom(file, count) && GetLastError() == ERROR_DISK_FULL) {
    return Failed(file);
  }
  return true;
}

void ReleaseRoom(OutputFile& file, unsigned long long from, unsigned long long) {
  SetRoom(file, from);
}

}  // namespace qrimage

/*
 * A host program for qrimage.dll, built for 32-bit and 64-bit Windows and
 * run under wine by wine_compare.
 *
 *   wine_host DLL CASES OUTDIR FULLDIR
 *
 * Loads the DLL with LoadLibrary and finds QRImage with GetProcAddress, as
 * a Windows host would. On 32-bit Windows every call pushes its three
 * arguments itself and checks that the function removed them (ESP) and
 * kept EBX, ESI, EDI and EBP. Then:
 *   - makes the failing calls of kFailures in OUTDIR\checks (and on the
 *     full disk FULLDIR, "-" for none), the other file-opening checks (the
 *     longest path that opens, a file held open for writing, the thread's
 *     ANSI code page, the WriteFile requests of a file), printing
 *     "FAIL: ..." for each check that does not hold;
 *   - encodes every line "NAME LEVEL TEXT" of CASES (LEVEL an int in hex,
 *     TEXT the bytes in hex) to OUTDIR\NAME.bmp and prints "NAME RESULT".
 *     Every second output path first holds a larger junk file, so the
 *     outputs also show that an existing file is replaced entirely;
 *   - encodes the first case through ordinal 1 to OUTDIR\ordinal\NAME.bmp,
 *     printing "NAME@ordinal RESULT";
 *   - encodes all cases again from eight threads at once, to
 *     OUTDIR\threads\NAME.bmp, printing "NAME@threads RESULT".
 * Exits with 0 only if the DLL loaded and every check held.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

/* The declaration a host needs: stdcall on 32-bit Windows, where the
 * export is named _QRImage@12; 64-bit Windows ignores __stdcall and the
 * export is plain QRImage. */
typedef int(__stdcall* QRImageFunction)(const char* text, int level, const char* path);
#ifdef _WIN64
#define QRIMAGE_EXPORT_NAME "QRImage"
#else
#define QRIMAGE_EXPORT_NAME "_QRImage@12"
#endif

static QRImageFunction qrImageExport;
static volatile LONG failures;
static char checkDir[MAX_PATH];
static const char* fullDir;

static void Check(int condition, const char* what) {
  if (!condition) {
    printf("FAIL: %s\n", what);
    InterlockedIncrement(&failures);
  }
}

#ifndef _WIN64
/* Calls the stdcall function as a host built by any compiler may: the
 * three arguments pushed right to left, EBX, ESI and EBP holding values the
 * function must keep and EDI the stack pointer from before the pushes,
 * which must be back after the return. Sets *changed to 1 if ESP or one
 * of those four registers is not as it was. */
int CallChecked(QRImageFunction function, const char* text, int level, const char* path,
                int* changed);
__asm__(
    ".text\n"
    ".globl _CallChecked\n"
    "_CallChecked:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl $0x0B0B0B0B, %ebx\n"
    "  movl $0x05050505, %esi\n"
    "  movl $0x0E0E0E0E, %ebp\n"
    "  movl %esp, %edi\n"
    "  movl 20(%esp), %eax\n" /* function */
    "  pushl 32(%esp)\n"      /* path */
    "  pushl 32(%esp)\n"      /* level */
    "  pushl 32(%esp)\n"      /* text */
    "  call *%eax\n"
    "  movl $1, %ecx\n"
    "  cmpl %esp, %edi\n"
    "  jne 1f\n"
    "  cmpl $0x0B0B0B0B, %ebx\n"
    "  jne 1f\n"
    "  cmpl $0x05050505, %esi\n"
    "  jne 1f\n"
    "  cmpl $0x0E0E0E0E, %ebp\n"
    "  jne 1f\n"
    "  xorl %ecx, %ecx\n"
    "1:\n"
    "  movl %edi, %esp\n"
    "  movl 36(%esp), %edx\n" /* changed */
    "  movl %ecx, (%edx)\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

static int Call(QRImageFunction function, const char* text, int level, const char* path) {
  int changed = 0;
  const int result = CallChecked(function, text, level, path, &changed);
  Check(!changed, "ESP, EBX, ESI, EDI and EBP are as they were before the call");
  return result;
}
#else
static int Call(QRImageFunction function, const char* text, int level, const char* path) {
  return function(text, level, path);
}
#endif

static int qrImage(const char* text, int level, const char* path) {
  return Call(qrImageExport, text, level, path);
}

/* checkDir followed by `rest`, as UTF-16 (checkDir is plain ASCII). */
static void WidePath(wchar_t* wide, const wchar_t* rest) {
  size_t i = 0;
  for (; checkDir[i] != '\0'; ++i) {
    wide[i] = (wchar_t)checkDir[i];
  }
  wcscpy(wide + i, rest);
}

static int ExistsW(const wchar_t* path) {
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

/* Number of entries in a folder, to see that failing calls create or
 * delete nothing. */
static int CountEntries(const char* folder) {
  char pattern[MAX_PATH];
  WIN32_FIND_DATAA found;
  int count = 0;
  snprintf(pattern, sizeof pattern, "%s\\*", folder);
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    return -1;
  }
  do {
    ++count;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

/* Bytes of a file, or -1 if it cannot be read. */
static long FileSize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
    return -1;
  }
  return (long)data.nFileSizeLow;
}

/* 2954 bytes: one more than version 40 holds at level L. */
static char longText[2955];

/* Calls that must fail and leave every name in their folder as it was.
 * The path is the folder (checkDir, or the full disk) and `name`; NULL
 * and "" stand for those paths themselves. With `pad` set, 'a's go
 * between the two until the path has `pad` characters. `emptied`, if set,
 * names a file in the folder that must be left empty. */
static const struct Failure {
  const char* what;
  const char* text;
  int level;
  int onFullDisk;
  const char* name;
  int pad;
  int result;
  const char* emptied;
} kFailures[] = {
    {"a lower-case level gives -1", "bad level", 'q', 0, "bad-level.bmp", 0, -1, NULL},
    {"a text longer than version 40 holds gives -1", longText, 'L', 0, "long.bmp", 0, -1, NULL},
    {"a missing folder gives -3", "missing", 'M', 0, "no-such-folder\\x.bmp", 0, -3, NULL},
    {"an empty path gives -3", "empty path", 'M', 0, "", 0, -3, NULL},
    {"a null path gives -3", "null path", 'M', 0, NULL, 0, -3, NULL},
    /* 259 characters is the longest path that opens; 260 is refused. */
    {"a path of 260 characters gives -3", "long path", 'L', 0, ".bmp", 260, -3, NULL},
    /* orig.bmp has a second name, link.bmp, and the disk is full. */
    {"a failed write empties a file with two names and keeps both", longText + 1, 'L', 1,
     "link.bmp", 0, -3, "orig.bmp"},
};

static void CheckFailures(void) {
  char path[512];
  memset(longText, 'a', sizeof longText - 1);
  for (size_t i = 0; i < sizeof kFailures / sizeof kFailures[0]; ++i) {
    const struct Failure* f = &kFailures[i];
    const char* folder = f->onFullDisk ? fullDir : checkDir;
    if (strcmp(folder, "-") == 0) {
      printf("note: no full disk to write to; left out: %s\n", f->what);
      continue;
    }
    if (f->name == NULL || f->name[0] == '\0') {
      strcpy(path, f->name == NULL ? "" : f->name);
    } else {
      snprintf(path, sizeof path, "%s\\", folder);
      while (strlen(path) + strlen(f->name) < (size_t)f->pad) {
        strcat(path, "a");
      }
      strcat(path, f->name);
    }
    const int before = CountEntries(folder);
    const int result = qrImage(f->text, f->level, f->name == NULL ? NULL : path);
    if (result != f->result || CountEntries(folder) != before) {
      printf("FAIL: %s (returned %d; %d entries before, %d after)\n", f->what, result, before,
             CountEntries(folder));
      InterlockedIncrement(&failures);
    }
    if (f->emptied != NULL) {
      snprintf(path, sizeof path, "%s\\%s", folder, f->emptied);
      Check(FileSize(path) == 0, f->what);
    }
  }
}

static void CheckOpenFailures(void) {
  char path[512];
  const int before = CountEntries(checkDir);

  const int dirLength = (int)strlen(checkDir) + 1;
  memset(path, 0, sizeof path);
  snprintf(path, sizeof path, "%s\\", checkDir);
  memset(path + dirLength, 'a', 259 - dirLength - 4);
  strcat(path, ".bmp");
  Check(strlen(path) == 259, "the long path has 259 characters");
  Check(qrImage("long path", 'L', path) == 1, "a path of 259 characters is written");
  Check(FileSize(path) == 178, "the 259-character path holds a version 1 bitmap");
  DeleteFileA(path);

  /* Another writer holds the file open (sharing both reading and writing):
   * the library, which shares reading only, cannot open it. */
  snprintf(path, sizeof path, "%s\\held.bmp", checkDir);
  HANDLE held = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  DWORD written = 0;
  Check(held != INVALID_HANDLE_VALUE && WriteFile(held, "held", 4, &written, NULL) && written == 4,
        "the host can create and write the held file");
  Check(qrImage("held open", 'M', path) == -3, "a file held open for writing gives -3");
  CloseHandle(held);
  Check(FileSize(path) == 4, "the held file is left as it was");
  DeleteFileA(path);
  Check(CountEntries(checkDir) == before, "the checks leave no file behind");
}

/* The sizes of the WriteFile requests the DLL makes once its import is
 * pointed at CountingWriteFile, in order. */
static DWORD requestSizes[256];
static int requestCount;
static BOOL(WINAPI* realWriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

static BOOL WINAPI CountingWriteFile(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written,
                                     LPOVERLAPPED overlapped) {
  requestSizes[requestCount++ % 256] = count;
  return realWriteFile(file, bytes, count, written, overlapped);
}

/* Points the DLL's import address table entry for WriteFile at
 * CountingWriteFile; false if the DLL imports no WriteFile. */
static int CountWriteRequests(HMODULE library) {
  BYTE* base = (BYTE*)library;
  const IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports); d->Name != 0; ++d) {
    IMAGE_THUNK_DATA* name = (IMAGE_THUNK_DATA*)(base + d->OriginalFirstThunk);
    IMAGE_THUNK_DATA* slot = (IMAGE_THUNK_DATA*)(base + d->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
          strcmp((const char*)((IMAGE_IMPORT_BY_NAME*)(base + name->u1.AddressOfData))->Name,
                 "WriteFile") == 0) {
        DWORD old;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
        realWriteFile = (void*)slot->u1.Function;
        slot->u1.Function = (ULONG_PTR)CountingWriteFile;
        VirtualProtect(slot, sizeof *slot, old, &old);
        return 1;
      }
    }
  }
  return 0;
}

/* A file is written as W + 4 requests: the 14-byte file header, the
 * 40-byte information header, the two 4-byte palette entries, then one
 * request per row (W rows of the padded row length). */
static void CheckWriteRequests(HMODULE library) {
  static const struct {
    const char* text; /* at level L */
    int version;
  } kSymbols[] = {{"requests", 1}, {longText + 1, 40}};
  char path[512];
  snprintf(path, sizeof path, "%s\\requests.bmp", checkDir);
  Check(CountWriteRequests(library), "the DLL imports WriteFile");
  for (size_t i = 0; i < sizeof kSymbols / sizeof kSymbols[0]; ++i) {
    const int side = 4 * kSymbols[i].version + 25, rowBytes = (side + 31) / 32 * 4;
    requestCount = 0;
    const int result = qrImage(kSymbols[i].text, 'L', path);
    int sizesHold = requestCount == side + 4 && requestSizes[0] == 14 && requestSizes[1] == 40 &&
                    requestSizes[2] == 4 && requestSizes[3] == 4;
    for (int r = 4; sizesHold && r < requestCount; ++r) {
      sizesHold = requestSizes[r] == (DWORD)rowBytes;
    }
    if (result != kSymbols[i].version || !sizesHold) {
      printf(
          "FAIL: version %d is written as %d requests of 14, 40, 4, 4 and %d bytes (returned "
          "%d; %d requests, the first of %lu bytes)\n",
          kSymbols[i].version, side + 4, rowBytes, result, requestCount, requestSizes[0]);
      InterlockedIncrement(&failures);
    }
  }
  DeleteFileA(path);
}

/* The path is read in the calling thread's ANSI code page: byte 0xE9 is
 * U+00E9 in code page 1252 and U+0439 in code page 1251. */
static void CheckCodePages(void) {
  char path[512];
  wchar_t wide[512];
  const LCID original = GetThreadLocale();
  snprintf(path, sizeof path, "%s\\\xE9.bmp", checkDir);

  if (GetACP() == 1252) {
    WidePath(wide, L"\\\x00E9.bmp");
    Check(qrImage("code page", 'M', path) == 1 && ExistsW(wide),
          "byte 0xE9 in the path is U+00E9 in code page 1252");
    DeleteFileW(wide);
  } else {
    printf("note: ANSI code page %u, not 1252; that check left out\n", GetACP());
  }

  SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), SORT_DEFAULT));
  WidePath(wide, L"\\\x0439.bmp");
  Check(qrImage("code page", 'M', path) == 1 && ExistsW(wide),
        "byte 0xE9 is U+0439 when the thread's code page is 1251");
  DeleteFileW(wide);

  /* In code page 932 each 0x82 0xA0 pair is one character (U+3042), so a
   * path of more than 260 bytes but fewer than 260 characters opens. */
  SetThreadLocale(MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), SORT_DEFAULT));
  char folder[512];
  wchar_t wideFolder[512];
  snprintf(folder, sizeof folder, "%s\\", checkDir);
  WidePath(wideFolder, L"\\");
  for (int i = 0; i < 60; ++i) {
    strcat(folder, "\x82\xA0");
    wcscat(wideFolder, L"\x3042");
  }
  CreateDirectoryW(wideFolder, NULL);
  snprintf(path, sizeof path, "%s\\", folder);
  wcscpy(wide, wideFolder);
  wcscat(wide, L"\\");
  while (strlen(path) < 270) {
    strcat(path, "\x82\xA0");
    wcscat(wide, L"\x3042");
  }
  strcat(path, ".bmp");
  wcscat(wide, L".bmp");
  Check(strlen(path) > 260 && wcslen(wide) < 260,
        "the code page 932 path has the intended lengths");
  Check(qrImage("code page", 'M', path) == 1 && ExistsW(wide),
        "the 260-character limit counts converted characters, not bytes");
  DeleteFileW(wide);
  RemoveDirectoryW(wideFolder);

  SetThreadLocale(original);
}

static int HexValue(int c) {
  return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

#define MAX_CASES 1024
#define THREADS 8

struct Case {
  char name[64];
  unsigned level;
  char* text;
  int threadResult;
};
static struct Case cases[MAX_CASES];
static int caseCount;
static const char* outDir;

static int ReadCases(const char* casesPath) {
  FILE* file = fopen(casesPath, "r");
  if (file == NULL) {
    printf("FAIL: cannot read %s\n", casesPath);
    return 0;
  }
  static char line[8192], hex[8192];
  while (caseCount < MAX_CASES && fgets(line, sizeof line, file) != NULL) {
    struct Case* c = &cases[caseCount];
    if (sscanf(line, "%63s %x %8191s", c->name, &c->level, hex) != 3) {
      continue;
    }
    const size_t length = strlen(hex) / 2;
    c->text = malloc(length + 1);
    for (size_t i = 0; i < length; ++i) {
      c->text[i] = (char)(HexValue(hex[2 * i]) << 4 | HexValue(hex[2 * i + 1]));
    }
    c->text[length] = '\0';
    ++caseCount;
  }
  fclose(file);
  return caseCount;
}

/* Every case in order, each output to OUTDIR\NAME.bmp. */
static void RunCases(void) {
  char path[512];
  for (int i = 0; i < caseCount; ++i) {
    snprintf(path, sizeof path, "%s\\%s.bmp", outDir, cases[i].name);
    if (i % 2 == 1) {
      static char junk[6000];
      memset(junk, 0x5A, sizeof junk);
      FILE* old = fopen(path, "wb");
      if (old != NULL) {
        fwrite(junk, 1, sizeof junk, old);
        fclose(old);
      }
    }
    printf("%s %d\n", cases[i].name, qrImage(cases[i].text, (int)cases[i].level, path));
  }
}

/* Thread k encodes cases k, k + THREADS, ... to OUTDIR\threads\NAME.bmp. */
static DWORD WINAPI EncodeShare(LPVOID start) {
  char path[512];
  for (int i = (int)(INT_PTR)start; i < caseCount; i += THREADS) {
    snprintf(path, sizeof path, "%s\\threads\\%s.bmp", outDir, cases[i].name);
    cases[i].threadResult = qrImage(cases[i].text, (int)cases[i].level, path);
  }
  return 0;
}

/* The first case again, through the export at ordinal 1, to
 * OUTDIR\ordinal\NAME.bmp; printed as "NAME@ordinal RESULT". */
static void RunCaseByOrdinal(QRImageFunction byOrdinal) {
  char path[512];
  snprintf(path, sizeof path, "%s\\ordinal", outDir);
  Check(CreateDirectoryA(path, NULL), "the ordinal folder can be created");
  snprintf(path, sizeof path, "%s\\ordinal\\%s.bmp", outDir, cases[0].name);
  printf("%s@ordinal %d\n", cases[0].name,
         Call(byOrdinal, cases[0].text, (int)cases[0].level, path));
}

/* All cases again, from THREADS threads at once: the DLL keeps the calls
 * apart, so each file must come out as it does from a single thread.
 * Printed as "NAME@threads RESULT". */
static void RunCasesInThreads(void) {
  char folder[512];
  HANDLE threads[THREADS];
  snprintf(folder, sizeof folder, "%s\\threads", outDir);
  Check(CreateDirectoryA(folder, NULL), "the threads folder can be created");
  for (int k = 0; k < THREADS; ++k) {
    threads[k] = CreateThread(NULL, 0, EncodeShare, (LPVOID)(INT_PTR)k, 0, NULL);
    Check(threads[k] != NULL, "a thread can be started");
  }
  for (int k = 0; k < THREADS; ++k) {
    if (threads[k] != NULL) {
      WaitForSingleObject(threads[k], INFINITE);
      CloseHandle(threads[k]);
    }
  }
  for (int i = 0; i < caseCount; ++i) {
    printf("%s@threads %d\n", cases[i].name, cases[i].threadResult);
  }
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: wine_host DLL CASES OUTDIR FULLDIR\n");
    return 2;
  }
  HMODULE library = LoadLibraryA(argv[1]);
  if (library == NULL) {
    printf("FAIL: LoadLibrary(%s): error %lu\n", argv[1], GetLastError());
    return 1;
  }
  qrImageExport = (QRImageFunction)(void (*)(void))GetProcAddress(library, QRIMAGE_EXPORT_NAME);
  if (qrImageExport == NULL) {
    printf("FAIL: GetProcAddress(" QRIMAGE_EXPORT_NAME ") found nothing\n");
    return 1;
  }
  const QRImageFunction byOrdinal =
      (QRImageFunction)(void (*)(void))GetProcAddress(library, MAKEINTRESOURCEA(1));
  Check(byOrdinal == qrImageExport, "ordinal 1 is QRImage");

  snprintf(checkDir, sizeof checkDir, "%s\\checks", argv[3]);
  Check(CreateDirectoryA(checkDir, NULL), "the checks folder can be created");
  fullDir = argv[4];
  CheckFailures();
  CheckOpenFailures();
  CheckCodePages();
  CheckWriteRequests(library);

  outDir = argv[3];
  const int count = ReadCases(argv[2]);
  RunCases();
  if (count > 0 && byOrdinal != NULL) {
    RunCaseByOrdinal(byOrdinal);
  }
  RunCasesInThreads();
  printf("cases %d, failed checks %ld\n", count, failures);
  FreeLibrary(library);
  return failures == 0 && count > 0 ? 0 : 1;
}

"""Runs the 32-bit qrimage.dll on an emulated x86 CPU, the way a Windows host
calls it, and checks every result and every file it writes.

    run_dll32.py DLL GOLDEN_FILE GOLDEN_PROGRAM

Needs the Debian packages python3-unicorn and python3-pefile (run it with
/usr/bin/python3). The DLL is mapped as built, at a base address other than
its preferred one so that its relocations are applied, with page
protections from its section flags. Its imports are bound to stubs of the
KERNEL32 functions it uses, with their Win32 behaviour: files live under a
temporary folder that stands for drive C:, ANSI paths are read in code page
1252, last-error codes are kept. A call of an import that has no stub stops
the run with its name. There is no thread environment block (the DLL has
no use for one), so a read through fs: stops the run too.

Every call is made as a stdcall host makes it: text, level and path pushed
right to left, a return address, and after the return the stack pointer
must be back where it was before the pushes and EBX, ESI, EDI and EBP
unchanged. After each call the lock must be free and no file handle open.

The cases are the golden files (texts and levels from GOLDEN_PROGRAM
--texts, FNV-1a hashes from GOLDEN_FILE, all written to one path so that
each call replaces a file of another size) and the rows of CASES below.
"""

import os
import subprocess
import sys
import tempfile
import time
from collections import namedtuple

import pefile
from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_MODE_32, UC_PROT_ALL, UC_PROT_EXEC,
                     UC_PROT_READ, UC_PROT_WRITE, Uc, UcError)
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_EBP, UC_X86_REG_EBX, UC_X86_REG_EDI,
                               UC_X86_REG_EIP, UC_X86_REG_ESI, UC_X86_REG_ESP)

EXPORT_NAME = b"_QRImage@12"

# The emulated address space. The DLL prefers a base near 0x6E000000; it is
# put elsewhere so that its relocations are exercised.
DLL_BASE = 0x10000000
STUB_BASE = 0x00300000  # one 16-byte stub per import
STUB_SIZE = 0x10000
HOST_BASE = 0x00400000  # the host's strings and the return sentinel
HOST_SIZE = 0x10000
STACK_BASE = 0x00800000
STACK_SIZE = 0x100000  # the default 1 MB of a Windows thread
SENTINEL = HOST_BASE  # return address of every call; never executed
TEXT_ADDRESS = HOST_BASE + 0x1000
PATH_ADDRESS = HOST_BASE + 0x8000

CALLEE_SAVED = {UC_X86_REG_EBX: 0x0B0B0B0B, UC_X86_REG_ESI: 0x05050505,
                UC_X86_REG_EDI: 0x0D0D0D0D, UC_X86_REG_EBP: 0x0E0E0E0E}

INVALID_HANDLE_VALUE = 0xFFFFFFFF
ERROR_FILE_NOT_FOUND = 2
ERROR_PATH_NOT_FOUND = 3
ERROR_INVALID_HANDLE = 6
ERROR_SHARING_VIOLATION = 32
ERROR_DISK_FULL = 112
ERROR_INVALID_PARAMETER = 87
ERROR_NEGATIVE_SEEK = 131
ERROR_INSUFFICIENT_BUFFER = 122
ERROR_ALREADY_EXISTS = 183
CP_ACP, CP_THREAD_ACP = 0, 3
GENERIC_WRITE = 0x40000000
CREATE_ALWAYS = 2
FILE_TYPE_DISK = 1
FILE_ATTRIBUTE_NORMAL = 0x80
FILE_ATTRIBUTE_REPARSE_POINT = 0x400

# Paths are bytes in the ANSI code page. `file` is the one file under C:\
# that the call must create or change, None when it must leave every file
# as it was; `free_bytes`, if set, is the room left on the disk; `requests`,
# if set, the sizes of the WriteFile requests, in order.
Case = namedtuple("Case", "name text level path result file free_bytes requests",
                  defaults=(None, None))
LONG_FOLDER = "d" * 200  # created before the run
CASES = [
    Case("bad level", b"HELLO", ord("X"), b"C:\\bad.bmp", -1, None),
    Case("bad level, existing file", b"HELLO", ord("X"), b"C:\\golden\\golden.bmp", -1, None),
    Case("level letter in the upper bytes only", b"HELLO", 0x4D00, b"C:\\bad.bmp", -1, None),
    Case("2954 bytes at L", b"a" * 2954, ord("L"), b"C:\\long.bmp", -1, None),
    Case("no text", None, ord("M"), b"C:\\none.bmp", -1, None),
    Case("missing folder", b"HELLO", ord("M"), b"C:\\missing\\x.bmp", -3, None),
    Case("no path", b"HELLO", ord("M"), None, -3, None),
    Case("empty path", b"HELLO", ord("M"), b"", -3, None),
    # 259 characters and the terminator fill MAX_PATH; one more is refused.
    Case("259-character path", b"HELLO", ord("M"),
         b"C:\\" + LONG_FOLDER.encode() + b"\\" + b"p" * 51 + b".bmp", 1,
         LONG_FOLDER + "/" + "p" * 51 + ".bmp"),
    Case("260-character path", b"HELLO", ord("M"),
         b"C:\\" + LONG_FOLDER.encode() + b"\\" + b"p" * 52 + b".bmp", -3, None),
    Case("path in code page 1252", b"HELLO", ord("Q"), b"C:\\caf\xe9 \x80.bmp", 1,
         "caf\u00e9 \u20ac.bmp"),
    Case("relative path", b"HELLO", ord("H") | 0x5A3C0000, b"relative.bmp", 1, "relative.bmp"),
    Case("disk full", b"HELLO", ord("M"), b"C:\\full.bmp", -3, None, free_bytes=100),
    Case("version 1 in 33 requests", b"HELLO", ord("M"), b"C:\\v1.bmp", 1, "v1.bmp",
         requests=[14, 40, 4, 4] + [4] * 29),
    Case("version 40 in 189 requests", b"a" * 2953, ord("L"), b"C:\\v40.bmp", 40, "v40.bmp",
         requests=[14, 40, 4, 4] + [24] * 185),
]


class StopRun(Exception):
    pass


def fnv1a(data):
    h = 14695981039346656037
    for b in data:
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h


class Kernel32:
    """The KERNEL32 functions the DLL imports, on a drive C: kept in `root`."""

    def __init__(self, uc, root):
        self.uc = uc
        self.root = root
        self.last_error = 0
        self.handles = {}  # handle -> (host path, descriptor)
        self.next_handle = 0x100
        self.free_bytes = None  # None: the disk never fills
        self.requests = []  # the sizes asked of WriteFile
        self.locks_held = set()
        # name -> (argument count, function of the arguments)
        self.functions = {
            "AcquireSRWLockExclusive": (1, self.acquire_srw_lock_exclusive),
            "ReleaseSRWLockExclusive": (1, self.release_srw_lock_exclusive),
            "MultiByteToWideChar": (6, self.multi_byte_to_wide_char),
            "CreateFileW": (7, self.create_file_w),
            "GetFileType": (1, self.get_file_type),
            "WriteFile": (5, self.write_file),
            "SetFilePointerEx": (5, self.set_file_pointer_ex),  # the distance takes two
            "SetEndOfFile": (1, self.set_end_of_file),
            "CloseHandle": (1, self.close_handle),
            "DeleteFileW": (1, self.delete_file_w),
            "GetFileAttributesW": (1, self.get_file_attributes_w),
            "GetFileInformationByHandle": (2, self.get_file_information_by_handle),
            "GetLastError": (0, lambda: self.last_error),
            "SetLastError": (1, self.set_last_error),
        }

    def u32(self, address):
        return int.from_bytes(self.uc.mem_read(address, 4), "little")

    def put_u32(self, address, value):
        self.uc.mem_write(address, (value & 0xFFFFFFFF).to_bytes(4, "little"))

    def wide_string(self, address):
        data = bytearray()
        while True:
            unit = bytes(self.uc.mem_read(address + len(data), 2))
            if unit == b"\0\0":
                return data.decode("utf-16-le")
            data += unit

    def fail(self, error, result=0):
        self.last_error = error
        return result

    def host_path(self, windows_path):
        """C:\\a\\b or a\\b (from the current folder C:\\) under root."""
        path = windows_path.replace("\\", "/")
        if len(path) >= 2 and path[1] == ":":
            if path[0].upper() != "C" or not path[2:].startswith("/"):
                raise StopRun(f"path form not supported here: {windows_path!r}")
            path = path[3:]
        elif path.startswith("/"):
            raise StopRun(f"path form not supported here: {windows_path!r}")
        return os.path.join(self.root, path)

    def set_last_error(self, code):
        self.last_error = code
        return 0

    # An SRW lock is one pointer-sized word, 0 when free. There is one
    # thread here, so taking a held lock would wait forever.
    def acquire_srw_lock_exclusive(self, lock):
        if self.u32(lock) != 0:
            raise StopRun("AcquireSRWLockExclusive on a held lock: the thread waits forever")
        self.put_u32(lock, 1)
        self.locks_held.add(lock)
        return 0

    def release_srw_lock_exclusive(self, lock):
        if self.u32(lock) != 1 or lock not in self.locks_held:
            raise StopRun("ReleaseSRWLockExclusive of a lock that is not held")
        self.put_u32(lock, 0)
        self.locks_held.discard(lock)
        return 0

    def multi_byte_to_wide_char(self, code_page, flags, source, source_length, target,
                                target_length):
        if code_page not in (CP_ACP, CP_THREAD_ACP) or flags != 0:
            raise StopRun(f"MultiByteToWideChar({code_page}, {flags:#x}) not supported here")
        if source == 0 or source_length == 0 or target_length < 0:
            return self.fail(ERROR_INVALID_PARAMETER)
        if source_length == 0xFFFFFFFF:  # -1: up to and with the terminator
            data = bytearray()
            while not data or data[-1] != 0:
                data += self.uc.mem_read(source + len(data), 1)
        else:
            data = bytes(self.uc.mem_read(source, source_length))
        # The five bytes code page 1252 leaves undefined map to U+0081 etc.
        text = "".join(bytes([b]).decode("cp1252", errors="ignore") or chr(b) for b in data)
        units = text.encode("utf-16-le")
        count = len(units) // 2
        if target_length == 0:
            return count
        if count > target_length:
            return self.fail(ERROR_INSUFFICIENT_BUFFER)
        self.uc.mem_write(target, units)
        return count

    def create_file_w(self, name, access, share, security, disposition, flags, template):
        if access != GENERIC_WRITE or disposition != CREATE_ALWAYS or template != 0:
            raise StopRun(f"CreateFileW({access:#x}, disposition {disposition}) not supported here")
        # The header promises an inheritable handle on Windows; a change of
        # that would go unnoticed by the system's own checks.
        if security == 0 or self.u32(security + 8) == 0:
            raise StopRun("CreateFileW asked for a handle that is not inheritable")
        path = self.host_path(self.wide_string(name))
        if not os.path.isdir(os.path.dirname(path)):
            return self.fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE)
        existed = os.path.exists(path)
        descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        handle = self.next_handle
        self.next_handle += 4
        self.handles[handle] = (path, descriptor)
        # CREATE_ALWAYS succeeds either way and says whether it replaced a file.
        self.last_error = ERROR_ALREADY_EXISTS if existed else 0
        return handle

    def get_file_type(self, handle):
        if handle not in self.handles:
            return self.fail(ERROR_INVALID_HANDLE)
        self.last_error = 0
        return FILE_TYPE_DISK

    def write_file(self, handle, buffer, count, written, overlapped):
        if overlapped != 0:
            raise StopRun("overlapped WriteFile not supported here")
        if handle not in self.handles:
            return self.fail(ERROR_INVALID_HANDLE)
        self.requests.append(count)
        fits = count if self.free_bytes is None else min(count, self.free_bytes)
        os.write(self.handles[handle][1], bytes(self.uc.mem_read(buffer, fits)))
        if self.free_bytes is not None:
            self.free_bytes -= fits
        if written != 0:
            self.put_u32(written, fits)
        if fits < count:
            return self.fail(ERROR_DISK_FULL)
        return 1

    def set_file_pointer_ex(self, handle, distance_low, distance_high, new_position, method):
        if method not in (0, 1, 2):  # FILE_BEGIN, FILE_CURRENT, FILE_END
            return self.fail(ERROR_INVALID_PARAMETER)
        if handle not in self.handles:
            return self.fail(ERROR_INVALID_HANDLE)
        distance = distance_low | distance_high << 32
        distance -= (1 << 64) if distance >> 63 else 0
        descriptor = self.handles[handle][1]
        start = (0, os.lseek(descriptor, 0, os.SEEK_CUR), os.fstat(descriptor).st_size)[method]
        if start + distance < 0:
            return self.fail(ERROR_NEGATIVE_SEEK)
        position = os.lseek(descriptor, start + distance, os.SEEK_SET)
        if new_position != 0:
            self.uc.mem_write(new_position, position.to_bytes(8, "little"))
        return 1

    def set_end_of_file(self, handle):
        if handle not in self.handles:
            return self.fail(ERROR_INVALID_HANDLE)
        descriptor = self.handles[handle][1]
        os.ftruncate(descriptor, os.lseek(descriptor, 0, os.SEEK_CUR))
        return 1

    def close_handle(self, handle):
        if handle not in self.handles:
            return self.fail(ERROR_INVALID_HANDLE)
        os.close(self.handles.pop(handle)[1])
        return 1

    # The name's own attributes: a symbolic link is not followed.
    def get_file_attributes_w(self, name):
        path = self.host_path(self.wide_string(name))
        if not os.path.lexists(path):
            return self.fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE)
        self.last_error = 0
        return FILE_ATTRIBUTE_REPARSE_POINT if os.path.islink(path) else FILE_ATTRIBUTE_NORMAL

    # BY_HANDLE_FILE_INFORMATION: attributes, three times, volume, size
    # (high, low), number of links, file index (high, low).
    def get_file_information_by_handle(self, handle, information):
        if handle not in self.handles:
            return self.fail(ERROR_INVALID_HANDLE)
        status = os.fstat(self.handles[handle][1])
        fields = [FILE_ATTRIBUTE_NORMAL] + [0] * 7 + [status.st_size >> 32, status.st_size,
                                                       status.st_nlink, status.st_ino >> 32,
                                                       status.st_ino]
        for index, value in enumerate(fields):
            self.put_u32(information + 4 * index, value)
        return 1

    # Opened without FILE_SHARE_DELETE, an open file cannot be deleted.
    def delete_file_w(self, name):
        path = self.host_path(self.wide_string(name))
        if any(path == open_path for open_path, _ in self.handles.values()):
            return self.fail(ERROR_SHARING_VIOLATION)
        if not os.path.isfile(path):
            return self.fail(ERROR_FILE_NOT_FOUND)
        os.remove(path)
        return 1


class Dll:
    """qrimage.dll mapped into an emulated 32-bit process."""

    def __init__(self, path, root):
        pe = pefile.PE(path)
        if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
            raise StopRun(f"{path} is not a 32-bit x86 DLL")
        preferred = pe.OPTIONAL_HEADER.ImageBase
        imports = [(entry.dll.decode(), imp.name.decode(), imp.address - preferred)
                   for entry in pe.DIRECTORY_ENTRY_IMPORT for imp in entry.imports]
        exports = {e.name: e.address for e in pe.DIRECTORY_ENTRY_EXPORT.symbols}
        if EXPORT_NAME not in exports:
            raise StopRun(f"{path} does not export {EXPORT_NAME.decode()}")
        image = pe.get_memory_mapped_image(ImageBase=DLL_BASE)
        size = (pe.OPTIONAL_HEADER.SizeOfImage + 0xFFF) & ~0xFFF
        self.uc = uc = Uc(UC_ARCH_X86, UC_MODE_32)
        uc.mem_map(DLL_BASE, size, UC_PROT_ALL)
        uc.mem_write(DLL_BASE, bytes(image[:size]))
        uc.mem_protect(DLL_BASE, 0x1000, UC_PROT_READ)  # the headers
        for section in pe.sections:
            start = DLL_BASE + section.VirtualAddress
            length = (max(section.Misc_VirtualSize, section.SizeOfRawData) + 0xFFF) & ~0xFFF
            flags = section.Characteristics
            protection = ((UC_PROT_READ if flags & 0x40000000 else 0) |
                          (UC_PROT_WRITE if flags & 0x80000000 else 0) |
                          (UC_PROT_EXEC if flags & 0x20000000 else 0))
            uc.mem_protect(start, length, protection)
        self.entry = DLL_BASE + exports[EXPORT_NAME]
        self.dll_main = (DLL_BASE + pe.OPTIONAL_HEADER.AddressOfEntryPoint
                         if pe.OPTIONAL_HEADER.AddressOfEntryPoint else None)

        uc.mem_map(STUB_BASE, STUB_SIZE, UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_map(HOST_BASE, HOST_SIZE, UC_PROT_READ | UC_PROT_WRITE | UC_PROT_EXEC)
        uc.mem_map(STACK_BASE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self.kernel32 = Kernel32(uc, root)
        self.stubs = []  # (name, argument count, function), by stub
        for index, (dll_name, name, rva) in enumerate(imports):
            count, function = self.kernel32.functions.get(name, (0, None))
            if dll_name.upper() != "KERNEL32.DLL":
                function = None
            self.stubs.append((f"{dll_name}!{name}", count, function))
            stub = STUB_BASE + 16 * index
            # The stub's only instruction returns and removes the arguments,
            # as the stdcall function it stands for does.
            uc.mem_write(stub, b"\xc2" + (4 * count).to_bytes(2, "little"))
            # The import address table is writable while it is bound.
            uc.mem_protect(DLL_BASE + (rva & ~0xFFF), 0x1000, UC_PROT_ALL)
            uc.mem_write(DLL_BASE + rva, stub.to_bytes(4, "little"))
        self.stop_reason = None
        uc.hook_add(UC_HOOK_CODE, self.on_stub, begin=STUB_BASE,
                    end=STUB_BASE + 16 * len(self.stubs) - 1)

    def on_stub(self, uc, address, size, user_data):
        name, count, function = self.stubs[(address - STUB_BASE) // 16]
        try:
            if function is None:
                raise StopRun(f"the DLL called {name}, which has no stub")
            esp = uc.reg_read(UC_X86_REG_ESP)
            args = [self.kernel32.u32(esp + 4 + 4 * i) for i in range(count)]
            uc.reg_write(UC_X86_REG_EAX, function(*args) & 0xFFFFFFFF)
        except StopRun as stop:
            self.stop_reason = str(stop)
            uc.emu_stop()

    def call(self, function, args):
        """Calls a stdcall function; returns EAX as a signed int."""
        uc = self.uc
        top = STACK_BASE + STACK_SIZE - 0x100
        esp = top
        for value in reversed(args):
            esp -= 4
            uc.mem_write(esp, (value & 0xFFFFFFFF).to_bytes(4, "little"))
        esp -= 4
        uc.mem_write(esp, SENTINEL.to_bytes(4, "little"))
        uc.reg_write(UC_X86_REG_ESP, esp)
        for register, value in CALLEE_SAVED.items():
            uc.reg_write(register, value)
        self.stop_reason = None
        try:
            # No time limit here (one slows the emulation down by a third);
            # the test's own timeout stops a call that never returns.
            uc.emu_start(function, SENTINEL)
        except UcError as error:
            eip = uc.reg_read(UC_X86_REG_EIP)
            try:
                prefix = bytes(uc.mem_read(eip, 1))
            except UcError:
                prefix = b""
            if prefix == b"\x64":  # fs:, which points at the thread's TEB on Windows
                raise StopRun(f"the DLL reads the thread environment block at {eip:#x}, "
                              "which this loader does not provide") from None
            raise StopRun(f"{error} at {eip:#x}") from None
        if self.stop_reason:
            raise StopRun(self.stop_reason)
        if uc.reg_read(UC_X86_REG_EIP) != SENTINEL:
            raise StopRun(f"the call did not return (stopped at {uc.reg_read(UC_X86_REG_EIP):#x})")
        if uc.reg_read(UC_X86_REG_ESP) != top:
            raise StopRun(f"ESP is {uc.reg_read(UC_X86_REG_ESP) - top:+d} bytes off after the "
                          f"return (the callee must remove its {4 * len(args)} bytes)")
        for register, value in CALLEE_SAVED.items():
            if uc.reg_read(register) != value:
                raise StopRun("a callee-saved register changed across the call")
        result = uc.reg_read(UC_X86_REG_EAX)
        return result - (1 << 32) if result & 0x80000000 else result

    def qr_image(self, text, level, path):
        args = []
        for value, address in ((text, TEXT_ADDRESS), (path, PATH_ADDRESS)):
            if value is None:
                args.append(0)
            else:
                self.uc.mem_write(address, value + b"\0")
                args.append(address)
        result = self.call(self.entry, [args[0], level, args[1]])
        if self.kernel32.locks_held:
            raise StopRun("the call returned holding its lock")
        if self.kernel32.handles:
            raise StopRun("the call left a file handle open")
        return result


def files_under(root):
    """Every file under root, with its contents."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            with open(os.path.join(folder, name), "rb") as contents:
                files[os.path.relpath(os.path.join(folder, name), root)] = contents.read()
    return files


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    dll_path, golden_file, golden_program = sys.argv[1:]
    texts = subprocess.run([golden_program, "--texts"], check=True, capture_output=True,
                           text=True).stdout.split("\n")
    golden = [line for line in open(golden_file) if line.strip() and not line.startswith("#")]
    if len(golden) != 480 or len(texts) - 1 != len(golden):
        print(f"FAIL: {len(golden)} golden lines and {len(texts) - 1} texts, expected 480 each")
        return 1

    failures = 0
    with tempfile.TemporaryDirectory(prefix="qrimage-dll32-") as root:
        os.mkdir(os.path.join(root, "golden"))
        os.mkdir(os.path.join(root, LONG_FOLDER))
        started = time.monotonic()
        dll = Dll(dll_path, root)
        if dll.dll_main is not None:
            attached = dll.call(dll.dll_main, [DLL_BASE, 1, 0])  # DLL_PROCESS_ATTACH
            if attached != 1:
                print(f"FAIL: DllMain(PROCESS_ATTACH) returned {attached}")
                return 1

        # The golden files, each written over the one before.
        identical = 0
        for index, (line, text_line) in enumerate(zip(golden, texts)):
            letter, hex_text = text_line.split(" ")
            text = bytes.fromhex(hex_text)
            # Only the level's low byte counts: every other case fills the rest.
            level = ord(letter) | (0x5A3C0000 if index % 2 else 0)
            version, golden_letter, kind, length, expected, expected_hash = line.split()
            if (golden_letter, int(length)) != (letter, len(text)):
                print(f"FAIL: golden line {index + 1} does not describe text {index + 1}")
                return 1
            result = dll.qr_image(text, level, b"C:\\golden\\golden.bmp")
            written = files_under(root).get(os.path.join("golden", "golden.bmp"), b"")
            hash_seen = f"{fnv1a(written):016x}"
            if result != int(expected) or hash_seen != expected_hash:
                print(f"FAIL: golden {version} {letter} {kind}: returned {result}, file "
                      f"{hash_seen}; expected {expected}, {expected_hash}")
                failures += 1
            else:
                identical += 1
        golden_time = time.monotonic() - started
        print(f"{identical} of {len(golden)} golden files identical ({golden_time:.1f} s)")

        for case in CASES:
            before = files_under(root)
            dll.kernel32.free_bytes = case.free_bytes
            dll.kernel32.requests = []
            result = dll.qr_image(case.text, case.level, case.path)
            after = files_under(root)
            changed = {name for name in after.keys() | before.keys()
                       if after.get(name) != before.get(name)}
            wanted = {case.file} if case.file else set()
            requests = dll.kernel32.requests
            if (result != case.result or changed != wanted or
                    case.requests not in (None, requests)):
                print(f"FAIL: {case.name}: returned {result}, created or changed "
                      f"{sorted(changed)}, WriteFile requests {requests}; expected "
                      f"{case.result}, {sorted(wanted)}, {case.requests or 'any'}")
                failures += 1
            else:
                print(f"ok: {case.name}: {result}")
            for name in changed - before.keys():
                os.remove(os.path.join(root, name))

        if dll.dll_main is not None:
            dll.call(dll.dll_main, [DLL_BASE, 0, 0])  # DLL_PROCESS_DETACH, as FreeLibrary

    print(f"{failures} failure(s)")
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except StopRun as stop:
        print(f"FAIL: {stop}")
        sys.exit(1)

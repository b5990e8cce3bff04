#!/usr/bin/python3
"""Check the metadata of Tolvane's built Windows programs (Tolvane.exe and
tolvane-check.exe): headers, version record, manifest, icon and imported
DLLs.

Usage: check_metadata.py VERSION PROGRAM.exe...

VERSION is the project's version (four numbers), which every version record
must carry; each PROGRAM's file name is a row of EXPECTED_STRINGS.

pefile reads the PE structure; the resource payloads are decoded here, so
that what Windows would read is what gets checked.  Every failed check is
listed, and the exit status is 1 when any failed.
"""

import os
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

import pefile

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

# The version record's strings besides the version, by the program's file
# name. Both programs are Tolvane's.
SAME_STRINGS = {"CompanyName": "Tolvane developers", "ProductName": "Tolvane"}
EXPECTED_STRINGS = {
    "Tolvane.exe": dict(SAME_STRINGS, InternalName="Tolvane", OriginalFilename="Tolvane.exe",
                        FileDescription="Tolvane.exe"),
    "tolvane-check.exe": dict(SAME_STRINGS, InternalName="tolvane-check",
                              OriginalFilename="tolvane-check.exe",
                              FileDescription="Tolvane component validator"),
}
STRING_TABLE = "000004b0"
VOS_NT_WINDOWS32 = 0x00040004
VFT_APP = 0x00000001

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT_V1 = "urn:schemas-microsoft-com:compatibility.v1"
WS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}
COMMON_CONTROLS = {
    "type": "win32",
    "name": "Microsoft.Windows.Common-Controls",
    "version": "6.0.0.0",
    "processorArchitecture": "*",
    "publicKeyToken": "6595b64144ccf1df",
    "language": "*",
}

# (pixels, bits per pixel); the 256-pixel image is PNG, the others BMP.
EXPECTED_ICONS = sorted([
    (16, 32), (20, 32), (24, 32), (32, 32), (40, 32), (48, 32), (64, 32), (256, 32),
    (16, 8), (32, 8), (48, 8),
    (16, 4), (32, 4),
])

ALLOWED_DLLS = {"kernel32.dll", "msvcrt.dll"}

# The manifest names Windows Vista as the oldest supported system, so every
# function imported from KERNEL32.dll must be one that Vista's has: each of
# these is documented with Windows Vista or earlier as its minimum client.
# An import missing from a system keeps the executable from loading at all;
# a newer function (SetDefaultDllDirectories, say) is looked up at run time
# instead, and a new import lands here only after that check.
VISTA_KERNEL32 = set("""
    AddVectoredExceptionHandler CancelIoEx CloseHandle CreateEventA CreateEventW CreateFileW
    CreateNamedPipeW CreateProcessW CreateSemaphoreA CreateThread DeleteCriticalSection
    DeleteProcThreadAttributeList DuplicateHandle EnterCriticalSection ExitProcess
    FileTimeToSystemTime FormatMessageA FormatMessageW GetACP GetCPInfoExW GetConsoleMode
    GetConsoleScreenBufferInfo GetCurrentDirectoryW GetCurrentProcess GetCurrentProcessId
    GetCurrentThread GetCurrentThreadId GetEnvironmentVariableW GetExitCodeProcess
    GetFileAttributesW GetFinalPathNameByHandleW GetFullPathNameW GetHandleInformation
    GetLastError GetModuleFileNameW GetModuleHandleA GetModuleHandleW GetOverlappedResult
    GetProcAddress GetProcessAffinityMask GetProcessTimes GetShortPathNameW GetStartupInfoW
    GetStdHandle GetSystemTimeAdjustment GetSystemTimeAsFileTime GetThreadContext
    GetThreadPriority GetThreadTimes GetTickCount64 InitializeCriticalSection
    InitializeProcThreadAttributeList IsDBCSLeadByteEx IsDebuggerPresent LeaveCriticalSection
    LoadLibraryExW LoadLibraryW LocalFree MultiByteToWideChar OpenProcess OutputDebugStringA
    QueryPerformanceCounter QueryPerformanceFrequency RaiseException ReadFile ReleaseSemaphore
    RemoveVectoredExceptionHandler ResetEvent ResumeThread RtlCaptureContext
    RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind SetConsoleCtrlHandler
    SetCurrentDirectoryW SetDllDirectoryW SetEvent SetLastError SetProcessAffinityMask
    SetStdHandle SetSystemTime SetThreadContext SetThreadPriority SetUnhandledExceptionFilter
    Sleep SuspendThread TerminateProcess TlsAlloc TlsGetValue TlsSetValue
    TryEnterCriticalSection UpdateProcThreadAttribute VirtualProtect VirtualQuery
    WaitForMultipleObjects WaitForSingleObject WideCharToMultiByte WriteConsoleW WriteFile
    __C_specific_handler
""".split()) | set("""
    CreateHardLinkW DeleteFileW FindFirstVolumeW FindNextVolumeW FindVolumeClose
    GetDiskFreeSpaceExW GetFileInformationByHandle GetFileSizeEx GetFileType GetTempPathW
    GetVolumeInformationW MoveFileExW RemoveDirectoryW SetEndOfFile SetFilePointer
""".split()) | set("""
    AssignProcessToJobObject CreateJobObjectW SetInformationJobObject TerminateJobObject
    CreateToolhelp32Snapshot Thread32First Thread32Next GetSystemDirectoryW
    SetEnvironmentVariableW SetThreadStackGuarantee
""".split())  # std::filesystem's file operations (for tolvane-check); a run's job; the
#              threads a crash names; a module's missing library; a stand-in's environment
ALLOWED_DLL_PATTERN = re.compile(r"api-ms-win-[a-z0-9-]+\.dll")


class Checker:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def check(self, condition, what):
        if condition:
            self.passed += 1
        else:
            self.failures.append(what)
        return condition

    def equal(self, actual, expected, what):
        return self.check(actual == expected, "%s: expected %r, found %r" % (what, expected, actual))


# ---------------------------------------------------------------- resources

def resources(pe):
    """{type: {name: [(language, bytes)]}}; names and types are ints when
    numeric, str when named."""
    found = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return found
    for rtype in root.entries:
        type_key = rtype.id if rtype.name is None else str(rtype.name)
        for rname in rtype.directory.entries:
            name_key = rname.id if rname.name is None else str(rname.name)
            for lang in rname.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                found.setdefault(type_key, {}).setdefault(name_key, []).append((lang.id, data))
    return found


def single_resource(c, res, rtype, label):
    """Payload of the one resource of a type, or None (with a failure)."""
    names = res.get(rtype, {})
    if not c.equal(len(names), 1, "number of %s resources" % label):
        return None, None
    name, langs = next(iter(names.items()))
    if not c.equal(len(langs), 1, "languages of %s resource %r" % (label, name)):
        return None, None
    return name, langs[0][1]


# ---------------------------------------------------------- version record

def align4(n):
    return (n + 3) & ~3


def parse_version_node(data, pos):
    """One VS_VERSIONINFO-style node: (key, type, value bytes, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    k = pos + 6
    while data[k:k + 2] != b"\0\0":
        k += 2
    key = data[pos + 6:k].decode("utf-16-le")
    p = align4(k + 2)
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[p:min(p + value_bytes, end)]
    p = align4(p + value_bytes)
    children = []
    while p < end:
        child, p = parse_version_node(data, p)
        children.append(child)
        p = align4(p)
    return (key, value_type, value, children), end


def text_value(value):
    return value.decode("utf-16-le", errors="replace").split("\0", 1)[0]


def fixed_version(version):
    """The (MS, LS) words of VS_FIXEDFILEINFO for "a.b.c.d"."""
    a, b, cc, d = (int(part) for part in version.split("."))
    return ((a << 16) | b, (cc << 16) | d)


def check_version(c, res, version, expected):
    _, data = single_resource(c, res, RT_VERSION, "RT_VERSION")
    if data is None:
        return
    try:
        (key, _, fixed, children), _ = parse_version_node(data, 0)
    except (struct.error, IndexError, UnicodeDecodeError) as exc:
        c.check(False, "version record is malformed: %s" % exc)
        return
    c.equal(key, "VS_VERSION_INFO", "version record key")
    if c.equal(len(fixed), 52, "VS_FIXEDFILEINFO size"):
        words = struct.unpack("<13I", fixed)
        c.equal(hex(words[0]), hex(0xFEEF04BD), "VS_FIXEDFILEINFO signature")
        c.equal(words[2:4], fixed_version(version), "fixed FileVersion (MS, LS)")
        c.equal(words[4:6], fixed_version(version), "fixed ProductVersion (MS, LS)")
        c.equal(hex(words[8]), hex(VOS_NT_WINDOWS32), "FILEOS")
        c.equal(words[9], VFT_APP, "FILETYPE")
    blocks = {child[0]: child for child in children}

    string_info = blocks.get("StringFileInfo")
    if c.check(string_info is not None, "StringFileInfo block missing"):
        tables = string_info[3]
        c.equal([t[0] for t in tables], [STRING_TABLE], "string tables")
        for table in tables:
            strings = {s[0]: text_value(s[2]) for s in table[3]}
            expected_strings = dict(expected, FileVersion=version, ProductVersion=version)
            for name, value in expected_strings.items():
                c.equal(strings.get(name), value, "string %s in table %s" % (name, table[0]))

    var_info = blocks.get("VarFileInfo")
    if c.check(var_info is not None, "VarFileInfo block missing"):
        translations = [v for v in var_info[3] if v[0] == "Translation"]
        if c.equal(len(translations), 1, "Translation entries"):
            raw = translations[0][2]
            pairs = [struct.unpack_from("<HH", raw, i) for i in range(0, len(raw) - 3, 4)]
            c.equal(pairs, [(0x0000, 0x04B0)], "Translation (language, code page)")
            c.equal(["%04x%04x" % p for p in pairs], [STRING_TABLE],
                    "string table named by Translation")


# ----------------------------------------------------------------- manifest

def q(namespace, tag):
    return "{%s}%s" % (namespace, tag)


def check_manifest(c, res):
    c.check(all(not isinstance(t, str) or t.upper() not in ("RT_MANIFEST", "24", "#24")
                for t in res),
            "a manifest is stored under a named type, which Windows ignores")
    name, data = single_resource(c, res, RT_MANIFEST, "RT_MANIFEST (type 24)")
    if data is None:
        return
    c.equal(name, 1, "manifest resource id")
    try:
        root = ET.fromstring(data)
    except ET.ParseError as exc:
        c.check(False, "manifest is not well-formed XML: %s" % exc)
        return
    c.equal(root.tag, q(ASM_V1, "assembly"), "manifest root element")
    c.equal(root.get("manifestVersion"), "1.0", "manifestVersion")

    identity = root.findall(q(ASM_V1, "assemblyIdentity"))
    if c.equal(len(identity), 1, "assemblyIdentity elements of the assembly"):
        for attr, expected in (("type", "win32"), ("name", "Mini"), ("version", "1.0.0.0"),
                               ("processorArchitecture", "amd64")):
            c.equal(identity[0].get(attr), expected, "assemblyIdentity %s" % attr)

    ids = [e.get("Id", "").lower() for e in
           root.findall("%s/%s/%s" % (q(COMPAT_V1, "compatibility"), q(COMPAT_V1, "application"),
                                      q(COMPAT_V1, "supportedOS")))]
    for guid, system in SUPPORTED_OS.items():
        c.check(ids.count(guid) == 1, "supportedOS %s (%s) declared %d times"
                % (guid, system, ids.count(guid)))
    c.equal(sorted(set(ids) - set(SUPPORTED_OS)), [], "unexpected supportedOS entries")

    long_path = root.findall("%s/%s/%s" % (q(ASM_V3, "application"), q(ASM_V3, "windowsSettings"),
                                           q(WS_2016, "longPathAware")))
    c.equal([(e.text or "").strip() for e in long_path], ["true"], "longPathAware")

    dependencies = [e for e in root.findall("%s/%s/%s" % (q(ASM_V1, "dependency"),
                                                          q(ASM_V1, "dependentAssembly"),
                                                          q(ASM_V1, "assemblyIdentity")))
                    if e.get("name") == COMMON_CONTROLS["name"]]
    if c.equal(len(dependencies), 1, "common-controls dependencies"):
        for attr, expected in COMMON_CONTROLS.items():
            c.equal(dependencies[0].get(attr), expected, "common-controls %s" % attr)

    levels = []
    for ns in (ASM_V2, ASM_V3):
        levels += root.findall("%s/%s/%s/%s" % (q(ns, "trustInfo"), q(ns, "security"),
                                                q(ns, "requestedPrivileges"),
                                                q(ns, "requestedExecutionLevel")))
    if c.equal(len(levels), 1, "requestedExecutionLevel elements"):
        c.equal(levels[0].get("level"), "asInvoker", "requestedExecutionLevel level")
        c.equal(levels[0].get("uiAccess"), "false", "requestedExecutionLevel uiAccess")

    code_pages = [e for e in root.iter() if e.tag.rsplit("}", 1)[-1] == "activeCodePage"]
    c.equal(len(code_pages), 0, "activeCodePage elements")


# --------------------------------------------------------------------- icon

def png_pixels(data):
    """(width, height, bits, rows of (r, g, b, a)); RGBA 8-bit only."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    pos, header, idat = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack_from(">I", data, pos + 8 + length)
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            raise ValueError("bad CRC in %r chunk" % kind)
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise ValueError("no IHDR")
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise ValueError("not 8-bit non-interlaced RGBA (depth %d, colour type %d)" % (depth, colour))
    raw = zlib.decompress(idat)
    stride = width * 4
    if len(raw) != height * (stride + 1):
        raise ValueError("image data has %d bytes, expected %d" % (len(raw), height * (stride + 1)))
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = previous[i]
            cc = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                pred = a
            elif kind == 2:
                pred = b
            elif kind == 3:
                pred = (a + b) // 2
            elif kind == 4:
                p = a + b - cc
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - cc)
                pred = a if pa <= pb and pa <= pc else b if pb <= pc else cc
            elif kind == 0:
                pred = 0
            else:
                raise ValueError("bad filter type %d" % kind)
            line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(width)])
        previous = line
    return width, height, 32, rows


def bmp_pixels(data):
    """(width, height, bits, rows of (r, g, b, a)) of an icon DIB; alpha
    comes from the AND mask unless the image is 32-bit."""
    (header_size, width, double_height, planes, bits, compression, _, _, _,
     colours_used, _) = struct.unpack_from("<IiiHHIIiiII", data)
    if header_size != 40:
        raise ValueError("BITMAPINFOHEADER size %d" % header_size)
    if double_height != 2 * width:
        raise ValueError("height %d is not twice the width %d" % (double_height, width))
    if planes != 1 or compression != 0:
        raise ValueError("planes %d, compression %d" % (planes, compression))
    if bits not in (4, 8, 32):
        raise ValueError("bit count %d" % bits)
    height = width
    palette_size = (colours_used or (1 << bits)) if bits <= 8 else 0
    palette = [struct.unpack_from("<BBBx", data, 40 + 4 * k)[::-1] for k in range(palette_size)]
    xor_offset = 40 + 4 * palette_size
    xor_stride = ((width * bits + 31) // 32) * 4
    and_offset = xor_offset + xor_stride * height
    and_stride = ((width + 31) // 32) * 4
    expected = and_offset + and_stride * height
    if len(data) != expected:
        raise ValueError("%d bytes, header and masks need %d" % (len(data), expected))
    rows = []
    for y in range(height):
        source = height - 1 - y
        xor = data[xor_offset + source * xor_stride:]
        mask = data[and_offset + source * and_stride:]
        row = []
        for x in range(width):
            transparent = (mask[x >> 3] >> (7 - (x & 7))) & 1
            if bits == 32:
                b, g, r, a = xor[x * 4:x * 4 + 4]
            else:
                per = 8 // bits
                index = (xor[x // per] >> ((per - 1 - x % per) * bits)) & ((1 << bits) - 1)
                if index >= palette_size:
                    raise ValueError("pixel uses colour %d of %d" % (index, palette_size))
                r, g, b = palette[index]
                a = 0 if transparent else 255
            row.append((r, g, b, a))
        rows.append(row)
    return width, height, bits, rows


def check_icon(c, res):
    _, group = single_resource(c, res, RT_GROUP_ICON, "RT_GROUP_ICON")
    if group is None:
        return
    reserved, kind, count = struct.unpack_from("<HHH", group)
    c.equal((reserved, kind), (0, 1), "GRPICONDIR reserved and type")
    c.equal(count, 13, "RT_GROUP_ICON entries")
    c.equal(len(group), 6 + 14 * count, "RT_GROUP_ICON size")
    images = res.get(RT_ICON, {})
    found = []
    for k in range(count):
        if 6 + 14 * (k + 1) > len(group):
            break
        (width, height, colours, _, planes, bits, size, icon_id) = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * k)
        label = "icon entry %d (RT_ICON %d)" % (k + 1, icon_id)
        langs = images.get(icon_id)
        if not c.check(langs is not None and len(langs) == 1, "%s: image missing" % label):
            continue
        data = langs[0][1]
        c.equal(len(data), size, "%s: bytes in resource" % label)
        try:
            if data[:4] == b"\x89PNG":
                image_width, image_height, image_bits, rows = png_pixels(data)
                is_png = True
            else:
                image_width, image_height, image_bits, rows = bmp_pixels(data)
                is_png = False
        except (ValueError, struct.error, zlib.error, IndexError) as exc:
            c.check(False, "%s: undecodable image: %s" % (label, exc))
            continue
        c.equal(image_width, image_height, "%s: square image" % label)
        c.equal((width or 256, height or 256, bits), (image_width, image_height, image_bits),
                "%s: directory entry against the image" % label)
        c.equal(colours, 1 << bits if bits < 8 else 0, "%s: colour count" % label)
        c.equal(is_png, image_width >= 256, "%s: stored as PNG" % label)
        opaque = [p[:3] for row in rows for p in row if p[3] == 255]
        transparent = sum(1 for row in rows for p in row if p[3] == 0)
        c.check(len(set(opaque)) >= 3, "%s: fewer than 3 opaque colours" % label)
        c.check(len(opaque) * 2 > image_width * image_height, "%s: mostly transparent" % label)
        c.check(transparent > 0, "%s: no transparent corner" % label)
        found.append((image_width, image_bits))
    c.equal(sorted(found), EXPECTED_ICONS, "icon images (size, bits)")


# ---------------------------------------------------------- headers, imports

def check_headers(c, pe):
    c.equal(hex(pe.FILE_HEADER.Machine), hex(pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]),
            "machine")
    c.equal(hex(pe.OPTIONAL_HEADER.Magic), hex(0x20B), "optional header magic (PE32+)")
    c.equal(pe.OPTIONAL_HEADER.Subsystem, 3, "subsystem (3 = console)")


def check_imports(c, pe):
    names = [entry.dll.decode("ascii", errors="replace")
             for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT")
             for entry in getattr(pe, attr, [])]
    c.check(any(n.lower() == "kernel32.dll" for n in names), "KERNEL32.dll not imported")
    foreign = [n for n in names
               if n.lower() not in ALLOWED_DLLS and not ALLOWED_DLL_PATTERN.fullmatch(n.lower())]
    c.equal(foreign, [], "imported DLLs that are not system DLLs")
    kernel32 = {imp.name.decode("ascii") for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                if entry.dll.decode("ascii", errors="replace").lower() == "kernel32.dll"
                for imp in entry.imports if imp.name}
    c.equal(sorted(kernel32 - VISTA_KERNEL32), [],
            "KERNEL32 imports not known to be in Windows Vista")


def check_program(path, version):
    """Every check of one program; True when all passed."""
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as exc:
        print("FAIL: %s: %s" % (path, exc))
        return False
    c = Checker()
    res = resources(pe)
    check_headers(c, pe)
    check_imports(c, pe)
    check_version(c, res, version, EXPECTED_STRINGS[os.path.basename(path)])
    check_manifest(c, res)
    check_icon(c, res)
    for failure in c.failures:
        print("FAIL: %s: %s" % (os.path.basename(path), failure))
    print("%s: %d checks passed, %d failed" % (path, c.passed, len(c.failures)))
    return not c.failures


def main(argv):
    if (len(argv) < 3 or not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", argv[1])
            or any(os.path.basename(path) not in EXPECTED_STRINGS for path in argv[2:])):
        sys.stderr.write("usage: check_metadata.py VERSION PROGRAM.exe...\n"
                         "  PROGRAM: %s\n" % ", ".join(EXPECTED_STRINGS))
        return 2
    passed = [check_program(path, argv[1]) for path in argv[2:]]
    return 0 if all(passed) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))

// The Win32 and native (ntdll) types, constants and error codes the cleaner
// uses. On Windows the Win32 ones come from <windows.h>; elsewhere this header
// declares the same names with the same sizes and values, so that the core code
// and the in-memory fake build on any host. The native ones, which no SDK
// header declares whole, are declared here for every host, with Windows'
// names, layouts and values.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#else  // !_WIN32

#include <cstdint>

using BYTE = unsigned char;
using CHAR = char;
using WCHAR = char16_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using LONGLONG = std::int64_t;
using ULONG_PTR = std::uintptr_t;
using UINT = unsigned int;
using BOOL = int;
using BOOLEAN = unsigned char;
using ACCESS_MASK = DWORD;
using LSTATUS = LONG;
using LPSTR = char*;
using LPCSTR = const char*;
using PVOID = void*;
using HANDLE = void*;
struct HKEY__;
using HKEY = HKEY__*;

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

struct SECURITY_ATTRIBUTES;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

constexpr int MAX_PATH = 260;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
inline HKEY const HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000001)));
inline HKEY const HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<LONG>(0x80000002)));

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x100;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

// Access rights, share modes and CreateFileA's arguments.
constexpr DWORD FILE_LIST_DIRECTORY = 0x1;
constexpr DWORD FILE_ADD_FILE = 0x2;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x80;
constexpr DWORD FILE_WRITE_ATTRIBUTES = 0x100;
constexpr DWORD DELETE = 0x10000;
constexpr DWORD SYNCHRONIZE = 0x100000;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_NOT_READY = 21;
constexpr LONG ERROR_SHARING_VIOLATION = 32;
constexpr LONG ERROR_LOCK_VIOLATION = 33;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_INVALID_NAME = 123;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_DIRECTORY = 267;
constexpr LONG ERROR_BADKEY = 1010;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_ENVVAR_NOT_FOUND = 203;

#endif  // _WIN32

// ---- The native API ----------------------------------------------------------

#ifndef NTAPI
#define NTAPI
#endif

using NTSTATUS = LONG;

struct UNICODE_STRING {
  USHORT Length;  // bytes, without a terminating zero
  USHORT MaximumLength;
  WCHAR* Buffer;
};

struct OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;  // the folder a relative ObjectName is opened in
  UNICODE_STRING* ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};

struct IO_STATUS_BLOCK {
  union {
    NTSTATUS Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;  // for a listing, the bytes written
};

using PIO_APC_ROUTINE = void(NTAPI*)(PVOID, IO_STATUS_BLOCK*, ULONG);

enum FILE_INFORMATION_CLASS {
  FileDirectoryInformation = 1,
  FileBasicInformation = 4,
  FileStandardInformation = 5,
  FileInternalInformation = 6,
  FileNameInformation = 9,
  FileDispositionInformation = 13,
};

// One record of a FileDirectoryInformation listing; records follow each other
// at NextEntryOffset bytes (0 for the last), the name not zero-terminated.
struct FILE_DIRECTORY_INFORMATION {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime;
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  LARGE_INTEGER EndOfFile;
  LARGE_INTEGER AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;  // bytes
  WCHAR FileName[1];
};

struct FILE_BASIC_INFORMATION {
  LARGE_INTEGER CreationTime;  // times of 0 are left as they are when set
  LARGE_INTEGER LastAccessTime;
  LARGE_INTEGER LastWriteTime;
  LARGE_INTEGER ChangeTime;
  ULONG FileAttributes;
};

struct FILE_STANDARD_INFORMATION {
  LARGE_INTEGER AllocationSize;
  LARGE_INTEGER EndOfFile;
  ULONG NumberOfLinks;
  BOOLEAN DeletePending;
  BOOLEAN Directory;
};

// The entry's file index on its volume.
struct FILE_INTERNAL_INFORMATION {
  LARGE_INTEGER IndexNumber;
};

// The entry's path from its volume's root ("\" for the root itself), not
// zero-terminated; the rest of the name does not fit in this record.
struct FILE_NAME_INFORMATION {
  ULONG FileNameLength;  // bytes
  WCHAR FileName[1];
};

struct FILE_DISPOSITION_INFORMATION {
  BOOLEAN DeleteFile;  // TRUE: the entry goes when its last handle closes
};

// OBJECT_ATTRIBUTES.Attributes and NtOpenFile's OpenOptions. Some SDKs define
// the options as macros already.
constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
#ifndef FILE_SYNCHRONOUS_IO_NONALERT
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020
#endif
#ifndef FILE_OPEN_FOR_BACKUP_INTENT
#define FILE_OPEN_FOR_BACKUP_INTENT 0x00004000
#endif
#ifndef FILE_DELETE_ON_CLOSE
#define FILE_DELETE_ON_CLOSE 0x00001000
#endif
#ifndef FILE_NON_DIRECTORY_FILE
#define FILE_NON_DIRECTORY_FILE 0x00000040
#endif
#ifndef FILE_COMPLETE_IF_OPLOCKED
#define FILE_COMPLETE_IF_OPLOCKED 0x00000100
#endif
#ifndef FILE_OPEN_REPARSE_POINT
#define FILE_OPEN_REPARSE_POINT 0x00200000
#endif

// NTSTATUS values; an NTSTATUS of 0 or more is a success, negative an error.
// Some SDKs define a few of them as macros already.
constexpr bool NtSuccess(NTSTATUS status) { return status >= 0; }
#define SWEEPWELL_NTSTATUS(value) static_cast<NTSTATUS>(static_cast<ULONG>(value))
#ifndef STATUS_SUCCESS
#define STATUS_SUCCESS SWEEPWELL_NTSTATUS(0x00000000)
#endif
#ifndef STATUS_OPLOCK_BREAK_IN_PROGRESS
#define STATUS_OPLOCK_BREAK_IN_PROGRESS SWEEPWELL_NTSTATUS(0x00000108)
#endif
#ifndef STATUS_BUFFER_OVERFLOW
#define STATUS_BUFFER_OVERFLOW SWEEPWELL_NTSTATUS(0x80000005)
#endif
#ifndef STATUS_NO_MORE_FILES
#define STATUS_NO_MORE_FILES SWEEPWELL_NTSTATUS(0x80000006)
#endif
#ifndef STATUS_INFO_LENGTH_MISMATCH
#define STATUS_INFO_LENGTH_MISMATCH SWEEPWELL_NTSTATUS(0xC0000004)
#endif
#ifndef STATUS_INVALID_HANDLE
#define STATUS_INVALID_HANDLE SWEEPWELL_NTSTATUS(0xC0000008)
#endif
#ifndef STATUS_INVALID_PARAMETER
#define STATUS_INVALID_PARAMETER SWEEPWELL_NTSTATUS(0xC000000D)
#endif
#ifndef STATUS_NO_MEMORY
#define STATUS_NO_MEMORY SWEEPWELL_NTSTATUS(0xC0000017)
#endif
#ifndef STATUS_ACCESS_DENIED
#define STATUS_ACCESS_DENIED SWEEPWELL_NTSTATUS(0xC0000022)
#endif
#ifndef STATUS_BUFFER_TOO_SMALL
#define STATUS_BUFFER_TOO_SMALL SWEEPWELL_NTSTATUS(0xC0000023)
#endif
#ifndef STATUS_OBJECT_TYPE_MISMATCH
#define STATUS_OBJECT_TYPE_MISMATCH SWEEPWELL_NTSTATUS(0xC0000024)
#endif
#ifndef STATUS_OBJECT_NAME_INVALID
#define STATUS_OBJECT_NAME_INVALID SWEEPWELL_NTSTATUS(0xC0000033)
#endif
#ifndef STATUS_OBJECT_NAME_NOT_FOUND
#define STATUS_OBJECT_NAME_NOT_FOUND SWEEPWELL_NTSTATUS(0xC0000034)
#endif
#ifndef STATUS_SHARING_VIOLATION
#define STATUS_SHARING_VIOLATION SWEEPWELL_NTSTATUS(0xC0000043)
#endif
#ifndef STATUS_DELETE_PENDING
#define STATUS_DELETE_PENDING SWEEPWELL_NTSTATUS(0xC0000056)
#endif
#ifndef STATUS_DIRECTORY_NOT_EMPTY
#define STATUS_DIRECTORY_NOT_EMPTY SWEEPWELL_NTSTATUS(0xC0000101)
#endif
#ifndef STATUS_FILE_IS_A_DIRECTORY
#define STATUS_FILE_IS_A_DIRECTORY SWEEPWELL_NTSTATUS(0xC00000BA)
#endif
#ifndef STATUS_NOT_A_DIRECTORY
#define STATUS_NOT_A_DIRECTORY SWEEPWELL_NTSTATUS(0xC0000103)
#endif
#ifndef STATUS_CANNOT_DELETE
#define STATUS_CANNOT_DELETE SWEEPWELL_NTSTATUS(0xC0000121)
#endif

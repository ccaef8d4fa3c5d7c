// The Win32 stand-in: the part of the Win32 API that the installer calls,
// with the real types, constants and signatures, implemented over a simulated
// Windows machine kept in a folder (see hostwin/src/machine.h).
//
// Sizes follow the Win32 ABI where the installer depends on them: DWORD,
// LONG and UINT are 32 bits, WORD 16, BYTE 8, whatever the host's long is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef short SHORT;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t INT_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef LONG* PLONG;
typedef void* HANDLE;
typedef int HFILE;

#define WINAPI
#define CALLBACK
#define APIENTRY
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

struct HINSTANCE__ { int unused; };
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

#define HFILE_ERROR ((HFILE)-1)
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

// _lopen modes.
#define OF_READ 0x0000
#define OF_WRITE 0x0001
#define OF_READWRITE 0x0002
#define OF_SHARE_DENY_NONE 0x0040

// _llseek / SetFilePointer origins.
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

extern "C" {

// kernel32: the 16-bit-era file functions that read the installer image and
// write stored entries. Paths with a drive letter ("C:\...") lie inside the
// simulated machine; any other path is a file of the host.
HFILE WINAPI _lopen(LPCSTR path, int mode);
HFILE WINAPI _lcreat(LPCSTR path, int attributes);
UINT WINAPI _lread(HFILE file, LPVOID buffer, UINT bytes);
UINT WINAPI _lwrite(HFILE file, LPCSTR buffer, UINT bytes);
LONG WINAPI _llseek(HFILE file, LONG offset, int origin);
HFILE WINAPI _lclose(HFILE file);

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size);

// The C runtime calls that take Windows paths. fopen is redirected so that a
// "C:\..." path opens the machine's file; _stat is the Windows CRT's own name,
// which the host C library does not have.
FILE* HostwinFopen(const char* path, const char* mode);
struct _stat {
  unsigned short st_mode;
  long st_size;
};
int _stat(const char* path, struct _stat* status);

}  // extern "C"

#define fopen HostwinFopen
#ifndef _S_IFDIR
#define _S_IFDIR 0x4000
#define _S_IFREG 0x8000
#endif

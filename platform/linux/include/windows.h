// The few Windows types and file calls the batch uses, for building it off Windows.
// Paths are Windows paths; "C:\..." lives under the host folder named by DRIVE_C (see host_path.h).
#pragma once

#include <cstdint>

typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int BOOL;
typedef int32_t HRESULT;
typedef void* LPVOID;
typedef const char* LPCSTR;

#define FALSE 0
#define TRUE 1
#define STDMETHODCALLTYPE

#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(0xFFFFFFFF))
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Attributes of the file or folder at `path`, or INVALID_FILE_ATTRIBUTES if there is none.
DWORD GetFileAttributesA(LPCSTR path);
// Makes the one folder `path` (not its parents); nonzero on success.
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES security);
// Deletes the file `path` (never a folder); nonzero on success.
BOOL DeleteFileA(LPCSTR path);

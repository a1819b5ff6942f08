// OLE strings as the batch uses them, for building it off Windows.
// A BSTR points at UTF-16 code units, preceded by their length in bytes and followed by a NUL,
// exactly as on Windows; the null BSTR is the empty string.
#pragma once

#include <objbase.h>

typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;

// A new BSTR holding `text` (wide characters as this platform has them) in UTF-16; null for null.
BSTR SysAllocString(const wchar_t* text);
// A new BSTR of the `length` code units at `text` (zeros when `text` is null).
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// The number of code units in `text`; 0 for the null BSTR.
UINT SysStringLen(BSTR text);
// Frees a BSTR made by this layer; the null BSTR is accepted.
void SysFreeString(BSTR text);

// How many BSTRs are allocated and not yet freed, for leak checks.
long LiveStringCount();

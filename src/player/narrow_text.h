// Player strings as the narrow texts the batch compares and prints.
#pragma once

#include <windows.h>
#include <oleauto.h>

// Room for a NUL-terminated text of at most 255 bytes.
typedef char TextBuffer[256];

// Clears `buffer` and copies `text` into it, one byte per code unit (its low 8 bits), stopping
// at the first unit whose low byte is zero or after 255 bytes; a null `text` leaves it empty.
void NarrowText(BSTR text, TextBuffer& buffer);

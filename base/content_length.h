// Strict reading of an HTTP Content-Length value. Portable (no windows.h).
#ifndef ZORVET_CONTENT_LENGTH_H
#define ZORVET_CONTENT_LENGTH_H

#include <stdint.h>

// 1 and *out = the value when text is 1 to 10 decimal digits (nothing else, no
// sign, no blanks) and the value is at most cap; 0 otherwise.
int ParseContentLength(const char* text, uint32_t cap, uint32_t* out);

#endif

// Strict reading of an HTTP Content-Length value. Portable (no windows.h).
#ifndef ZORVET_CONTENT_LENGTH_H
#define ZORVET_CONTENT_LENGTH_H

#include <stdint.h>

// 1 and *out = the value when text is decimal digits only (at least one; no
// sign, no blanks; zeros in front allowed, as HTTP allows them) and the value is
// at most cap; 0 and *out untouched otherwise.
int ParseContentLength(const char* text, uint32_t cap, uint32_t* out);

#endif

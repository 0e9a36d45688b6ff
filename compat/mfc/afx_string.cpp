// CString: multi-byte text in one heap block (header, bytes, NUL).
#include "afx.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The shared empty text: never written, never freed (capacity 0).
struct EmptyBlock {
    int length;
    int capacity;
    char text[4];
};
EmptyBlock g_empty = {0, 0, {0, 0, 0, 0}};

[[noreturn]] void OutOfMemory() {
    // The layer's classes cannot report failure through their signatures.
    fputs("updater: out of memory\n", stderr);
    ExitProcess(1);
}

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int SafeLength(LPCSTR text) { return text ? (int)strlen(text) : 0; }

// Trims apply to single-byte characters only: a double-byte character is kept
// whole, whatever its trail byte. `match` tells whether a single byte goes.
template <typename Match>
int LeftKeep(LPCSTR s, int len, Match match) {
    int i = 0;
    while (i < len) {
        int n = AfxCharLength(s, i, len);
        if (n != 1 || !match((unsigned char)s[i])) break;
        i += n;
    }
    return i;  // bytes to drop at the front
}

template <typename Match>
int RightKeep(LPCSTR s, int len, Match match) {
    // Walk forward so that a trail byte is never mistaken for a character.
    int keep = 0;
    int i = 0;
    while (i < len) {
        int n = AfxCharLength(s, i, len);
        if (n != 1 || !match((unsigned char)s[i])) keep = i + n;
        i += n;
    }
    return keep;  // bytes to keep at the front
}

}  // namespace

BOOL AfxIsLeadByte(unsigned char c) { return c >= 0x80 && IsDBCSLeadByteEx(936, c); }

int AfxCharLength(LPCSTR text, int i, int length) {
    if (i + 1 < length && AfxIsLeadByte((unsigned char)text[i]) && text[i + 1] != 0) return 2;
    return 1;
}

CRuntimeClass* CObject::GetRuntimeClass() const {
    static CRuntimeClass cls = {"CObject"};
    return &cls;
}

// ---- storage ------------------------------------------------------------------

CString::CString() : m_pchData(g_empty.text) {}

CString::CString(const CString& s) : m_pchData(g_empty.text) { Assign(s.m_pchData, s.GetLength()); }

CString::CString(LPCSTR text) : m_pchData(g_empty.text) { Assign(text, SafeLength(text)); }

CString::CString(LPCSTR text, int length) : m_pchData(g_empty.text) {
    int n = 0;
    if (text)
        while (n < length && text[n]) ++n;
    Assign(text, n);
}

CString::CString(char ch, int repeat) : m_pchData(g_empty.text) {
    if (repeat <= 0 || ch == 0) return;
    Reserve(repeat);
    memset(m_pchData, ch, repeat);
    m_pchData[repeat] = 0;
    GetData()->length = repeat;
}

CString::~CString() {
    if (GetData()->capacity > 0) free(GetData());
}

void CString::Reserve(int capacity) {
    Data* d = GetData();
    if (capacity <= d->capacity) return;
    if (capacity > 0x3FFFFFF0) OutOfMemory();
    int grown = d->capacity + d->capacity / 2;
    if (grown > capacity && grown < 0x3FFFFFF0) capacity = grown;
    if (capacity < 15) capacity = 15;
    Data* n = static_cast<Data*>(malloc(sizeof(Data) + capacity + 1));
    if (!n) OutOfMemory();
    n->length = d->length;
    n->capacity = capacity;
    memcpy(n->text(), m_pchData, d->length + 1);
    if (d->capacity > 0) free(d);
    m_pchData = n->text();
}

void CString::Assign(LPCSTR text, int length) {
    if (length <= 0) {
        Empty();
        return;
    }
    if (text >= m_pchData && text <= m_pchData + GetLength()) {
        CString copy(text, length);  // assignment from a part of itself
        Assign(copy.m_pchData, copy.GetLength());
        return;
    }
    if (length > GetData()->capacity) {
        Empty();
        Reserve(length);
    }
    memcpy(m_pchData, text, length);
    m_pchData[length] = 0;
    GetData()->length = length;
}

void CString::Append(LPCSTR text, int length) {
    if (length <= 0) return;
    if (text >= m_pchData && text <= m_pchData + GetLength()) {
        CString copy(text, length);
        Append(copy.m_pchData, copy.GetLength());
        return;
    }
    int old = GetLength();
    Reserve(old + length);
    memcpy(m_pchData + old, text, length);
    m_pchData[old + length] = 0;
    GetData()->length = old + length;
}

int CString::GetLength() const { return GetData()->length; }

void CString::Empty() {
    if (GetData()->capacity > 0) free(GetData());
    m_pchData = g_empty.text;
}

char CString::GetAt(int index) const {
    return index >= 0 && index < GetLength() ? m_pchData[index] : 0;
}

void CString::SetAt(int index, char ch) {
    if (index < 0 || index >= GetLength() || ch == 0) return;
    m_pchData[index] = ch;
}

const CString& CString::operator=(const CString& s) {
    if (this != &s) Assign(s.m_pchData, s.GetLength());
    return *this;
}
const CString& CString::operator=(LPCSTR text) {
    Assign(text, SafeLength(text));
    return *this;
}
const CString& CString::operator=(char ch) {
    Assign(&ch, ch ? 1 : 0);
    return *this;
}
const CString& CString::operator+=(const CString& s) {
    Append(s.m_pchData, s.GetLength());
    return *this;
}
const CString& CString::operator+=(LPCSTR text) {
    Append(text, SafeLength(text));
    return *this;
}
const CString& CString::operator+=(char ch) {
    if (ch) Append(&ch, 1);
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, LPCSTR b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(LPCSTR a, const CString& b) {
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, char b) {
    CString r(a);
    r += b;
    return r;
}

bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
bool operator==(const CString& a, LPCSTR b) { return a.Compare(b) == 0; }
bool operator==(LPCSTR a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
bool operator!=(const CString& a, LPCSTR b) { return a.Compare(b) != 0; }
bool operator!=(LPCSTR a, const CString& b) { return b.Compare(a) != 0; }
bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }

// ---- comparison -----------------------------------------------------------------

int CString::Compare(LPCSTR text) const { return strcmp(m_pchData, text ? text : ""); }

int CString::CompareNoCase(LPCSTR text) const {
    const unsigned char* a = (const unsigned char*)m_pchData;
    const unsigned char* b = (const unsigned char*)(text ? text : "");
    for (;;) {
        bool leadA = *a && AfxIsLeadByte(*a) && a[1];
        bool leadB = *b && AfxIsLeadByte(*b) && b[1];
        if (leadA || leadB) {
            // Double-byte characters compare exactly, and after every single byte.
            if (!leadA || !leadB) return leadA ? 1 : -1;
            if (a[0] != b[0]) return a[0] < b[0] ? -1 : 1;
            if (a[1] != b[1]) return a[1] < b[1] ? -1 : 1;
            a += 2;
            b += 2;
            continue;
        }
        unsigned ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : *a;
        unsigned cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : *b;
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
        ++a;
        ++b;
    }
}

// ---- parts -----------------------------------------------------------------------

CString CString::Mid(int first) const { return Mid(first, GetLength() - (first < 0 ? 0 : first)); }

CString CString::Mid(int first, int count) const {
    int len = GetLength();
    if (first < 0) first = 0;
    if (first > len) first = len;
    if (count < 0) count = 0;
    if (count > len - first) count = len - first;
    return CString(m_pchData + first, count);
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
    int len = GetLength();
    if (count < 0) count = 0;
    if (count > len) count = len;
    return CString(m_pchData + len - count, count);
}

// ---- case and trimming -------------------------------------------------------------

void CString::MakeUpper() {
    int len = GetLength();
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (n == 1 && m_pchData[i] >= 'a' && m_pchData[i] <= 'z') m_pchData[i] -= 32;
        i += n;
    }
}

void CString::MakeLower() {
    int len = GetLength();
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (n == 1 && m_pchData[i] >= 'A' && m_pchData[i] <= 'Z') m_pchData[i] += 32;
        i += n;
    }
}

void CString::TrimLeft() {
    int drop = LeftKeep(m_pchData, GetLength(), IsSpace);
    if (drop) Delete(0, drop);
}
void CString::TrimLeft(char target) {
    int drop = LeftKeep(m_pchData, GetLength(), [&](unsigned char c) { return c == (unsigned char)target; });
    if (drop) Delete(0, drop);
}
void CString::TrimLeft(LPCSTR targets) {
    if (!targets || !*targets) return;
    int drop = LeftKeep(m_pchData, GetLength(), [&](unsigned char c) { return c && strchr(targets, c); });
    if (drop) Delete(0, drop);
}
void CString::TrimRight() {
    int keep = RightKeep(m_pchData, GetLength(), IsSpace);
    if (keep < GetLength()) ReleaseBuffer(keep);
}
void CString::TrimRight(char target) {
    int keep = RightKeep(m_pchData, GetLength(), [&](unsigned char c) { return c == (unsigned char)target; });
    if (keep < GetLength()) ReleaseBuffer(keep);
}
void CString::TrimRight(LPCSTR targets) {
    if (!targets || !*targets) return;
    int keep = RightKeep(m_pchData, GetLength(), [&](unsigned char c) { return c && strchr(targets, c); });
    if (keep < GetLength()) ReleaseBuffer(keep);
}

// ---- searching ----------------------------------------------------------------------

int CString::Find(char ch, int start) const {
    int len = GetLength();
    if (start < 0) start = 0;
    if (ch == 0) return -1;
    // Positions are counted from the text's start so that `start` inside a
    // double-byte character does not split it.
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (i >= start && n == 1 && m_pchData[i] == ch) return i;
        i += n;
    }
    return -1;
}

int CString::Find(LPCSTR sub, int start) const {
    int len = GetLength();
    int sublen = SafeLength(sub);
    if (start < 0) start = 0;
    if (start > len) return -1;
    if (sublen == 0) return start;
    for (int i = 0; i + sublen <= len;) {
        if (i >= start && memcmp(m_pchData + i, sub, sublen) == 0) return i;
        i += AfxCharLength(m_pchData, i, len);
    }
    return -1;
}

int CString::ReverseFind(char ch) const {
    int len = GetLength();
    int found = -1;
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (n == 1 && m_pchData[i] == ch) found = i;
        i += n;
    }
    return found;
}

int CString::FindOneOf(LPCSTR set) const {
    if (!set) return -1;
    int len = GetLength();
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (n == 1 && strchr(set, m_pchData[i])) return i;
        i += n;
    }
    return -1;
}

// ---- editing ----------------------------------------------------------------------------

int CString::Replace(char from, char to) {
    if (from == 0 || to == 0) return 0;
    int count = 0;
    int len = GetLength();
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (n == 1 && m_pchData[i] == from) {
            m_pchData[i] = to;
            ++count;
        }
        i += n;
    }
    return count;
}

int CString::Replace(LPCSTR from, LPCSTR to) {
    int fromLen = SafeLength(from);
    if (fromLen == 0) return 0;
    int toLen = SafeLength(to);
    int len = GetLength();
    CString out;
    int count = 0;
    int copied = 0;
    for (int i = 0; i + fromLen <= len;) {
        if (memcmp(m_pchData + i, from, fromLen) == 0) {
            out.Append(m_pchData + copied, i - copied);
            out.Append(to, toLen);
            i += fromLen;
            copied = i;
            ++count;
        } else {
            i += AfxCharLength(m_pchData, i, len);
        }
    }
    if (count == 0) return 0;
    out.Append(m_pchData + copied, len - copied);
    *this = out;
    return count;
}

int CString::Remove(char ch) {
    if (ch == 0) return 0;
    int len = GetLength();
    int w = 0;
    for (int i = 0; i < len;) {
        int n = AfxCharLength(m_pchData, i, len);
        if (!(n == 1 && m_pchData[i] == ch)) {
            memmove(m_pchData + w, m_pchData + i, n);
            w += n;
        }
        i += n;
    }
    int removed = len - w;
    if (removed) ReleaseBuffer(w);
    return removed;
}

int CString::Insert(int index, char ch) {
    char text[2] = {ch, 0};
    return Insert(index, text);
}

int CString::Insert(int index, LPCSTR text) {
    int len = GetLength();
    if (index < 0) index = 0;
    if (index > len) index = len;
    int n = SafeLength(text);
    if (n == 0) return len;
    CString out(m_pchData, index);
    out.Append(text, n);
    out.Append(m_pchData + index, len - index);
    *this = out;
    return GetLength();
}

int CString::Delete(int index, int count) {
    int len = GetLength();
    if (index < 0) index = 0;
    if (count <= 0 || index >= len) return len;
    if (count > len - index) count = len - index;
    memmove(m_pchData + index, m_pchData + index + count, len - index - count + 1);
    GetData()->length = len - count;
    return len - count;
}

// ---- formatting and buffers ----------------------------------------------------------------

void CString::Format(LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCSTR format, va_list args) {
    va_list probe;
    va_copy(probe, args);
    int n = vsnprintf(NULL, 0, format, probe);
    va_end(probe);
    if (n <= 0) {
        Empty();
        return;
    }
    CString out;
    out.Reserve(n);
    vsnprintf(out.m_pchData, n + 1, format, args);
    out.GetData()->length = n;
    *this = out;
}

LPSTR CString::GetBuffer(int minLength) {
    if (minLength < GetLength()) minLength = GetLength();
    if (minLength == 0) minLength = 1;  // never hand out the shared empty block
    Reserve(minLength);
    return m_pchData;
}

LPSTR CString::GetBufferSetLength(int length) {
    if (length < 0) length = 0;
    GetBuffer(length);
    m_pchData[length] = 0;
    GetData()->length = length;
    return m_pchData;
}

void CString::ReleaseBuffer(int newLength) {
    Data* d = GetData();
    if (d->capacity == 0) return;
    if (newLength < 0) newLength = (int)strnlen(m_pchData, d->capacity);
    if (newLength > d->capacity) newLength = d->capacity;
    m_pchData[newLength] = 0;
    d->length = newLength;
}

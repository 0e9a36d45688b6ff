// CStringArray, CPtrList, CMapStringToPtr, CTime and CFile::GetStatus.
#include "afx.h"

#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
[[noreturn]] void OutOfMemory() {
    fputs("updater: out of memory\n", stderr);
    ExitProcess(1);
}
CString g_nullString;  // what an out-of-range element reads as
}  // namespace

// ---- CStringArray -----------------------------------------------------------------

CStringArray::CStringArray() : m_pData(NULL), m_nSize(0), m_nMaxSize(0) {}

CStringArray::~CStringArray() { SetSize(0); }

void CStringArray::SetSize(int newSize, int growBy) {
    if (newSize < 0) newSize = 0;
    if (newSize == 0) {
        delete[] m_pData;
        m_pData = NULL;
        m_nSize = m_nMaxSize = 0;
        return;
    }
    if (newSize > m_nMaxSize) {
        int max = m_nMaxSize + (m_nMaxSize / 2 > 4 ? m_nMaxSize / 2 : 4);
        if (max < newSize) max = newSize;
        CString* data = new (std::nothrow) CString[max];
        if (!data) OutOfMemory();
        for (int i = 0; i < m_nSize; ++i) data[i] = m_pData[i];
        delete[] m_pData;
        m_pData = data;
        m_nMaxSize = max;
    }
    for (int i = newSize; i < m_nSize; ++i) m_pData[i].Empty();
    m_nSize = newSize;
}

CString CStringArray::GetAt(int index) const {
    return index >= 0 && index < m_nSize ? m_pData[index] : CString();
}

void CStringArray::SetAt(int index, LPCSTR text) {
    if (index >= 0 && index < m_nSize) m_pData[index] = text;
}

CString& CStringArray::ElementAt(int index) {
    if (index >= 0 && index < m_nSize) return m_pData[index];
    g_nullString.Empty();
    return g_nullString;
}

const CString& CStringArray::operator[](int index) const {
    if (index >= 0 && index < m_nSize) return m_pData[index];
    g_nullString.Empty();
    return g_nullString;
}

CString& CStringArray::operator[](int index) { return ElementAt(index); }

int CStringArray::Add(LPCSTR text) {
    CString copy(text);  // text may point into this array
    SetSize(m_nSize + 1);
    m_pData[m_nSize - 1] = copy;
    return m_nSize - 1;
}

int CStringArray::Add(const CString& text) { return Add((LPCSTR)text); }

void CStringArray::InsertAt(int index, LPCSTR text, int count) {
    if (count <= 0) return;
    if (index < 0) index = 0;
    if (index > m_nSize) index = m_nSize;
    CString copy(text);
    int old = m_nSize;
    SetSize(m_nSize + count);
    for (int i = old - 1; i >= index; --i) m_pData[i + count] = m_pData[i];
    for (int i = 0; i < count; ++i) m_pData[index + i] = copy;
}

void CStringArray::RemoveAt(int index, int count) {
    if (index < 0 || index >= m_nSize || count <= 0) return;
    if (count > m_nSize - index) count = m_nSize - index;
    for (int i = index; i + count < m_nSize; ++i) m_pData[i] = m_pData[i + count];
    SetSize(m_nSize - count);
}

void CStringArray::Copy(const CStringArray& src) {
    if (&src == this) return;
    SetSize(src.m_nSize);
    for (int i = 0; i < src.m_nSize; ++i) m_pData[i] = src.m_pData[i];
}

// ---- CPtrList ------------------------------------------------------------------------

CPtrList::CPtrList(int blockSize) : m_pHead(NULL), m_pTail(NULL), m_nCount(0), m_nBlockSize(blockSize) {}

CPtrList::~CPtrList() { RemoveAll(); }

void*& CPtrList::GetHead() { return m_pHead->data; }
void* CPtrList::GetHead() const { return m_pHead ? m_pHead->data : NULL; }
void*& CPtrList::GetTail() { return m_pTail->data; }
void* CPtrList::GetTail() const { return m_pTail ? m_pTail->data : NULL; }

POSITION CPtrList::AddHead(void* p) {
    Node* n = new (std::nothrow) Node;
    if (!n) OutOfMemory();
    n->data = p;
    n->prev = NULL;
    n->next = m_pHead;
    if (m_pHead)
        m_pHead->prev = n;
    else
        m_pTail = n;
    m_pHead = n;
    ++m_nCount;
    return reinterpret_cast<POSITION>(n);
}

POSITION CPtrList::AddTail(void* p) {
    Node* n = new (std::nothrow) Node;
    if (!n) OutOfMemory();
    n->data = p;
    n->next = NULL;
    n->prev = m_pTail;
    if (m_pTail)
        m_pTail->next = n;
    else
        m_pHead = n;
    m_pTail = n;
    ++m_nCount;
    return reinterpret_cast<POSITION>(n);
}

void* CPtrList::RemoveHead() {
    if (!m_pHead) return NULL;
    void* p = m_pHead->data;
    RemoveAt(reinterpret_cast<POSITION>(m_pHead));
    return p;
}

void* CPtrList::RemoveTail() {
    if (!m_pTail) return NULL;
    void* p = m_pTail->data;
    RemoveAt(reinterpret_cast<POSITION>(m_pTail));
    return p;
}

void CPtrList::RemoveAll() {
    Node* n = m_pHead;
    while (n) {
        Node* next = n->next;
        delete n;
        n = next;
    }
    m_pHead = m_pTail = NULL;
    m_nCount = 0;
}

void*& CPtrList::GetNext(POSITION& pos) {
    Node* n = reinterpret_cast<Node*>(pos);
    pos = reinterpret_cast<POSITION>(n->next);
    return n->data;
}

void*& CPtrList::GetPrev(POSITION& pos) {
    Node* n = reinterpret_cast<Node*>(pos);
    pos = reinterpret_cast<POSITION>(n->prev);
    return n->data;
}

void*& CPtrList::GetAt(POSITION pos) { return reinterpret_cast<Node*>(pos)->data; }

void CPtrList::SetAt(POSITION pos, void* p) { reinterpret_cast<Node*>(pos)->data = p; }

void CPtrList::RemoveAt(POSITION pos) {
    Node* n = reinterpret_cast<Node*>(pos);
    if (!n) return;
    if (n->prev)
        n->prev->next = n->next;
    else
        m_pHead = n->next;
    if (n->next)
        n->next->prev = n->prev;
    else
        m_pTail = n->prev;
    delete n;
    --m_nCount;
}

POSITION CPtrList::Find(void* p, POSITION after) const {
    Node* n = after ? reinterpret_cast<Node*>(after)->next : m_pHead;
    for (; n; n = n->next)
        if (n->data == p) return reinterpret_cast<POSITION>(n);
    return NULL;
}

POSITION CPtrList::FindIndex(int index) const {
    if (index < 0 || index >= m_nCount) return NULL;
    Node* n = m_pHead;
    while (index-- > 0) n = n->next;
    return reinterpret_cast<POSITION>(n);
}

// ---- CMapStringToPtr ------------------------------------------------------------------

CMapStringToPtr::CMapStringToPtr(int blockSize) : m_nCount(0), m_nBlockSize(blockSize) {
    for (int i = 0; i < kBuckets; ++i) m_buckets[i] = NULL;
}

CMapStringToPtr::~CMapStringToPtr() { RemoveAll(); }

CMapStringToPtr::Assoc* CMapStringToPtr::Find(LPCSTR key, unsigned* bucket) const {
    unsigned h = 0;
    for (const unsigned char* p = (const unsigned char*)(key ? key : ""); *p; ++p) h = (h << 5) + h + *p;
    h %= kBuckets;
    if (bucket) *bucket = h;
    for (Assoc* a = m_buckets[h]; a; a = a->next)
        if (a->key == (key ? key : "")) return a;
    return NULL;
}

BOOL CMapStringToPtr::Lookup(LPCSTR key, void*& value) const {
    Assoc* a = Find(key, NULL);
    if (!a) return FALSE;
    value = a->value;
    return TRUE;
}

void*& CMapStringToPtr::operator[](LPCSTR key) {
    unsigned bucket;
    Assoc* a = Find(key, &bucket);
    if (!a) {
        a = new (std::nothrow) Assoc;
        if (!a) OutOfMemory();
        a->key = key;
        a->value = NULL;
        a->next = m_buckets[bucket];
        m_buckets[bucket] = a;
        ++m_nCount;
    }
    return a->value;
}

BOOL CMapStringToPtr::RemoveKey(LPCSTR key) {
    unsigned bucket;
    Assoc* a = Find(key, &bucket);
    if (!a) return FALSE;
    Assoc** link = &m_buckets[bucket];
    while (*link != a) link = &(*link)->next;
    *link = a->next;
    delete a;
    --m_nCount;
    return TRUE;
}

void CMapStringToPtr::RemoveAll() {
    for (int i = 0; i < kBuckets; ++i) {
        Assoc* a = m_buckets[i];
        while (a) {
            Assoc* next = a->next;
            delete a;
            a = next;
        }
        m_buckets[i] = NULL;
    }
    m_nCount = 0;
}

POSITION CMapStringToPtr::GetStartPosition() const {
    for (int i = 0; i < kBuckets; ++i)
        if (m_buckets[i]) return reinterpret_cast<POSITION>(m_buckets[i]);
    return NULL;
}

void CMapStringToPtr::GetNextAssoc(POSITION& pos, CString& key, void*& value) const {
    Assoc* a = reinterpret_cast<Assoc*>(pos);
    key = a->key;
    value = a->value;
    Assoc* next = a->next;
    if (!next) {
        unsigned bucket;
        Find(a->key, &bucket);
        for (unsigned i = bucket + 1; i < kBuckets && !next; ++i) next = m_buckets[i];
    }
    pos = reinterpret_cast<POSITION>(next);
}

// ---- CTime -------------------------------------------------------------------------------

CTime::CTime(const FILETIME& ft) {
    // 100 ns ticks since 1601 to seconds since 1970.
    ULONGLONG t = ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    m_time = (time_t)((t / 10000000ULL) - 11644473600ULL);
}

CTime CTime::GetCurrentTime() { return CTime(time(NULL)); }

struct tm CTime::Local() const {
    struct tm out;
    memset(&out, 0, sizeof(out));
    time_t t = m_time;
    struct tm* p = localtime(&t);
    if (p) out = *p;
    return out;
}

int CTime::GetYear() const { return Local().tm_year + 1900; }
int CTime::GetMonth() const { return Local().tm_mon + 1; }
int CTime::GetDay() const { return Local().tm_mday; }
int CTime::GetHour() const { return Local().tm_hour; }
int CTime::GetMinute() const { return Local().tm_min; }
int CTime::GetSecond() const { return Local().tm_sec; }

CString CTime::Format(LPCSTR format) const {
    char buffer[512];
    struct tm t = Local();
    size_t n = strftime(buffer, sizeof(buffer), format ? format : "", &t);
    buffer[n < sizeof(buffer) ? n : sizeof(buffer) - 1] = 0;
    return CString(buffer);
}

// ---- CFile::GetStatus ------------------------------------------------------------------------

BOOL PASCAL CFile::GetStatus(LPCSTR fileName, CFileStatus& status) {
    memset(&status.m_size, 0, sizeof(status.m_size));
    status.m_attribute = 0;
    status.m_szFullName[0] = 0;
    if (!fileName || !*fileName) return FALSE;
    LPSTR namePart = NULL;
    DWORD n = GetFullPathNameA(fileName, MAX_PATH, status.m_szFullName, &namePart);
    if (n == 0 || n >= MAX_PATH) {
        status.m_szFullName[0] = 0;
        return FALSE;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(fileName, GetFileExInfoStandard, &data)) return FALSE;
    status.m_attribute = (BYTE)data.dwFileAttributes;
    status.m_size = (LONG)data.nFileSizeLow;
    status.m_ctime = CTime(data.ftCreationTime);
    status.m_mtime = CTime(data.ftLastWriteTime);
    status.m_atime = CTime(data.ftLastAccessTime);
    return TRUE;
}

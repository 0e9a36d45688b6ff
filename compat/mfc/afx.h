// Our small MFC-style layer for the updater: CObject, CString (multi-byte, GBK
// aware), CStringArray, CPtrList, CMapStringToPtr, CTime and CFile::GetStatus.
// Only what the updater uses; the window and dialog classes live in their own
// headers of this folder.
#ifndef ZORVET_MFC_AFX_H
#define ZORVET_MFC_AFX_H

#include <windows.h>
#include <stdarg.h>
#include <stddef.h>
#include <time.h>

#ifndef AFXAPI
#define AFXAPI
#endif

struct __POSITION {};
typedef __POSITION* POSITION;
#ifndef BEFORE_START_POSITION
#define BEFORE_START_POSITION ((POSITION)-1L)
#endif

class CArchive;
class CDumpContext;
struct CRuntimeClass {
    LPCSTR m_lpszClassName;
};

// ---- CObject ------------------------------------------------------------------

// Root of the updater's classes. No run-time class information of its own:
// GetRuntimeClass names CObject for every class.
class CObject {
public:
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() {}
    virtual void Serialize(CArchive& ar) {}
    virtual void AssertValid() const {}
    virtual void Dump(CDumpContext& dc) const {}

protected:
    CObject() {}

private:
    CObject(const CObject&) = delete;
    void operator=(const CObject&) = delete;
};

// ---- CString ------------------------------------------------------------------

// Multi-byte text (code page 936). Searches, trimming and case changes step over
// double-byte characters: a GBK trail byte may be '\\' or a letter and is never
// matched on its own. One pointer wide; pass (LPCTSTR)s, never s, through "...".
class CString {
public:
    CString();
    CString(const CString& s);
    CString(LPCSTR text);
    CString(LPCSTR text, int length);
    CString(char ch, int repeat = 1);
    ~CString();

    int GetLength() const;
    BOOL IsEmpty() const { return GetLength() == 0; }
    void Empty();
    char GetAt(int index) const;
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch);
    operator LPCSTR() const { return m_pchData; }
    LPCSTR GetString() const { return m_pchData; }

    const CString& operator=(const CString& s);
    const CString& operator=(LPCSTR text);
    const CString& operator=(char ch);
    const CString& operator+=(const CString& s);
    const CString& operator+=(LPCSTR text);
    const CString& operator+=(char ch);
    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, LPCSTR b);
    friend CString operator+(LPCSTR a, const CString& b);
    friend CString operator+(const CString& a, char b);

    int Compare(LPCSTR text) const;        // strcmp
    int CompareNoCase(LPCSTR text) const;  // ASCII letters folded, double-byte characters exact

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    void MakeUpper();
    void MakeLower();
    void TrimLeft();                 // white space
    void TrimLeft(char target);
    void TrimLeft(LPCSTR targets);
    void TrimRight();
    void TrimRight(char target);
    void TrimRight(LPCSTR targets);
    void Trim() { TrimRight(); TrimLeft(); }
    void Trim(LPCSTR targets) { TrimRight(targets); TrimLeft(targets); }

    // Byte positions of whole characters; -1 when not found.
    int Find(char ch) const { return Find(ch, 0); }
    int Find(char ch, int start) const;
    int Find(LPCSTR sub) const { return Find(sub, 0); }
    int Find(LPCSTR sub, int start) const;
    int ReverseFind(char ch) const;
    int FindOneOf(LPCSTR set) const;

    int Replace(char from, char to);
    int Replace(LPCSTR from, LPCSTR to);  // number of replacements
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, LPCSTR text);
    int Delete(int index, int count = 1);

    void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(LPCSTR format, va_list args);

    LPSTR GetBuffer(int minLength);
    LPSTR GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

private:
    struct Data {
        int length;
        int capacity;  // bytes for text, without the terminator
        char* text() { return reinterpret_cast<char*>(this + 1); }
    };
    Data* GetData() const { return reinterpret_cast<Data*>(m_pchData) - 1; }
    void Assign(LPCSTR text, int length);
    void Append(LPCSTR text, int length);
    void Reserve(int capacity);  // keeps the text
    LPSTR m_pchData;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, LPCSTR b);
bool operator==(LPCSTR a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCSTR b);
bool operator!=(LPCSTR a, const CString& b);
bool operator<(const CString& a, const CString& b);

// Multi-byte helpers the layer is built on (code page 936).
BOOL AfxIsLeadByte(unsigned char c);
// Length in bytes of the character at text[i] within a text of `length` bytes
// (1 or 2; a lead byte at the very end counts as one).
int AfxCharLength(LPCSTR text, int i, int length);

// ---- collections --------------------------------------------------------------

class CStringArray : public CObject {
public:
    CStringArray();
    ~CStringArray();
    int GetSize() const { return m_nSize; }
    int GetCount() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    BOOL IsEmpty() const { return m_nSize == 0; }
    void SetSize(int newSize, int growBy = -1);
    void RemoveAll() { SetSize(0); }
    CString GetAt(int index) const;
    void SetAt(int index, LPCSTR text);
    CString& ElementAt(int index);
    const CString& operator[](int index) const;
    CString& operator[](int index);
    int Add(LPCSTR text);
    int Add(const CString& text);
    void InsertAt(int index, LPCSTR text, int count = 1);
    void RemoveAt(int index, int count = 1);
    void Copy(const CStringArray& src);

private:
    CString* m_pData;
    int m_nSize;
    int m_nMaxSize;
};

class CPtrList : public CObject {
public:
    explicit CPtrList(int blockSize = 10);
    ~CPtrList();
    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }
    void*& GetHead();
    void* GetHead() const;
    void*& GetTail();
    void* GetTail() const;
    void* RemoveHead();
    void* RemoveTail();
    POSITION AddHead(void* p);
    POSITION AddTail(void* p);
    void RemoveAll();
    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pHead); }
    POSITION GetTailPosition() const { return reinterpret_cast<POSITION>(m_pTail); }
    void*& GetNext(POSITION& pos);
    void*& GetPrev(POSITION& pos);
    void*& GetAt(POSITION pos);
    void SetAt(POSITION pos, void* p);
    void RemoveAt(POSITION pos);
    POSITION Find(void* p, POSITION after = NULL) const;
    POSITION FindIndex(int index) const;

private:
    struct Node {
        Node* next;
        Node* prev;
        void* data;
    };
    Node* m_pHead;
    Node* m_pTail;
    int m_nCount;
    int m_nBlockSize;  // kept for the interface; nodes are allocated one by one
};

// Keys compared exactly (with case), like the framework's map.
class CMapStringToPtr : public CObject {
public:
    explicit CMapStringToPtr(int blockSize = 10);
    ~CMapStringToPtr();
    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }
    BOOL Lookup(LPCSTR key, void*& value) const;
    void*& operator[](LPCSTR key);
    void SetAt(LPCSTR key, void* value) { (*this)[key] = value; }
    BOOL RemoveKey(LPCSTR key);
    void RemoveAll();
    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& pos, CString& key, void*& value) const;

private:
    struct Assoc {
        Assoc* next;
        CString key;
        void* value;
    };
    Assoc* Find(LPCSTR key, unsigned* bucket) const;
    enum { kBuckets = 17 };
    Assoc* m_buckets[kBuckets];
    int m_nCount;
    int m_nBlockSize;
};

// ---- CTime --------------------------------------------------------------------

class CTime {
public:
    CTime() : m_time(0) {}
    CTime(time_t t) : m_time(t) {}
    CTime(const FILETIME& ft);
    static CTime GetCurrentTime();
    time_t GetTime() const { return m_time; }
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    CString Format(LPCSTR format) const;  // strftime of the local time
    bool operator==(const CTime& o) const { return m_time == o.m_time; }
    bool operator!=(const CTime& o) const { return m_time != o.m_time; }

private:
    struct tm Local() const;
    time_t m_time;
};

// ---- CFile::GetStatus -----------------------------------------------------------

struct CFileStatus {
    CTime m_ctime;
    CTime m_mtime;
    CTime m_atime;
    LONG m_size;
    BYTE m_attribute;
    char m_szFullName[MAX_PATH];
};

class CFile : public CObject {
public:
    // TRUE when the file or folder exists and its attributes could be read.
    static BOOL PASCAL GetStatus(LPCSTR fileName, CFileStatus& status);
};

#endif

// The MFC-style layer as the updater uses it: CString over GBK text (whose trail
// bytes may be '\\' or letters), the collections, CTime and CFile::GetStatus.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "afx.h"

namespace {
// Source literals are compiled to GBK: 淺 is 9C 5C (trail byte '\\'), 腶 is C4 61
// (trail byte 'a'), 腁 is C4 41.
const char kBackslashTrail[] = "淺";
const char kLetterTrail[] = "腶";
}  // namespace

TEST(MfcString, LiteralsAreGbkWithAsciiTrailBytes) {
    ASSERT_EQ(2u, strlen(kBackslashTrail));
    EXPECT_EQ('\\', kBackslashTrail[1]);
    EXPECT_EQ('a', kLetterTrail[1]);
}

TEST(MfcString, SearchesStepOverDoubleByteCharacters) {
    CString name(kBackslashTrail);
    EXPECT_EQ(-1, name.Find('\\'));
    EXPECT_EQ(-1, name.ReverseFind('\\'));
    EXPECT_EQ(-1, name.FindOneOf("\\/"));
    EXPECT_EQ(-1, name.Find("\\"));

    CString path = CString("C:\\目录") + kBackslashTrail + "\\pack" + kBackslashTrail + ".zip";
    int slash = path.ReverseFind('\\');
    EXPECT_EQ(CString("pack") + kBackslashTrail + ".zip", path.Mid(slash + 1));
    EXPECT_EQ(2, path.Find('\\'));
    EXPECT_EQ(slash, path.Find('\\', 3));
    EXPECT_EQ(-1, CString("abc").Find('c', 5));
    EXPECT_EQ(1, CString("abcabc").Find("bc"));
    EXPECT_EQ(4, CString("abcabc").Find("bc", 2));
}

TEST(MfcString, ReplaceAndRemoveKeepTrailBytes) {
    // 9C 5C 5C 78: a byte-wise search would see "\\\\" at offset 1.
    CString s = CString(kBackslashTrail) + "\\x";
    EXPECT_EQ(0, s.Replace("\\\\", "\\"));
    EXPECT_EQ(4, s.GetLength());
    EXPECT_EQ(1, s.Remove('\\'));
    EXPECT_EQ(CString(kBackslashTrail) + "x", s);
    EXPECT_EQ(0, s.Replace('\\', '/'));

    CString t("a${x}b${x}");
    EXPECT_EQ(2, t.Replace("${x}", "&"));
    EXPECT_EQ(CString("a&b&"), t);
    EXPECT_EQ(1, t.Replace("&b", ""));
    EXPECT_EQ(CString("a&"), t);
}

TEST(MfcString, CaseAndTrimmingLeaveDoubleByteCharactersWhole) {
    CString up = CString("abc") + kLetterTrail;
    up.MakeUpper();
    EXPECT_EQ(CString("ABC") + kLetterTrail, up);
    CString low("腁XY");
    low.MakeLower();
    EXPECT_EQ(CString("腁xy"), low);

    CString trail = CString("\\\\") + kBackslashTrail + "\\\\";
    trail.Trim("\\");
    EXPECT_EQ(CString(kBackslashTrail), trail);
    CString a(kLetterTrail);
    a.TrimRight("a");
    EXPECT_EQ(CString(kLetterTrail), a);

    CString ws("  \t x y \r\n");
    ws.Trim();
    EXPECT_EQ(CString("x y"), ws);
    CString allSpace("   ");
    allSpace.TrimLeft();
    EXPECT_TRUE(allSpace.IsEmpty());
}

TEST(MfcString, CompareNoCaseFoldsOnlySingleByteLetters) {
    EXPECT_EQ(0, CString("C:\\Program Files\\Updater.EXE").CompareNoCase("c:\\program files\\updater.exe"));
    EXPECT_NE(0, CString(kLetterTrail).CompareNoCase("腁"));
    EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
    EXPECT_GT(CString("abcd").CompareNoCase("ABC"), 0);
    EXPECT_EQ(0, CString().CompareNoCase(NULL));
}

TEST(MfcString, PartsFormattingAndBuffers) {
    CString s("hello");
    EXPECT_EQ(CString("he"), s.Left(2));
    EXPECT_EQ(CString("llo"), s.Right(3));
    EXPECT_EQ(CString("ell"), s.Mid(1, 3));
    EXPECT_EQ(CString(""), s.Mid(9));
    EXPECT_EQ(CString("hello"), s.Left(99));
    EXPECT_EQ(CString(""), s.Right(-1));
    EXPECT_EQ(0, s.GetAt(99));

    s.Insert(0, "[");
    s.Insert(99, ']');
    EXPECT_EQ(CString("[hello]"), s);
    s.Delete(1, 2);
    EXPECT_EQ(CString("[llo]"), s);

    CString f;
    f.Format("%s-%d-%u.%u", "v", -3, 1u, 10u);
    EXPECT_EQ(CString("v--3-1.10"), f);
    CString big;
    big.Format("%s%s", std::string(5000, 'x').c_str(), "!");
    EXPECT_EQ(5001, big.GetLength());

    CString b;
    char* p = b.GetBuffer(10);
    strcpy(p, "abc");
    b.ReleaseBuffer();
    EXPECT_EQ(3, b.GetLength());
    b += b;  // appending itself
    EXPECT_EQ(CString("abcabc"), b);
    b = b.Mid(3);  // assigning a part of itself
    EXPECT_EQ(CString("abc"), b);
}

TEST(MfcCollections, StringArrayPtrListAndMap) {
    CStringArray arr;
    arr.Add("a");
    arr.Add("c");
    arr.InsertAt(1, "b");
    ASSERT_EQ(3, arr.GetSize());
    EXPECT_EQ(CString("b"), arr[1]);
    arr.Add(arr[0]);  // an element of itself
    arr.RemoveAt(0, 2);
    ASSERT_EQ(2, arr.GetSize());
    EXPECT_EQ(CString("c"), arr.GetAt(0));
    EXPECT_EQ(CString("a"), arr.GetAt(1));
    EXPECT_TRUE(arr.GetAt(7).IsEmpty());
    arr.SetSize(1);
    EXPECT_EQ(1, arr.GetSize());
    arr.RemoveAll();
    EXPECT_TRUE(arr.IsEmpty());

    int v[3] = {1, 2, 3};
    CPtrList list(10);
    list.AddTail(&v[1]);
    list.AddTail(&v[2]);
    list.AddHead(&v[0]);
    ASSERT_EQ(3, list.GetCount());
    int sum = 0, order = 0;
    for (POSITION pos = list.GetHeadPosition(); pos;) order = order * 10 + *static_cast<int*>(list.GetNext(pos));
    EXPECT_EQ(123, order);
    EXPECT_EQ(&v[2], list.RemoveTail());
    EXPECT_EQ(&v[0], list.RemoveHead());
    EXPECT_EQ(&v[1], list.RemoveTail());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(NULL, list.RemoveTail());
    (void)sum;

    CMapStringToPtr map(10);
    const char* names[] = {"copy", "shortcut", "mkdir", "open", "registry", "remove", "run",
                           "sendmessage", "showmessage", "unzip"};
    for (int i = 0; i < 10; ++i) map.SetAt(names[i], &v[i % 3]);
    map["run"] = &v[2];
    EXPECT_EQ(10, map.GetCount());
    void* p = NULL;
    EXPECT_TRUE(map.Lookup("run", p));
    EXPECT_EQ(&v[2], p);
    EXPECT_FALSE(map.Lookup("Run", p));  // keys keep their case
    EXPECT_TRUE(map.RemoveKey("copy"));
    EXPECT_FALSE(map.RemoveKey("copy"));
    int seen = 0;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        CString key;
        map.GetNextAssoc(pos, key, p);
        EXPECT_NE(CString("copy"), key);
        ++seen;
    }
    EXPECT_EQ(9, seen);
    map.RemoveAll();
    EXPECT_EQ(NULL, map.GetStartPosition());
}

TEST(MfcTime, FormatAndFileStatus) {
    CTime t = CTime::GetCurrentTime();
    CString text = t.Format("开始时间: %Y-%m-%d %H:%M:%S");
    EXPECT_EQ(0, text.Find("开始时间: "));
    EXPECT_EQ((int)strlen("开始时间: ") + 19, text.GetLength());

    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    CFileStatus st;
    ASSERT_TRUE(CFile::GetStatus(windows, st));
    EXPECT_TRUE(st.m_attribute & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CFile::GetStatus("C:\\no\\such\\file.txt", st));
    EXPECT_FALSE(CFile::GetStatus("", st));
}

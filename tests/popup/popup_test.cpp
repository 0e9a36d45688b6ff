// Picture painter, note windows and HTTP fetch under Wine. The Picture suite
// needs nothing but a window; the Notes and Fetch suites need the test bed of
// notes_wine.py (a local HTTP server, a URL recorder), the Shots suite the one
// of screenshots.py. Without their environment those suites skip.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "core.h"
#include "gif_walker.h"
#include "note_params.h"
#include "notes.h"
#include "notification_wnd.h"
#include "picture_ex.h"
#include "../wait_scale.h"

namespace {

HINSTANCE Module() { return GetModuleHandleA(NULL); }

// The library's debug-level reports, from whichever thread makes them.
struct Traces {
    CRITICAL_SECTION lock;
    std::string text;
    Traces() { InitializeCriticalSection(&lock); }
    static void Sink(uint32_t code, const char* t);
    std::string Take() {
        EnterCriticalSection(&lock);
        std::string out;
        out.swap(text);
        LeaveCriticalSection(&lock);
        return out;
    }
} g_traces;
void Traces::Sink(uint32_t code, const char* t) {
    if (code != 0x20190000) return;
    EnterCriticalSection(&g_traces.lock);
    g_traces.text += t;
    g_traces.text += "\n";
    LeaveCriticalSection(&g_traces.lock);
}
struct TraceScope {
    TraceScope() {
        g_traces.Take();
        SetDebugCallback(Traces::Sink);
    }
    ~TraceScope() { SetDebugCallback(nullptr); }
};

std::string Env(const char* name) {
    const char* v = getenv(name);
    return v ? v : "";
}

std::vector<uint8_t> Fixture(int id) {
    HRSRC r = FindResourceA(Module(), MAKEINTRESOURCEA(id), "FIXTURE");
    if (!r) return {};
    HGLOBAL g = LoadResource(Module(), r);
    const uint8_t* p = (const uint8_t*)LockResource(g);
    return std::vector<uint8_t>(p, p + SizeofResource(Module(), r));
}

enum { kAnim = 201, kStill = 202, kPhoto = 203, kRestore = 204 };

void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        Sleep(5);
    } while ((int)(end - GetTickCount()) > 0);
}

// Waits for pred, up to ms in this lane's time.
template <class F>
bool WaitFor(F pred, DWORD ms) {
    DWORD end = GetTickCount() + ScaledMs(ms);
    for (;;) {
        if (pred()) return true;
        if ((int)(end - GetTickCount()) <= 0) return pred();
        Sleep(20);
    }
}

struct Host {
    HWND h;
    Host() { h = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL); }
    ~Host() { DestroyWindow(h); }
};

SIZE WindowSize(HWND h) {
    RECT rc;
    GetWindowRect(h, &rc);
    SIZE s = {rc.right - rc.left, rc.bottom - rc.top};
    return s;
}

class Picture : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(NULL, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
};

// ---- notes: windows of class "NtW" of this process ----

BOOL CALLBACK CollectNote(HWND h, LPARAM p) {
    char cls[16];
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == GetCurrentProcessId() && GetClassNameA(h, cls, sizeof cls) && !strcmp(cls, "NtW") &&
        IsWindowVisible(h))
        ((std::vector<HWND>*)p)->push_back(h);
    return TRUE;
}

std::vector<HWND> NoteWindows() {
    std::vector<HWND> out;
    EnumWindows(CollectNote, (LPARAM)&out);
    return out;
}

bool NoWindowLeft() {
    // Hidden ones count too: a closed note's window must be destroyed.
    return FindWindowA("NtW", NULL) == NULL;
}

struct Rest {
    int x, y;
};
// Rest position of a w x h popup on a desktop whose work area spans the screen
// or leaves a bottom taskbar: mx from the right, my above the bottom.
bool BottomRest(int w, int h, Rest* r) {
    RECT wa;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
    if (wa.right - wa.left < GetSystemMetrics(SM_CXSCREEN) || wa.top != 0) return false;
    r->x = wa.right - (w + GetSystemMetrics(SM_CXEDGE) + 10);
    r->y = wa.bottom - (h + GetSystemMetrics(SM_CYEDGE) + 15);
    return true;
}

bool AtRest(HWND h, int w, int hgt) {
    Rest r;
    RECT rc;
    if (!BottomRest(w, hgt, &r) || !GetWindowRect(h, &rc)) return false;
    return rc.left == r.x && rc.top == r.y && rc.right - rc.left == w && rc.bottom - rc.top == hgt;
}

void Click(HWND h, int x, int y) { PostMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }

int ThreadCount() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te = {};
    te.dwSize = sizeof te;
    int n = 0;
    if (Thread32First(snap, &te)) {
        do {
            if (te.th32OwnerProcessID == GetCurrentProcessId()) ++n;
        } while (Thread32Next(snap, &te));
    }
    CloseHandle(snap);
    return n;
}

std::string ReadFileText(const std::string& path) {
    std::string s;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

class Notes : public ::testing::Test {
protected:
    void SetUp() override {
        port = Env("ZORVET_NOTE_HTTP");
        urlLog = Env("ZORVET_URL_LOG");
        if (port.empty() || urlLog.empty()) GTEST_SKIP() << "needs the bed of notes_wine.py";
        Rest r;
        if (!BottomRest(256, 160, &r)) GTEST_SKIP() << "desktop with a side or top taskbar";
    }
    void TearDown() override {
        // Close whatever a failed case left up.
        for (HWND h : NoteWindows()) Click(h, 240, 10);
        WaitFor(NoWindowLeft, 3000);
    }
    std::string Base() { return "127.0.0.1:" + port; }
    void TextNote(uint32_t reg, const char* title, const char* text, const char* url) {
        nw_ShowTextNote(reg, title, text, url, 60, Module(), "BINARY", 1002, NULL, NULL, NULL);
    }
    void ImageNote(uint32_t reg, const std::string& image, const char* click) {
        nw_ShowImageNote2(reg, image.c_str(), click, 60, Module(), "BINARY", 1001, -1, -1, -1, -1);
    }
    HWND WaitOneNote(DWORD ms = 5000) {
        HWND h = NULL;
        WaitFor([&] {
            auto v = NoteWindows();
            h = v.size() == 1 ? v[0] : NULL;
            return h != NULL;
        }, ms);
        return h;
    }
    std::string port, urlLog;
};

}  // namespace

// ---- picture painter ----

TEST_F(Picture, StillPicturesSizeTheHostAndDraw) {
    struct {
        const char* name;
        int id;
        const char* type;
        int w, h, gif;
    } rows[] = {
        {"skin (JPEG resource)", 1002, "BINARY", 256, 160, 0},
        {"close button (GIF resource)", 1001, "BINARY", 15, 15, 1},
        {"one-frame GIF", kStill, "FIXTURE", 50, 30, 1},
        {"JPEG", kPhoto, "FIXTURE", 120, 90, 0},
    };
    for (auto& r : rows) {
        Host host;
        CPictureEx pic;
        pic.m_hResInst = Module();
        pic.AttachWindow(host.h, NULL);
        ASSERT_EQ(pic.Load(r.id, r.type), 1) << r.name;
        SIZE s = pic.GetPictureSize();
        EXPECT_EQ(s.cx, r.w) << r.name;
        EXPECT_EQ(s.cy, r.h) << r.name;
        SIZE ws = WindowSize(host.h);
        EXPECT_EQ(ws.cx, r.w) << r.name;
        EXPECT_EQ(ws.cy, r.h) << r.name;
        EXPECT_EQ(pic.HoldsGif(), r.gif) << r.name;
        EXPECT_EQ(pic.CountFrames(), 0) << r.name;
        EXPECT_EQ(pic.Draw(), 1) << r.name;
        EXPECT_EQ(pic.AnimationRunning(), 0) << r.name;
    }
}

TEST_F(Picture, DrawBeforeLoadAndBrokenPictures) {
    TraceScope traces;
    Host host;
    CPictureEx pic;
    pic.AttachWindow(host.h, NULL);
    EXPECT_EQ(pic.Draw(), 0);
    EXPECT_NE(g_traces.Take().find("NTW: Call of one the CPictureEx::Load() member functions before calling Draw()"),
              std::string::npos);
    RECT rc;
    EXPECT_EQ(pic.GetOverlayRect(&rc), 0);

    std::vector<uint8_t> anim = Fixture(kAnim);
    std::vector<uint8_t> photo = Fixture(kPhoto);
    ASSERT_GT(anim.size(), 100u);
    ASSERT_GT(photo.size(), 100u);
    std::vector<uint8_t> big = Fixture(kStill);
    big[6] = 0x88, big[7] = 0x13;  // logical screen 5000 pixels wide
    std::vector<uint8_t> trailerOnly(anim.begin(), anim.begin() + 13 + 6);
    trailerOnly[10] = 0x80;  // two-colour table, then the trailer
    trailerOnly.push_back(';');
    // The still GIF with its image descriptor claiming 60000 x 30 pixels.
    std::vector<uint8_t> wideFrame = Fixture(kStill);
    {
        gif::Screen sc;
        ASSERT_TRUE(gif::ReadScreen(wideFrame.data(), wideFrame.size(), &sc));
        gif::Walker w = gif::MakeWalker(wideFrame.data(), wideFrame.size(), sc.gctLen);
        while (gif::KindAt(w, w.pos) != gif::BLOCK_IMAGE) ASSERT_TRUE(gif::AdvanceBlock(&w));
        wideFrame[w.pos + 5] = 0x60, wideFrame[w.pos + 6] = 0xEA;
    }
    const char junk[] = "this is not a picture at all";
    struct {
        const char* name;
        std::vector<uint8_t> data;
    } rows[] = {
        {"ten bytes of a GIF header", std::vector<uint8_t>(anim.begin(), anim.begin() + 10)},
        {"GIF header only", std::vector<uint8_t>(anim.begin(), anim.begin() + 13)},
        {"trailer right after the colour table", trailerOnly},
        {"screen wider than the limit", big},
        {"frame wider than the limit", wideFrame},
        {"not a picture", std::vector<uint8_t>(junk, junk + sizeof junk)},
        {"cut JPEG", std::vector<uint8_t>(photo.begin(), photo.begin() + 20)},
    };
    for (auto& r : rows) {
        EXPECT_EQ(pic.Load((const void*)r.data.data(), (unsigned)r.data.size()), 0) << r.name;
        EXPECT_EQ(pic.Draw(), 0) << r.name;
    }
    EXPECT_EQ(pic.Load((const void*)NULL, 10), 0);
    EXPECT_EQ(pic.Load(9999, "BINARY"), 0);  // no such resource
    EXPECT_EQ(pic.Load("Z:\\nonexistent\\picture.gif"), 0);
    std::string t = g_traces.Take();
    EXPECT_NE(t.find("NTW: Load: picture too large (5000x"), std::string::npos) << t;
    EXPECT_NE(t.find("NTW: Load: picture too large (50x30"), std::string::npos) << t;
    EXPECT_NE(t.find("NTW: Load (resource): Error loading resource ID 9999"), std::string::npos) << t;
    EXPECT_NE(t.find("NTW: Load (file): Error opening file Z:\\nonexistent\\picture.gif"), std::string::npos) << t;

    // An animation cut in its last frame keeps the frames that end in the data.
    std::vector<uint8_t> cut(anim.begin(), anim.end() - 12);
    if (pic.Load((const void*)cut.data(), (unsigned)cut.size())) {
        EXPECT_LE(pic.CountFrames(), 2);
    }
}

TEST_F(Picture, OverlaySitsTopRight) {
    Host host;
    CPictureEx pic;
    pic.m_hResInst = Module();
    pic.AttachWindow(host.h, NULL);
    ASSERT_EQ(pic.LoadOverlay(1001, "BINARY", -1, -1, -1, -1), 1);
    RECT rc;
    EXPECT_EQ(pic.GetOverlayRect(&rc), 0);  // nothing loaded yet
    ASSERT_EQ(pic.Load(kPhoto, "FIXTURE"), 1);
    ASSERT_EQ(pic.GetOverlayRect(&rc), 1);
    EXPECT_EQ(rc.left, 120 - 23);
    EXPECT_EQ(rc.top, 5);
    EXPECT_EQ(rc.right, 120 - 8);
    EXPECT_EQ(rc.bottom, 20);
    ASSERT_EQ(pic.LoadOverlay(1001, "BINARY", 3, 4, 10, 12), 1);
    ASSERT_EQ(pic.GetOverlayRect(&rc), 1);
    EXPECT_EQ(rc.left, 3);
    EXPECT_EQ(rc.top, 4);
    EXPECT_EQ(rc.right, 13);
    EXPECT_EQ(rc.bottom, 16);
    EXPECT_EQ(pic.LoadOverlay(0, NULL, 0, 0, 0, 0), 1);
    EXPECT_EQ(pic.GetOverlayRect(&rc), 0);
    EXPECT_EQ(pic.Draw(), 1);
}

TEST_F(Picture, AnimationPlaysAndStops) {
    Host host;
    CPictureEx pic;
    pic.m_hResInst = Module();
    pic.AttachWindow(host.h, NULL);
    ASSERT_EQ(pic.Load(kAnim, "FIXTURE"), 1);
    EXPECT_EQ(pic.HasSeveralFrames(), 1);
    EXPECT_EQ(pic.CountFrames(), 3);
    SIZE s = pic.GetPictureSize();
    EXPECT_EQ(s.cx, 60);
    EXPECT_EQ(s.cy, 40);
    EXPECT_EQ(pic.Draw(), 0);  // an animation draws on its own thread
    Pump(400);
    EXPECT_EQ(pic.AnimationRunning(), 1);
    pic.HaltAnimation();
    EXPECT_EQ(pic.AnimationRunning(), 0);
    // A second Draw starts it again; Clear (through a new load) stops it.
    EXPECT_EQ(pic.Draw(), 0);
    Pump(200);
    EXPECT_EQ(pic.AnimationRunning(), 1);
    ASSERT_EQ(pic.Load(kStill, "FIXTURE"), 1);
    EXPECT_EQ(pic.AnimationRunning(), 0);
}

TEST_F(Picture, RestoringAnimationWrapsAndStops) {
    Host host;
    CPictureEx pic;
    pic.m_hResInst = Module();
    pic.AttachWindow(host.h, NULL);
    ASSERT_EQ(pic.Load(kRestore, "FIXTURE"), 1);
    EXPECT_EQ(pic.CountFrames(), 3);
    EXPECT_EQ(pic.Draw(), 0);
    Pump(1500);  // delays of 300, 100 and 700 ms: past the wrap to frame 0
    EXPECT_EQ(pic.AnimationRunning(), 1);
    pic.HaltAnimation();
    EXPECT_EQ(pic.AnimationRunning(), 0);
    pic.Clear();
    EXPECT_EQ(pic.Draw(), 0);
}

// Puts a stream maker in front of the painter's decoding for one scope.
struct StreamHook {
    explicit StreamHook(CreatePictureStreamFn fn) : saved(g_pfnCreatePictureStream) {
        g_pfnCreatePictureStream = fn;
    }
    ~StreamHook() { g_pfnCreatePictureStream = saved; }
    CreatePictureStreamFn saved;
};

std::vector<HGLOBAL> g_refusedBlocks;
HRESULT WINAPI RefuseStream(HGLOBAL block, BOOL, LPSTREAM* out) {
    g_refusedBlocks.push_back(block);
    *out = nullptr;
    return E_OUTOFMEMORY;
}

// A frame's block and the overlay's block are handed to a stream that frees them
// when released; when no stream can be made, the painter frees them itself.
TEST_F(Picture, BlocksAreFreedWhenNoStreamCanBeMade) {
    Host host;
    CPictureEx pic;
    pic.m_hResInst = Module();
    pic.AttachWindow(host.h, NULL);
    StreamHook hook(RefuseStream);
    struct {
        const char* name;
        int (*load)(CPictureEx&);
    } rows[] = {
        {"frames of an animation", [](CPictureEx& p) { return p.Load(kAnim, "FIXTURE"); }},
        {"overlay", [](CPictureEx& p) { return p.LoadOverlay(1001, "BINARY", -1, -1, -1, -1); }},
    };
    for (auto& r : rows) {
        g_refusedBlocks.clear();
        EXPECT_EQ(r.load(pic), 0) << r.name;
        ASSERT_FALSE(g_refusedBlocks.empty()) << r.name;
        for (HGLOBAL b : g_refusedBlocks) EXPECT_EQ(GlobalSize(b), 0u) << r.name << ": block still held";
    }
}

// The chain lengths that the painter reads from the data it is loading, taken
// while it cuts the first frame of anim.gif: a 12-byte colour table, then the
// NETSCAPE2.0 block, whose chain "03 01 00 00 | 00" starts at byte 39.
CPictureEx* g_walked;
std::vector<unsigned> g_chains;
HRESULT WINAPI RecordChains(HGLOBAL block, BOOL free, LPSTREAM* out) {
    if (g_chains.empty()) {
        unsigned len = (unsigned)Fixture(kAnim).size();
        for (unsigned offset : {39u, 43u, len - 1, len, 0xFFFFFFF0u})
            g_chains.push_back(g_walked->SubBlockChainSize(offset));
    }
    return CreateStreamOnHGlobal(block, free, out);
}

TEST_F(Picture, SubBlockChainsOfTheDataBeingLoaded) {
    Host host;
    CPictureEx pic;
    pic.m_hResInst = Module();
    pic.AttachWindow(host.h, NULL);
    g_walked = &pic;
    g_chains.clear();
    {
        StreamHook hook(RecordChains);
        ASSERT_EQ(pic.Load(kAnim, "FIXTURE"), 1);
    }
    // 5: the whole chain; 1: a lone terminator; 0: the trailer ';' reads as a
    // length that runs past the end, and offsets at or past the end.
    EXPECT_EQ(g_chains, (std::vector<unsigned>{5, 1, 0, 0, 0}));
    EXPECT_EQ(pic.CountFrames(), 3);
    EXPECT_EQ(pic.SubBlockChainSize(39), 0u);  // the data is gone once the load ends
}

// The animation thread repaints with a message sent to the host's thread. When
// that thread halts the animation without pumping, the two must not wait on
// each other (and the thread is never killed).
TEST_F(Picture, HaltWhileTheRepaintWaitsForThisThread) {
    Host host;
    CPictureEx pic;
    pic.m_hResInst = Module();
    pic.AttachWindow(host.h, NULL);
    ASSERT_EQ(pic.Load(kAnim, "FIXTURE"), 1);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(pic.Draw(), 0);
        Sleep(300);  // no pumping: the first repaint is stuck in its send
        DWORD t0 = GetTickCount();
        pic.HaltAnimation();
        DWORD took = GetTickCount() - t0;
        EXPECT_LT(took, 900u) << "round " << round;
        EXPECT_EQ(pic.AnimationRunning(), 0);
    }
}

// ---- note windows ----

TEST_F(Notes, TextNoteRestsAtTheEdgeAndClosesByItsCloseArea) {
    int before = ThreadCount();
    DWORD t0 = GetTickCount();
    TextNote(5, "标题", "消息正文 message text", "");
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitFor([&] { return AtRest(h, 256, 160); }, 5000)) << "not at its rest position";
    printf("slide-in took %lu ms\n", GetTickCount() - t0);
    char title[8] = "x";
    GetWindowTextA(h, title, sizeof title);
    EXPECT_STREQ(title, "");
    EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    // Still up after a while (a stay of 60 s).
    Sleep(700);
    EXPECT_TRUE(IsWindowVisible(h));
    Click(h, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
    // Both of the note's threads end.
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; }, 3000)) << ThreadCount() << " > " << before;
}

// With nothing clicked, a note slides in, stays its second, slides back out
// below its rest position and is destroyed; its threads end and the next note
// comes up as usual.
TEST_F(Notes, TextNoteLeftAloneSlidesOutAndIsDestroyed) {
    int before = ThreadCount();
    DWORD shown = GetTickCount();
    nw_ShowTextNote(41, "left alone", "goes by itself", "", 1, Module(), "BINARY", 1002, NULL, NULL, NULL);
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitFor([&] { return AtRest(h, 256, 160); }, 5000)) << "never slid in";
    Rest rest;
    ASSERT_TRUE(BottomRest(256, 160, &rest));
    bool seenLeaving = false;
    EXPECT_TRUE(WaitFor([&] {
        RECT rc;
        if (IsWindowVisible(h) && GetWindowRect(h, &rc) && rc.top > rest.y) seenLeaving = true;
        return NoWindowLeft();
    }, 15000)) << "the note never went away";
    // The wait above grows with the lane; the stay does not. A note that went
    // only after the minute the others stay was not left for its own second.
    EXPECT_LT(GetTickCount() - shown, 60000u) << "the note stayed a minute, not its second";
    EXPECT_TRUE(seenLeaving) << "the note went without sliding out";
    EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= before; }, 3000)) << ThreadCount() << " > " << before;

    TextNote(42, "after", "healthy", "");
    HWND next = WaitOneNote();
    ASSERT_TRUE(next);
    Click(next, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

TEST_F(Notes, ClickOnTheTextOpensTheLinkWithRegId) {
    std::string url = Base() + "/click?from=note";
    TextNote(77, "t", "click me", url.c_str());
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitFor([&] { return AtRest(h, 256, 160); }, 5000));
    Click(h, 130, 100);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
    std::string want = "http://" + Base() + "/click?from=note&reg=77";
    EXPECT_TRUE(WaitFor([&] { return ReadFileText(urlLog).find(want) != std::string::npos; }, 8000))
        << ReadFileText(urlLog);
}

TEST_F(Notes, OnlyWebAddressesAreOpened) {
    TraceScope traces;
    const char* urls[] = {"file://c:/windows/win.ini", "ftp://127.0.0.1/x.txt"};
    for (const char* u : urls) {
        TextNote(3, "t", "no", u);
        HWND h = WaitOneNote();
        ASSERT_TRUE(h) << u;
        Click(h, 130, 100);
        EXPECT_TRUE(WaitFor(NoWindowLeft, 2000)) << u;
    }
    Sleep(1500);
    std::string log = ReadFileText(urlLog);
    EXPECT_EQ(log.find("win.ini"), std::string::npos) << log;
    EXPECT_EQ(log.find("ftp:"), std::string::npos) << log;
    std::string t = g_traces.Take();
    EXPECT_NE(t.find("NTW: OpenUrl: refused an address that is not http or https: file://c:/windows/win.ini?reg=3"),
              std::string::npos) << t;
    EXPECT_NE(t.find("refused an address that is not http or https: ftp://127.0.0.1/x.txt?reg=3"),
              std::string::npos) << t;
}

TEST_F(Notes, TextWithoutLinkStaysUpWhenClicked) {
    TextNote(1, NULL, NULL, NULL);  // null texts are empty texts
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    Click(h, 130, 100);
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(h));
    Click(h, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

TEST_F(Notes, ImageNoteTakesThePictureSizeAndCloseButton) {
    ImageNote(9, Base() + "/photo.jpg", "");
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitFor([&] { return AtRest(h, 120, 90); }, 3000));
    Click(h, 120 - 23 + 7, 12);  // the 15 x 15 close button at (W - 23, 5)
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

TEST_F(Notes, MissingOrRefusedPicturesGiveNoNote) {
    TraceScope traces;
    ImageNote(10, Base() + "/missing.gif", "");
    ImageNote(11, Base() + "/notapicture.gif", "");
    ImageNote(12, "", "");
    ImageNote(13, "127.0.0.1:" + port + "/" + std::string(1100, 'a') + ".gif", "");
    nw_ShowImageNote2(14, NULL, "", 60, Module(), "BINARY", 1001, -1, -1, -1, -1);
    Sleep(2000);
    EXPECT_TRUE(NoteWindows().empty());
    std::string t = g_traces.Take();
    EXPECT_NE(t.find("NTW: image address of " + std::to_string(11 + port.size() + 1100 + 4) + " characters refused"),
              std::string::npos) << t;
    // The process goes on showing notes.
    TextNote(15, "after", "still fine", "");
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    Click(h, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

// The library's own prompt messages (bit 0x400) come up as text notes.
TEST_F(Notes, PromptMessageShowsAsTextNote) {
    ReportMessage(0x40000408, "prompt %d", 1);
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    ASSERT_TRUE(WaitFor([&] { return AtRest(h, 256, 160); }, 5000));
    Click(h, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

TEST_F(Notes, TwoQuickNotesGiveTwoWindows) {
    TextNote(21, "one", "first", "");
    TextNote(22, "two", "second", "");
    ASSERT_TRUE(WaitFor([] { return NoteWindows().size() == 2; }, 5000));
    for (HWND h : NoteWindows()) Click(h, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

TEST_F(Notes, AnimatedNoteClosedMidAnimation) {
    for (int round = 0; round < 2; ++round) {
        ImageNote(30 + round, Base() + "/anim.gif", "");
        HWND h = WaitOneNote();
        ASSERT_TRUE(h);
        ASSERT_TRUE(WaitFor([&] { return AtRest(h, 60, 40); }, 3000));
        Sleep(350);
        DWORD t0 = GetTickCount();
        Click(h, 60 - 23 + 7, 12);
        EXPECT_TRUE(WaitFor(NoWindowLeft, 2000)) << "round " << round;
        printf("closed in %lu ms\n", GetTickCount() - t0);
    }
    TextNote(39, "after", "healthy", "");
    HWND h = WaitOneNote();
    ASSERT_TRUE(h);
    Click(h, 242, 12);
    EXPECT_TRUE(WaitFor(NoWindowLeft, 2000));
}

// ---- note parameter blocks ----

// The fields in which two blocks differ, by name.
std::string BlockDifferences(const NoteParams& a, const NoteParams& b) {
    std::string out;
    auto num = [&](const char* name, long x, long y) {
        if (x != y) out += std::string(name) + ": " + std::to_string(x) + " vs " + std::to_string(y) + "; ";
    };
    auto text = [&](const char* name, const char* x, const char* y, size_t n) {
        if (memcmp(x, y, n)) out += std::string(name) + ": \"" + x + "\" vs \"" + y + "\"; ";
    };
    auto rect = [&](const char* name, const RECT& x, const RECT& y) {
        if (!EqualRect(&x, &y)) out += std::string(name) + " differs; ";
    };
    num("hInstance", (long)(INT_PTR)a.hInstance, (long)(INT_PTR)b.hInstance);
    num("closeX", a.closeX, b.closeX);
    num("closeY", a.closeY, b.closeY);
    num("closeWidth", a.closeWidth, b.closeWidth);
    num("closeHeight", a.closeHeight, b.closeHeight);
    num("closeImageId", a.closeImageId, b.closeImageId);
    num("skinId", a.skinId, b.skinId);
    text("resType", a.resType, b.resType, sizeof a.resType);
    num("mode", a.mode, b.mode);
    num("staySeconds", a.staySeconds, b.staySeconds);
    num("imageSize", a.imageSize, b.imageSize);
    num("image", (long)(INT_PTR)a.image, (long)(INT_PTR)b.image);
    text("title", a.title, b.title, sizeof a.title);
    text("text", a.text, b.text, sizeof a.text);
    rect("titleRect", a.titleRect, b.titleRect);
    rect("textRect", a.textRect, b.textRect);
    text("url", a.url, b.url, sizeof a.url);
    num("reg_id", (long)a.reg_id, (long)b.reg_id);
    return out;
}

// Each operation on a block, applied to one full of stale bytes, against the
// block as the initialisation leaves it plus the fields that the operation owns.
TEST(NoteParamsBlock, EachOperationWritesItsOwnFields) {
    typedef void (*Step)(NoteParams*);
    struct {
        const char* name;
        Step apply;
        Step expect;  // the changes to the initialised block
    } rows[] = {
        {"InitNoteParams", [](NoteParams* p) { InitNoteParams(p, Module(), "FIXTURE"); },
         [](NoteParams*) {}},
        {"InitNoteParamsBinary", [](NoteParams* p) { InitNoteParamsBinary(p, Module()); },
         [](NoteParams* p) { strcpy(p->resType, "BINARY"); }},
        {"SetCloseImage",
         [](NoteParams* p) {
             InitNoteParams(p, Module(), "FIXTURE");
             SetCloseImage(p, 1001);
         },
         [](NoteParams* p) { p->closeImageId = 1001; }},
        {"SetCloseButtonParams",
         [](NoteParams* p) {
             InitNoteParams(p, Module(), "FIXTURE");
             SetCloseButtonParams(p, 1001, 3, 4, 15, 16);
         },
         [](NoteParams* p) {
             p->closeImageId = 1001;
             p->closeX = 3, p->closeY = 4, p->closeWidth = 15, p->closeHeight = 16;
         }},
        {"SetSkinId",
         [](NoteParams* p) {
             InitNoteParams(p, Module(), "FIXTURE");
             SetSkinId(p, 1002);
         },
         [](NoteParams* p) { p->skinId = 1002; }},
        {"SetNoteLayout with only a close rectangle keeps the close picture",
         [](NoteParams* p) {
             InitNoteParams(p, Module(), "FIXTURE");
             SetCloseImage(p, 1001);
             RECT close = {234, 4, 250, 20};
             SetNoteLayout(p, 1002, NULL, NULL, &close);
         },
         [](NoteParams* p) {
             p->closeImageId = 1001;
             p->skinId = 1002;
             p->closeX = 234, p->closeY = 4, p->closeWidth = 16, p->closeHeight = 16;
         }},
    };
    for (auto& r : rows) {
        // The values after initialisation, written out.
        NoteParams want;
        memset(&want, 0, sizeof want);
        want.hInstance = Module();
        want.closeX = want.closeY = want.closeWidth = want.closeHeight = -1;
        strcpy(want.resType, "FIXTURE");
        want.mode = 1;
        want.staySeconds = 3000;
        r.expect(&want);

        NoteParams got;
        memset(&got, 0xAB, sizeof got);
        r.apply(&got);
        EXPECT_EQ(BlockDifferences(got, want), "") << r.name;
    }
}

// ---- HTTP fetch ----

TEST(Fetch, BodiesAndFailures) {
    std::string port = Env("ZORVET_NOTE_HTTP");
    if (port.empty()) GTEST_SKIP() << "needs the bed of notes_wine.py";
    std::string base = "http://127.0.0.1:" + port;
    std::string pattern;
    for (int i = 0; i < 50000; ++i) pattern += (char)((i * 7 + 3) & 0xFF);
    struct {
        const char* path;
        bool ok;
        std::string body;
    } rows[] = {
        {"/bytes/50000", true, pattern},
        {"/bytes/1", true, pattern.substr(0, 1)},
        {"/empty", true, ""},
        {"/missing.gif", false, ""},
        {"/nolength", false, ""},
        {"/drop", false, ""},
        {"/huge", false, ""},
        {"/badlength", false, ""},
        {"/negative", false, ""},
    };
    for (auto& r : rows) {
        int n = -5;
        char* body = FetchUrl((base + r.path).c_str(), &n);
        if (r.ok) {
            ASSERT_TRUE(body) << r.path;
            EXPECT_EQ(n, (int)r.body.size()) << r.path;
            EXPECT_EQ(std::string(body, n), r.body) << r.path;
            EXPECT_EQ(body[n], 0) << r.path;
        } else {
            EXPECT_EQ(body, nullptr) << r.path;
            EXPECT_EQ(n, 0) << r.path;
        }
        free(body);
    }
    int n = -5;
    EXPECT_EQ(FetchUrl("http://127.0.0.1:1/nothing-listens", &n), nullptr);
    EXPECT_EQ(n, 0);
}

// ---- screenshots (screenshots.py takes them when told) ----

TEST(Shots, TextAndImageNote) {
    std::string sync = Env("ZORVET_SHOT_SYNC");
    std::string port = Env("ZORVET_NOTE_HTTP");
    if (sync.empty() || port.empty()) GTEST_SKIP() << "needs the bed of screenshots.py";
    struct {
        const char* name;
        bool image;
    } shots[] = {{"text", false}, {"image", true}};
    for (auto& s : shots) {
        if (s.image)
            nw_ShowImageNote2(1, ("127.0.0.1:" + port + "/photo.jpg").c_str(), "", 60, Module(), "BINARY",
                              1001, -1, -1, -1, -1);
        else
            nw_ShowTextNote(1, "软件提示信息", "本软件最新版本已经发布，\n您是否现在就更新？", "", 60,
                            Module(), "BINARY", 1002, NULL, NULL, NULL);
        HWND h = NULL;
        ASSERT_TRUE(WaitFor([&] {
            auto v = NoteWindows();
            h = v.size() == 1 ? v[0] : NULL;
            return h != NULL;
        }, 5000));
        Sleep(1500);  // well past the slide-in
        std::string done = sync + "\\" + s.name + ".done";
        printf("SHOT %s\n", s.name);
        fflush(stdout);
        ASSERT_TRUE(WaitFor([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000));
        Click(h, s.image ? 120 - 23 + 7 : 242, 12);
        ASSERT_TRUE(WaitFor(NoWindowLeft, 5000)) << IsWindow(h) << " " << IsWindowVisible(h) << " "
                                                 << NoteWindows().size();
    }
}

// ---- the note window's cursor ----

// The system sends WM_SETCURSOR ahead of each WM_MOUSEMOVE; so does this.
void MoveMouse(HWND h, int x, int y) {
    SendMessageA(h, WM_SETCURSOR, (WPARAM)h, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    SendMessageA(h, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

// Over the link and over the close area the hand, elsewhere the arrow, however
// many moves the mouse makes over either before it leaves.
TEST(NoteCursor, HandOverWhatCanBeClickedArrowElsewhere) {
    HCURSOR arrow = LoadCursor(NULL, IDC_ARROW), hand = LoadCursor(NULL, IDC_HAND);
    CNotificationWnd note;
    ASSERT_TRUE(note.Create(NULL));
    RECT text = {10, 40, 200, 120}, close = {230, 4, 250, 20};
    note.SetTextRect(&text);
    note.SetCloseRect(&close);
    note.ShowText("title", "text with a link", "127.0.0.1/x", 60000, 0, 0, 1);
    HWND h = note.GetHwnd();
    const struct {
        const char* label;
        POINT at;
    } clickable[] = {{"link", {100, 80}}, {"close area", {240, 10}}};
    for (const auto& c : clickable) {
        for (int i = 0; i < 3; ++i) {
            MoveMouse(h, c.at.x + i, c.at.y);
            EXPECT_EQ(GetCursor(), hand) << c.label << ", move " << i + 1 << " over it";
        }
        for (int i = 0; i < 3; ++i) {
            MoveMouse(h, 5 + i, 140);
            EXPECT_EQ(GetCursor(), arrow) << c.label << ", move " << i + 1 << " off it";
        }
    }
}

// ---- window helpers without a window ----

TEST(NoteRegion, ColourCutsPixelsOutOfTheLeftMultipleOfFour) {
    HDC screen = GetDC(NULL);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 10, 5);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    RECT all = {0, 0, 10, 5};
    FillRect(mem, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetPixel(mem, 2, 1, RGB(255, 0, 0));
    SetPixel(mem, 7, 4, RGB(255, 0, 0));
    SetPixel(mem, 9, 0, RGB(255, 0, 0));  // in the cut-off columns
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);

    WORD w = 0, h = 0;
    BYTE* px = CNotificationWnd::GetBitmapPixels(bmp, &w, &h);
    ASSERT_TRUE(px);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 5);
    const BYTE* red = px + (1 * 8 + 2) * 3;
    EXPECT_EQ(red[0], 0);    // blue
    EXPECT_EQ(red[2], 255);  // red
    free(px);

    HRGN rgn = CNotificationWnd::RegionFromColor(bmp, 255, 0, 0);
    ASSERT_TRUE(rgn);
    RECT box;
    GetRgnBox(rgn, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 8);
    EXPECT_EQ(box.bottom, 5);
    EXPECT_FALSE(PtInRegion(rgn, 2, 1));
    EXPECT_FALSE(PtInRegion(rgn, 7, 4));
    EXPECT_TRUE(PtInRegion(rgn, 3, 1));
    EXPECT_TRUE(PtInRegion(rgn, 0, 0));
    EXPECT_FALSE(PtInRegion(rgn, 9, 2));
    DeleteObject(rgn);
    DeleteObject(bmp);
    EXPECT_EQ(CNotificationWnd::RegionFromColor(NULL, 0, 0, 0), (HRGN)NULL);
}

#include "gif_walker.h"

#include <string.h>

namespace gif {

namespace {

inline uint32_t Word(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }

// Colour table length for a packed byte whose bit 7 says a table follows.
inline uint32_t TableLen(uint8_t packed) {
    return (packed & 0x80) ? 3u * (2u << (packed & 7)) : 0u;
}

// pos + n as a bounded sum: anything past 4 GiB counts as past the end.
inline uint64_t End(uint32_t pos, uint64_t n) { return (uint64_t)pos + n; }

}  // namespace

bool IsGif(const uint8_t* data, size_t len) {
    return data && len >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F';
}

int ReadScreen(const uint8_t* data, size_t len, Screen* out) {
    if (!data || len < kHeaderSize) return 0;
    out->width = (int)Word(data + 6);
    out->height = (int)Word(data + 8);
    out->gctLen = TableLen(data[10]);
    out->headerLen = kHeaderSize + out->gctLen;
    return 1;
}

int WithinLimits(int width, int height, int frames) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return 0;
    if (frames < 0 || frames > kMaxFrames) return 0;
    uint64_t total = (uint64_t)width * (uint64_t)height * (uint64_t)(frames ? frames : 1);
    return total <= kMaxTotalPixels;
}

Walker MakeWalker(const uint8_t* data, size_t len, uint32_t gctLen) {
    Walker w;
    w.data = data;
    w.len = len > 0xFFFFFFFEu ? 0xFFFFFFFEu : (uint32_t)len;
    w.gctLen = gctLen;
    w.pos = kHeaderSize + gctLen;
    return w;
}

void Rewind(Walker* w) { w->pos = kHeaderSize + w->gctLen; }

BlockKind KindAt(const Walker& w, uint32_t pos) {
    if (!w.data || pos >= w.len) return BLOCK_UNKNOWN;
    switch (w.data[pos]) {
    case ',': return BLOCK_IMAGE;
    case ';': return BLOCK_TRAILER;
    case '!':
        if (End(pos, 1) >= w.len) return BLOCK_UNKNOWN;
        switch (w.data[pos + 1]) {
        case 0xFF: return BLOCK_APPEXT;
        case 0xFE: return BLOCK_COMMENT;
        case 0xF9: return BLOCK_CONTROLEXT;
        case 0x01: return BLOCK_PLAINTEXT;
        default: return BLOCK_UNKNOWN;
        }
    default: return BLOCK_UNKNOWN;
    }
}

uint32_t SubBlockChainSize(const Walker& w, uint32_t offset) {
    uint64_t p = offset;
    for (;;) {
        if (p >= w.len) return 0;  // length byte (or the terminator) missing
        uint8_t n = w.data[p];
        p += (uint64_t)n + 1;
        if (n == 0) break;
    }
    // p now lies behind the terminator, at most len.
    return (uint32_t)(p - offset);
}

uint32_t CurrentBlockSize(const Walker& w) {
    uint32_t pos = w.pos;
    uint32_t chain;
    switch (KindAt(w, pos)) {
    case BLOCK_APPEXT:
        if (End(pos, 14) > w.len) return 0;
        chain = SubBlockChainSize(w, pos + 14);
        return chain ? 14 + chain : 0;
    case BLOCK_COMMENT:
        chain = SubBlockChainSize(w, pos + 2);
        return chain ? 2 + chain : 0;
    case BLOCK_CONTROLEXT:
        return 8;
    case BLOCK_PLAINTEXT:
        if (End(pos, 15) > w.len) return 0;
        chain = SubBlockChainSize(w, pos + 15);
        return chain ? 15 + chain : 0;
    case BLOCK_IMAGE: {
        if (End(pos, 10) > w.len) return 0;  // descriptor incomplete
        uint32_t lct = TableLen(w.data[pos + 9]);
        uint64_t chainAt = End(pos, 11) + lct;
        if (chainAt > w.len) return 0;
        chain = SubBlockChainSize(w, (uint32_t)chainAt);
        return chain ? 11 + lct + chain : 0;
    }
    case BLOCK_TRAILER:
        return 1;
    default:
        return 0;
    }
}

int AdvanceBlock(Walker* w) {
    uint32_t size = CurrentBlockSize(*w);
    if (size == 0 || End(w->pos, size) > w->len) return 0;
    w->pos += size;
    return 1;
}

namespace {

// Shared walk of AdvancePastFrame and CutFrame. Fills what the frame's blocks say.
int WalkFrame(Walker* w, const Screen* screen, FrameSpan* span) {
    BlockKind k;
    for (;;) {
        k = KindAt(*w, w->pos);
        if (k == BLOCK_APPEXT || k == BLOCK_COMMENT) {
            if (!AdvanceBlock(w)) return 0;
            continue;
        }
        break;
    }
    if (k == BLOCK_TRAILER || k == BLOCK_UNKNOWN) return 0;
    FrameSpan s = {};
    s.start = w->pos;
    s.delay = kNoDelay;
    if (k == BLOCK_CONTROLEXT) {
        uint32_t at = w->pos;
        if (!AdvanceBlock(w)) return 0;  // the 8 bytes lie within the data now
        s.disposal = (w->data[at + 3] & 0x1C) >> 2;
        s.delay = Word(w->data + at + 4);
        for (;;) {
            k = KindAt(*w, w->pos);
            if (k == BLOCK_APPEXT || k == BLOCK_COMMENT || k == BLOCK_CONTROLEXT) {
                if (!AdvanceBlock(w)) return 0;
                continue;
            }
            break;
        }
        if (k != BLOCK_IMAGE && k != BLOCK_PLAINTEXT) return 0;
    }
    uint32_t at = w->pos;
    if (!AdvanceBlock(w)) return 0;
    if (k == BLOCK_IMAGE) {
        s.left = (int)Word(w->data + at + 1);
        s.top = (int)Word(w->data + at + 3);
        s.width = (int)Word(w->data + at + 5);
        s.height = (int)Word(w->data + at + 7);
    } else if (screen) {
        s.width = screen->width;
        s.height = screen->height;
    }
    s.end = w->pos;
    if (span) *span = s;
    return 1;
}

}  // namespace

int AdvancePastFrame(Walker* w) { return WalkFrame(w, nullptr, nullptr); }

int CutFrame(Walker* w, const Screen& screen, FrameSpan* out) { return WalkFrame(w, &screen, out); }

size_t FrameGifSize(const Screen& screen, const FrameSpan& span) {
    return (size_t)screen.headerLen + (span.end - span.start) + 1;
}

size_t BuildFrameGif(const uint8_t* data, const Screen& screen, const FrameSpan& span,
                     uint8_t* out, size_t outSize) {
    size_t n = FrameGifSize(screen, span);
    if (!out || outSize < n || span.end < span.start || span.start < screen.headerLen) return 0;
    memcpy(out, data, screen.headerLen);
    memcpy(out + screen.headerLen, data + span.start, span.end - span.start);
    out[n - 1] = ';';
    return n;
}

int CountFrames(const uint8_t* data, size_t len, int limit) {
    Screen screen;
    if (!IsGif(data, len) || !ReadScreen(data, len, &screen)) return 0;
    Walker w = MakeWalker(data, len, screen.gctLen);
    int n = 0;
    while (n <= limit && AdvancePastFrame(&w)) ++n;
    return n;
}

Survey SurveyFrames(const uint8_t* data, size_t len, const Screen& screen) {
    Survey out = {0, 0};
    Walker w = MakeWalker(data, len, screen.gctLen);
    FrameSpan span;
    uint64_t pixels = 0;
    const uint64_t screenPixels = (uint64_t)screen.width * (uint64_t)screen.height;
    while (out.frames <= kMaxFrames && CutFrame(&w, screen, &span)) {
        ++out.frames;
        if (span.width > kMaxSide || span.height > kMaxSide) out.tooLarge = 1;
        uint64_t frame = (uint64_t)span.width * (uint64_t)span.height;
        pixels += frame > screenPixels ? frame : screenPixels;
    }
    if (out.frames > 0 &&
        (!WithinLimits(screen.width, screen.height, out.frames) || pixels > kMaxTotalPixels))
        out.tooLarge = 1;
    return out;
}

}  // namespace gif

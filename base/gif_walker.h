// GIF block walker: finds the blocks and frames of a GIF in memory and cuts one
// frame out as a GIF of its own. Portable (no windows.h). The bytes usually
// come from the network: every read is checked against the data's length.
#ifndef ZORVET_GIF_WALKER_H
#define ZORVET_GIF_WALKER_H

#include <stddef.h>
#include <stdint.h>

namespace gif {

enum BlockKind {
    BLOCK_UNKNOWN = 0,
    BLOCK_APPEXT = 1,      // '!' 0xFF
    BLOCK_COMMENT = 2,     // '!' 0xFE
    BLOCK_CONTROLEXT = 3,  // '!' 0xF9
    BLOCK_PLAINTEXT = 4,   // '!' 0x01
    BLOCK_IMAGE = 5,       // ','
    BLOCK_TRAILER = 6,     // ';'
};

constexpr uint32_t kHeaderSize = 13;            // signature, version, logical screen
constexpr uint32_t kNoDelay = 0xFFFFFFFFu;      // frame without a graphic control block
// Limits on what a note picture may be (a picture off the network is not trusted).
constexpr int kMaxSide = 4096;                  // pixels, each of width and height
constexpr int kMaxFrames = 256;
constexpr uint64_t kMaxTotalPixels = 16u << 20; // frames x width x height

struct Screen {
    int width, height;   // logical screen, pixels
    uint32_t gctLen;     // global colour table bytes, 0 when none
    uint32_t headerLen;  // kHeaderSize + gctLen: where the first block starts
};

// True when the data starts with "GIF" (the version is not examined).
bool IsGif(const uint8_t* data, size_t len);
// Reads the logical screen descriptor; 0 when the data is shorter than 13 bytes.
int ReadScreen(const uint8_t* data, size_t len, Screen* out);
// 1 when a picture of that size and frame count is within the limits above.
int WithinLimits(int width, int height, int frames);

struct Walker {
    const uint8_t* data;
    uint32_t len;
    uint32_t pos;      // offset of the current block
    uint32_t gctLen;
};
// A walker at the first block (pos = 13 + gctLen); len is capped at 4 GiB - 1.
Walker MakeWalker(const uint8_t* data, size_t len, uint32_t gctLen);
void Rewind(Walker* w);

BlockKind KindAt(const Walker& w, uint32_t pos);
// Length of the sub-block chain starting at offset, terminator included; 0 when
// the chain runs past the data's end.
uint32_t SubBlockChainSize(const Walker& w, uint32_t offset);
// Length of the block at the walker's position; 0 for an unknown block or one
// whose length cannot be read within the data.
uint32_t CurrentBlockSize(const Walker& w);
// Moves behind the current block when it ends within the data; else 0.
int AdvanceBlock(Walker* w);
// Steps behind the next frame (control block, extensions, image or plain text);
// 1 when a whole frame was passed.
int AdvancePastFrame(Walker* w);

struct FrameSpan {
    uint32_t start, end;         // bytes [start, end) of the frame's blocks
    uint32_t delay;              // 1/100 s, kNoDelay without a control block
    int disposal;                // bits 2..4 of the control block's packed byte
    int left, top, width, height;// from the image descriptor; the whole screen for plain text
};
// Walks to the next frame and describes it; 0 at the trailer, an unknown block
// or a block that does not fit.
int CutFrame(Walker* w, const Screen& screen, FrameSpan* out);
// Size of the one-frame GIF for the span: header and colour table, span, ';'.
size_t FrameGifSize(const Screen& screen, const FrameSpan& span);
// Writes that GIF into out (FrameGifSize bytes); returns the count written.
size_t BuildFrameGif(const uint8_t* data, const Screen& screen, const FrameSpan& span,
                     uint8_t* out, size_t outSize);
// Number of frames (calls of AdvancePastFrame that succeed), at most limit + 1.
int CountFrames(const uint8_t* data, size_t len, int limit);

struct Survey {
    int frames;    // frames that end within the data, at most kMaxFrames + 1
    int tooLarge;  // the screen, a frame's image or all frames together exceed the limits
};
// What decoding the GIF would cost, before anything is decoded: the decoder
// allocates by the screen and by each frame's image descriptor.
Survey SurveyFrames(const uint8_t* data, size_t len, const Screen& screen);

}  // namespace gif

#endif

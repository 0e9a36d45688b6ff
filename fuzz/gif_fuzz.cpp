// Walks arbitrary bytes as a GIF the way the picture painter does: count the
// frames, cut each one and build its one-frame GIF.
#include "gif_walker.h"

#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gif::Screen screen;
    if (!gif::IsGif(data, size) || !gif::ReadScreen(data, size, &screen)) return 0;
    gif::CountFrames(data, size, gif::kMaxFrames);
    gif::SurveyFrames(data, size, screen);
    gif::Walker w = gif::MakeWalker(data, size, screen.gctLen);
    gif::FrameSpan span;
    int frames = 0;
    while (frames <= gif::kMaxFrames && gif::CutFrame(&w, screen, &span)) {
        size_t n = gif::FrameGifSize(screen, span);
        uint8_t* out = (uint8_t*)malloc(n);
        if (!out) return 0;
        if (gif::BuildFrameGif(data, screen, span, out, n) != n) abort();
        // A cut frame is itself a GIF of exactly one frame.
        if (gif::CountFrames(out, n, 2) != 1) abort();
        free(out);
        ++frames;
    }
    return 0;
}

// Where a note popup comes from, where it rests, how it steps, where its close
// button sits, and the addresses it builds. Portable (no windows.h).
#ifndef ZORVET_NOTE_GEOMETRY_H
#define ZORVET_NOTE_GEOMETRY_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace note {

struct Rect {
    int left, top, right, bottom;
};

enum Direction { FROM_NONE = 0, FROM_TOP = 1, FROM_LEFT = 2, FROM_RIGHT = 3, FROM_BOTTOM = 4 };

// The edge a popup slides in from, given the work area and the screen size: a
// narrower work area means a taskbar at the left or right, a shorter one a
// taskbar at the top (or bottom, the default).
Direction SlideDirection(const Rect& work, int screenWidth, int screenHeight);

struct SlidePath {
    Direction direction;
    int startX, startY;  // just outside the work area
    int restX, restY;    // fully shown
    int distance;        // pixels between the two
};
// w, h: popup size; mx, my: gap kept to the work area's right and bottom edges.
SlidePath ComputeSlidePath(const Rect& work, int screenWidth, int screenHeight, int w, int h,
                           int mx, int my);

// Shortest timer period a slide asks for: window timers do not tick faster, so
// a slide of many 1-pixel steps at 2 ms would really take seconds.
constexpr uint32_t kMinStepMs = 16;

struct SlideSteps {
    int step;              // pixels per tick, 1 .. distance
    int steps;             // ticks of a whole slide
    uint32_t showStepMs;   // TIMER_SHOW period
    uint32_t hideStepMs;   // TIMER_HIDE period
};
// A show time of 0 moves the whole distance in one step. Otherwise the step is
// the requested one (1 when below 1, the distance when above it), made coarser
// when needed so that a tick is never shorter than kMinStepMs.
SlideSteps ComputeSlideSteps(int distance, uint32_t showMs, uint32_t hideMs, int step);

// Overlay (close button) rectangle on a picture picW wide: x or y of -1 puts it
// 8 pixels from the right edge and 5 from the top.
Rect OverlayRect(int picWidth, int x, int y, int width, int height);

// True when "://" starts at index 0..5 (a scheme of up to five letters).
bool HasShortScheme(const char* url);
// Click address of a note: "http://" in front unless HasShortScheme, then
// '?' or '&' (when the url already holds '?') and "reg=<id>". Empty for NULL or "".
std::string BuildClickUrl(const char* url, uint32_t regId);
// Picture address of an image note: "http://" in front unless HasShortScheme.
// 0 when the result would not fit in size - 1 characters (nothing is cut).
int BuildImageAddress(const char* text, char* out, size_t size);
// True for an address with the scheme http:// or https:// (any case).
bool IsWebAddress(const char* url);

}  // namespace note

#endif

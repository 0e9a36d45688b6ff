#include "note_geometry.h"

#include <stdio.h>
#include <string.h>

namespace note {

Direction SlideDirection(const Rect& work, int screenWidth, int screenHeight) {
    // Unsigned comparisons, as the system's metrics are compared.
    bool narrower = (unsigned)(work.right - work.left) < (unsigned)screenWidth;
    bool shorter = (unsigned)(work.bottom - work.top) < (unsigned)screenHeight;
    if (narrower) return work.left == 0 ? FROM_RIGHT : FROM_LEFT;
    if (shorter && work.top != 0) return FROM_TOP;
    return FROM_BOTTOM;
}

SlidePath ComputeSlidePath(const Rect& work, int screenWidth, int screenHeight, int w, int h,
                           int mx, int my) {
    SlidePath p;
    p.direction = SlideDirection(work, screenWidth, screenHeight);
    const int L = work.left, T = work.top, R = work.right, B = work.bottom;
    switch (p.direction) {
    case FROM_RIGHT:
        p.startX = R; p.startY = B - (h + my);
        p.restX = R - (w + mx); p.restY = p.startY;
        p.distance = w + mx;
        break;
    case FROM_LEFT:
        p.startX = L - (w + mx); p.startY = B - (h + my);
        p.restX = L; p.restY = p.startY;
        p.distance = w + mx;
        break;
    case FROM_TOP:
        p.startX = R - (w + mx); p.startY = T - (h + my);
        p.restX = p.startX; p.restY = T;
        p.distance = h + my;
        break;
    default:
        p.startX = R - (w + mx); p.startY = B;
        p.restX = p.startX; p.restY = B - (h + my);
        p.distance = h + my;
        break;
    }
    return p;
}

SlideSteps ComputeSlideSteps(int distance, uint32_t showMs, uint32_t hideMs, int step) {
    SlideSteps s;
    if (distance < 1) distance = 1;
    if (step < 1) step = 1;
    if (step > distance) step = distance;
    if (showMs == 0) {
        s.step = distance;
        s.steps = 1;
    } else {
        int steps = distance / step;  // >= 1
        int maxSteps = (int)(showMs / kMinStepMs);
        if (maxSteps < 1) maxSteps = 1;
        if (steps > maxSteps) {
            steps = maxSteps;
            step = (distance + steps - 1) / steps;
        }
        s.step = step;
        s.steps = steps;
    }
    s.showStepMs = showMs / (uint32_t)s.steps;
    s.hideStepMs = hideMs / (uint32_t)s.steps;
    return s;
}

Rect OverlayRect(int picWidth, int x, int y, int width, int height) {
    Rect r;
    r.left = x == -1 ? picWidth - width - 8 : x;
    r.top = y == -1 ? 5 : y;
    r.right = r.left + width;
    r.bottom = r.top + height;
    return r;
}

bool HasShortScheme(const char* url) {
    const char* p = url ? strstr(url, "://") : nullptr;
    return p && p - url <= 5;
}

std::string BuildClickUrl(const char* url, uint32_t regId) {
    if (!url || !*url) return std::string();
    std::string out = HasShortScheme(url) ? "" : "http://";
    out += url;
    out += strchr(url, '?') ? '&' : '?';
    char reg[24];
    snprintf(reg, sizeof reg, "reg=%u", regId);
    out += reg;
    return out;
}

int BuildImageAddress(const char* text, char* out, size_t size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    if (!text) return 0;
    const char* prefix = HasShortScheme(text) ? "" : "http://";
    size_t need = strlen(prefix) + strlen(text);
    if (need >= size) return 0;
    memcpy(out, prefix, strlen(prefix));
    memcpy(out + strlen(prefix), text, strlen(text) + 1);
    return 1;
}

namespace {
bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != *prefix) return false;
    }
    return true;
}
}  // namespace

bool IsWebAddress(const char* url) {
    return url && (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://"));
}

}  // namespace note

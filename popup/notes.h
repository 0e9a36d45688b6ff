// Entries of the notification popups, called by the core library. Both copy
// what they are given and return at once.
#ifndef ZORVET_POPUP_NOTES_H
#define ZORVET_POPUP_NOTES_H

#include <windows.h>
#include <stdint.h>

void nw_ShowTextNote(uint32_t reg_id, const char* title, const char* text, const char* url,
                     int staySeconds, HINSTANCE module, const char* resType, int skinId,
                     const RECT* titleRect, const RECT* textRect, const RECT* closeRect);
void nw_ShowImageNote2(uint32_t reg_id, const char* imageUrl, const char* clickUrl,
                       int staySeconds, HINSTANCE module, const char* resType, int closeImageId,
                       int x, int y, int width, int height);

#endif

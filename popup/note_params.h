// NoteParams: one note's parameters, filled by the entries through the
// operations below and owned by the note's launcher thread.
#ifndef ZORVET_POPUP_NOTE_PARAMS_H
#define ZORVET_POPUP_NOTE_PARAMS_H

#include <windows.h>
#include <stdint.h>

enum { NOTE_TEXT = 1, NOTE_IMAGE = 2, NOTE_IMAGE_URL = 3 };

struct NoteParams {
    HINSTANCE hInstance;  // module whose resources hold the skin and the close button
    int closeX, closeY, closeWidth, closeHeight;  // close area, pixels; -1: the picture's default
    int closeImageId;     // close-button picture; 0: the close area is a plain rectangle
    int skinId;           // text note's skin picture
    char resType[80];     // resource type of both pictures
    int mode;             // NOTE_TEXT, NOTE_IMAGE or NOTE_IMAGE_URL
    int staySeconds;      // time fully shown
    int imageSize;        // byte count of image; -1 while image holds an address
    char* image;          // the picture's bytes, or its address (terminated); allocated
    char title[1024];
    char text[1024];
    RECT titleRect;
    RECT textRect;        // also the click area
    char url[1024];       // click address; empty: a click on the text opens nothing
    uint32_t reg_id;      // appended to the click address
};

// Zeroes the block; no close picture, close area -1 each, NOTE_TEXT, a stay of 3000 s.
int InitNoteParams(NoteParams* p, HINSTANCE module, const char* resType);
int InitNoteParamsBinary(NoteParams* p, HINSTANCE module);
void SetCloseImage(NoteParams* p, int resourceId);
void SetCloseButtonParams(NoteParams* p, int resourceId, int x, int y, int width, int height);
void SetSkinId(NoteParams* p, int resourceId);
// The skin and each given rectangle; the close rectangle (l, t, r, b) is kept as
// x, y, width, height beside the close picture that is already set.
void SetNoteLayout(NoteParams* p, int skinId, const RECT* title, const RECT* text, const RECT* close);
void SetTextNoteParams(NoteParams* p, const char* title, const char* text, const char* url, int stay);
// Copies the bytes (count >= 0) or the address (count < 0); 0 when no copy can be made.
int SetImageNoteParams(NoteParams* p, int count, const char* bytes, const char* url, int stay);

#endif

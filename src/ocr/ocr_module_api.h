// The C entry points of the recognition module, which alone links the recognition engine; the program
// loads it with dlopen on first use, so starting up costs nothing for it.
#pragma once

extern "C" {

// Recognises the text of a grey picture (one byte per pixel, rows bytesPerLine apart) with the language
// data lang (one or several codes joined by '+') from the folder dataPath (null: the engine's own).
// Returns 1 and sets *text, or 0 and sets *error; either string is freed with glimmora_ocr_free.
typedef int (*GlimmoraOcrRun)(const unsigned char* pixels, int width, int height, int bytesPerLine,
                              const char* dataPath, const char* lang, char** text, char** error);
typedef void (*GlimmoraOcrFree)(char* text);
}

#define GLIMMORA_OCR_RUN "glimmora_ocr_run"
#define GLIMMORA_OCR_FREE "glimmora_ocr_free"

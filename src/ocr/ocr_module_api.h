// The C entry points of the recognition module, which alone links the recognition engine; the program
// loads it with dlopen on first use, so starting up costs nothing for it.
#pragma once

extern "C" {

// Recognises the text of a grey picture (one byte per pixel, rows bytesPerLine apart) with the language
// data lang (one or several codes joined by '+') from the folder dataPath (null: the engine's own), on up
// to workers engines at once. A pitch above 0 says the text stands on a grid of character cells that many
// pixels wide (a terminal, code): it is read as one block of lines (its columns are no page layout) and
// laid out by cell. The read stops soon
// after cancelled(context) answers nonzero (asked from any of the engines' threads; null: never), with 0 and
// the error GLIMMORA_OCR_CANCELLED. Returns 1 and sets *text, or 0 and sets *error; either string is freed
// with glimmora_ocr_free.
typedef int (*GlimmoraOcrCancelled)(void* context);
typedef int (*GlimmoraOcrRead)(const unsigned char* pixels, int width, int height, int bytesPerLine,
                               const char* dataPath, const char* lang, int workers, int pitch,
                               GlimmoraOcrCancelled cancelled, void* context, char** text, char** error);
typedef void (*GlimmoraOcrFree)(char* text);
// Decodes the QR and bar codes in a grey picture: their texts, one a line in reading order, in *text (freed
// with glimmora_ocr_free); returns how many were found.
typedef int (*GlimmoraCodesRead)(const unsigned char* pixels, int width, int height, int bytesPerLine,
                                 char** text);
}

#define GLIMMORA_OCR_READ "glimmora_ocr_read"
#define GLIMMORA_OCR_FREE "glimmora_ocr_free"
#define GLIMMORA_CODES_READ "glimmora_codes_read"
#define GLIMMORA_OCR_CANCELLED "cancelled"

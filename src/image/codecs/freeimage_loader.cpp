// FreeImage comes in with dlopen on its first use instead of at start-up: the library and its chain
// (libjpeg, libpng, libtiff, OpenEXR, libraw, WebP, JPEG XR, ...) cost the dynamic loader more than a
// whole BMP grab does, and BMP, TGA and our own formats never need them. Every FreeImage function this
// program calls is defined here with FreeImage's own declaration and forwards to the real one.
// The forwarders stay inside our executable (hidden, and FreeImage's own export attribute off), so the
// library's calls between its own functions never come back through them.
#define FREEIMAGE_LIB
#pragma GCC visibility push(hidden)
#include <FreeImage.h>
#pragma GCC visibility pop
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_mutex;
void* g_library = nullptr;
FreeImage_OutputMessageFunction g_message = nullptr;

void* Symbol(void* library, const char* name) {
    void* symbol = ::dlsym(library, name);
    if (!symbol) {
        // A FreeImage without its own functions is a broken installation, like a missing one.
        std::fprintf(stderr, "glimmora: FreeImage has no %s: %s\n", name, ::dlerror());
        std::_Exit(127);
    }
    return symbol;
}

// Loads FreeImage once. Global, so that its libtiff can be found by name (see freeimage_bridge.cpp).
void* Library() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_library) return g_library;
    void* library = ::dlopen("libfreeimage.so.3", RTLD_NOW | RTLD_GLOBAL);
    if (!library) library = ::dlopen("libfreeimage.so", RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        // Before loading on demand the dynamic loader refused to start us in this case.
        std::fprintf(stderr, "glimmora: cannot load FreeImage: %s\n", ::dlerror());
        std::_Exit(127);
    }
    if (g_message)
        reinterpret_cast<decltype(&FreeImage_SetOutputMessage)>(
            Symbol(library, "FreeImage_SetOutputMessage"))(g_message);
    g_library = library;
    return library;
}

template <typename Function>
Function Resolve(const char* name) {
    return reinterpret_cast<Function>(Symbol(Library(), name));
}

}  // namespace

// Defines FreeImage's function `name` with its own declaration, as a call of the loaded library's.
#define GLIMMORA_FORWARD(result, name, params, args)              \
    result DLL_CALLCONV name params {                             \
        static const auto real = Resolve<decltype(&name)>(#name); \
        return real args;                                         \
    }

extern "C" {
#pragma GCC visibility push(hidden)

// Remembered until the library is loaded: setting where messages go must not load it.
void DLL_CALLCONV FreeImage_SetOutputMessage(FreeImage_OutputMessageFunction omf) {
    void* library;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_message = omf;
        library = g_library;
    }
    if (library)
        reinterpret_cast<decltype(&FreeImage_SetOutputMessage)>(
            Symbol(library, "FreeImage_SetOutputMessage"))(omf);
}

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_Allocate,
                 (int width, int height, int bpp, unsigned red_mask, unsigned green_mask, unsigned blue_mask),
                 (width, height, bpp, red_mask, green_mask, blue_mask))

GLIMMORA_FORWARD(BOOL, FreeImage_CloseMultiBitmap, (FIMULTIBITMAP * bitmap, int flags), (bitmap, flags))

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_ColorQuantize, (FIBITMAP * dib, FREE_IMAGE_QUANTIZE quantize),
                 (dib, quantize))

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_ConvertTo24Bits, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_ConvertTo32Bits, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_ConvertToStandardType, (FIBITMAP * src, BOOL scale_linear),
                 (src, scale_linear))

GLIMMORA_FORWARD(void, FreeImage_DeInitialise, (void), ())

GLIMMORA_FORWARD(BOOL, FreeImage_FIFSupportsExportBPP, (FREE_IMAGE_FORMAT fif, int bpp), (fif, bpp))

GLIMMORA_FORWARD(BOOL, FreeImage_FIFSupportsNoPixels, (FREE_IMAGE_FORMAT fif), (fif))

GLIMMORA_FORWARD(BOOL, FreeImage_FIFSupportsReading, (FREE_IMAGE_FORMAT fif), (fif))

GLIMMORA_FORWARD(BOOL, FreeImage_FIFSupportsWriting, (FREE_IMAGE_FORMAT fif), (fif))

GLIMMORA_FORWARD(unsigned, FreeImage_GetBPP, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(unsigned, FreeImage_GetBlueMask, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(unsigned, FreeImage_GetColorsUsed, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFIFFromFilename, (const char* filename), (filename))

GLIMMORA_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFileType, (const char* filename, int size), (filename, size))

GLIMMORA_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFileTypeFromHandle,
                 (FreeImageIO * io, fi_handle handle, int size), (io, handle, size))

GLIMMORA_FORWARD(const char*, FreeImage_GetFormatFromFIF, (FREE_IMAGE_FORMAT fif), (fif))

GLIMMORA_FORWARD(unsigned, FreeImage_GetGreenMask, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(unsigned, FreeImage_GetHeight, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(FREE_IMAGE_TYPE, FreeImage_GetImageType, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(BITMAPINFOHEADER*, FreeImage_GetInfoHeader, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(BOOL, FreeImage_GetMetadata,
                 (FREE_IMAGE_MDMODEL model, FIBITMAP* dib, const char* key, FITAG** tag),
                 (model, dib, key, tag))

GLIMMORA_FORWARD(int, FreeImage_GetPageCount, (FIMULTIBITMAP * bitmap), (bitmap))

GLIMMORA_FORWARD(RGBQUAD*, FreeImage_GetPalette, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(unsigned, FreeImage_GetPitch, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(unsigned, FreeImage_GetRedMask, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(BYTE*, FreeImage_GetScanLine, (FIBITMAP * dib, int scanline), (dib, scanline))

GLIMMORA_FORWARD(DWORD, FreeImage_GetTagCount, (FITAG * tag), (tag))

GLIMMORA_FORWARD(FREE_IMAGE_MDTYPE, FreeImage_GetTagType, (FITAG * tag), (tag))

GLIMMORA_FORWARD(const void*, FreeImage_GetTagValue, (FITAG * tag), (tag))

GLIMMORA_FORWARD(unsigned, FreeImage_GetTransparencyCount, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(BYTE*, FreeImage_GetTransparencyTable, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(unsigned, FreeImage_GetWidth, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(BOOL, FreeImage_HasPixels, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(void, FreeImage_Initialise, (BOOL load_local_plugins_only), (load_local_plugins_only))

GLIMMORA_FORWARD(BOOL, FreeImage_IsTransparent, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_LoadFromHandle,
                 (FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle, int flags),
                 (fif, io, handle, flags))

GLIMMORA_FORWARD(FIBITMAP*, FreeImage_LockPage, (FIMULTIBITMAP * bitmap, int page), (bitmap, page))

GLIMMORA_FORWARD(FIMULTIBITMAP*, FreeImage_OpenMultiBitmapFromHandle,
                 (FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle, int flags),
                 (fif, io, handle, flags))

GLIMMORA_FORWARD(BOOL, FreeImage_Save,
                 (FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* filename, int flags),
                 (fif, dib, filename, flags))

GLIMMORA_FORWARD(void, FreeImage_SetTransparencyTable, (FIBITMAP * dib, BYTE* table, int count),
                 (dib, table, count))

GLIMMORA_FORWARD(void, FreeImage_SetTransparent, (FIBITMAP * dib, BOOL enabled), (dib, enabled))

GLIMMORA_FORWARD(void, FreeImage_Unload, (FIBITMAP * dib), (dib))

GLIMMORA_FORWARD(void, FreeImage_UnlockPage, (FIMULTIBITMAP * bitmap, FIBITMAP* data, BOOL changed),
                 (bitmap, data, changed))

#pragma GCC visibility pop
}  // extern "C"

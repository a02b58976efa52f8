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

FIBITMAP* DLL_CALLCONV FreeImage_Allocate(int width, int height, int bpp, unsigned red_mask,
                                          unsigned green_mask, unsigned blue_mask) {
    static const auto real = Resolve<decltype(&FreeImage_Allocate)>("FreeImage_Allocate");
    return real(width, height, bpp, red_mask, green_mask, blue_mask);
}

BOOL DLL_CALLCONV FreeImage_CloseMultiBitmap(FIMULTIBITMAP* bitmap, int flags) {
    static const auto real = Resolve<decltype(&FreeImage_CloseMultiBitmap)>("FreeImage_CloseMultiBitmap");
    return real(bitmap, flags);
}

FIBITMAP* DLL_CALLCONV FreeImage_ColorQuantize(FIBITMAP* dib, FREE_IMAGE_QUANTIZE quantize) {
    static const auto real = Resolve<decltype(&FreeImage_ColorQuantize)>("FreeImage_ColorQuantize");
    return real(dib, quantize);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo24Bits(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_ConvertTo24Bits)>("FreeImage_ConvertTo24Bits");
    return real(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo32Bits(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_ConvertTo32Bits)>("FreeImage_ConvertTo32Bits");
    return real(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_ConvertToStandardType(FIBITMAP* src, BOOL scale_linear) {
    static const auto real =
        Resolve<decltype(&FreeImage_ConvertToStandardType)>("FreeImage_ConvertToStandardType");
    return real(src, scale_linear);
}

void DLL_CALLCONV FreeImage_DeInitialise(void) {
    static const auto real = Resolve<decltype(&FreeImage_DeInitialise)>("FreeImage_DeInitialise");
    real();
}

BOOL DLL_CALLCONV FreeImage_FIFSupportsExportBPP(FREE_IMAGE_FORMAT fif, int bpp) {
    static const auto real =
        Resolve<decltype(&FreeImage_FIFSupportsExportBPP)>("FreeImage_FIFSupportsExportBPP");
    return real(fif, bpp);
}

BOOL DLL_CALLCONV FreeImage_FIFSupportsNoPixels(FREE_IMAGE_FORMAT fif) {
    static const auto real =
        Resolve<decltype(&FreeImage_FIFSupportsNoPixels)>("FreeImage_FIFSupportsNoPixels");
    return real(fif);
}

BOOL DLL_CALLCONV FreeImage_FIFSupportsReading(FREE_IMAGE_FORMAT fif) {
    static const auto real = Resolve<decltype(&FreeImage_FIFSupportsReading)>("FreeImage_FIFSupportsReading");
    return real(fif);
}

BOOL DLL_CALLCONV FreeImage_FIFSupportsWriting(FREE_IMAGE_FORMAT fif) {
    static const auto real = Resolve<decltype(&FreeImage_FIFSupportsWriting)>("FreeImage_FIFSupportsWriting");
    return real(fif);
}

unsigned DLL_CALLCONV FreeImage_GetBPP(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetBPP)>("FreeImage_GetBPP");
    return real(dib);
}

unsigned DLL_CALLCONV FreeImage_GetBlueMask(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetBlueMask)>("FreeImage_GetBlueMask");
    return real(dib);
}

unsigned DLL_CALLCONV FreeImage_GetColorsUsed(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetColorsUsed)>("FreeImage_GetColorsUsed");
    return real(dib);
}

FREE_IMAGE_FORMAT DLL_CALLCONV FreeImage_GetFIFFromFilename(const char* filename) {
    static const auto real = Resolve<decltype(&FreeImage_GetFIFFromFilename)>("FreeImage_GetFIFFromFilename");
    return real(filename);
}

FREE_IMAGE_FORMAT DLL_CALLCONV FreeImage_GetFileType(const char* filename, int size) {
    static const auto real = Resolve<decltype(&FreeImage_GetFileType)>("FreeImage_GetFileType");
    return real(filename, size);
}

FREE_IMAGE_FORMAT DLL_CALLCONV FreeImage_GetFileTypeFromHandle(FreeImageIO* io, fi_handle handle, int size) {
    static const auto real =
        Resolve<decltype(&FreeImage_GetFileTypeFromHandle)>("FreeImage_GetFileTypeFromHandle");
    return real(io, handle, size);
}

const char* DLL_CALLCONV FreeImage_GetFormatFromFIF(FREE_IMAGE_FORMAT fif) {
    static const auto real = Resolve<decltype(&FreeImage_GetFormatFromFIF)>("FreeImage_GetFormatFromFIF");
    return real(fif);
}

unsigned DLL_CALLCONV FreeImage_GetGreenMask(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetGreenMask)>("FreeImage_GetGreenMask");
    return real(dib);
}

unsigned DLL_CALLCONV FreeImage_GetHeight(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetHeight)>("FreeImage_GetHeight");
    return real(dib);
}

FREE_IMAGE_TYPE DLL_CALLCONV FreeImage_GetImageType(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetImageType)>("FreeImage_GetImageType");
    return real(dib);
}

BITMAPINFOHEADER* DLL_CALLCONV FreeImage_GetInfoHeader(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetInfoHeader)>("FreeImage_GetInfoHeader");
    return real(dib);
}

BOOL DLL_CALLCONV FreeImage_GetMetadata(FREE_IMAGE_MDMODEL model, FIBITMAP* dib, const char* key,
                                        FITAG** tag) {
    static const auto real = Resolve<decltype(&FreeImage_GetMetadata)>("FreeImage_GetMetadata");
    return real(model, dib, key, tag);
}

int DLL_CALLCONV FreeImage_GetPageCount(FIMULTIBITMAP* bitmap) {
    static const auto real = Resolve<decltype(&FreeImage_GetPageCount)>("FreeImage_GetPageCount");
    return real(bitmap);
}

RGBQUAD* DLL_CALLCONV FreeImage_GetPalette(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetPalette)>("FreeImage_GetPalette");
    return real(dib);
}

unsigned DLL_CALLCONV FreeImage_GetPitch(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetPitch)>("FreeImage_GetPitch");
    return real(dib);
}

unsigned DLL_CALLCONV FreeImage_GetRedMask(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetRedMask)>("FreeImage_GetRedMask");
    return real(dib);
}

BYTE* DLL_CALLCONV FreeImage_GetScanLine(FIBITMAP* dib, int scanline) {
    static const auto real = Resolve<decltype(&FreeImage_GetScanLine)>("FreeImage_GetScanLine");
    return real(dib, scanline);
}

DWORD DLL_CALLCONV FreeImage_GetTagCount(FITAG* tag) {
    static const auto real = Resolve<decltype(&FreeImage_GetTagCount)>("FreeImage_GetTagCount");
    return real(tag);
}

FREE_IMAGE_MDTYPE DLL_CALLCONV FreeImage_GetTagType(FITAG* tag) {
    static const auto real = Resolve<decltype(&FreeImage_GetTagType)>("FreeImage_GetTagType");
    return real(tag);
}

const void* DLL_CALLCONV FreeImage_GetTagValue(FITAG* tag) {
    static const auto real = Resolve<decltype(&FreeImage_GetTagValue)>("FreeImage_GetTagValue");
    return real(tag);
}

unsigned DLL_CALLCONV FreeImage_GetTransparencyCount(FIBITMAP* dib) {
    static const auto real =
        Resolve<decltype(&FreeImage_GetTransparencyCount)>("FreeImage_GetTransparencyCount");
    return real(dib);
}

BYTE* DLL_CALLCONV FreeImage_GetTransparencyTable(FIBITMAP* dib) {
    static const auto real =
        Resolve<decltype(&FreeImage_GetTransparencyTable)>("FreeImage_GetTransparencyTable");
    return real(dib);
}

unsigned DLL_CALLCONV FreeImage_GetWidth(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_GetWidth)>("FreeImage_GetWidth");
    return real(dib);
}

BOOL DLL_CALLCONV FreeImage_HasPixels(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_HasPixels)>("FreeImage_HasPixels");
    return real(dib);
}

void DLL_CALLCONV FreeImage_Initialise(BOOL load_local_plugins_only) {
    static const auto real = Resolve<decltype(&FreeImage_Initialise)>("FreeImage_Initialise");
    real(load_local_plugins_only);
}

BOOL DLL_CALLCONV FreeImage_IsTransparent(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_IsTransparent)>("FreeImage_IsTransparent");
    return real(dib);
}

FIBITMAP* DLL_CALLCONV FreeImage_LoadFromHandle(FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle,
                                                int flags) {
    static const auto real = Resolve<decltype(&FreeImage_LoadFromHandle)>("FreeImage_LoadFromHandle");
    return real(fif, io, handle, flags);
}

FIBITMAP* DLL_CALLCONV FreeImage_LockPage(FIMULTIBITMAP* bitmap, int page) {
    static const auto real = Resolve<decltype(&FreeImage_LockPage)>("FreeImage_LockPage");
    return real(bitmap, page);
}

FIMULTIBITMAP* DLL_CALLCONV FreeImage_OpenMultiBitmapFromHandle(FREE_IMAGE_FORMAT fif, FreeImageIO* io,
                                                                fi_handle handle, int flags) {
    static const auto real =
        Resolve<decltype(&FreeImage_OpenMultiBitmapFromHandle)>("FreeImage_OpenMultiBitmapFromHandle");
    return real(fif, io, handle, flags);
}

BOOL DLL_CALLCONV FreeImage_Save(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, const char* filename, int flags) {
    static const auto real = Resolve<decltype(&FreeImage_Save)>("FreeImage_Save");
    return real(fif, dib, filename, flags);
}

void DLL_CALLCONV FreeImage_SetTransparencyTable(FIBITMAP* dib, BYTE* table, int count) {
    static const auto real =
        Resolve<decltype(&FreeImage_SetTransparencyTable)>("FreeImage_SetTransparencyTable");
    real(dib, table, count);
}

void DLL_CALLCONV FreeImage_SetTransparent(FIBITMAP* dib, BOOL enabled) {
    static const auto real = Resolve<decltype(&FreeImage_SetTransparent)>("FreeImage_SetTransparent");
    real(dib, enabled);
}

void DLL_CALLCONV FreeImage_Unload(FIBITMAP* dib) {
    static const auto real = Resolve<decltype(&FreeImage_Unload)>("FreeImage_Unload");
    real(dib);
}

void DLL_CALLCONV FreeImage_UnlockPage(FIMULTIBITMAP* bitmap, FIBITMAP* data, BOOL changed) {
    static const auto real = Resolve<decltype(&FreeImage_UnlockPage)>("FreeImage_UnlockPage");
    real(bitmap, data, changed);
}

#pragma GCC visibility pop
}  // extern "C"

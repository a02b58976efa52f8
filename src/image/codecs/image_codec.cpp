#include "image/codecs/image_codec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "image/codecs/byte_source.h"
#include "image/codecs/codecs.h"

namespace glimmora {

std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < start) return {};
    return path.substr(dot + 1);
}

std::string LowerExtensionOf(const std::string& path) {
    std::string ext = ExtensionOf(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

ImageFormatId FormatFromPath(const std::string& path) {
    const std::string ext = LowerExtensionOf(path);
    struct Entry {
        const char* ext;
        ImageFormatId id;
    };
    static const Entry table[] = {
        {"bmp", kFormatBmp},    {"pcx", kFormatPcx}, {"jpg", kFormatJpeg}, {"jpeg", kFormatJpeg},
        {"gif", kFormatGif},    {"tga", kFormatTga}, {"tif", kFormatTiff}, {"tiff", kFormatTiff},
        {"png", kFormatPng},    {"psd", kFormatPsd}, {"ico", kFormatIco},  {"xpm", kFormatXpm},
        {"nbo", kFormatNative},
    };
    for (const Entry& e : table)
        if (ext == e.ext) return e.id;
    return kFormatNone;
}

LoadedFrames::~LoadedFrames() {
    while (!frames_.empty()) {
        delete frames_.back();
        frames_.pop_back();
    }
}

bool ImageCodec::LoadFile(const std::string& path) {
    const FileSource file(path);
    if (!file.IsOpen()) return false;
    if (file.Size() == 0 || file.Size() > kMaxFileBytes) {
        SetCodecError(file.Size() == 0 ? "empty file" : "file too large");
        return false;
    }
    std::vector<uint8_t> data(file.Size());
    if (file.Read(0, data.data(), data.size()) != data.size()) {
        SetCodecError("file cut short while reading");
        return false;
    }
    return LoadMemory(data.data(), data.size());
}

bool ImageCodec::LoadMemory(const uint8_t*, size_t) {
    return false;
}
bool ImageCodec::SaveFile(const std::string&, int) {
    return false;
}

std::deque<Image*> ImageCodec::TakeFrames(bool transfer) {
    if (!transfer) return frames_;
    std::deque<Image*> out;
    out.swap(frames_);
    return out;
}

ImageFormatId ImageCodecFactory::FormatFromPath(const std::string& path) const {
    return glimmora::FormatFromPath(path);
}

std::unique_ptr<ImageCodec> BuiltinCodecFactory::CreateCodec(ImageFormatId id) const {
    switch (id) {
        case kFormatBmp:
            return std::make_unique<BmpCodec>();
        case kFormatJpeg:
        case kFormatGif:
            return std::make_unique<OlePictureCodec>();
        case kFormatTga:
            return std::make_unique<TgaCodec>();
        default:
            return nullptr;
    }
}

std::unique_ptr<ImageCodec> GdiplusCodecFactory::CreateCodec(ImageFormatId id) const {
    switch (id) {
        case kFormatBmp:
            return std::make_unique<BmpCodec>();
        case kFormatTga:
            return std::make_unique<TgaCodec>();
        case kFormatPng:
            return std::make_unique<PngCodec>();
        case kFormatJpeg:
        case kFormatGif:
        case kFormatTiff:
            return std::make_unique<GdiplusCodec>(id);
        default:
            return nullptr;
    }
}

std::unique_ptr<ImageCodec> FreeImageCodecFactory::CreateCodec(ImageFormatId id) const {
    switch (id) {
        case kFormatBmp:
            return std::make_unique<BmpCodec>();
        case kFormatTga:
            return std::make_unique<TgaCodec>();
        case kFormatPcx:
        case kFormatJpeg:
        case kFormatGif:
        case kFormatTiff:
        case kFormatPng:
        case kFormatPsd:
        case kFormatIco:
        case kFormatXpm:
            return std::make_unique<FreeImageCodec>();
        default:
            return nullptr;
    }
}

namespace {
thread_local std::string codecError;
}  // namespace

const std::string& LastCodecError() {
    return codecError;
}
void SetCodecError(std::string why) {
    codecError = std::move(why);
}
void ClearCodecError() {
    codecError.clear();
}

namespace {
std::unique_ptr<ImageCodecFactory>& FactorySlot() {
    static std::unique_ptr<ImageCodecFactory> slot;
    return slot;
}
}  // namespace

ImageCodecFactory& CurrentFactory() {
    auto& slot = FactorySlot();
    if (!slot) slot = std::make_unique<BuiltinCodecFactory>();
    return *slot;
}

ImageCodecFactory* SetFactory(std::unique_ptr<ImageCodecFactory> factory) {
    auto& slot = FactorySlot();
    if (!factory) return &CurrentFactory();
    if (factory.get() == slot.get()) {
        (void)factory.release();
        return slot.get();
    }
    slot = std::move(factory);
    return slot.get();
}

bool LoadFirstFrame(const ImageCodecFactory& factory, const std::string& path, Image& out, int wantedDepth) {
    ClearCodecError();
    std::unique_ptr<ImageCodec> codec = factory.CreateCodec(factory.FormatFromPath(path));
    if (!codec) {
        SetCodecError("not a picture format we read");
        return false;
    }
    codec->wantedDepth = wantedDepth;
    if (!codec->LoadFile(path)) return false;
    // Taken, not copied: a copy of a big picture could fail after the file was read.
    std::vector<std::unique_ptr<Image>> owned;
    for (Image* frame : codec->TakeFrames(true)) owned.emplace_back(frame);
    if (owned.empty() || !owned.front() || !owned.front()->IsValid()) {
        SetCodecError("no picture in the file could be decoded");
        return false;
    }
    out = std::move(*owned.front());
    return true;
}

bool Image::Load(const std::string& path) {
    return LoadFirstFrame(CurrentFactory(), path, *this);
}

bool Image::Save(const std::string& path, int option) const {
    ClearCodecError();
    if (!IsValid() || path.empty()) return false;
    ImageCodecFactory& factory = CurrentFactory();
    std::unique_ptr<ImageCodec> codec = factory.CreateCodec(factory.FormatFromPath(path));
    if (!codec) return false;
    codec->saveList.push_back(this);
    return codec->SaveFile(path, option);
}

}  // namespace glimmora

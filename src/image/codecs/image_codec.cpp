#include "image/codecs/image_codec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

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
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<uint8_t> data;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size > 0 && static_cast<uint64_t>(size) <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        data.resize(static_cast<size_t>(size));
        ok = std::fread(data.data(), 1, data.size(), f) == data.size();
    }
    std::fclose(f);
    return ok && LoadMemory(data.data(), data.size());
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
        case kFormatJpeg:
        case kFormatGif:
        case kFormatTiff:
        case kFormatPng:
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

bool Image::Load(const std::string& path) {
    ImageCodecFactory& factory = CurrentFactory();
    std::unique_ptr<ImageCodec> codec = factory.CreateCodec(factory.FormatFromPath(path));
    if (!codec || !codec->LoadFile(path)) return false;
    std::deque<Image*> frames = codec->TakeFrames(false);
    if (frames.empty() || !frames.front() || !frames.front()->IsValid()) return false;
    CopyFrom(*frames.front());
    return true;
}

bool Image::Save(const std::string& path, int option) const {
    if (!IsValid() || path.empty()) return false;
    ImageCodecFactory& factory = CurrentFactory();
    std::unique_ptr<ImageCodec> codec = factory.CreateCodec(factory.FormatFromPath(path));
    if (!codec) return false;
    codec->saveList.push_back(this);
    return codec->SaveFile(path, option);
}

}  // namespace glimmora

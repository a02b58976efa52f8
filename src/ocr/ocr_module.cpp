// The recognition module: Tesseract behind two C functions, loaded by the program on first use.
#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/pageiterator.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ocr/ocr_module_api.h"

namespace {

char* Copy(const std::string& s) {
    char* out = static_cast<char*>(std::malloc(s.size() + 1));
    if (out) std::memcpy(out, s.c_str(), s.size() + 1);
    return out;
}

// The engine asks OpenMP for teams of its own size in its inner loops; several teams at once (and on a
// busy machine even one) spin against each other: an 8-line paragraph took 2.6 s against 0.45 s on one
// thread. No active parallel level on this thread makes every such region run on it alone. Setting the
// thread count does not do it, as the engine names its counts in the regions themselves.
void OneOpenMpThread() {
    using SetLevels = void (*)(int);
    static const SetLevels set = [] {
        void* runtime = dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD);
        return runtime ? reinterpret_cast<SetLevels>(dlsym(runtime, "omp_set_max_active_levels")) : nullptr;
    }();
    if (set) set(0);
}

// Loading a language's data takes a good part of a second: the engines are kept for the next request.
// One read at a time uses them, each engine on one thread.
struct Engines {
    std::mutex lock;
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> apis;
    std::string dataPath, lang;
};

Engines& TheEngines() {
    static Engines engines;
    return engines;
}

// Makes sure there are count engines for the path and language, loading the missing ones side by side.
bool Prepare(Engines& engines, const std::string& path, const char* lang, size_t count) {
    if (engines.dataPath != path || engines.lang != lang) engines.apis.clear();
    engines.dataPath = path;
    engines.lang = lang;
    const size_t have = engines.apis.size();
    if (have >= count) return true;
    engines.apis.resize(count);
    std::atomic<bool> failed{false};
    const auto load = [&](size_t i) {
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        // The engine's own notes ("Detected 31 diacritics") are no message of ours; our errors say what
        // went wrong.
        api->SetVariable("debug_file", "/dev/null");
        if (api->Init(path.empty() ? nullptr : path.c_str(), lang, tesseract::OEM_LSTM_ONLY) != 0)
            failed = true;
        else
            engines.apis[i] = std::move(api);
    };
    std::vector<std::thread> loaders;
    for (size_t i = have + 1; i < count; ++i) loaders.emplace_back(load, i);
    load(have);
    for (std::thread& t : loaders) t.join();
    // The engine's shared data cache is a static made during Init; ours must go before it does at exit,
    // or the cache reports what we still hold. Exit handlers run in reverse order.
    static const bool released = std::atexit([] { TheEngines().apis.clear(); }) == 0;
    (void)released;
    if (failed) engines.apis.clear();
    return !failed;
}

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The text lines of each text block, in reading order, from the engine's layout analysis.
std::vector<std::vector<Box>> Layout(tesseract::TessBaseAPI& api, tesseract::PageSegMode mode) {
    std::vector<std::vector<Box>> blocks;
    api.SetPageSegMode(mode);
    std::unique_ptr<tesseract::PageIterator> it(api.AnalyseLayout());
    if (!it) return blocks;
    bool text = false;
    do {
        if (it->IsAtBeginningOf(tesseract::RIL_BLOCK)) {
            text = PTIsTextType(it->BlockType());
            if (text) blocks.emplace_back();
        }
        Box line;
        if (text &&
            it->BoundingBox(tesseract::RIL_TEXTLINE, &line.left, &line.top, &line.right, &line.bottom))
            blocks.back().push_back(line);
    } while (it->Next(tesseract::RIL_TEXTLINE));
    std::erase_if(blocks, [](const std::vector<Box>& lines) { return lines.empty(); });
    return blocks;
}

// Terminal lines, straight and evenly spaced, are runs of rows holding ink: the layout analysis boxes them
// with their neighbours' ascenders and descenders, and parts cut from such boxes read bits of a line twice.
std::vector<std::vector<Box>> RowLines(const unsigned char* pixels, int width, int height, int bytesPerLine) {
    std::vector<Box> lines;
    Box line{width, -1, 0, 0};
    for (int y = 0; y <= height; ++y) {
        const unsigned char* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine);
        int left = width, right = 0;
        for (int x = 0; y < height && x < width; ++x)
            if (row[x] < 128) {
                left = std::min(left, x);
                right = x + 1;
            }
        if (right > 0) {
            if (line.top < 0) line.top = y;
            line.left = std::min(line.left, left);
            line.right = std::max(line.right, right);
        } else if (line.top >= 0) {
            line.bottom = y;
            lines.push_back(line);
            line = {width, -1, 0, 0};
        }
    }
    // An underscore or a comma's tail can sit a blank row below its line: runs under a quarter of the
    // usual line go with the nearer neighbour.
    if (lines.size() > 1) {
        std::vector<int> heights;
        for (const Box& l : lines) heights.push_back(l.bottom - l.top);
        std::nth_element(heights.begin(), heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2),
                         heights.end());
        const int usual = heights[heights.size() / 2];
        for (size_t i = 0; i < lines.size() && lines.size() > 1;) {
            if (4 * (lines[i].bottom - lines[i].top) >= usual) {
                ++i;
                continue;
            }
            const int above = i > 0 ? lines[i].top - lines[i - 1].bottom : INT_MAX;
            const int below = i + 1 < lines.size() ? lines[i + 1].top - lines[i].bottom : INT_MAX;
            Box& into = above <= below ? lines[i - 1] : lines[i + 1];
            into = {std::min(into.left, lines[i].left), std::min(into.top, lines[i].top),
                    std::max(into.right, lines[i].right), std::max(into.bottom, lines[i].bottom)};
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    std::vector<std::vector<Box>> blocks;
    if (!lines.empty()) blocks.push_back(std::move(lines));
    return blocks;
}

// A run of lines of one block, read by one engine as a block of its own.
struct Part {
    size_t block = 0;
    Box box;
    std::string text;
};

std::vector<Part> Split(const std::vector<std::vector<Box>>& blocks, size_t workers, int width, int height) {
    size_t lines = 0;
    for (const auto& block : blocks) lines += block.size();
    // About two parts per engine, so one slow part leaves the others something to do.
    const size_t per = std::max<size_t>(1, (lines + 2 * workers - 1) / (2 * workers));
    constexpr int kMargin = 10;
    std::vector<Part> parts;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const std::vector<Box>& block = blocks[b];
        for (size_t first = 0; first < block.size(); first += per) {
            const size_t last = std::min(block.size(), first + per) - 1;
            Part part{b, block[first], {}};
            for (size_t i = first; i <= last; ++i) {
                part.box.left = std::min(part.box.left, block[i].left);
                part.box.right = std::max(part.box.right, block[i].right);
                part.box.bottom = std::max(part.box.bottom, block[i].bottom);
            }
            // A margin of background, but no more than half the gap to the block's next line, whose
            // ascenders would otherwise be read as a line of their own.
            const int above = first > 0 ? (part.box.top - block[first - 1].bottom) / 2 : kMargin;
            const int below = last + 1 < block.size() ? (block[last + 1].top - part.box.bottom) / 2 : kMargin;
            part.box.left = std::max(0, part.box.left - kMargin);
            part.box.right = std::min(width, part.box.right + kMargin);
            part.box.top = std::max(0, part.box.top - std::clamp(above, 0, kMargin));
            part.box.bottom = std::min(height, part.box.bottom + std::clamp(below, 0, kMargin));
            parts.push_back(std::move(part));
        }
    }
    return parts;
}

void TrimEnd(std::string& s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\f' || s.back() == '\r'))
        s.pop_back();
}

struct Cancel {
    GlimmoraOcrCancelled asked = nullptr;
    void* context = nullptr;
    bool operator()() const { return asked && asked(context) != 0; }
};

bool CancelFromEngine(void* cancel, int) {
    return (*static_cast<const Cancel*>(cancel))();
}

// Recognises the picture's rectangle (all of it when box is null) with the engine already given the
// picture; empty when cancelled.
bool Recognise(tesseract::TessBaseAPI& api, const Box* box, const Cancel& cancel, std::string& text) {
    if (box) api.SetRectangle(box->left, box->top, box->right - box->left, box->bottom - box->top);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &CancelFromEngine;
    monitor.cancel_this = const_cast<Cancel*>(&cancel);
    if (api.Recognize(&monitor) != 0 || cancel()) return false;
    char* result = api.GetUTF8Text();
    if (!result) return false;
    text = result;
    delete[] result;
    return true;
}

void Give(tesseract::TessBaseAPI& api, const unsigned char* pixels, int width, int height, int bytesPerLine,
          bool monospace) {
    api.SetImage(pixels, width, height, 1, bytesPerLine);
    // Columns of spaces are what lines up a listing or a table.
    api.SetVariable("preserve_interword_spaces", monospace ? "1" : "0");
    // The picture is screen pixels scaled up: tell the engine a print-like resolution instead of none.
    api.SetSourceResolution(300);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int glimmora_ocr_read(
    const unsigned char* pixels, int width, int height, int bytesPerLine, const char* dataPath,
    const char* lang, int workers, int flags, GlimmoraOcrCancelled cancelled, void* context, char** text,
    char** error) {
    *text = nullptr;
    *error = nullptr;
    if (!pixels || width <= 0 || height <= 0 || bytesPerLine < width || !lang || !*lang) {
        *error = Copy("nothing to recognise");
        return 0;
    }
    const Cancel cancel{cancelled, context};
    const size_t count = static_cast<size_t>(std::clamp(workers, 1, 16));
    Engines& engines = TheEngines();
    std::lock_guard<std::mutex> hold(engines.lock);
    if (!Prepare(engines, dataPath ? dataPath : "", lang, count)) {
        *error = Copy(std::string("the language data \"") + lang + "\" could not be loaded");
        return 0;
    }
    if (cancel()) {
        *error = Copy(GLIMMORA_OCR_CANCELLED);
        return 0;
    }
    OneOpenMpThread();
    const bool monospace = (flags & GLIMMORA_OCR_MONOSPACE) != 0;
    // The automatic layout cuts a long listing's aligned fields into columns read one after another.
    const tesseract::PageSegMode mode = monospace ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_AUTO;
    tesseract::TessBaseAPI& first = *engines.apis[0];
    Give(first, pixels, width, height, bytesPerLine, monospace);
    std::vector<Part> parts;
    if (count > 1)
        parts = Split(monospace ? RowLines(pixels, width, height, bytesPerLine) : Layout(first, mode), count,
                      width, height);

    std::string out;
    bool ok = true;
    if (parts.size() < 2) {
        // One part: the engine reads the whole picture as it lays it out.
        first.SetPageSegMode(mode);
        ok = !cancel() && Recognise(first, nullptr, cancel, out);
        first.Clear();
    } else {
        std::atomic<size_t> next{0};
        std::atomic<bool> failed{false};
        const auto work = [&](size_t engine) {
            OneOpenMpThread();
            tesseract::TessBaseAPI& api = *engines.apis[engine];
            if (engine != 0) Give(api, pixels, width, height, bytesPerLine, monospace);
            api.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
            for (size_t i = next++; i < parts.size() && !failed; i = next++)
                if (cancel() || !Recognise(api, &parts[i].box, cancel, parts[i].text)) failed = true;
            api.Clear();
        };
        std::vector<std::thread> helpers;
        for (size_t e = 1; e < std::min(count, parts.size()); ++e) helpers.emplace_back(work, e);
        work(0);
        for (std::thread& t : helpers) t.join();
        ok = !failed;
        // Lines of a block one under another, blocks apart by an empty line, as the engine writes a page.
        for (size_t i = 0; ok && i < parts.size(); ++i) {
            TrimEnd(parts[i].text);
            if (parts[i].text.empty()) continue;
            if (!out.empty()) out += i > 0 && parts[i - 1].block == parts[i].block ? "\n" : "\n\n";
            out += parts[i].text;
        }
    }
    if (!ok) {
        *error = Copy(cancel() ? GLIMMORA_OCR_CANCELLED : "the recogniser failed");
        return 0;
    }
    *text = Copy(out);
    return *text ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) void glimmora_ocr_free(char* text) {
    std::free(text);
}

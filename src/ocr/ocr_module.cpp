// The recognition module: Tesseract behind two C functions, loaded by the program on first use.
// The decoded text as UTF-8.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#include <dlfcn.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/pageiterator.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
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

// Ink in a prepared picture of monospace text: a one-pixel underscore between two rows comes out light grey.
constexpr unsigned char kInk = 192;

// Terminal lines, straight and evenly spaced, are runs of rows holding ink: the layout analysis boxes them
// with their neighbours' ascenders and descenders, and parts cut from such boxes read bits of a line twice.
std::vector<std::vector<Box>> RowLines(const unsigned char* pixels, int width, int height, int bytesPerLine) {
    std::vector<Box> lines;
    Box line{width, -1, 0, 0};
    for (int y = 0; y <= height; ++y) {
        const unsigned char* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine);
        int left = width, right = 0;
        for (int x = 0; y < height && x < width; ++x)
            if (row[x] < kInk) {
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
    // An underscore or a comma's tail can sit a blank row below its line, nearer to the next one: runs
    // under a quarter of the usual line go with the line above.
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
            Box& into = i > 0 ? lines[i - 1] : lines[i + 1];
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
struct Symbol {
    std::string text;
    Box box;
    float confidence = 0;
};

struct Part {
    size_t block = 0;
    Box box;
    std::string text;
    std::vector<Symbol> symbols;
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
            Part part{b, block[first], {}, {}};
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
// picture; empty when cancelled. With symbols, also each character read and where.
bool Recognise(tesseract::TessBaseAPI& api, const Box* box, const Cancel& cancel, std::string& text,
               std::vector<Symbol>* symbols = nullptr) {
    if (box) api.SetRectangle(box->left, box->top, box->right - box->left, box->bottom - box->top);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &CancelFromEngine;
    monitor.cancel_this = const_cast<Cancel*>(&cancel);
    if (api.Recognize(&monitor) != 0 || cancel()) return false;
    char* result = api.GetUTF8Text();
    if (!result) return false;
    text = result;
    delete[] result;
    if (!symbols) return true;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it && !it->Empty(tesseract::RIL_SYMBOL)) do {
            std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_SYMBOL));
            Symbol symbol;
            if (!utf8 || !it->BoundingBox(tesseract::RIL_SYMBOL, &symbol.box.left, &symbol.box.top,
                                          &symbol.box.right, &symbol.box.bottom))
                continue;
            symbol.text = utf8.get();
            symbol.confidence = it->Confidence(tesseract::RIL_SYMBOL);
            symbols->push_back(std::move(symbol));
        } while (it->Next(tesseract::RIL_SYMBOL));
    return true;
}

// A terminal draws every character the same way in every cell: the cells whose ink is the same are the
// same character. Reading each on its own, the engine takes one 'l' of many for a '1' or an 'L', one
// '0' for a '6', or drops a '.'; the character most of a look's cells were read as (two in three of at
// least three) stands for all of them. The text is then laid out by cell, so its columns and indents
// stay where they were.
std::string GridText(const std::vector<Symbol>& symbols, const std::vector<Box>& lines,
                     const unsigned char* pixels, int width, int bytesPerLine, int pitch) {
    const auto ink = [&](int x, int y) {
        return pixels[static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine) + static_cast<size_t>(x)] <
               kInk;
    };
    // The cells' edges: the column phase with the least ink.
    std::vector<int64_t> sums(static_cast<size_t>(pitch));
    for (const Box& line : lines)
        for (int y = line.top; y < line.bottom; ++y)
            for (int x = 0; x < width; ++x)
                if (ink(x, y)) ++sums[static_cast<size_t>(x % pitch)];
    const int phase = static_cast<int>(std::min_element(sums.begin(), sums.end()) - sums.begin());
    const int columns = (width - phase) / pitch;
    struct Cell {
        std::string look;              // where the ink is, against the line's baseline; empty: no ink
        const Symbol* read = nullptr;  // the engine's character here
        bool underscore = false;       // a thin bar across the cell at the baseline or under it
    };
    std::vector<std::vector<Cell>> grid(lines.size(),
                                        std::vector<Cell>(static_cast<size_t>(std::max(columns, 0))));
    for (size_t l = 0; l < lines.size(); ++l) {
        struct Extent {
            int left, top, right, bottom;
        };
        std::vector<Extent> extents(grid[l].size(), {INT_MAX, INT_MAX, -1, -1});
        std::vector<int> bottoms;
        for (size_t c = 0; c < grid[l].size(); ++c) {
            Extent& e = extents[c];
            const int x0 = phase + static_cast<int>(c) * pitch;
            for (int y = lines[l].top; y < lines[l].bottom; ++y)
                for (int x = x0; x < x0 + pitch; ++x)
                    if (ink(x, y))
                        e = {std::min(e.left, x), std::min(e.top, y), std::max(e.right, x),
                             std::max(e.bottom, y)};
            if (e.right >= 0) bottoms.push_back(e.bottom);
        }
        if (bottoms.empty()) continue;
        // Most characters stand on the baseline.
        std::sort(bottoms.begin(), bottoms.end());
        int baseline = bottoms[0], best = 0;
        for (size_t i = 0, j = 0; i < bottoms.size(); i = j) {
            for (j = i; j < bottoms.size() && bottoms[j] == bottoms[i]; ++j) {
            }
            if (static_cast<int>(j - i) > best) best = static_cast<int>(j - i), baseline = bottoms[i];
        }
        for (size_t c = 0; c < grid[l].size(); ++c) {
            const Extent& e = extents[c];
            if (e.right < 0) continue;
            const int x0 = phase + static_cast<int>(c) * pitch;
            std::string& look = grid[l][c].look;
            look = std::to_string(e.left - x0) + ',' + std::to_string(baseline - e.top) + ',' +
                   std::to_string(baseline - e.bottom) + ',' + std::to_string(e.right - e.left) + ':';
            for (int y = e.top; y <= e.bottom; ++y)
                for (int x = e.left; x <= e.right; ++x) look += ink(x, y) ? '1' : '0';
            grid[l][c].underscore = e.top >= baseline - 1 && 5 * (e.right - e.left + 1) >= 3 * pitch &&
                                    4 * (e.bottom - e.top) < pitch;
        }
    }
    // Each line's characters in order against its cells with ink in order: the engine's boxes are
    // rough (a wide 'm' reaches into the next cell), the order is not.
    std::vector<std::vector<const Symbol*>> byLine(lines.size());
    for (const Symbol& symbol : symbols) {
        const int cy = (symbol.box.top + symbol.box.bottom) / 2;
        size_t l = 0;
        for (size_t i = 1; i < lines.size(); ++i)
            if (std::abs(2 * cy - lines[i].top - lines[i].bottom) <
                std::abs(2 * cy - lines[l].top - lines[l].bottom))
                l = i;
        byLine[l].push_back(&symbol);
    }
    size_t unplaced = 0;
    for (size_t l = 0; l < lines.size(); ++l) {
        std::vector<const Symbol*>& read = byLine[l];
        std::vector<int> inked;
        for (size_t c = 0; c < grid[l].size(); ++c)
            if (!grid[l][c].look.empty() && !grid[l][c].underscore) inked.push_back(static_cast<int>(c));
        // Least cost alignment: a pair costs how many cells apart the character's middle is from the
        // cell, a character or a cell left alone costs two.
        const size_t n = read.size(), m = inked.size();
        constexpr int kSkip = 2;
        std::vector<int> cost((n + 1) * (m + 1));
        const auto at = [&](size_t i, size_t j) -> int& { return cost[i * (m + 1) + j]; };
        const auto apart = [&](size_t i, size_t j) {
            const int middle = (read[i]->box.left + read[i]->box.right) / 2 - phase;
            return std::abs((middle < 0 ? -1 : middle / pitch) - inked[j]);
        };
        for (size_t i = 0; i <= n; ++i)
            for (size_t j = 0; j <= m; ++j) {
                if (i == 0 || j == 0) {
                    at(i, j) = kSkip * static_cast<int>(i + j);
                    continue;
                }
                at(i, j) = std::min(
                    {at(i - 1, j - 1) + apart(i - 1, j - 1), at(i - 1, j) + kSkip, at(i, j - 1) + kSkip});
            }
        for (size_t i = n, j = m; i > 0 || j > 0;) {
            if (i > 0 && j > 0 && at(i, j) == at(i - 1, j - 1) + apart(i - 1, j - 1)) {
                grid[l][static_cast<size_t>(inked[j - 1])].read = read[i - 1];
                --i, --j;
            } else if (i > 0 && at(i, j) == at(i - 1, j) + kSkip) {
                ++unplaced;
                --i;
            } else {
                --j;
            }
        }
    }
    // Characters with no cell to go to: the grid is not the text's; the engine's own text stands.
    if (10 * unplaced > symbols.size()) return {};
    std::map<std::string, std::map<std::string, int>> votes;
    for (const auto& row : grid)
        for (const Cell& cell : row)
            if (cell.read && !cell.look.empty()) ++votes[cell.look][cell.read->text];
    std::string out;
    for (const auto& row : grid) {
        // A band the engine found hardly any characters in is no line of text (a window's lower edge,
        // a cursor): its cells are not filled from looks read elsewhere.
        size_t inked = 0, read = 0;
        for (const Cell& cell : row) {
            inked += !cell.look.empty();
            read += cell.read != nullptr;
        }
        const bool isText = 2 * read >= inked;
        std::string line;
        size_t used = 0;
        for (const Cell& cell : row) {
            std::string text = cell.read ? cell.read->text : std::string();
            if (!cell.look.empty()) {
                const auto found = votes.find(cell.look);
                if (found != votes.end()) {
                    int total = 0, most = 0;
                    const std::string* winner = nullptr;
                    for (const auto& [read, n] : found->second) {
                        total += n;
                        if (n > most) most = n, winner = &read;
                    }
                    // A cell with ink the engine passed over ("==" read as '=') takes what its look
                    // was read as elsewhere, when that was always the same.
                    if ((cell.read || isText) && ((total >= 3 && 3 * most >= 2 * total) ||
                                                  (!cell.read && total >= 2 && most == total)))
                        text = *winner;
                }
            }
            // The engine reads an underscore as a space between words, and has no place in the
            // alignment for it.
            if (cell.underscore && isText) text = "_";
            line += text.empty() ? " " : text;
            if (!text.empty()) used = line.size();
        }
        line.resize(used);
        if (used == 0) continue;
        if (!out.empty()) out += '\n';
        out += line;
    }
    return out;
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
    const char* lang, int workers, int pitch, GlimmoraOcrCancelled cancelled, void* context, char** text,
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
    const bool monospace = pitch > 0;
    // The automatic layout cuts a long listing's aligned fields into columns read one after another.
    const tesseract::PageSegMode mode = monospace ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_AUTO;
    tesseract::TessBaseAPI& first = *engines.apis[0];
    Give(first, pixels, width, height, bytesPerLine, monospace);
    std::vector<Part> parts;
    const std::vector<std::vector<Box>> rows =
        monospace ? RowLines(pixels, width, height, bytesPerLine) : std::vector<std::vector<Box>>();
    if (count > 1 || monospace) parts = Split(monospace ? rows : Layout(first, mode), count, width, height);

    std::string out;
    bool ok = true;
    if (!monospace && parts.size() < 2) {
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
                if (cancel() || !Recognise(api, &parts[i].box, cancel, parts[i].text,
                                           monospace ? &parts[i].symbols : nullptr))
                    failed = true;
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
        if (ok && monospace && !rows.empty()) {
            std::vector<Symbol> symbols;
            for (const Part& part : parts)
                symbols.insert(symbols.end(), part.symbols.begin(), part.symbols.end());
            if (std::string grid = GridText(symbols, rows[0], pixels, width, bytesPerLine, pitch);
                !grid.empty())
                out = std::move(grid);
        }
    }
    if (!ok) {
        *error = Copy(cancel() ? GLIMMORA_OCR_CANCELLED : "the recogniser failed");
        return 0;
    }
    *text = Copy(out);
    return *text ? 1 : 0;
}

extern "C" __attribute__((visibility("default"))) int glimmora_codes_read(const unsigned char* pixels,
                                                                          int width, int height,
                                                                          int bytesPerLine, char** text) {
    *text = nullptr;
    if (!pixels || width <= 0 || height <= 0 || bytesPerLine < width) return 0;
    try {
        const ZXing::ImageView view(pixels, width, height, ZXing::ImageFormat::Lum, bytesPerLine);
        ZXing::DecodeHints hints;
        hints.setFormats(ZXing::BarcodeFormat::Any);
        hints.setTryHarder(true);
        hints.setTryRotate(true);
        ZXing::Results found = ZXing::ReadBarcodes(view, hints);
        // Top to bottom, then left to right, as the text around them reads.
        std::sort(found.begin(), found.end(), [](const ZXing::Result& a, const ZXing::Result& b) {
            const auto pa = a.position().topLeft(), pb = b.position().topLeft();
            return pa.y != pb.y ? pa.y < pb.y : pa.x < pb.x;
        });
        std::string all;
        int count = 0;
        for (const ZXing::Result& r : found) {
            if (!r.isValid()) continue;
            if (count++) all += '\n';
            all += r.text();
        }
        if (count) *text = Copy(all);
        return count;
    } catch (...) {
        return 0;  // a code that cannot be read is no reason to lose the text around it
    }
}

extern "C" __attribute__((visibility("default"))) void glimmora_ocr_free(char* text) {
    std::free(text);
}

// Opening the end of a libdeflate stream so that another can follow: the two decode as one.
#include <gtest/gtest.h>
#include <libdeflate.h>

#include <random>
#include <vector>

#include "image/codecs/deflate_tail.h"

namespace glimmora {
namespace {

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, data.size()));
    out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

// Noise (stored blocks), one byte repeated (fixed codes, a literal of 9 bits), repeated words (dynamic codes,
// several blocks), at many lengths so that the last block ends at each bit of a byte.
TEST(OpenDeflateEnd, EveryBlockKindAndEndingBitJoinsWithTheNextStream) {
    std::mt19937 random(5);
    int endings[2] = {};
    for (int kind = 0; kind < 3; ++kind) {
        for (size_t size : {1, 7, 40, 333, 5000, 70000, 400000}) {
            std::vector<uint8_t> first(size), second(size / 2 + 3);
            for (size_t i = 0; i < size; ++i)
                first[i] = static_cast<uint8_t>(kind == 0   ? random()
                                                : kind == 1 ? 200
                                                            : "glimmora"[i % 8] + i / 97 % 5);
            for (uint8_t& b : second) b = static_cast<uint8_t>(random() % 4);
            for (int level : {1, 6}) {
                std::vector<uint8_t> joined = Deflate(first, level);
                const size_t alone = joined.size();
                ASSERT_TRUE(OpenDeflateEnd(joined, 0)) << kind << " " << size;
                ++endings[joined.size() - alone == 5 ? 0 : 1];
                const std::vector<uint8_t> tail = Deflate(second, level);
                joined.insert(joined.end(), tail.begin(), tail.end());
                std::vector<uint8_t> both(first.size() + second.size());
                libdeflate_decompressor* d = libdeflate_alloc_decompressor();
                size_t got = 0;
                EXPECT_EQ(libdeflate_deflate_decompress(d, joined.data(), joined.size(), both.data(),
                                                        both.size(), &got),
                          LIBDEFLATE_SUCCESS);
                libdeflate_free_decompressor(d);
                first.insert(first.end(), second.begin(), second.end());
                EXPECT_EQ(both, first) << kind << " " << size << " level " << level;
                first.resize(size);
            }
        }
    }
    EXPECT_GT(endings[0], 0);  // an added zero byte for the stored block's header
    EXPECT_GT(endings[1], 0);  // the header in the last byte's padding
    std::vector<uint8_t> cut = Deflate(std::vector<uint8_t>(1000, 9), 6), junk(50, 0xFF);
    cut.pop_back();
    const std::vector<uint8_t> before = cut;
    EXPECT_FALSE(OpenDeflateEnd(cut, 0));
    EXPECT_EQ(cut, before);
    EXPECT_FALSE(OpenDeflateEnd(junk, 0));
}

}  // namespace
}  // namespace glimmora

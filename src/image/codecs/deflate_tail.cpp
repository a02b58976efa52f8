#include "image/codecs/deflate_tail.h"

#include <algorithm>
#include <array>

namespace glimmora {

namespace {

// Deflate's bits, least significant first. Reading past the end yields zeros; Overrun() tells.
class BitReader {
  public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint32_t Peek(int n) {
        while (have_ <= 56) {
            const uint64_t byte = next_ < size_ ? data_[next_] : 0;
            buffer_ |= byte << have_;
            have_ += 8;
            ++next_;
        }
        return static_cast<uint32_t>(buffer_ & ((uint64_t{1} << n) - 1));
    }
    void Skip(int n) {
        buffer_ >>= n;
        have_ -= n;
        position_ += static_cast<size_t>(n);
    }
    uint32_t Get(int n) {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    // To the next byte boundary, then over n whole bytes.
    void SkipBytes(size_t n) {
        position_ = (position_ + 7) / 8 * 8 + n * 8;
        next_ = position_ / 8;
        buffer_ = 0;
        have_ = 0;
    }
    void Align() { SkipBytes(0); }
    size_t Position() const { return position_; }
    bool Overrun() const { return position_ > size_ * 8; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t next_ = 0;
    uint64_t buffer_ = 0;
    int have_ = 0;
    size_t position_ = 0;
};

// A canonical Huffman code as one lookup table indexed by the next maxBits bits: symbol and code length.
class Huffman {
  public:
    // False for lengths that over-subscribe the code (incomplete codes are allowed, as deflate allows one
    // distance code).
    bool Build(const uint8_t* lengths, int count) {
        bits_ = 1;
        table_.assign(2, 0);
        int perLength[16] = {}, bits = 1;
        for (int i = 0; i < count; ++i) {
            ++perLength[lengths[i]];
            bits = std::max<int>(bits, lengths[i]);
        }
        perLength[0] = 0;
        int next[16] = {};
        int code = 0;
        for (int len = 1; len < 16; ++len) {
            code = (code + perLength[len - 1]) << 1;
            next[len] = code;
            if (perLength[len] > (1 << len) - code) return false;
        }
        bits_ = bits;
        table_.assign(size_t{1} << bits_, 0);
        for (int symbol = 0; symbol < count; ++symbol) {
            const int len = lengths[symbol];
            if (len == 0) continue;
            int c = next[len]++, reversed = 0;
            for (int i = 0; i < len; ++i, c >>= 1) reversed = reversed << 1 | (c & 1);
            for (size_t at = static_cast<size_t>(reversed); at < table_.size(); at += size_t{1} << len)
                table_[at] = static_cast<uint16_t>(symbol | len << 9);
        }
        return true;
    }
    // The next symbol, or -1 where no code matches.
    int Decode(BitReader& in) const {
        const uint16_t e = table_[in.Peek(bits_)];
        if (e == 0) return -1;
        in.Skip(e >> 9);
        return e & 511;
    }

  private:
    std::vector<uint16_t> table_;
    int bits_ = 1;
};

// The symbols of one Huffman-coded block, to its end-of-block code; only the bits are walked.
bool WalkSymbols(BitReader& in, const Huffman& literals, const Huffman& distances) {
    for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 0 || symbol > 285 || in.Overrun()) return false;
        if (symbol < 256) continue;
        if (symbol == 256) return true;
        const int i = symbol - 257;
        in.Skip(i < 8 || i == 28 ? 0 : (i - 4) / 4);
        const int d = distances.Decode(in);
        if (d < 0 || d > 29) return false;
        in.Skip(d < 4 ? 0 : d / 2 - 1);
    }
}

bool ReadDynamicCodes(BitReader& in, Huffman& literals, Huffman& distances) {
    static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int nLiterals = static_cast<int>(in.Get(5)) + 257;
    const int nDistances = static_cast<int>(in.Get(5)) + 1;
    const int nCodeLengths = static_cast<int>(in.Get(4)) + 4;
    uint8_t codeLengths[19] = {};
    for (int i = 0; i < nCodeLengths; ++i) codeLengths[kOrder[i]] = static_cast<uint8_t>(in.Get(3));
    Huffman lengthCode;
    if (!lengthCode.Build(codeLengths, 19)) return false;
    std::array<uint8_t, 320> lengths{};
    const int total = nLiterals + nDistances;
    for (int n = 0; n < total;) {
        const int symbol = lengthCode.Decode(in);
        if (symbol < 0 || in.Overrun()) return false;
        if (symbol < 16) {
            lengths[static_cast<size_t>(n++)] = static_cast<uint8_t>(symbol);
            continue;
        }
        if (symbol == 16 && n == 0) return false;
        const uint8_t value = symbol == 16 ? lengths[static_cast<size_t>(n - 1)] : 0;
        const int repeat = symbol == 16   ? 3 + static_cast<int>(in.Get(2))
                           : symbol == 17 ? 3 + static_cast<int>(in.Get(3))
                                          : 11 + static_cast<int>(in.Get(7));
        if (n + repeat > total) return false;
        std::fill_n(lengths.begin() + n, repeat, value);
        n += repeat;
    }
    return lengths[256] != 0 && literals.Build(lengths.data(), nLiterals) &&
           distances.Build(lengths.data() + nLiterals, nDistances);
}

}  // namespace

bool OpenDeflateEnd(std::vector<uint8_t>& stream, size_t from) {
    if (from >= stream.size()) return false;
    const size_t size = stream.size() - from;
    BitReader in(stream.data() + from, size);
    Huffman literals, distances;
    static const Huffman fixedLiterals = [] {
        uint8_t lengths[288];
        std::fill_n(lengths, 144, 8);
        std::fill_n(lengths + 144, 112, 9);
        std::fill_n(lengths + 256, 24, 7);
        std::fill_n(lengths + 280, 8, 8);
        Huffman h;
        h.Build(lengths, 288);
        return h;
    }();
    static const Huffman fixedDistances = [] {
        uint8_t lengths[30];
        std::fill_n(lengths, 30, 5);
        Huffman h;
        h.Build(lengths, 30);
        return h;
    }();
    for (;;) {
        const size_t header = in.Position();
        const bool final = in.Get(1) != 0;
        const uint32_t type = in.Get(2);
        bool ok = false;
        if (type == 0) {
            in.Align();
            const uint32_t len = in.Get(16), nlen = in.Get(16);
            ok = len == (~nlen & 0xFFFF);
            in.SkipBytes(len);
        } else if (type == 1) {
            ok = WalkSymbols(in, fixedLiterals, fixedDistances);
        } else if (type == 2) {
            ok = ReadDynamicCodes(in, literals, distances) && WalkSymbols(in, literals, distances);
        }
        if (!ok || in.Overrun()) return false;
        if (!final) continue;
        // The stream must end in the byte holding its last bit.
        const size_t end = in.Position();
        if ((end + 7) / 8 != size) return false;
        stream[from + header / 8] &= static_cast<uint8_t>(~(1u << (header % 8)));
        // The empty stored block: its 3 header bits (non-final, stored) are zero, in the padding after the
        // last block when it holds three, else in a zero byte added; then the lengths 0 and ~0, aligned.
        const size_t padding = (8 - end % 8) % 8;
        if (padding < 3) stream.push_back(0);
        stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
        return true;
    }
}

}  // namespace glimmora

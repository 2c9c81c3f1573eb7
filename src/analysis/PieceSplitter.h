#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace battsim {

namespace detail {

// Bit i of the result is set when block[i] is a newline.
inline std::uint64_t NewlineMask(const char* block)
{
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi8('\n');
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)))) << (16 * i);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= static_cast<std::uint64_t>(block[i] == '\n') << i;
    return mask;
#endif
}

} // namespace detail

// Hands every line of [data, end) that ends in a newline to
// line(start, end) in order (end is just past the newline) and returns
// where the rest (a line without a newline) begins, or nullptr when the
// callback returned false. It looks at 64 bytes at a time instead of
// searching for each newline.
template <class OnLine>
const char* ForEachLine(const char* data, const char* end, OnLine&& line)
{
    const char* lineStart = data;
    for (const char* block = data; block < end; block += 64) {
        std::uint64_t newlines = 0;
        if (end - block >= 64) {
            newlines = detail::NewlineMask(block);
        } else {
            char tail[64] = {};
            std::memcpy(tail, block, static_cast<std::size_t>(end - block));
            newlines = detail::NewlineMask(tail);
        }
        while (newlines != 0) {
            const char* const lineEnd = block + __builtin_ctzll(newlines) + 1;
            newlines &= newlines - 1;
            if (!line(lineStart, lineEnd))
                return nullptr;
            lineStart = lineEnd;
        }
    }
    return lineStart;
}

// Cuts a byte stream, fed in chunks of any size, into the pieces that
// fgets(buffer, pieceLength + 1, file) returns one by one: a piece ends
// after a newline (which it keeps) or after pieceLength characters, so a
// longer line arrives as several pieces.
class CPieceSplitter final
{
public:
    // Where a run of bytes handed to the sink sits in its piece.
    struct Run
    {
        const char* data;
        std::size_t length;
        bool pieceStart; // the run opens a piece
        bool lineStart;  // the piece opens a line
        bool pieceEnd;   // the run closes its piece
    };

    explicit CPieceSplitter(std::size_t pieceLength) : m_nPieceLength(pieceLength) {}

    // Hands the chunk to `sink` as runs, each inside one piece. The sink
    // returns false to stop; Feed then returns false.
    template <class Sink>
    bool Feed(const char* data, std::size_t length, Sink&& sink)
    {
        const char* const end = data + length;
        while (data < end) {
            const std::size_t room = std::min(m_nPieceLength - m_nUsed, static_cast<std::size_t>(end - data));
            const char* newline = static_cast<const char*>(std::memchr(data, '\n', room));
            const std::size_t runLength = newline ? static_cast<std::size_t>(newline - data) + 1 : room;
            const bool pieceEnd = newline != nullptr || m_nUsed + runLength == m_nPieceLength;
            const Run run{data, runLength, m_nUsed == 0, m_bLineStart, pieceEnd};
            data += runLength;
            if (pieceEnd) {
                m_nUsed = 0;
                m_bLineStart = newline != nullptr;
            } else {
                m_nUsed += runLength;
            }
            if (!sink(run))
                return false;
        }
        return true;
    }

    // True when the bytes fed so far end inside a piece (a last line
    // without a newline).
    bool PieceOpen() const { return m_nUsed > 0; }

    // True when the next byte fed opens a piece that opens a line: a caller
    // may then take whole lines of at most pieceLength characters (newline
    // included) itself, as single pieces, without feeding them.
    bool AtLineStart() const { return m_nUsed == 0 && m_bLineStart; }

private:
    std::size_t m_nPieceLength;
    std::size_t m_nUsed = 0;
    bool m_bLineStart = true;
};

} // namespace battsim

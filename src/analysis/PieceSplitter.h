#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace battsim {

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

private:
    std::size_t m_nPieceLength;
    std::size_t m_nUsed = 0;
    bool m_bLineStart = true;
};

} // namespace battsim

#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace battsim {

// Element types of a CGraphArray, numbered as OLE variant types.
enum VarType : std::uint16_t {
    VT_EMPTY = 0,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_ARRAY = 0x2000,
};

// A failed array operation (a refused shape, an index out of range).
class CGraphArrayError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// An owning array of numbers in the shape the graph takes: up to three
// dimensions, each with lower bound 0. The dimension sizes are taken until
// the first that is zero or negative; an array without any dimension is
// refused.
class CGraphArray final
{
public:
    CGraphArray() { Init(); }
    // A VT_R4 array holding a copy of the floats, in the given shape.
    CGraphArray(const float* data, int d1, int d2 = -1, int d3 = -1);

    CGraphArray(const CGraphArray&) = delete;
    CGraphArray& operator=(const CGraphArray&) = delete;

    void Init();
    void Create(VarType elementType, int d1, int d2 = -1, int d3 = -1);
    void CreateFrom(VarType elementType, const void* source, int d1, int d2 = -1, int d3 = -1);
    void Clear();

    // VT_ARRAY | element type after Create, VT_EMPTY when the holder is empty.
    std::uint16_t Type() const;
    unsigned GetDim() const { return static_cast<unsigned>(m_dims.size()); }
    std::int32_t GetDimSize(unsigned dimension) const; // counted from 1
    std::int32_t GetElementCount() const;
    unsigned GetElemSize() const;
    void* AccessData();
    void UnaccessData();
    const void* Data() const { return m_data.data(); }

private:
    VarType m_elementType = VT_EMPTY;
    std::vector<std::int32_t> m_dims;
    std::vector<std::byte> m_data;
    bool m_bOwnsArray = true;
    bool m_bHoldsArray = false;
    int m_nLocks = 0;
};

} // namespace battsim

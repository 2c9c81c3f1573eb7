#include "GraphArray.h"

#include <cstring>

namespace battsim {

namespace {

unsigned ElementSize(VarType type)
{
    switch (type) {
    case VT_R4:
        return 4;
    case VT_R8:
        return 8;
    default:
        throw CGraphArrayError("unsupported array element type");
    }
}

} // namespace

CGraphArray::CGraphArray(const float* data, int d1, int d2, int d3)
{
    Init();
    CreateFrom(VT_R4, data, d1, d2, d3);
}

void CGraphArray::Init()
{
    m_elementType = VT_EMPTY;
    m_dims.clear();
    m_data.clear();
    m_bOwnsArray = true;
    m_bHoldsArray = false;
    m_nLocks = 0;
}

void CGraphArray::Create(VarType elementType, int d1, int d2, int d3)
{
    std::vector<std::int32_t> dims;
    for (const int size : {d1, d2, d3}) {
        if (size <= 0)
            break;
        dims.push_back(size);
    }
    if (dims.empty())
        throw CGraphArrayError("an array needs at least one dimension");
    std::size_t count = 1;
    for (const auto size : dims)
        count *= static_cast<std::size_t>(size);
    const unsigned elementSize = ElementSize(elementType);
    m_data.assign(count * elementSize, std::byte{0});
    m_dims = std::move(dims);
    m_elementType = elementType;
    m_bOwnsArray = true;
    m_bHoldsArray = true;
}

void CGraphArray::CreateFrom(VarType elementType, const void* source, int d1, int d2, int d3)
{
    Create(elementType, d1, d2, d3);
    void* target = AccessData();
    std::memcpy(target, source, static_cast<std::size_t>(GetElemSize()) * static_cast<std::size_t>(GetElementCount()));
    UnaccessData();
}

void CGraphArray::Clear()
{
    Init();
}

std::uint16_t CGraphArray::Type() const
{
    return m_bHoldsArray ? static_cast<std::uint16_t>(VT_ARRAY | m_elementType) : static_cast<std::uint16_t>(VT_EMPTY);
}

std::int32_t CGraphArray::GetDimSize(unsigned dimension) const
{
    if (dimension < 1 || dimension > m_dims.size())
        throw CGraphArrayError("array dimension out of range");
    return m_dims[dimension - 1];
}

std::int32_t CGraphArray::GetElementCount() const
{
    std::int32_t count = 1;
    for (auto it = m_dims.rbegin(); it != m_dims.rend(); ++it)
        count *= *it;
    return count;
}

unsigned CGraphArray::GetElemSize() const
{
    if (!m_bHoldsArray)
        throw CGraphArrayError("the holder has no array");
    return ElementSize(m_elementType);
}

void* CGraphArray::AccessData()
{
    if (!m_bHoldsArray)
        throw CGraphArrayError("the holder has no array");
    ++m_nLocks;
    return m_data.data();
}

void CGraphArray::UnaccessData()
{
    if (m_nLocks == 0)
        throw CGraphArrayError("array data was not accessed");
    --m_nLocks;
}

} // namespace battsim

#include <vector>

#include "d3dx9core.h"

const IID IID_ID3DXBuffer = {0x8ba5fb08, 0x5195, 0x40e2, {0xac, 0x58, 0x0d, 0x98, 0x9c, 0x3a, 0x01, 0x02}};

namespace {

class Buffer final : public layer::RefCounted<ID3DXBuffer, layer::ObjectFamily::D3DX> {
public:
    explicit Buffer(DWORD size) : bytes_(size) {}
    LPVOID GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

protected:
    bool Implements(REFIID riid) const override { return IsEqualGUID(riid, IID_ID3DXBuffer); }

private:
    std::vector<unsigned char> bytes_;
};

}  // namespace

HRESULT WINAPI D3DXCreateBuffer(DWORD numBytes, LPD3DXBUFFER* ppBuffer) {
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = new Buffer(numBytes);
    return S_OK;
}

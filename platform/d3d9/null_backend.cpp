#include "backend.h"

namespace d3d9 {

namespace {

class NullBackend final : public Backend {
public:
    bool Draws() const override { return false; }
    bool Headless() const override { return true; }
    void Clear(const ClearCall&) override {}
    void Draw(const DrawCall&) override {}
    void Present() override {}
    void ReadBackBuffer(PixelStore&) override {}
    void WriteBackBuffer(const PixelStore&, const RECT&) override {}
    // The device's copy of a texture is the only one.
    bool CreateTexture(unsigned, D3DFORMAT, UINT, UINT, UINT) override { return false; }
    void WriteTexture(unsigned, UINT, const PixelStore&, const RECT&) override {}
    void ReadTexture(unsigned, UINT, PixelStore&) override {}
    void Forget(unsigned) override {}
};

}  // namespace

std::unique_ptr<Backend> CreateNullBackend() { return std::make_unique<NullBackend>(); }

}  // namespace d3d9

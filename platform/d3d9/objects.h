// The device's objects: surfaces, textures, buffers, shaders and declarations.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "back_buffer.h"
#include "com_object.h"
#include "d3d9.h"
#include "device.h"
#include "pixel_store.h"
#include "seams.h"
#include "vertex_layout.h"
#include "vs_program.h"

namespace d3d9 {

// Identity of an object in the call log.
class Identified {
public:
    virtual ~Identified() = default;
    unsigned Serial() const { return serial_; }

private:
    unsigned serial_ = seams::NextSerial();
};

// An object made by a device. It holds a reference to its device while anyone but
// the device's own state holds it, so that a texture or buffer still bound when
// the program releases the device does not keep the device (and itself) alive:
// the device then goes, and unbinding frees the object.
template <class Iface>
class DeviceChild : public layer::RefCounted<Iface, layer::ObjectFamily::Direct3D>, public Identified {
    using Base = layer::RefCounted<Iface, layer::ObjectFamily::Direct3D>;

public:
    explicit DeviceChild(Device* device) : device_(device) { device_->AddRef(); }

    ULONG AddRef() override {
        ULONG n = Base::AddRef();
        if (!holdsDevice_ && n > binds_) {
            holdsDevice_ = true;
            device_->AddRef();
        }
        return n;
    }
    ULONG Release() override {
        ULONG n = this->RefCount();
        if (n == 0) return 0;
        if (n - 1 > 0 && n - 1 == binds_ && holdsDevice_) {
            holdsDevice_ = false;
            Device* device = device_;
            ULONG left = Base::Release();
            device->Release();  // may end the device, which unbinds and frees this object
            return left;
        }
        return Base::Release();
    }

    // A reference held by the device's state.
    void Bind() {
        ++binds_;
        Base::AddRef();
    }
    void Unbind() {
        --binds_;
        Base::Release();
    }

    Device* Owner() const { return device_; }

protected:
    ~DeviceChild() override {
        if (holdsDevice_) device_->Release();
    }
    HRESULT DeviceOut(IDirect3DDevice9** out) const {
        if (!out) return D3DERR_INVALIDCALL;
        device_->AddRef();
        *out = device_;
        return D3D_OK;
    }

private:
    Device* device_;
    bool holdsDevice_ = true;
    ULONG binds_ = 0;
};

// What every surface shares; the kinds differ in where the pixels live.
class SurfaceObject : public IDirect3DSurface9 {
public:
    HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
    HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect() override;
    DWORD SetPriority(DWORD PriorityNew) override;
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }

    virtual PixelStore& Store() = 0;
    virtual Device* OwnerDevice() const = 0;
    virtual unsigned Id() const = 0;
    virtual DWORD Usage() const = 0;
    virtual D3DPOOL Pool() const = 0;
    virtual bool Lockable() const { return true; }
    // Brings the stored pixels up to date before they are read.
    virtual void BeforeRead() {}
    // The stored pixels of `rect` were changed.
    virtual void AfterWrite(const RECT& rect) { (void)rect; }
};

// A surface of its own: an offscreen plain surface or the back buffer.
class Surface final : public DeviceChild<SurfaceObject> {
public:
    enum class Kind { Offscreen, BackBuffer };
    Surface(Device* device, Kind kind, D3DPOOL pool);
    bool Init(D3DFORMAT format, UINT width, UINT height) { return store_.Init(format, width, height); }

    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override { return DeviceOut(ppDevice); }
    HRESULT GetContainer(REFIID riid, void** ppContainer) override;

    PixelStore& Store() override { return store_; }
    Device* OwnerDevice() const override { return Owner(); }
    unsigned Id() const override { return Serial(); }
    DWORD Usage() const override { return kind_ == Kind::BackBuffer ? D3DUSAGE_RENDERTARGET : 0; }
    D3DPOOL Pool() const override { return pool_; }
    bool Lockable() const override;
    void BeforeRead() override;
    void AfterWrite(const RECT& rect) override;
    // The back buffer: what the CPU wrote goes to the back end now.
    void FlushWrites();

protected:
    bool Implements(REFIID riid) const override;

private:
    Kind kind_;
    D3DPOOL pool_;
    PixelStore store_;
    BackBufferSync sync_;  // the back buffer's only
};

class Texture;

// A level of a texture. Its references are the texture's.
class TextureSurface final : public SurfaceObject, public Identified {
public:
    TextureSurface(Texture* texture, UINT level) : texture_(texture), level_(level) {}
    ~TextureSurface() override = default;

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override;
    HRESULT GetContainer(REFIID riid, void** ppContainer) override;

    PixelStore& Store() override;
    Device* OwnerDevice() const override;
    unsigned Id() const override { return Serial(); }
    DWORD Usage() const override;
    D3DPOOL Pool() const override;
    void AfterWrite(const RECT& rect) override;

private:
    Texture* texture_;
    UINT level_;
};

class Texture final : public DeviceChild<IDirect3DTexture9> {
public:
    Texture(Device* device, DWORD usage, D3DPOOL pool) : DeviceChild(device), usage_(usage), pool_(pool) {}
    ~Texture() override;
    bool Init(UINT width, UINT height, UINT levels, D3DFORMAT format);

    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override { return DeviceOut(ppDevice); }
    DWORD SetPriority(DWORD PriorityNew) override;
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD LODNew) override;
    DWORD GetLOD() override { return lod_; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels_.size()); }
    HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) override;
    HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) override;
    HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
    HRESULT UnlockRect(UINT Level) override;
    HRESULT AddDirtyRect(const RECT* pDirtyRect) override;

    // For the back end.
    UINT Levels() const { return static_cast<UINT>(levels_.size()); }
    PixelStore& Level(UINT i) { return levels_[i]; }
    const PixelStore& Level(UINT i) const { return levels_[i]; }
    D3DFORMAT Format() const { return levels_[0].Format(); }
    uint64_t Generation() const { return generation_; }
    void Changed() { ++generation_; }
    DWORD Usage() const { return usage_; }
    D3DPOOL Pool() const { return pool_; }

protected:
    bool Implements(REFIID riid) const override;

private:
    DWORD usage_;
    D3DPOOL pool_;
    DWORD lod_ = 0;
    uint64_t generation_ = 1;
    std::vector<PixelStore> levels_;
    std::vector<std::unique_ptr<TextureSurface>> surfaces_;
};

// The memory of a vertex or index buffer.
class BufferStore {
public:
    void Init(UINT length) { bytes_.assign(length, 0); }
    HRESULT Lock(UINT offset, UINT size, void** out, DWORD flags);
    HRESULT Unlock();
    const uint8_t* Data() const { return bytes_.data(); }
    size_t Size() const { return bytes_.size(); }
    uint64_t Generation() const { return generation_; }
    // Locked for writing: the contents may be changing under the lock.
    bool Writing() const { return locks_ > 0 && written_; }

private:
    std::vector<uint8_t> bytes_;
    int locks_ = 0;
    bool written_ = false;
    uint64_t generation_ = 1;
};

// What vertex and index buffers share: their memory, usage and pool, and the
// resource calls; the back end's copy goes with the buffer.
template <class Iface>
class Buffer : public DeviceChild<Iface> {
public:
    Buffer(Device* device, UINT length, DWORD usage, D3DPOOL pool)
        : DeviceChild<Iface>(device), usage_(usage), pool_(pool) {
        store_.Init(length);
    }
    ~Buffer() override { this->Owner()->backend().Forget(this->Serial()); }

    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override { return this->DeviceOut(ppDevice); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override {
        return store_.Lock(OffsetToLock, SizeToLock, ppbData, Flags);
    }
    HRESULT Unlock() override { return store_.Unlock(); }

    const BufferStore& Store() const { return store_; }

protected:
    BufferStore store_;
    DWORD usage_;
    D3DPOOL pool_;
};

class VertexBuffer final : public Buffer<IDirect3DVertexBuffer9> {
public:
    VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
        : Buffer(device, length, usage, pool), fvf_(fvf) {}

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) override;

protected:
    bool Implements(REFIID riid) const override;

private:
    DWORD fvf_;
};

class IndexBuffer final : public Buffer<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
        : Buffer(device, length, usage, pool), format_(format) {}

    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) override;

    UINT IndexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
    // Smallest and largest of `count` indices from `first` (within the buffer).
    // A mesh draws the same runs every frame, so each is read once per version
    // of the contents.
    void Range(UINT first, UINT count, uint32_t* lo, uint32_t* hi);

protected:
    bool Implements(REFIID riid) const override;

private:
    D3DFORMAT format_;
    uint64_t rangesGeneration_ = 0;
    std::unordered_map<uint64_t, std::pair<uint32_t, uint32_t>> ranges_;
};

class VertexShader final : public DeviceChild<IDirect3DVertexShader9> {
public:
    VertexShader(Device* device, std::vector<DWORD> tokens, VsProgram program)
        : DeviceChild(device), tokens_(std::move(tokens)), program_(std::move(program)) {}

    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override { return DeviceOut(ppDevice); }
    HRESULT GetFunction(void* pData, UINT* pSizeOfData) override;

    const std::vector<DWORD>& Tokens() const { return tokens_; }
    const VsProgram& Program() const { return program_; }
    // Length of a token stream up to and including its end token; 0 when the
    // stream does not start with a vertex shader version or has no end within
    // `limit` tokens.
    static size_t MeasureTokens(const DWORD* tokens, size_t limit);

protected:
    bool Implements(REFIID riid) const override;

private:
    std::vector<DWORD> tokens_;
    VsProgram program_;
};

class VertexDeclaration final : public DeviceChild<IDirect3DVertexDeclaration9> {
public:
    VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements, VertexLayout layout)
        : DeviceChild(device), elements_(std::move(elements)), layout_(std::move(layout)) {}

    HRESULT GetDevice(IDirect3DDevice9** ppDevice) override { return DeviceOut(ppDevice); }
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override;

    const VertexLayout& Layout() const { return layout_; }

protected:
    bool Implements(REFIID riid) const override;

private:
    std::vector<D3DVERTEXELEMENT9> elements_;  // with the end marker
    VertexLayout layout_;
};

}  // namespace d3d9

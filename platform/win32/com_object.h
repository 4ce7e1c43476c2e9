// Reference counting shared by every object the layer hands out.
// Each object counts itself in a per-family live counter so tests can prove that
// nothing leaks (the counters are plain ints that are never destroyed: objects may
// be released during static destruction).
#pragma once

#include "wintypes.h"

namespace layer {

enum class ObjectFamily : int {
    Direct3D = 0,  // IDirect3D9, device, surfaces, textures, buffers, shaders
    D3DX,          // buffers, fonts, meshes, skin information
    DirectInput,   // IDirectInput8A and its devices
    XFile,         // reader objects
    Collision,     // collision objects
    Count
};

// Objects of one family (or of all families) alive now.
int LiveObjects(ObjectFamily family);
int LiveObjectsTotal();

namespace detail {
void CountObject(ObjectFamily family, int delta);
}

// Implements IUnknown for an interface `Iface` (derived from IUnknown).
// Objects start with one reference; Release at zero deletes the object.
// QueryInterface answers IID_IUnknown and the IIDs the derived class lists in
// `Implements` (override it to answer more).
template <class Iface, ObjectFamily Family>
class RefCounted : public Iface {
public:
    RefCounted() { detail::CountObject(Family, +1); }
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || Implements(riid)) {
            *out = static_cast<Iface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG RefCount() const { return refs_; }

protected:
    ~RefCounted() override { detail::CountObject(Family, -1); }
    virtual bool Implements(REFIID) const { return false; }

private:
    ULONG refs_ = 1;
};

// Releases a COM pointer when it goes out of scope; for use inside the layer.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {}  // takes the reference
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ComPtr& operator=(ComPtr o) noexcept {
        T* t = p_;
        p_ = o.p_;
        o.p_ = t;
        return *this;
    }
    ~ComPtr() { reset(); }
    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }
    // Adds a reference of its own.
    static ComPtr Retain(T* p) {
        if (p) p->AddRef();
        return ComPtr(p);
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() {
        T* t = p_;
        p_ = nullptr;
        return t;
    }

private:
    T* p_ = nullptr;
};

}  // namespace layer

// The device's state, objects, reference counting and seams, on the null back end.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/testing.h"
#include "platform/win32/com_object.h"
#include "tests/support/device_fixtures.h"

using namespace platform_testing;

namespace {

int LiveD3D() { return layer::LiveObjects(layer::ObjectFamily::Direct3D); }

// The program's window at its size.
D3DPRESENT_PARAMETERS WindowedParams() { return device_fixtures::WindowedParams(1024, 768); }

class D3D9Device : public ::testing::Test {
protected:
    void SetUp() override {
        ResetD3D9();
        UseNullD3D9();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        ASSERT_EQ(device_fixtures::CreateWindowedDevice(d3d, 1024, 768, &dev), D3D_OK);
        ClearD3D9Calls();
    }
    void TearDown() override {
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        EXPECT_EQ(LiveD3D(), 0) << "a Direct3D object leaked";
        ResetD3D9();
    }

    // The indices of a quad of vertices 0 to 3, as two triangles.
    IDirect3DIndexBuffer9* MakeQuadIndices() {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(dev->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
        WORD* idx = nullptr;
        ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
        const WORD quad[6] = {0, 1, 2, 2, 1, 3};
        std::memcpy(idx, quad, sizeof quad);
        ib->Unlock();
        return ib;
    }

    IDirect3DTexture9* MakeTexture(UINT w, UINT h, D3DFORMAT f = D3DFMT_A8R8G8B8, UINT levels = 1) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(w, h, levels, 0, f, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        return t;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
};

DWORD RS(IDirect3DDevice9* dev, D3DRENDERSTATETYPE s) {
    DWORD v = 0xDEADBEEF;
    EXPECT_EQ(dev->GetRenderState(s, &v), D3D_OK);
    return v;
}

TEST_F(D3D9Device, StartsWithThePlatformDefaults) {
    struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } const renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},          {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},      {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_FILLMODE, D3DFILL_SOLID},      {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_LIGHTING, TRUE},               {D3DRS_AMBIENT, 0},
        {D3DRS_ALPHABLENDENABLE, FALSE},      {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},     {D3DRS_ALPHATESTENABLE, FALSE},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},     {D3DRS_ALPHAREF, 0},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},    {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_COLORVERTEX, TRUE},            {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_SCISSORTESTENABLE, FALSE},
    };
    for (const auto& c : renderStates) EXPECT_EQ(RS(dev, c.state), c.value) << "render state " << c.state;

    struct {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD value;
    } const stageStates[] = {
        {0, D3DTSS_COLOROP, D3DTOP_MODULATE},   {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
        {0, D3DTSS_COLORARG2, D3DTA_CURRENT},   {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},   {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
        {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},    {7, D3DTSS_COLOROP, D3DTOP_DISABLE},
        {3, D3DTSS_TEXCOORDINDEX, 3},
    };
    for (const auto& c : stageStates) {
        DWORD v = 0;
        EXPECT_EQ(dev->GetTextureStageState(c.stage, c.type, &v), D3D_OK);
        EXPECT_EQ(v, c.value) << "stage " << c.stage << " state " << c.type;
    }

    for (DWORD s : {0u, 15u}) {
        DWORD mag, min, mip, u, v;
        dev->GetSamplerState(s, D3DSAMP_MAGFILTER, &mag);
        dev->GetSamplerState(s, D3DSAMP_MINFILTER, &min);
        dev->GetSamplerState(s, D3DSAMP_MIPFILTER, &mip);
        dev->GetSamplerState(s, D3DSAMP_ADDRESSU, &u);
        dev->GetSamplerState(s, D3DSAMP_ADDRESSV, &v);
        EXPECT_EQ(mag, DWORD(D3DTEXF_POINT));
        EXPECT_EQ(min, DWORD(D3DTEXF_POINT));
        EXPECT_EQ(mip, DWORD(D3DTEXF_NONE));
        EXPECT_EQ(u, DWORD(D3DTADDRESS_WRAP));
        EXPECT_EQ(v, DWORD(D3DTADDRESS_WRAP));
    }

    const D3DMATRIX identity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
    for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_WORLDMATRIX(255)}) {
        D3DMATRIX m;
        ASSERT_EQ(dev->GetTransform(t, &m), D3D_OK);
        EXPECT_EQ(std::memcmp(&m, &identity, sizeof m), 0) << "transform " << t;
    }

    D3DVIEWPORT9 vp;
    ASSERT_EQ(dev->GetViewport(&vp), D3D_OK);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Y, 0u);
    EXPECT_EQ(vp.Width, 1024u);
    EXPECT_EQ(vp.Height, 768u);
    EXPECT_EQ(vp.MinZ, 0.0f);
    EXPECT_EQ(vp.MaxZ, 1.0f);

    DWORD fvf = 1;
    dev->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
}

TEST_F(D3D9Device, ZBufferIsOffByDefaultWithoutAutoDepth) {
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    pp.EnableAutoDepthStencil = FALSE;
    IDirect3DDevice9* other = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &other),
              D3D_OK);
    EXPECT_EQ(RS(other, D3DRS_ZENABLE), DWORD(D3DZB_FALSE));
    // Clearing a depth buffer that does not exist is refused.
    EXPECT_EQ(other->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    other->Release();
}

TEST_F(D3D9Device, SetAndGetRoundTrip) {
    dev->SetRenderState(D3DRS_AMBIENT, 0xFFC8C8C8);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    EXPECT_EQ(RS(dev, D3DRS_AMBIENT), 0xFFC8C8C8u);
    EXPECT_EQ(RS(dev, D3DRS_ALPHAFUNC), DWORD(D3DCMP_GREATEREQUAL));

    dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    DWORD v = 0;
    dev->GetTextureStageState(0, D3DTSS_COLORARG2, &v);
    EXPECT_EQ(v, DWORD(D3DTA_DIFFUSE));
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev->GetSamplerState(0, D3DSAMP_MAGFILTER, &v);
    EXPECT_EQ(v, DWORD(D3DTEXF_LINEAR));

    D3DMATRIX m;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = float(i + 1);
    dev->SetTransform(D3DTS_WORLD, &m);
    D3DMATRIX back, projection;
    dev->GetTransform(D3DTS_WORLD, &back);
    dev->GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_EQ(std::memcmp(&m, &back, sizeof m), 0);
    EXPECT_EQ(projection._11, 1.0f) << "other transforms untouched";

    // MultiplyTransform puts the given matrix first: scale(2) x translate(5,0,0).
    D3DMATRIX t = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}}};
    D3DMATRIX s = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}}};
    dev->SetTransform(D3DTS_VIEW, &t);
    dev->MultiplyTransform(D3DTS_VIEW, &s);
    dev->GetTransform(D3DTS_VIEW, &back);
    EXPECT_EQ(back._11, 2.0f);
    EXPECT_EQ(back._41, 5.0f);

    D3DMATERIAL9 mat = {{0.1f, 0.2f, 0.3f, 0.5f}, {0.4f, 0.5f, 0.6f, 1}, {0, 0, 0, 1}, {0.7f, 0, 0, 1}, 8.0f};
    dev->SetMaterial(&mat);
    D3DMATERIAL9 mat2;
    dev->GetMaterial(&mat2);
    EXPECT_EQ(std::memcmp(&mat, &mat2, sizeof mat), 0);

    D3DVIEWPORT9 vp = {10, 20, 100, 50, 0.25f, 0.75f}, vp2;
    EXPECT_EQ(dev->SetViewport(&vp), D3D_OK);
    dev->GetViewport(&vp2);
    EXPECT_EQ(std::memcmp(&vp, &vp2, sizeof vp), 0);

    const float constants[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(dev->SetVertexShaderConstantF(4, constants, 2), D3D_OK);
    float c[8] = {};
    dev->GetVertexShaderConstantF(4, c, 2);
    EXPECT_EQ(std::memcmp(c, constants, sizeof c), 0);

    RECT sc = {1, 2, 3, 4}, sc2;
    dev->SetScissorRect(&sc);
    dev->GetScissorRect(&sc2);
    EXPECT_EQ(sc2.right, 3);

    dev->SetCursorPosition(512, 384, 0);
    EXPECT_EQ(dev->ShowCursor(TRUE), FALSE);
    EXPECT_EQ(dev->ShowCursor(FALSE), TRUE);
}

TEST_F(D3D9Device, InvalidArgumentsAreRefusedAndChangeNothing) {
    D3DMATRIX m = {};
    EXPECT_EQ(dev->SetRenderState(static_cast<D3DRENDERSTATETYPE>(256), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_ADD), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(33), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetSamplerState(16, D3DSAMP_MAGFILTER, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(4), &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTexture(16, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetStreamSource(16, nullptr, 0, 0), D3DERR_INVALIDCALL);
    const float f[4] = {};
    EXPECT_EQ(dev->SetVertexShaderConstantF(255, f, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);

    const D3DVIEWPORT9 badViewports[] = {
        {0, 0, 1025, 768, 0, 1}, {1000, 0, 100, 10, 0, 1}, {0, 0, 0, 10, 0, 1}, {0, 0, 10, 10, -0.5f, 1},
        {0, 0, 10, 10, 0, 1.5f},
    };
    for (const D3DVIEWPORT9& vp : badViewports) EXPECT_EQ(dev->SetViewport(&vp), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 vp;
    dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 1024u);

    // Clear: rectangles promised but missing, depth out of range.
    EXPECT_EQ(dev->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 2.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL) << "D16 has no stencil";

    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->BeginScene(), D3D_OK);
    EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->EndScene(), D3D_OK);
}

TEST_F(D3D9Device, FvfAndDeclarationReplaceEachOther) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 1},
        {0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(dev->CreateVertexDeclaration(elements, &decl), D3D_OK);

    UINT n = 0;
    decl->GetDeclaration(nullptr, &n);
    EXPECT_EQ(n, 5u) << "count includes the end";
    D3DVERTEXELEMENT9 copy[5];
    decl->GetDeclaration(copy, &n);
    EXPECT_EQ(std::memcmp(copy, elements, sizeof copy), 0);

    dev->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    dev->SetVertexDeclaration(decl);
    DWORD fvf = 1;
    dev->GetFVF(&fvf);
    EXPECT_EQ(fvf, 0u);
    // Setting FVF 0 (as the particle and indexed mesh paths do first) keeps the declaration.
    dev->SetFVF(0);
    IDirect3DVertexDeclaration9* got = nullptr;
    dev->GetVertexDeclaration(&got);
    EXPECT_EQ(got, decl);
    got->Release();
    dev->SetFVF(D3DFVF_XYZ);
    dev->GetVertexDeclaration(&got);
    EXPECT_EQ(got, nullptr);
    decl->Release();

    // Two elements of the same usage and index, or no end within 64 elements.
    D3DVERTEXELEMENT9 dup[] = {elements[0], elements[0], D3DDECL_END()};
    IDirect3DVertexDeclaration9* bad = nullptr;
    EXPECT_EQ(dev->CreateVertexDeclaration(dup, &bad), D3DERR_INVALIDCALL);
    std::vector<D3DVERTEXELEMENT9> endless(70, elements[0]);
    for (size_t i = 0; i < endless.size(); ++i) endless[i].UsageIndex = BYTE(i % 16), endless[i].Usage = BYTE(i / 16);
    EXPECT_EQ(dev->CreateVertexDeclaration(endless.data(), &bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(bad, nullptr);
}

TEST_F(D3D9Device, VertexShaderCopiesItsTokensUpToTheEnd) {
    // Version, a comment whose payload holds an end token, the declaration of
    // v0, one instruction, end.
    const DWORD tokens[] = {D3DVS_VERSION(1, 1), D3DSHADER_COMMENT(2), 0x0000FFFF, 0x12345678,
                            D3DSIO_DCL,          0x80000000,           0x900F0000, D3DSIO_MOV,
                            0x800F0000,          0x90E40000,           D3DVS_END(), 0xCCCCCCCC};
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(dev->CreateVertexShader(tokens, &vs), D3D_OK);
    UINT size = 0;
    vs->GetFunction(nullptr, &size);
    EXPECT_EQ(size, 11 * sizeof(DWORD));
    std::vector<DWORD> copy(11);
    vs->GetFunction(copy.data(), &size);
    EXPECT_EQ(std::memcmp(copy.data(), tokens, size), 0);

    dev->SetVertexShader(vs);
    IDirect3DVertexShader9* got = nullptr;
    dev->GetVertexShader(&got);
    EXPECT_EQ(got, vs);
    got->Release();
    dev->SetVertexShader(nullptr);
    vs->Release();

    const DWORD pixelShader[] = {D3DPS_VERSION(1, 1), D3DVS_END()};
    IDirect3DVertexShader9* bad = nullptr;
    EXPECT_EQ(dev->CreateVertexShader(pixelShader, &bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateVertexShader(nullptr, &bad), D3DERR_INVALIDCALL);
    EXPECT_EQ(bad, nullptr);
}

TEST_F(D3D9Device, ChildrenKeepTheDeviceAlive) {
    IDirect3DTexture9* tex = MakeTexture(4, 4);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    // The program's reference goes; the texture and the buffer still hold the device.
    EXPECT_GT(dev->Release(), 0u);
    dev = nullptr;
    IDirect3DDevice9* fromTexture = nullptr;
    ASSERT_EQ(tex->GetDevice(&fromTexture), D3D_OK);
    EXPECT_EQ(fromTexture->TestCooperativeLevel(), D3D_OK);
    fromTexture->Release();
    vb->Release();
    tex->Release();  // the last holder: the device goes with it
    EXPECT_EQ(LiveD3D(), 1) << "only the Direct3D object is left";
}

TEST_F(D3D9Device, BoundObjectsSurviveTheirReleaseAndReleaseInAnyOrder) {
    IDirect3DTexture9* tex = MakeTexture(8, 8);
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    dev->CreateVertexBuffer(96, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr);
    dev->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr);
    dev->SetTexture(0, tex);
    dev->SetStreamSource(0, vb, 0, 32);
    dev->SetIndices(ib);
    const int live = LiveD3D();
    tex->Release();
    vb->Release();
    ib->Release();
    EXPECT_EQ(LiveD3D(), live) << "the device's bindings keep them";

    IDirect3DBaseTexture9* bound = nullptr;
    dev->GetTexture(0, &bound);
    ASSERT_EQ(bound, tex);
    EXPECT_EQ(bound->GetLevelCount(), 1u) << "still a live texture";
    bound->Release();

    // The device goes first while they are bound (the program leaves stage 0's
    // last texture set): nothing may leak, nothing may dangle.
    dev->Release();
    dev = nullptr;
    EXPECT_EQ(LiveD3D(), 1);
}

TEST_F(D3D9Device, RebindingReleasesThePreviousObject) {
    IDirect3DTexture9* a = MakeTexture(2, 2);
    IDirect3DTexture9* b = MakeTexture(2, 2);
    dev->SetTexture(0, a);
    a->Release();
    const int live = LiveD3D();
    dev->SetTexture(0, b);
    EXPECT_EQ(LiveD3D(), live - 1) << "a had no other holder";
    dev->SetTexture(0, b);  // the same again changes nothing
    EXPECT_EQ(LiveD3D(), live - 1);
    dev->SetTexture(0, nullptr);
    EXPECT_EQ(b->Release(), 0u);
}

TEST_F(D3D9Device, GettersAddReferences) {
    IDirect3DSurface9* bb1 = nullptr;
    IDirect3DSurface9* bb2 = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb1), D3D_OK);
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb2), D3D_OK);
    EXPECT_EQ(bb1, bb2);
    D3DSURFACE_DESC desc;
    bb1->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 1024u);
    EXPECT_EQ(desc.Height, 768u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(bb1->Release(), 2u) << "the device's own, plus bb2";
    bb2->Release();
    EXPECT_EQ(dev->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, &bb1), D3DERR_INVALIDCALL);

    IDirect3D9* parent = nullptr;
    dev->GetDirect3D(&parent);
    EXPECT_EQ(parent, d3d);
    parent->Release();

    // A level surface is counted with its texture.
    IDirect3DTexture9* tex = MakeTexture(16, 8, D3DFMT_A8, 0);
    EXPECT_EQ(tex->GetLevelCount(), 5u);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(2, &level), D3D_OK);
    level->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Height, 2u);
    EXPECT_EQ(tex->Release(), 1u) << "held by its level surface";
    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), D3D_OK);
    EXPECT_EQ(container, tex);
    container->Release();
    EXPECT_EQ(level->Release(), 0u);
}

TEST_F(D3D9Device, LocksGiveCpuMemoryWithinBounds) {
    IDirect3DTexture9* tex = MakeTexture(5, 3);
    D3DLOCKED_RECT lr;
    RECT r = {1, 2, 3, 3};
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_GE(lr.Pitch, 20);
    auto* base = static_cast<uint8_t*>(lr.pBits);
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "already locked";
    tex->UnlockRect(0);
    ASSERT_EQ(tex->LockRect(0, &lr, &r, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(lr.pBits), base + 2 * lr.Pitch + 4);
    tex->UnlockRect(0);
    EXPECT_EQ(tex->UnlockRect(0), D3DERR_INVALIDCALL);
    const RECT badRects[] = {{0, 0, 6, 1}, {-1, 0, 1, 1}, {2, 0, 1, 1}, {0, 2, 1, 2}};
    for (const RECT& b : badRects) EXPECT_EQ(tex->LockRect(0, &lr, &b, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(tex->LockRect(1, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    tex->Release();

    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer(100, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, nullptr);
    void* p = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Lock(90, 10, &p, 0), D3D_OK);
    vb->Unlock();
    EXPECT_EQ(vb->Lock(90, 11, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(101, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    D3DVERTEXBUFFER_DESC vd;
    vb->GetDesc(&vd);
    EXPECT_EQ(vd.Size, 100u);
    vb->Release();
}

TEST_F(D3D9Device, UnsupportedResourcesAreRefused) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(dev->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateTexture(4, 4, 4, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL)
        << "4x4 has three levels";
    EXPECT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->CreateTexture(1 << 20, 4, 1, 0, D3DFMT_A8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    IDirect3DIndexBuffer9* ib = nullptr;
    EXPECT_EQ(dev->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &ib, nullptr), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer9* vb = nullptr;
    EXPECT_EQ(dev->CreateVertexBuffer(0xFFFFFFFF, 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(dev->CreateVertexBuffer(8, 0, D3DFVF_XYZ, D3DPOOL_DEFAULT, &vb, nullptr), D3DERR_INVALIDCALL)
        << "smaller than one vertex";
    IDirect3DSurface9* s = nullptr;
    EXPECT_EQ(dev->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &s, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(LiveD3D(), 3) << "Direct3D, the device and its back buffer";
    const int refused = FindD3D9Call("CreateTexture(0,4,");
    ASSERT_GE(refused, 0);
    EXPECT_EQ(D3D9Calls()[refused], "CreateTexture(0,4,1,0x0,21,1)->failed");
}

TEST_F(D3D9Device, SurfacesCopyAndFillOnTheCpu) {
    IDirect3DSurface9* src = nullptr;
    IDirect3DSurface9* dst = nullptr;
    ASSERT_EQ(dev->CreateOffscreenPlainSurface(8, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &src, nullptr), D3D_OK);
    ASSERT_EQ(dev->CreateOffscreenPlainSurface(8, 4, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &dst, nullptr), D3D_OK);
    D3DSURFACE_DESC desc;
    src->GetDesc(&desc);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    D3DLOCKED_RECT lr;
    src->LockRect(&lr, nullptr, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<DWORD*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = DWORD(y * 16 + x);
    src->UnlockRect();

    EXPECT_EQ(dev->ColorFill(dst, nullptr, 0xFFABCDEF), D3D_OK);
    RECT from = {2, 1, 5, 3};
    POINT to = {4, 2};
    ASSERT_EQ(dev->UpdateSurface(src, &from, dst, &to), D3D_OK);
    dst->LockRect(&lr, nullptr, D3DLOCK_READONLY);
    auto pixel = [&](int x, int y) { return reinterpret_cast<DWORD*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x]; };
    EXPECT_EQ(pixel(4, 2), DWORD(1 * 16 + 2));
    EXPECT_EQ(pixel(6, 3), DWORD(2 * 16 + 4));
    EXPECT_EQ(pixel(7, 3), 0xFFABCDEFu) << "outside the copied block";
    EXPECT_EQ(pixel(3, 2), 0xFFABCDEFu);
    dst->UnlockRect();

    POINT tooFar = {6, 0};
    EXPECT_EQ(dev->UpdateSurface(src, &from, dst, &tooFar), D3DERR_INVALIDCALL);
    // Only from system memory into the device's memory, and only in one format.
    EXPECT_EQ(dev->UpdateSurface(dst, nullptr, src, nullptr), D3DERR_INVALIDCALL) << "pools reversed";
    for (D3DFORMAT format : {D3DFMT_A8, D3DFMT_A8R8G8B8}) {
        IDirect3DSurface9* other = nullptr;
        ASSERT_EQ(dev->CreateOffscreenPlainSurface(8, 4, format, D3DPOOL_DEFAULT, &other, nullptr), D3D_OK);
        EXPECT_EQ(dev->UpdateSurface(src, nullptr, other, nullptr), D3DERR_INVALIDCALL) << "formats differ";
        other->Release();
    }
    IDirect3DSurface9* cpu = nullptr;
    dev->CreateOffscreenPlainSurface(8, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &cpu, nullptr);
    EXPECT_EQ(dev->UpdateSurface(src, nullptr, cpu, nullptr), D3DERR_INVALIDCALL) << "into system memory";
    cpu->Release();

    // Stretch the 8x4 source onto the top-left 4x2 of the destination.
    RECT half = {0, 0, 4, 2};
    ASSERT_EQ(dev->StretchRect(src, nullptr, dst, &half, D3DTEXF_POINT), D3D_OK);
    dst->LockRect(&lr, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(pixel(0, 0), DWORD(1 * 16 + 1));
    EXPECT_EQ(pixel(3, 1), DWORD(3 * 16 + 7));
    dst->UnlockRect();
    src->Release();
    dst->Release();
}

TEST_F(D3D9Device, BackBufferLocksOnlyWhenLockable) {
    IDirect3DSurface9* bb = nullptr;
    dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(bb->LockRect(&lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(lr.Pitch, 4096);
    static_cast<DWORD*>(lr.pBits)[5] = 0x0099C0C6;
    bb->UnlockRect();
    ASSERT_EQ(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<DWORD*>(lr.pBits)[5], 0x0099C0C6u) << "the null back end keeps what was written";
    bb->UnlockRect();
    bb->Release();

    D3DPRESENT_PARAMETERS pp = WindowedParams();
    pp.Flags = 0;
    IDirect3DDevice9* other = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &other),
              D3D_OK);
    other->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    EXPECT_EQ(bb->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL);
    bb->Release();
    other->Release();
}

// Draws whose data does not cover what the bound vertex format reads are
// refused, never read out of bounds.
TEST_F(D3D9Device, DrawsAreCheckedAgainstTheirData) {
    struct Vertex {
        float x, y, z;
        DWORD color;
    };
    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer(4 * sizeof(Vertex), 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    IDirect3DIndexBuffer9* ib = MakeQuadIndices();
    WORD* idx = nullptr;
    const DWORD fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL) << "no vertex format";
    dev->SetFVF(fvf);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL) << "no stream";
    dev->SetStreamSource(0, vb, 0, sizeof(Vertex));
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL) << "one vertex past the end";
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0x7FFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(9), 0, 1), D3DERR_INVALIDCALL);

    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "no indices";
    dev->SetIndices(ib);
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL)
        << "base vertex moves index 3 past the end";
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2), D3DERR_INVALIDCALL)
        << "indices past the index buffer";
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    idx = nullptr;
    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    idx[5] = 4;  // one past the last vertex
    ib->Unlock();
    EXPECT_EQ(dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);

    // A stride shorter than the format, or a stream offset past the data.
    dev->SetStreamSource(0, vb, 0, 12);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_POINTLIST, 0, 1), D3DERR_INVALIDCALL);
    dev->SetStreamSource(0, vb, 48, sizeof(Vertex));
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_POINTLIST, 0, 1), D3D_OK);
    dev->SetStreamSource(0, vb, 49, sizeof(Vertex));
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_POINTLIST, 0, 1), D3DERR_INVALIDCALL);

    Vertex up[3] = {};
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, up, sizeof(Vertex)), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, up, 8), D3DERR_INVALIDCALL);
    const WORD upIdx[3] = {0, 1, 3};
    EXPECT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, upIdx, D3DFMT_INDEX16, up, sizeof(Vertex)),
              D3DERR_INVALIDCALL)
        << "index 3 outside the promised 3 vertices";
    // UP draws leave no stream 0 and no indices bound.
    IDirect3DVertexBuffer9* stream = vb;
    UINT offset = 1, stride = 1;
    dev->GetStreamSource(0, &stream, &offset, &stride);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(stride, 0u);
    IDirect3DIndexBuffer9* indices = ib;
    dev->GetIndices(&indices);
    EXPECT_EQ(indices, nullptr);
    vb->Release();
    ib->Release();
}

// The range of vertices an indexed draw reads comes from the indices as they
// are at the draw: after every change, and while a lock is still open.
TEST_F(D3D9Device, IndexedDrawsReadTheIndicesAsTheyAreNow) {
    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer(4 * 12, 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    IDirect3DIndexBuffer9* ib = MakeQuadIndices();
    WORD* idx = nullptr;
    dev->SetFVF(D3DFVF_XYZ);
    dev->SetStreamSource(0, vb, 0, 12);
    dev->SetIndices(ib);
    auto draw = [&](UINT start, UINT triangles) {
        return dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, start, triangles);
    };
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(draw(0, 2), D3D_OK);
        EXPECT_EQ(draw(3, 1), D3D_OK);
    }

    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    idx[4] = 9;  // past the vertices, under the open lock
    EXPECT_EQ(draw(3, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(draw(0, 1), D3D_OK);
    idx[4] = 1;
    EXPECT_EQ(draw(3, 1), D3D_OK);
    ib->Unlock();

    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    idx[0] = 7;
    ib->Unlock();
    EXPECT_EQ(draw(0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(draw(0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(draw(3, 1), D3D_OK);
    ib->Lock(0, 0, reinterpret_cast<void**>(&idx), 0);
    idx[0] = 0;
    ib->Unlock();
    EXPECT_EQ(draw(0, 2), D3D_OK);

    dev->SetStreamSource(0, nullptr, 0, 0);
    dev->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}

TEST_F(D3D9Device, CallLogReadsLikeTheCalls) {
    IDirect3DTexture9* tex = MakeTexture(2, 2);
    const unsigned texId = D3D9ObjectId(tex);
    ClearD3D9Calls();
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->BeginScene();
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->SetTexture(0, tex);
    dev->SetTexture(0, nullptr);
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    D3DRECT r = {10, 20, 30, 40};
    dev->Clear(1, &r, D3DCLEAR_TARGET, 0xFF00FF00, 0.0f, 0);
    dev->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
    dev->EndScene();
    dev->Present(nullptr, nullptr, nullptr, nullptr);
    const std::vector<std::string> expected = {
        "Clear(0,null,3,0xff000000,1,0)",
        "BeginScene()",
        "SetRenderState(137,1)",
        "SetTexture(0,#" + std::to_string(texId) + ")",
        "SetTexture(0,null)",
        "SetFVF(0x144)",
        "Clear(1,[{10,20,30,40}],1,0xff00ff00,0,0)",
        "DrawIndexedPrimitive(4,0,0,4,0,2)",
        "EndScene()",
        "Present(null,null,null,null)",
    };
    EXPECT_EQ(D3D9Calls(), expected);
    EXPECT_EQ(FindD3D9Call("Present"), 9);
    EXPECT_EQ(FindD3D9Call("Clear(", 1), 6);
    tex->Release();
}

TEST_F(D3D9Device, PresentHookSeesEachFrame) {
    std::vector<unsigned> frames;
    SetD3D9PresentHook([&](unsigned frame) { frames.push_back(frame); });
    for (int i = 0; i < 3; ++i) dev->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(frames, (std::vector<unsigned>{1, 2, 3}));
    EXPECT_EQ(D3D9PresentCount(), 3u);
    SetD3D9PresentHook(nullptr);
}

// Device creation, its checks and the forced failures.
class D3D9Create : public ::testing::Test {
protected:
    void SetUp() override {
        ResetD3D9();
        UseNullD3D9();
    }
    void TearDown() override {
        EXPECT_EQ(LiveD3D(), 0);
        ResetD3D9();
    }
    HRESULT Create(D3DPRESENT_PARAMETERS pp, DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        IDirect3DDevice9* dev = reinterpret_cast<IDirect3DDevice9*>(0x1);  // must stay untouched on failure
        HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, flags, &pp, &dev);
        if (SUCCEEDED(hr)) {
            filled = pp;
            dev->Release();
        } else {
            EXPECT_EQ(dev, reinterpret_cast<IDirect3DDevice9*>(0x1));
        }
        d3d->Release();
        return hr;
    }
    D3DPRESENT_PARAMETERS filled = {};
};

TEST_F(D3D9Create, RecordsWhatTheCallerAskedFor) {
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    pp.Windowed = FALSE;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    ASSERT_EQ(Create(pp, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED), D3D_OK);
    const D3D9DeviceRecord& rec = LastD3D9Device();
    EXPECT_EQ(rec.calls, 1);
    EXPECT_EQ(rec.created, 1);
    EXPECT_EQ(rec.behaviorFlags, 0x44u);
    EXPECT_EQ(rec.presentParameters.Windowed, FALSE);
    EXPECT_EQ(rec.presentParameters.BackBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_EQ(rec.presentParameters.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_TRUE(rec.headless);
}

TEST_F(D3D9Create, WindowedUnknownFormatMeansTheDesktops) {
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    pp.BackBufferFormat = D3DFMT_UNKNOWN;
    pp.BackBufferCount = 0;
    ASSERT_EQ(Create(pp), D3D_OK);
    EXPECT_EQ(filled.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(filled.BackBufferCount, 1u);
    EXPECT_EQ(LastD3D9Device().presentParameters.BackBufferFormat, D3DFMT_UNKNOWN) << "the record is the request";
    pp.Windowed = FALSE;
    EXPECT_EQ(Create(pp), D3DERR_INVALIDCALL);
}

TEST_F(D3D9Create, RefusesWhatItCannotMake) {
    struct Case {
        const char* what;
        void (*change)(D3DPRESENT_PARAMETERS&);
        HRESULT expected;
    } const cases[] = {
        {"no width", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferWidth = 0; }, D3DERR_INVALIDCALL},
        {"16-bit back buffer", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferFormat = D3DFMT_R5G6B5; },
         D3DERR_NOTAVAILABLE},
        {"multisampling", [](D3DPRESENT_PARAMETERS& p) { p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES; },
         D3DERR_NOTAVAILABLE},
        {"copy with two buffers", [](D3DPRESENT_PARAMETERS& p) { p.BackBufferCount = 2; }, D3DERR_INVALIDCALL},
        {"bad swap effect", [](D3DPRESENT_PARAMETERS& p) { p.SwapEffect = static_cast<D3DSWAPEFFECT>(7); },
         D3DERR_INVALIDCALL},
        {"colour depth buffer", [](D3DPRESENT_PARAMETERS& p) { p.AutoDepthStencilFormat = D3DFMT_X8R8G8B8; },
         D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        D3DPRESENT_PARAMETERS pp = WindowedParams();
        c.change(pp);
        EXPECT_EQ(Create(pp), c.expected) << c.what;
    }
    EXPECT_EQ(Create(WindowedParams(), 0), D3DERR_INVALIDCALL) << "no vertex processing flag";
    EXPECT_EQ(Create(WindowedParams(), D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING),
              D3DERR_INVALIDCALL);
}

TEST_F(D3D9Create, ForcedFailures) {
    FailDirect3DCreate9(true);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    FailDirect3DCreate9(false);
    EXPECT_EQ(Direct3DCreate9(30), nullptr) << "wrong SDK version";

    D3DPRESENT_PARAMETERS full = WindowedParams();
    full.Windowed = FALSE;
    full.BackBufferFormat = D3DFMT_A8R8G8B8;
    FailD3D9CreateDevice(D3D9DeviceFailure::FullScreenOnly);
    EXPECT_EQ(Create(full), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(Create(WindowedParams()), D3D_OK);
    FailD3D9CreateDevice(D3D9DeviceFailure::Always, E_OUTOFMEMORY);
    EXPECT_EQ(Create(WindowedParams()), E_OUTOFMEMORY);
    EXPECT_EQ(LastD3D9Device().calls, 3);
    EXPECT_EQ(LastD3D9Device().created, 1);
    FailD3D9CreateDevice(D3D9DeviceFailure::None);

    FailD3D9GetBackBuffer(true);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* dev = nullptr;
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    IDirect3DSurface9* bb = nullptr;
    EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), D3DERR_INVALIDCALL);
    EXPECT_EQ(bb, nullptr);
    dev->Release();
    d3d->Release();
}

}  // namespace

// Test seams of the Direct3D 9 layer (namespace platform_testing). The shipped
// program never calls these.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "d3d9.h"
#include "shaded_draw.h"

namespace platform_testing {

// Devices created from now on use the null back end: every call is recorded and
// kept in the device's state, nothing is drawn, and any window handle (also null)
// is accepted. Turning it on also turns the call log on.
void UseNullD3D9(bool on = true);

// Devices created from now on draw with OpenGL in a headless context (EGL, no
// window, no display) even when their window has a native window.
void UseHeadlessD3D9(bool on = true);

// The call log: one readable string per device call, in order, for example
// "SetRenderState(137,1)", "Clear(0,null,3,0xff000000,1,0)",
// "DrawIndexedPrimitive(4,0,0,4,0,2)", "BeginScene()", "Present()".
// Numbers are decimal, FVF codes, flags and colours hex, floats %g; objects appear
// as "null" or "#<id>" (see D3D9ObjectId), data pointers as "data", matrices as
// {_11,...,_44}, rectangles as {left,top,right,bottom}. Every call is recorded,
// also the ones refused; getters are not.
void RecordD3D9Calls(bool on);
const std::vector<std::string>& D3D9Calls();
void ClearD3D9Calls();
// Index in the log of the first call starting with `prefix` at or after `from`; -1 when none.
int FindD3D9Call(const std::string& prefix, size_t from = 0);

// A draw made through a vertex shader, as the shader left its vertices.
// Recorded while the call log is on; ClearD3D9Calls forgets them too.
using D3D9ShadedVertex = d3d9::ShadedVertex;
struct D3D9ShadedDraw {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT firstVertex = 0;                     // stream number of vertices[0]
    std::vector<D3D9ShadedVertex> vertices;   // every vertex from the lowest the draw read to the highest
    std::vector<UINT> order;                  // the vertices the draw consumes, as indices into `vertices`
};
const std::vector<D3D9ShadedDraw>& D3D9ShadedDraws();

// The id under which an object (texture, buffer, surface, shader, declaration)
// appears in the call log; 0 for null or a foreign object. Ids count from 1 in
// creation order since the last ResetD3D9.
unsigned D3D9ObjectId(IUnknown* object);

// What the last successful (or refused) CreateDevice was given.
struct D3D9DeviceRecord {
    int calls = 0;      // CreateDevice calls since the last ResetD3D9
    int created = 0;    // devices made since the last ResetD3D9
    UINT adapter = 0;
    D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
    HWND focusWindow = nullptr;
    DWORD behaviorFlags = 0;
    D3DPRESENT_PARAMETERS presentParameters = {};  // as the caller passed them
    bool headless = false;                          // drawn without a native window
};
const D3D9DeviceRecord& LastD3D9Device();

// How often the back buffer's pixels crossed between the CPU and the back end
// since the last ResetD3D9: read back for a lock (or a copy) after drawing, and
// handed over after CPU writes, before the next clear, draw or present.
struct D3D9BackBufferTransfers {
    unsigned readBacks = 0;
    unsigned uploads = 0;
};
const D3D9BackBufferTransfers& BackBufferTransfers();

// Forced failures.
void FailDirect3DCreate9(bool fail);
enum class D3D9DeviceFailure { None, Always, FullScreenOnly };
void FailD3D9CreateDevice(D3D9DeviceFailure when, HRESULT result = D3DERR_NOTAVAILABLE);
void FailD3D9GetBackBuffer(bool fail, HRESULT result = D3DERR_INVALIDCALL);
// Vertex and index buffers cannot be made (D3DERR_OUTOFVIDEOMEMORY), or
// locked (D3DERR_INVALIDCALL, the pointer set to null), until turned off.
void FailD3D9Buffers(bool create, bool lock);

// Called after every Present with the number of Presents since the last
// ResetD3D9 (1 for the first). Scenario tests press keys or stop the loop here.
void SetD3D9PresentHook(std::function<void(unsigned frame)> hook);
unsigned D3D9PresentCount();

// Back to the defaults: OpenGL back end, no log, no failures, no hook, ids from 1.
void ResetD3D9();

}  // namespace platform_testing

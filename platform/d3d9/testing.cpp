#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "backend.h"
#include "objects.h"
#include "seams.h"

namespace {

// Immortal: devices may be released during static destruction.
struct SeamState {
    bool useNull = false;
    bool useHeadless = false;
    bool recording = false;
    std::vector<std::string> calls;
    std::vector<platform_testing::D3D9ShadedDraw> shadedDraws;
    unsigned nextSerial = 1;
    bool failCreate9 = false;
    platform_testing::D3D9DeviceFailure deviceFailure = platform_testing::D3D9DeviceFailure::None;
    HRESULT deviceFailureResult = D3DERR_NOTAVAILABLE;
    bool failBackBuffer = false;
    HRESULT backBufferResult = D3DERR_INVALIDCALL;
    bool failBufferCreation = false;
    bool failBufferLocks = false;
    platform_testing::D3D9DeviceRecord device;
    platform_testing::D3D9BackBufferTransfers transfers;
    std::function<void(unsigned)> presentHook;
    unsigned presents = 0;
};

SeamState& S() {
    static SeamState* state = new SeamState;
    return *state;
}

}  // namespace

namespace d3d9::seams {

bool Recording() { return S().recording; }
void Record(std::string call) { S().calls.push_back(std::move(call)); }

void RecordShadedDraw(const DrawCall& call) {
    platform_testing::D3D9ShadedDraw draw;
    draw.type = call.type;
    draw.firstVertex = static_cast<UINT>(call.shadedFirst);
    draw.vertices = *call.shaded;
    draw.order.reserve(call.count);
    for (UINT i = 0; i < call.count; ++i) {
        int64_t vertex;
        if (call.indexed) {
            const size_t at = static_cast<size_t>(call.first) + i;
            uint32_t index;
            if (call.indices.indexSize == 4) {
                std::memcpy(&index, call.indices.data + at * 4, 4);
            } else {
                uint16_t small;
                std::memcpy(&small, call.indices.data + at * 2, 2);
                index = small;
            }
            vertex = static_cast<int64_t>(index) + call.baseVertex;
        } else {
            vertex = static_cast<int64_t>(call.first) + i;
        }
        draw.order.push_back(static_cast<UINT>(vertex - call.shadedFirst));
    }
    S().shadedDraws.push_back(std::move(draw));
}

std::string Format(const char* fmt, ...) {
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    va_start(args, fmt);
    std::vsnprintf(&out[0], out.size(), fmt, args);
    va_end(args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Id(unsigned serial) { return serial ? "#" + std::to_string(serial) : "null"; }
unsigned NextSerial() { return S().nextSerial++; }
bool UseNull() { return S().useNull; }
bool UseHeadless() { return S().useHeadless; }
bool FailCreate9() { return S().failCreate9; }

HRESULT CreateDeviceFailure(bool windowed) {
    switch (S().deviceFailure) {
        case platform_testing::D3D9DeviceFailure::Always: return S().deviceFailureResult;
        case platform_testing::D3D9DeviceFailure::FullScreenOnly:
            return windowed ? S_OK : S().deviceFailureResult;
        default: return S_OK;
    }
}

HRESULT GetBackBufferFailure() { return S().failBackBuffer ? S().backBufferResult : S_OK; }
bool FailBufferCreation() { return S().failBufferCreation; }
bool FailBufferLocks() { return S().failBufferLocks; }
platform_testing::D3D9DeviceRecord& DeviceRecord() { return S().device; }
platform_testing::D3D9BackBufferTransfers& BackBufferTransfers() { return S().transfers; }

void Presented() {
    SeamState& s = S();
    unsigned frame = ++s.presents;
    if (s.presentHook) {
        // A copy: the hook may replace itself.
        std::function<void(unsigned)> hook = s.presentHook;
        hook(frame);
    }
}

}  // namespace d3d9::seams

namespace platform_testing {

void UseNullD3D9(bool on) {
    S().useNull = on;
    if (on) S().recording = true;
}
void UseHeadlessD3D9(bool on) { S().useHeadless = on; }
void RecordD3D9Calls(bool on) { S().recording = on; }
const std::vector<std::string>& D3D9Calls() { return S().calls; }
void ClearD3D9Calls() {
    S().calls.clear();
    S().shadedDraws.clear();
}
const std::vector<D3D9ShadedDraw>& D3D9ShadedDraws() { return S().shadedDraws; }

int FindD3D9Call(const std::string& prefix, size_t from) {
    const std::vector<std::string>& calls = S().calls;
    for (size_t i = from; i < calls.size(); ++i)
        if (calls[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    return -1;
}

unsigned D3D9ObjectId(IUnknown* object) {
    if (!object) return 0;
    if (auto* id = dynamic_cast<d3d9::Identified*>(object)) return id->Serial();
    return 0;
}

const D3D9DeviceRecord& LastD3D9Device() { return S().device; }
const D3D9BackBufferTransfers& BackBufferTransfers() { return S().transfers; }
void FailDirect3DCreate9(bool fail) { S().failCreate9 = fail; }
void FailD3D9CreateDevice(D3D9DeviceFailure when, HRESULT result) {
    S().deviceFailure = when;
    S().deviceFailureResult = result;
}
void FailD3D9GetBackBuffer(bool fail, HRESULT result) {
    S().failBackBuffer = fail;
    S().backBufferResult = result;
}
void FailD3D9Buffers(bool create, bool lock) {
    S().failBufferCreation = create;
    S().failBufferLocks = lock;
}
void SetD3D9PresentHook(std::function<void(unsigned)> hook) { S().presentHook = std::move(hook); }
unsigned D3D9PresentCount() { return S().presents; }

void ResetD3D9() {
    SeamState& s = S();
    s = SeamState();
}

}  // namespace platform_testing

// libFuzzer target of the vertex shader path: the input as assembly text
// through D3DXAssembleShader, and what assembles run on a batch of vertices;
// then the same bytes as a token stream, decoded as the device decodes the
// code it is given, and run when the device would take it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d9/vs_program.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/testing.h"

namespace {

void Run(const d3d9::VsProgram& program) {
    static float constants[256 * 4];
    static bool filled = [] {
        for (int i = 0; i < 256 * 4; ++i) constants[i] = float(i % 7) - 3.0f;
        return true;
    }();
    (void)filled;
    d3d9::VsBatch batch;
    program.Prepare(constants, 256, &batch);
    for (const d3d9::VsInput& input : program.Inputs())
        for (unsigned c = 0; c < 4; ++c)
            for (unsigned i = 0; i < d3d9::VsBatch::kLanes; ++i)
                batch.Lane(d3d9::VsBatch::kInputBase + input.reg, c)[i] = float(i) * 0.5f - float(c);
    program.Run(&batch);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (platform_testing::QuietD3DXShaderReports(true), true);
    (void)quiet;

    LPD3DXBUFFER code = nullptr, errors = nullptr;
    if (SUCCEEDED(D3DXAssembleShader(reinterpret_cast<const char*>(data), static_cast<UINT>(size), nullptr, nullptr,
                                     0, &code, &errors))) {
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        d3d9::VsProgram program;
        if (program.Decode(tokens, code->GetBufferSize() / sizeof(DWORD), true, nullptr)) Run(program);
        code->Release();
    }
    if (errors) errors->Release();

    std::vector<DWORD> tokens(size / sizeof(DWORD));
    if (!tokens.empty()) std::memcpy(tokens.data(), data, tokens.size() * sizeof(DWORD));
    d3d9::VsProgram program;
    if (program.Decode(tokens.data(), tokens.size(), false, nullptr)) Run(program);
    return 0;
}

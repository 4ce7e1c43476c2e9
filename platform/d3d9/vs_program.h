// Vertex shaders of version 1.x in the platform's token form, decoded once
// when a shader is made and then run on the CPU for the vertices a draw reads.
// The program runs on a batch of vertices at a time, one instruction over
// every vertex of the batch, so that each operation is a plain loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "d3d9types.h"

namespace d3d9 {

constexpr UINT kVsInputRegisters = 16;
constexpr UINT kVsTempRegisters = 12;
constexpr UINT kVsConstRegisters = 96;
constexpr UINT kVsTexCoordOutputs = 8;
constexpr UINT kVsMaxInstructions = 128;  // arithmetic instructions of a 1.x shader

// Where a decoded stream went wrong: the instruction (counted from 0 among the
// tokens after the version, comments left out) and why.
struct VsDecodeError {
    size_t instruction = 0;
    std::string message;
};

// An input register and the vertex element that feeds it.
struct VsInput {
    UINT reg;
    D3DDECLUSAGE usage;
    UINT usageIndex;
};

// Registers of one batch of vertices: component c of register r of vertex i
// is Lane(r, c)[i]. Inputs, temporaries and outputs come first, then the
// constants the program reads (broadcast over the lanes), then one scratch.
class VsBatch {
public:
    static constexpr UINT kLanes = 32;
    static constexpr UINT kInputBase = 0;
    static constexpr UINT kTempBase = kInputBase + kVsInputRegisters;
    static constexpr UINT kPosition = kTempBase + kVsTempRegisters;
    static constexpr UINT kDiffuse = kPosition + 1;
    static constexpr UINT kSpecular = kDiffuse + 1;
    static constexpr UINT kTexCoordBase = kSpecular + 1;
    static constexpr UINT kScratch = kTexCoordBase + kVsTexCoordOutputs;
    static constexpr UINT kConstBase = kScratch + 1;

    // Room for `registers`; what the lanes held before stays (a decoded
    // program writes every register before it reads it).
    void Resize(UINT registers) { data_.resize(size_t(registers) * 4 * kLanes, 0.0f); }
    float* Lane(UINT reg, UINT comp) { return &data_[(size_t(reg) * 4 + comp) * kLanes]; }
    const float* Lane(UINT reg, UINT comp) const { return &data_[(size_t(reg) * 4 + comp) * kLanes]; }

private:
    std::vector<float> data_;
};

class VsProgram {
public:
    // Decodes and checks a whole stream (`count` tokens, the end token
    // included). With `needPosition`, a program that never writes oPos is
    // refused too.
    bool Decode(const DWORD* tokens, size_t count, bool needPosition, VsDecodeError* error);

    const std::vector<VsInput>& Inputs() const { return inputs_; }

    // Sizes `batch` for this program and broadcasts the constants it reads
    // over the lanes; `device` holds the device's registers (4 floats each).
    // Once per draw: the constants stay while the batches run.
    void Prepare(const float* device, UINT deviceRegisters, VsBatch* batch) const;

    // Puts the output components the program does not write at their start
    // values, then runs the program over all lanes of `batch` (lanes past the
    // vertices the caller filled run too, on whatever they hold). A decoded
    // program reads no temporary before writing it, so nothing carries over
    // from one batch to the next.
    void Run(VsBatch* batch) const;

private:
    struct Source {
        uint16_t reg;        // in VsBatch
        uint8_t swizzle[4];  // component read for each component
        float sign;          // -1 when negated
    };
    struct Instruction {
        uint16_t opcode;
        uint16_t dest;  // in VsBatch
        uint8_t mask;   // bit c: component c is written
        uint8_t sources;
        bool aliased;   // the destination is also read: the result goes through the scratch
        Source src[3];
    };

    std::vector<Instruction> code_;
    std::vector<VsInput> inputs_;
    // Components of each output register (position, the colours, the texture
    // coordinates) that the program writes; the others keep their start values.
    uint8_t outputWritten_[3 + kVsTexCoordOutputs] = {};
    // Constant register of each constant slot of the batch, and its value
    // when the program defines it itself.
    struct ConstSlot {
        UINT reg;
        bool defined;
        float value[4];
    };
    std::vector<ConstSlot> consts_;
};

}  // namespace d3d9

#include "vs_program.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace d3d9 {

namespace {

constexpr DWORD kParamBit = 0x80000000u;
constexpr UINT kLanes = VsBatch::kLanes;

struct OpInfo {
    DWORD opcode;
    const char* name;
    UINT sources;
};

// The arithmetic this layer runs.
const OpInfo kOps[] = {
    {D3DSIO_NOP, "nop", 0}, {D3DSIO_MOV, "mov", 1}, {D3DSIO_ADD, "add", 2},   {D3DSIO_SUB, "sub", 2},
    {D3DSIO_MAD, "mad", 3}, {D3DSIO_MUL, "mul", 2}, {D3DSIO_RCP, "rcp", 1},   {D3DSIO_RSQ, "rsq", 1},
    {D3DSIO_DP3, "dp3", 2}, {D3DSIO_DP4, "dp4", 2}, {D3DSIO_MIN, "min", 2},   {D3DSIO_MAX, "max", 2},
    {D3DSIO_M4x4, "m4x4", 2},
};

const OpInfo* FindOp(DWORD opcode) {
    for (const OpInfo& op : kOps)
        if (op.opcode == opcode) return &op;
    return nullptr;
}

UINT RegisterType(DWORD token) {
    return ((token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT) |
           ((token & D3DSP_REGTYPE_MASK2) >> D3DSP_REGTYPE_SHIFT2);
}

UINT RegisterNumber(DWORD token) { return token & D3DSP_REGNUM_MASK; }

// Components of a source an instruction reads, by its swizzle.
uint8_t ComponentsRead(DWORD opcode, UINT destMask, const uint8_t swizzle[4]) {
    uint8_t read = 0;
    switch (opcode) {
        case D3DSIO_DP3: return uint8_t(1u << swizzle[0] | 1u << swizzle[1] | 1u << swizzle[2]);
        case D3DSIO_DP4:
        case D3DSIO_M4x4: return uint8_t(1u << swizzle[0] | 1u << swizzle[1] | 1u << swizzle[2] | 1u << swizzle[3]);
        case D3DSIO_RCP:
        case D3DSIO_RSQ: return uint8_t(1u << swizzle[3]);
        default:
            for (UINT c = 0; c < 4; ++c)
                if (destMask & (1u << c)) read = uint8_t(read | 1u << swizzle[c]);
            return read;
    }
}

// The operations over every lane of a batch: plain loops of a fixed count on
// pointers that cannot alias the result, which the compiler vectorises.
using Out = float* __restrict;
using In = const float* __restrict;

void Fill(Out d, float v) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = v;
}
void Mov(Out d, In a, float sa) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = sa * a[i];
}
void Add(Out d, In a, In b, float sa, float sb) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = sa * a[i] + sb * b[i];
}
void Mul(Out d, In a, In b, float k) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = k * (a[i] * b[i]);
}
void Mad(Out d, In a, In b, In c, float k, float sc) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = k * (a[i] * b[i]) + sc * c[i];
}
void Min(Out d, In a, In b, float sa, float sb) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = std::min(sa * a[i], sb * b[i]);
}
void Max(Out d, In a, In b, float sa, float sb) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = std::max(sa * a[i], sb * b[i]);
}
void Rcp(Out d, In a, float sa) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = 1.0f / (sa * a[i]);
}
void Rsq(Out d, In a) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = 1.0f / std::sqrt(std::fabs(a[i]));
}
void Dot3(Out d, In a0, In a1, In a2, In b0, In b1, In b2, float k) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = k * (a0[i] * b0[i] + a1[i] * b1[i] + a2[i] * b2[i]);
}
void Dot4(Out d, In a0, In a1, In a2, In a3, In b0, In b1, In b2, In b3, float k) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = k * (a0[i] * b0[i] + a1[i] * b1[i] + a2[i] * b2[i] + a3[i] * b3[i]);
}
void Clamp01(float* d) {
    for (UINT i = 0; i < kLanes; ++i) d[i] = std::min(std::max(d[i], 0.0f), 1.0f);
}

}  // namespace

bool VsProgram::Decode(const DWORD* tokens, size_t count, bool needPosition, VsDecodeError* error) {
    code_.clear();
    inputs_.clear();
    consts_.clear();
    size_t instruction = 0;
    auto fail = [&](std::string message) {
        if (error) *error = VsDecodeError{instruction, std::move(message)};
        code_.clear();
        inputs_.clear();
        consts_.clear();
        return false;
    };

    if (!tokens || count < 2) return fail("the code is too short");
    if (tokens[0] != D3DVS_VERSION(1, 1) && tokens[0] != D3DVS_VERSION(1, 0))
        return fail("not a vertex shader of version 1.0 or 1.1");

    bool declared[kVsInputRegisters] = {};
    std::map<UINT, size_t> constSlot;  // constant register -> index in consts_
    auto slotOf = [&](UINT reg) {
        auto it = constSlot.find(reg);
        if (it != constSlot.end()) return it->second;
        constSlot.emplace(reg, consts_.size());
        consts_.push_back(ConstSlot{reg, false, {0, 0, 0, 0}});
        return consts_.size() - 1;
    };
    std::memset(outputWritten_, 0, sizeof outputWritten_);
    uint8_t tempWritten[kVsTempRegisters] = {};  // components written so far
    UINT slots = 0;  // arithmetic instruction slots used

    size_t i = 1;
    for (;; ++instruction) {
        if (i >= count) return fail("the code has no end token");
        const DWORD t = tokens[i];
        if (t == D3DSIO_END) break;
        const DWORD opcode = t & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_COMMENT) {
            const size_t words = (t & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (words >= count - i) return fail("a comment runs past the end of the code");
            i += 1 + words;
            --instruction;  // comments are not instructions
            continue;
        }
        if (t & kParamBit) return fail("a parameter token where an instruction was expected");

        size_t params;
        const OpInfo* op = nullptr;
        if (opcode == D3DSIO_DCL) {
            params = 2;
        } else if (opcode == D3DSIO_DEF) {
            params = 5;
        } else {
            op = FindOp(opcode);
            if (!op) return fail("unknown instruction " + std::to_string(opcode));
            params = op->sources + (opcode == D3DSIO_NOP ? 0 : 1);
        }
        // Controls are not used by 1.x shaders; a length, when given, must be right.
        const DWORD length = (t & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
        if ((t & 0x70FF0000u) != 0 || (length != 0 && length != params))
            return fail("an instruction token with bits this version does not have");
        if (params >= count - i) return fail("an instruction runs past the end of the code");
        const DWORD* p = &tokens[i + 1];
        i += 1 + params;

        if (opcode == D3DSIO_DCL) {
            const DWORD usage = p[0] & D3DSP_DCL_USAGE_MASK;
            const DWORD index = (p[0] & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT;
            if (!(p[0] & kParamBit) || !(p[1] & kParamBit)) return fail("a declaration without its parameters");
            if (usage > D3DDECLUSAGE_SAMPLE) return fail("a declaration of an unknown usage");
            if (RegisterType(p[1]) != D3DSPR_INPUT || RegisterNumber(p[1]) >= kVsInputRegisters)
                return fail("only input registers v0 to v15 can be declared");
            if ((p[1] & D3DSP_WRITEMASK_ALL) != D3DSP_WRITEMASK_ALL || (p[1] & D3DVS_ADDRMODE_RELATIVE))
                return fail("a declaration takes the whole register");
            const UINT reg = RegisterNumber(p[1]);
            if (declared[reg]) return fail("v" + std::to_string(reg) + " is declared twice");
            declared[reg] = true;
            inputs_.push_back(VsInput{reg, static_cast<D3DDECLUSAGE>(usage), index});
            continue;
        }
        if (opcode == D3DSIO_DEF) {
            if (!(p[0] & kParamBit) || RegisterType(p[0]) != D3DSPR_CONST ||
                RegisterNumber(p[0]) >= kVsConstRegisters || (p[0] & D3DVS_ADDRMODE_RELATIVE))
                return fail("def needs a constant register c0 to c95");
            ConstSlot& slot = consts_[slotOf(RegisterNumber(p[0]))];
            slot.defined = true;
            std::memcpy(slot.value, &p[1], sizeof slot.value);
            continue;
        }
        if (opcode == D3DSIO_NOP) continue;

        slots += opcode == D3DSIO_M4x4 ? 4 : 1;
        if (slots > kVsMaxInstructions)
            return fail("more than " + std::to_string(kVsMaxInstructions) + " instructions");

        // The destination.
        const DWORD dt = p[0];
        if (!(dt & kParamBit)) return fail("a destination token without its marker bit");
        if (dt & D3DVS_ADDRMODE_RELATIVE) return fail("relative addressing is not supported");
        if (dt & (D3DSP_DSTMOD_MASK | 0x0F000000u)) return fail("a result modifier this version does not have");
        const UINT mask = (dt & D3DSP_WRITEMASK_ALL) >> 16;
        if (mask == 0) return fail("an empty write mask");
        const UINT dnum = RegisterNumber(dt);
        UINT dest;
        switch (RegisterType(dt)) {
            case D3DSPR_TEMP:
                if (dnum >= kVsTempRegisters) return fail("r" + std::to_string(dnum) + " does not exist");
                dest = VsBatch::kTempBase + dnum;
                break;
            case D3DSPR_RASTOUT:
                if (dnum != D3DSRO_POSITION) return fail("oFog and oPts are not supported");
                dest = VsBatch::kPosition;
                break;
            case D3DSPR_ATTROUT:
                if (dnum >= 2) return fail("oD" + std::to_string(dnum) + " does not exist");
                dest = VsBatch::kDiffuse + dnum;
                break;
            case D3DSPR_TEXCRDOUT:
                if (dnum >= kVsTexCoordOutputs) return fail("oT" + std::to_string(dnum) + " does not exist");
                dest = VsBatch::kTexCoordBase + dnum;
                break;
            case D3DSPR_INPUT: return fail("an input register cannot be written");
            case D3DSPR_CONST: return fail("a constant register cannot be written");
            default: return fail("a destination register of an unknown kind");
        }

        // The sources.
        Instruction in{};
        in.opcode = static_cast<uint16_t>(opcode);
        in.dest = static_cast<uint16_t>(dest);
        in.mask = static_cast<uint8_t>(mask);
        in.sources = static_cast<uint8_t>(op->sources);
        int constRead = -1;
        UINT matrixConst = 0;
        bool matrixIsConst = false;
        for (UINT k = 0; k < op->sources; ++k) {
            const DWORD st = p[1 + k];
            if (!(st & kParamBit)) return fail("a source token without its marker bit");
            if (st & D3DVS_ADDRMODE_RELATIVE) return fail("relative addressing is not supported");
            const DWORD modifier = st & D3DSP_SRCMOD_MASK;
            if (modifier != D3DSPSM_NONE && modifier != D3DSPSM_NEG)
                return fail("a source modifier this version does not have");
            const UINT num = RegisterNumber(st);
            // The matrix of m4x4 is four registers from the one named.
            const UINT span = opcode == D3DSIO_M4x4 && k == 1 ? 4 : 1;
            Source& s = in.src[k];
            switch (RegisterType(st)) {
                case D3DSPR_TEMP:
                    if (num + span > kVsTempRegisters) return fail("r" + std::to_string(num + span - 1) + " does not exist");
                    s.reg = static_cast<uint16_t>(VsBatch::kTempBase + num);
                    break;
                case D3DSPR_INPUT:
                    if (num + span > kVsInputRegisters) return fail("v" + std::to_string(num + span - 1) + " does not exist");
                    for (UINT r = num; r < num + span; ++r)
                        if (!declared[r]) return fail("v" + std::to_string(r) + " is read but not declared");
                    s.reg = static_cast<uint16_t>(VsBatch::kInputBase + num);
                    break;
                case D3DSPR_CONST:
                    if (num + span > kVsConstRegisters) return fail("c" + std::to_string(num + span - 1) + " does not exist");
                    // One constant register per instruction (the matrix counts as one).
                    if (constRead >= 0 && static_cast<UINT>(constRead) != num)
                        return fail("two different constant registers in one instruction");
                    constRead = static_cast<int>(num);
                    if (span == 4) {
                        matrixIsConst = true;
                        matrixConst = num;
                    } else {
                        s.reg = static_cast<uint16_t>(VsBatch::kConstBase + slotOf(num));
                    }
                    break;
                case D3DSPR_RASTOUT:
                case D3DSPR_ATTROUT:
                case D3DSPR_TEXCRDOUT: return fail("an output register cannot be read");
                default: return fail("a source register of an unknown kind");
            }
            for (int c = 0; c < 4; ++c)
                s.swizzle[c] = static_cast<uint8_t>((st >> (D3DSP_SWIZZLE_SHIFT + 2 * c)) & 3);
            s.sign = modifier == D3DSPSM_NEG ? -1.0f : 1.0f;
            // Temporaries start undefined: what is read must have been written.
            if (RegisterType(st) == D3DSPR_TEMP) {
                const uint8_t read = ComponentsRead(opcode, mask, s.swizzle);
                for (UINT r = num; r < num + span; ++r) {
                    const uint8_t missing = read & ~tempWritten[r];
                    for (int c = 0; c < 4; ++c)
                        if (missing & (1u << c))
                            return fail("r" + std::to_string(r) + "." + "xyzw"[c] + " is read before it is written");
                }
            }
        }
        if (RegisterType(dt) == D3DSPR_TEMP) tempWritten[dnum] = uint8_t(tempWritten[dnum] | mask);
        if (dest >= VsBatch::kPosition && dest < VsBatch::kScratch)
            outputWritten_[dest - VsBatch::kPosition] |= static_cast<uint8_t>(mask);
        for (UINT k = 0; k < op->sources; ++k) in.aliased = in.aliased || in.src[k].reg == in.dest;

        if (opcode != D3DSIO_M4x4) {
            code_.push_back(in);
            continue;
        }
        // m4x4 is four dp4, one per row of the matrix. A destination that is
        // also a source would feed later rows with earlier results.
        const DWORD matrixType = RegisterType(p[2]);
        const UINT matrixNum = RegisterNumber(p[2]);
        if (RegisterType(p[1]) == RegisterType(dt) && RegisterNumber(p[1]) == dnum)
            return fail("the destination of m4x4 cannot be its vector");
        if (matrixType == RegisterType(dt) && dnum >= matrixNum && dnum < matrixNum + 4)
            return fail("the destination of m4x4 cannot be part of its matrix");
        for (UINT row = 0; row < 4; ++row) {
            if (!(mask & (1u << row))) continue;
            Instruction dp = in;
            dp.opcode = D3DSIO_DP4;
            dp.mask = static_cast<uint8_t>(1u << row);
            if (matrixIsConst)
                dp.src[1].reg = static_cast<uint16_t>(VsBatch::kConstBase + slotOf(matrixConst + row));
            else
                dp.src[1].reg = static_cast<uint16_t>(in.src[1].reg + row);
            dp.aliased = false;  // checked above: no row reads the destination
            code_.push_back(dp);
        }
    }

    if (needPosition && !outputWritten_[0]) return fail("oPos is never written");
    return true;
}

void VsProgram::Prepare(const float* device, UINT deviceRegisters, VsBatch* batch) const {
    batch->Resize(VsBatch::kConstBase + static_cast<UINT>(consts_.size()));
    for (size_t k = 0; k < consts_.size(); ++k) {
        const ConstSlot& slot = consts_[k];
        const float* v = slot.defined ? slot.value : slot.reg < deviceRegisters ? device + slot.reg * 4 : nullptr;
        for (UINT c = 0; c < 4; ++c) Fill(batch->Lane(VsBatch::kConstBase + static_cast<UINT>(k), c), v ? v[c] : 0.0f);
    }
}

void VsProgram::Run(VsBatch* b) const {
    // Outputs a program does not write: no position, white, no specular, (0,0,0,1).
    auto fill = [this, b](UINT reg, float x, float y, float z, float w) {
        const float v[4] = {x, y, z, w};
        const uint8_t written = outputWritten_[reg - VsBatch::kPosition];
        for (UINT c = 0; c < 4; ++c)
            if (!(written & (1u << c))) Fill(b->Lane(reg, c), v[c]);
    };
    fill(VsBatch::kPosition, 0, 0, 0, 1);
    fill(VsBatch::kDiffuse, 1, 1, 1, 1);
    fill(VsBatch::kSpecular, 0, 0, 0, 0);
    for (UINT t = 0; t < kVsTexCoordOutputs; ++t) fill(VsBatch::kTexCoordBase + t, 0, 0, 0, 1);

    for (const Instruction& in : code_) {
        // Straight into the destination unless it is also read.
        const UINT target = in.aliased ? VsBatch::kScratch : in.dest;
        const float* s[3][4] = {};
        float sign[3] = {1, 1, 1};
        for (UINT k = 0; k < in.sources; ++k) {
            for (UINT c = 0; c < 4; ++c) s[k][c] = b->Lane(in.src[k].reg, in.src[k].swizzle[c]);
            sign[k] = in.src[k].sign;
        }
        const float sa = sign[0], sb = sign[1], sc = sign[2];

        if (in.opcode == D3DSIO_DP3 || in.opcode == D3DSIO_DP4) {
            // One value, copied into every written component.
            float* d = b->Lane(VsBatch::kScratch, 0);
            const float* const* a = s[0];
            const float* const* v = s[1];
            if (in.opcode == D3DSIO_DP3)
                Dot3(d, a[0], a[1], a[2], v[0], v[1], v[2], sa * sb);
            else
                Dot4(d, a[0], a[1], a[2], a[3], v[0], v[1], v[2], v[3], sa * sb);
            for (UINT c = 0; c < 4; ++c)
                if (in.mask & (1u << c)) Mov(b->Lane(in.dest, c), d, 1.0f);
            continue;
        }

        for (UINT c = 0; c < 4; ++c) {
            if (!(in.mask & (1u << c))) continue;
            float* d = b->Lane(target, c);
            const float* a = s[0][c];
            const float* v = s[1][c];
            switch (in.opcode) {
                case D3DSIO_MOV: Mov(d, a, sa); break;
                case D3DSIO_ADD: Add(d, a, v, sa, sb); break;
                case D3DSIO_SUB: Add(d, a, v, sa, -sb); break;
                case D3DSIO_MUL: Mul(d, a, v, sa * sb); break;
                case D3DSIO_MAD: Mad(d, a, v, s[2][c], sa * sb, sc); break;
                case D3DSIO_MIN: Min(d, a, v, sa, sb); break;
                case D3DSIO_MAX: Max(d, a, v, sa, sb); break;
                // Scalar: the last component the swizzle names (a replicate
                // swizzle names one; without a swizzle that is w).
                case D3DSIO_RCP: Rcp(d, s[0][3], sa); break;
                case D3DSIO_RSQ: Rsq(d, s[0][3]); break;
                default: break;
            }
        }
        if (target != in.dest)
            for (UINT c = 0; c < 4; ++c)
                if (in.mask & (1u << c)) Mov(b->Lane(in.dest, c), b->Lane(target, c), 1.0f);
    }

    // Colours leave the vertex stage clamped to 0..1.
    for (UINT reg : {VsBatch::kDiffuse, VsBatch::kSpecular})
        for (UINT c = 0; c < 4; ++c)
            if (outputWritten_[reg - VsBatch::kPosition] & (1u << c)) Clamp01(b->Lane(reg, c));
}

}  // namespace d3d9

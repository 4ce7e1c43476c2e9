// Draws through a vertex shader: the vertices a draw reads are fetched from
// its streams as the bound layout describes them, run through the shader on
// the CPU, and handed on as clip-space vertices that any back end can draw
// with the frame's texture stage, alpha-test and blend states.
#pragma once

#include <cstdint>
#include <vector>

#include "vertex_layout.h"
#include "vs_program.h"

namespace d3d9 {

struct StreamSource;

// What the shader made of one vertex: the clip-space position (Direct3D's:
// depth 0..w), the colours clamped to 0..1 and the first texture coordinates.
struct ShadedVertex {
    float position[4];
    float diffuse[4];
    float specular[4];
    float texCoord[4];
};

class VertexShading {
public:
    // Runs `program` on the vertices first..last (inclusive) of `streams` as
    // `layout` places them, with the device's constant registers; the results
    // are in Vertices(), in order. False, with nothing run, when the layout
    // lacks an element the program declares or stores it in a type that
    // cannot be read.
    bool Run(const VsProgram& program, const VertexLayout& layout, const StreamSource* streams, int64_t first,
             int64_t last, const float* constants, UINT constantRegisters);

    const std::vector<ShadedVertex>& Vertices() const { return vertices_; }

private:
    VsBatch batch_;
    std::vector<ShadedVertex> vertices_;
};

// An element of a vertex as the four floats a shader input receives:
// missing components are 0, and w is 1. False for a type it cannot read.
bool ReadElement(const uint8_t* p, D3DDECLTYPE type, float out[4]);

}  // namespace d3d9

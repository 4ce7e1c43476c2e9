// RGB images, the BMP files they are written to, and the program's textures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/datagen/model.h"

namespace datagen {

struct Rgb {
    float r = 0, g = 0, b = 0;
};

inline Rgb operator*(Rgb c, float s) { return {c.r * s, c.g * s, c.b * s}; }
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb Mix(Rgb a, Rgb b, float t) { return a * (1 - t) + b * t; }

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
    Image() = default;
    Image(int w, int h) : width(w), height(h), rgb(size_t(w) * size_t(h) * 3, 0) {}
    void Set(int x, int y, Rgb c);
    const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// 24-bit uncompressed BMP, bottom-up rows padded to four bytes.
std::vector<uint8_t> EncodeBmp(const Image& image);
bool WriteBmp(const std::string& path, const Image& image);

// Deterministic value noise in [0, 1), tiled with the given period.
float ValueNoise(float x, float y, int period, uint32_t seed);

// Soft round puffs on pure black (black is the colour key), size a power of two.
Image SmokePuff(int size);
Image SparePuff(int size);

// Level textures, seamless when repeated.
Image StoneFloor(int size);
Image BrickWall(int size);
Image PillarStone(int size);

}  // namespace datagen

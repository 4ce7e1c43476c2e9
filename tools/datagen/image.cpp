#include "tools/datagen/image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace datagen {

namespace {

uint8_t ToByte(float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

float Hash01(uint32_t x, uint32_t y, uint32_t seed) { return float(Hash(x, y, seed) & 0xFFFFFF) / 16777216.0f; }

float Fractal(float x, float y, int period, uint32_t seed, int octaves) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * ValueNoise(x, y, period, seed + uint32_t(o) * 7919u);
        norm += amp;
        x *= 2;
        y *= 2;
        period *= 2;
        amp *= 0.5f;
    }
    return sum / norm;
}

Image Puff(int size, Rgb core, Rgb rim, uint32_t seed) {
    Image img(size, size);
    float half = float(size) * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (float(x) + 0.5f - half) / half, dy = (float(y) + 0.5f - half) / half;
            float r = std::sqrt(dx * dx + dy * dy);
            float wobble = 0.85f + 0.15f * Fractal(float(x) / float(size) * 4, float(y) / float(size) * 4, 4, seed, 3);
            float k = std::max(0.0f, 1.0f - r / (0.92f * wobble));
            float intensity = k * k * (3 - 2 * k);
            if (intensity < 2.0f / 255.0f) continue;  // stays pure black: the colour key
            Rgb c = Mix(rim, core, k);
            img.Set(x, y, c * intensity);
        }
    return img;
}

}  // namespace

void Image::Set(int x, int y, Rgb c) {
    uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    p[0] = ToByte(c.r);
    p[1] = ToByte(c.g);
    p[2] = ToByte(c.b);
}

std::vector<uint8_t> EncodeBmp(const Image& image) {
    const uint32_t rowBytes = (uint32_t(image.width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * uint32_t(image.height);
    std::vector<uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + pixelBytes);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, uint32_t(image.width));
    Put32(out, uint32_t(image.height));  // positive: bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (uint32_t pad = uint32_t(image.width) * 3; pad < rowBytes; ++pad) out.push_back(0);
    }
    return out;
}

bool WriteBmp(const std::string& path, const Image& image) {
    std::vector<uint8_t> bytes = EncodeBmp(image);
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f) return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

float ValueNoise(float x, float y, int period, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto wrap = [period](int v) { return uint32_t(((v % period) + period) % period); };
    float a = Hash01(wrap(ix), wrap(iy), seed), b = Hash01(wrap(ix + 1), wrap(iy), seed);
    float c = Hash01(wrap(ix), wrap(iy + 1), seed), d = Hash01(wrap(ix + 1), wrap(iy + 1), seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

Image SmokePuff(int size) { return Puff(size, {0.92f, 0.90f, 0.86f}, {0.55f, 0.52f, 0.48f}, 11); }

Image SparePuff(int size) { return Puff(size, {1.0f, 0.92f, 0.70f}, {0.85f, 0.45f, 0.15f}, 23); }

Image StoneFloor(int size) {
    // Four rows of flagstones, every other row shifted by half a stone.
    Image img(size, size);
    const int rows = 4, cols = 4;
    const float cell = float(size) / float(cols), rowH = float(size) / float(rows);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int row = int(float(y) / rowH);
            float sx = float(x) + ((row & 1) ? cell * 0.5f : 0.0f);
            int col = int(sx / cell) % cols;
            float lx = std::fmod(sx, cell) / cell, ly = (float(y) - float(row) * rowH) / rowH;
            float edge = std::min({lx, 1 - lx, ly, 1 - ly});
            float u = float(x) / float(size), v = float(y) / float(size);
            float grain = Fractal(u * 16, v * 16, 16, 5, 4);
            float tone = 0.80f + 0.16f * Hash01(uint32_t(col), uint32_t(row), 77);
            Rgb stone{0.62f * tone, 0.58f * tone, 0.52f * tone};
            stone = stone * (0.78f + 0.35f * grain);
            float crack = Fractal(u * 8, v * 8, 8, 9, 3);
            if (std::fabs(crack - 0.5f) < 0.012f) stone = stone * 0.75f;
            float mortarW = 0.035f + 0.015f * Fractal(u * 32, v * 32, 32, 3, 2);
            Rgb mortar{0.28f, 0.26f, 0.24f};
            Rgb c = edge < mortarW ? mortar * (0.8f + 0.4f * grain) : stone * (edge < mortarW * 2.2f ? 0.86f : 1.0f);
            img.Set(x, y, c);
        }
    return img;
}

Image BrickWall(int size) {
    // Eight courses of four bricks, running bond.
    Image img(size, size);
    const int courses = 8, bricks = 4;
    const float bw = float(size) / float(bricks), bh = float(size) / float(courses);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int course = int(float(y) / bh);
            float sx = float(x) + ((course & 1) ? bw * 0.5f : 0.0f);
            int brick = int(sx / bw) % bricks;
            float lx = std::fmod(sx, bw), ly = float(y) - float(course) * bh;
            float edge = std::min({lx, bw - lx, ly, bh - ly});
            float u = float(x) / float(size), v = float(y) / float(size);
            float grain = Fractal(u * 32, v * 32, 32, 41, 3);
            float tone = 0.78f + 0.28f * Hash01(uint32_t(brick), uint32_t(course), 13);
            Rgb c{0.62f * tone, 0.27f * tone, 0.18f * tone};
            c = c * (0.80f + 0.35f * grain);
            if (Hash01(uint32_t(brick), uint32_t(course), 99) < 0.18f) c = Mix(c, Rgb{0.35f, 0.22f, 0.18f}, 0.5f);
            float mortar = float(size) / 128.0f;
            if (edge < mortar) c = Rgb{0.55f, 0.52f, 0.47f} * (0.85f + 0.25f * grain);
            else if (edge < mortar * 2) c = c * 0.8f;
            img.Set(x, y, c);
        }
    return img;
}

Image PillarStone(int size) {
    // Sandstone courses with vertical streaks of weathering.
    Image img(size, size);
    const int courses = 4;
    const float ch = float(size) / float(courses);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int course = int(float(y) / ch);
            float ly = float(y) - float(course) * ch;
            float u = float(x) / float(size), v = float(y) / float(size);
            float grain = Fractal(u * 16, v * 16, 16, 61, 4);
            float streak = Fractal(u * 32, v * 2, 32, 67, 2);
            float tone = 0.85f + 0.15f * Hash01(uint32_t(course), 0, 5);
            Rgb c{0.78f * tone, 0.70f * tone, 0.55f * tone};
            c = c * (0.75f + 0.3f * grain) * (0.9f + 0.15f * streak);
            float joint = float(size) / 96.0f;
            if (ly < joint || ch - ly < joint) c = Rgb{0.35f, 0.31f, 0.26f};
            img.Set(x, y, c);
        }
    return img;
}

}  // namespace datagen

// The pictures of the screen overlays: the bitmap alphabet drawn from a free
// monospaced font, the console's background and the minimap, a top view of the
// level.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

#include "tools/datagen/datagen.h"

namespace datagen {

namespace {

// The file of the font fontconfig gives for `pattern`; empty when none. A
// configuration of its own, given back whole: the tool leaves nothing behind.
std::string FontFile(const char* pattern) {
    std::string file;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return file;
    if (FcPattern* want = FcNameParse(reinterpret_cast<const FcChar8*>(pattern))) {
        FcConfigSubstitute(config, want, FcMatchPattern);
        FcDefaultSubstitute(want);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, want, &result);
        FcChar8* path = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(want);
    }
    FcConfigDestroy(config);
    return file;
}

}  // namespace

bool AlphabetSheet(int glyphWidth, int glyphHeight, Image* out, std::string* error) {
    const std::string file = FontFile(kAlphabetFont);
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (file.empty() || FT_Init_FreeType(&library) != 0) {
        *error = std::string("no font for ") + kAlphabetFont;
        return false;
    }
    if (FT_New_Face(library, file.c_str(), 0, &face) != 0) {
        FT_Done_FreeType(library);
        *error = "cannot open the font " + file;
        return false;
    }
    // As large as lets the widest advance and the full height fit the cell.
    int pixels = glyphHeight;
    for (; pixels > 4; --pixels) {
        FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels));
        const FT_Size_Metrics& m = face->size->metrics;
        if ((m.max_advance >> 6) <= glyphWidth && ((m.ascender - m.descender) >> 6) <= glyphHeight - 2) break;
    }
    const FT_Size_Metrics& m = face->size->metrics;
    const int lineHeight = int((m.ascender - m.descender) >> 6);
    const int baseline = (glyphHeight - lineHeight) / 2 + int(m.ascender >> 6);

    Image sheet(kAlphabetColumns * glyphWidth, kAlphabetRows * glyphHeight);
    const Rgb ink{0.96f, 0.94f, 0.86f};
    for (int code = 33; code < std::min(127, 32 + kAlphabetColumns * kAlphabetRows); ++code) {  // not DEL
        if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face->glyph;
        const int cell = code - 32;
        const int cellX = (cell % kAlphabetColumns) * glyphWidth, cellY = (cell / kAlphabetColumns) * glyphHeight;
        const int penX = (glyphWidth - int(g->advance.x >> 6)) / 2 + g->bitmap_left;
        const int penY = baseline - g->bitmap_top;
        for (unsigned row = 0; row < g->bitmap.rows; ++row)
            for (unsigned col = 0; col < g->bitmap.width; ++col) {
                const int x = penX + int(col), y = penY + int(row);
                if (x < 0 || y < 0 || x >= glyphWidth || y >= glyphHeight) continue;  // never into a neighbour
                const float coverage = g->bitmap.buffer[row * unsigned(g->bitmap.pitch) + col] / 255.0f;
                if (coverage > 0) sheet.Set(cellX + x, cellY + y, ink * coverage);
            }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    *out = std::move(sheet);
    return true;
}

Image ConsoleBackground(int width, int height) {
    // Deep blue-grey, lighter towards the bottom where the input line sits,
    // with a faint texture and a bright rule along the lower edge.
    Image img(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float t = float(y) / float(height - 1);
            const float grain = 0.03f * ValueNoise(float(x) / 8, float(y) / 8, width / 8, 97);
            Rgb c = Mix(Rgb{0.04f, 0.05f, 0.09f}, Rgb{0.10f, 0.14f, 0.24f}, t) + Rgb{grain, grain, grain};
            if (y >= height - 2) c = Rgb{0.45f, 0.55f, 0.75f};
            img.Set(x, y, c);
        }
    return img;
}

Image MiniMap(const GeneratedScene& level) {
    Image img(kMiniMapWidth, kMiniMapHeight);
    const Rgb ground{0.08f, 0.10f, 0.12f}, frame{0.55f, 0.60f, 0.66f};
    const Rgb colours[] = {{0.46f, 0.44f, 0.40f}, {0.64f, 0.30f, 0.20f}, {0.82f, 0.77f, 0.62f}};
    // The highest surface over each pixel centre, from the level's triangles
    // seen from above: x to the right, z upwards, as the markers run.
    std::vector<float> top(size_t(kMiniMapWidth) * kMiniMapHeight, -1e9f);
    std::vector<int> material(top.size(), -1);
    const Mesh& mesh = level.scene.mesh;
    auto toPicture = [](Vec3 w, float* px, float* py) {
        *px = kMiniMapOriginX + w.x * kMiniMapScale;
        *py = kMiniMapOriginY - w.z * kMiniMapScale;
    };
    for (size_t f = 0; f < mesh.faces.size(); ++f) {
        Vec3 w[3];
        float px[3], py[3];
        for (int k = 0; k < 3; ++k) {
            w[k] = LevelToWorld(mesh.positions[mesh.faces[f][k]]);
            toPicture(w[k], &px[k], &py[k]);
        }
        const float area = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
        if (std::fabs(area) < 1e-6f) continue;  // a side seen edge-on
        const int x0 = std::max(0, int(std::floor(std::min({px[0], px[1], px[2]}))));
        const int x1 = std::min(kMiniMapWidth - 1, int(std::ceil(std::max({px[0], px[1], px[2]}))));
        const int y0 = std::max(0, int(std::floor(std::min({py[0], py[1], py[2]}))));
        const int y1 = std::min(kMiniMapHeight - 1, int(std::ceil(std::max({py[0], py[1], py[2]}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float cx = float(x) + 0.5f, cy = float(y) + 0.5f;
                // Barycentric weights of the pixel centre.
                const float b1 = ((cx - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (cy - py[0])) / area;
                const float b2 = ((px[1] - px[0]) * (cy - py[0]) - (cx - px[0]) * (py[1] - py[0])) / area;
                const float b0 = 1 - b1 - b2;
                if (b0 < 0 || b1 < 0 || b2 < 0) continue;
                const float height = b0 * w[0].y + b1 * w[1].y + b2 * w[2].y;
                const size_t at = size_t(y) * kMiniMapWidth + size_t(x);
                if (height > top[at]) {
                    top[at] = height;
                    material[at] = int(mesh.faceMaterials[f]);
                }
            }
    }
    for (int y = 0; y < kMiniMapHeight; ++y)
        for (int x = 0; x < kMiniMapWidth; ++x) {
            const size_t at = size_t(y) * kMiniMapWidth + size_t(x);
            Rgb c = ground;
            if (material[at] >= 0 && material[at] < 3) {
                c = colours[material[at]] * std::clamp(0.8f + 0.12f * top[at], 0.6f, 1.2f);
                // A dark edge where a higher part ends, so obstacles stand out.
                const bool edge = (x > 0 && top[at] - top[at - 1] > 0.3f) ||
                                  (x + 1 < kMiniMapWidth && top[at] - top[at + 1] > 0.3f) ||
                                  (y > 0 && top[at] - top[at - kMiniMapWidth] > 0.3f) ||
                                  (y + 1 < kMiniMapHeight && top[at] - top[at + kMiniMapWidth] > 0.3f);
                if (edge) c = c * 0.55f;
            }
            if (x == 0 || y == 0 || x == kMiniMapWidth - 1 || y == kMiniMapHeight - 1) c = frame;
            img.Set(x, y, c);
        }
    return img;
}

}  // namespace datagen

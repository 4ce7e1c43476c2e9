// Faces for the font object: which file fontconfig offers for a face name, and
// its glyphs through FreeType at the size the font was asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wintypes.h"

typedef struct _FcConfig FcConfig;

namespace d3dx9 {

struct FaceRequest {
    std::string family;  // empty: fontconfig's default face
    UINT weight = 0;     // FW_* (0: any)
    bool italic = false;
};

struct FaceMatch {
    std::string file;
    int index = 0;  // face within the file
    std::string family;
    bool boldFace = false;
    bool embolden = false;  // bold was asked for and the face found is lighter
};

// fontconfig's best match for the request in `config` (null: the machine's own
// configuration). False when fontconfig fails or has no face at all.
bool MatchFace(const FaceRequest& request, FcConfig* config, FaceMatch* out);

// A glyph rasterised into coverage bytes (0 none .. 255 full), top row first.
struct GlyphBitmap {
    int width = 0;
    int height = 0;
    int left = 0;  // from the pen position to the first column
    int top = 0;   // from the baseline up to the first row
    long advance = 0;  // pen movement in 1/64 pixel
    std::vector<uint8_t> coverage;
};

// One face of one file at one size.
class Face {
public:
    // Null when FreeType cannot read the file.
    static std::unique_ptr<Face> Open(const std::string& file, int index);
    ~Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // Height and width as the font takes them: height < 0 is the em height in
    // pixels, > 0 the cell height (ascent + descent), 0 a default; width 0 keeps
    // the face's proportions, else it is the average character width. False when
    // the size is out of range or the face cannot take it.
    bool SetSize(INT height, UINT width);

    int PixelHeight() const { return pixelHeight_; }
    int Ascent() const { return ascent_; }
    int LineHeight() const { return ascent_ + descent_; }
    bool Bold() const;

    UINT GlyphIndex(uint32_t codePoint) const;
    // Pen adjustment between two glyphs in 1/64 pixel (0 when the face has no kerning).
    long Kerning(UINT left, UINT right) const;
    // False when the glyph cannot be loaded or rendered.
    bool Render(UINT glyph, bool embolden, bool antialiased, GlyphBitmap* out) const;

private:
    struct Handles;
    explicit Face(std::unique_ptr<Handles> handles);

    std::unique_ptr<Handles> h_;
    bool kerning_ = false;
    int pixelHeight_ = 0;
    int ascent_ = 0;
    int descent_ = 0;
};

}  // namespace d3dx9

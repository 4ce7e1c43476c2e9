#include "font_face.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>

namespace d3dx9 {

namespace {

// Larger ems would make glyphs no atlas page can hold.
constexpr int64_t kMaxEmPixels = 1024;
// What a height of 0 asks for: 12 points at 96 dpi.
constexpr int64_t kDefaultEmPixels = 16;
constexpr UINT kBoldFrom = 600;  // FW_SEMIBOLD

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

int64_t RoundDiv(int64_t a, int64_t b) { return (a + b / 2) / b; }

// 26.6 to whole pixels, rounding up (towards +infinity).
int CeilPixels(FT_Pos v) { return static_cast<int>(v >= 0 ? (v + 63) / 64 : -((-v) / 64)); }

// The Windows faces programs ask for that no Linux machine has, and the
// freely licensed faces that stand in for them, best first: a casual
// hand-lettered face, then a condensed one narrow enough for the same texts.
// Bound as strongly as the family asked for, so a real copy of the face
// still wins, and fontconfig's own defaults follow when none is installed.
constexpr char kStandIns[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <alias binding="same">
    <family>Viner Hand ITC</family>
    <accept><family>Comic Neue</family><family>DejaVu Sans Condensed</family></accept>
  </alias>
</fontconfig>
)";

// A configuration of the process's own that holds only the stand-in rules;
// the machine's configuration is neither read for them nor written to.
// Immortal, as fonts may be made during static destruction.
FcConfig* StandIns() {
    static FcConfig* config = [] {
        FcConfig* c = FcConfigCreate();
        if (c && !FcConfigParseAndLoadFromMemory(c, reinterpret_cast<const FcChar8*>(kStandIns), FcFalse)) {
            FcConfigDestroy(c);
            c = nullptr;
        }
        return c;
    }();
    return config;
}

}  // namespace

bool MatchFace(const FaceRequest& request, FcConfig* config, FaceMatch* out) {
    if (!config && !FcInit()) return false;
    Pattern pattern(FcPatternCreate());
    if (!pattern) return false;
    if (!request.family.empty())
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(request.family.c_str()));
    if (request.weight != 0)
        FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                            FcWeightFromOpenType(static_cast<int>(std::min<UINT>(request.weight, 1000))));
    FcPatternAddInteger(pattern.get(), FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (FcConfig* standIns = StandIns()) FcConfigSubstitute(standIns, pattern.get(), FcMatchPattern);
    if (!FcConfigSubstitute(config, pattern.get(), FcMatchPattern)) return false;
    FcDefaultSubstitute(pattern.get());

    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(config, pattern.get(), &result));
    if (!match) return false;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || !file || !*file) return false;

    FaceMatch m;
    m.file = reinterpret_cast<const char*>(file);
    int index = 0;
    if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) == FcResultMatch) m.index = index;
    FcChar8* family = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) == FcResultMatch && family)
        m.family = reinterpret_cast<const char*>(family);
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match.get(), FC_WEIGHT, 0, &weight);
    m.boldFace = weight >= FC_WEIGHT_DEMIBOLD;
    FcBool embolden = FcFalse;
    FcPatternGetBool(match.get(), FC_EMBOLDEN, 0, &embolden);
    m.embolden = request.weight >= kBoldFrom && (!m.boldFace || embolden);
    *out = std::move(m);
    return true;
}

struct Face::Handles {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Handles() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

Face::Face(std::unique_ptr<Handles> handles) : h_(std::move(handles)) { kerning_ = FT_HAS_KERNING(h_->face); }

Face::~Face() = default;

std::unique_ptr<Face> Face::Open(const std::string& file, int index) {
    auto h = std::make_unique<Handles>();
    if (FT_Init_FreeType(&h->library) != 0) return nullptr;
    if (FT_New_Face(h->library, file.c_str(), index, &h->face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(h->face)) return nullptr;
    // Windows-1252 texts are looked up by Unicode code point.
    if (FT_Select_Charmap(h->face, FT_ENCODING_UNICODE) != 0) return nullptr;
    return std::unique_ptr<Face>(new Face(std::move(h)));
}

bool Face::SetSize(INT height, UINT width) {
    FT_Face face = h_->face;
    const int64_t units = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));

    int64_t em;
    if (height < 0) {
        em = -static_cast<int64_t>(height);
    } else if (height == 0) {
        em = kDefaultEmPixels;
    } else {
        // The cell the platform sizes by: its ascent and descent lines.
        int64_t cell = os2 && os2->version != 0xFFFF ? int64_t(os2->usWinAscent) + os2->usWinDescent
                                                     : int64_t(face->ascender) - face->descender;
        if (cell <= 0) cell = units;
        em = RoundDiv(int64_t(height) * units, cell);
    }
    em = std::max<int64_t>(em, 1);
    if (em > kMaxEmPixels) return false;

    int64_t emX = em;
    if (width != 0) {
        const int64_t average = os2 && os2->version != 0xFFFF ? os2->xAvgCharWidth : 0;
        emX = average > 0 ? RoundDiv(int64_t(width) * units, average) : int64_t(width) * 2;
        emX = std::max<int64_t>(emX, 1);
        if (emX > kMaxEmPixels) return false;
    }
    if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(emX), static_cast<FT_UInt>(em)) != 0) return false;

    pixelHeight_ = static_cast<int>(em);
    if (os2 && os2->version != 0xFFFF && int64_t(os2->usWinAscent) + os2->usWinDescent > 0) {
        // The platform's cell: its ascent and descent lines, as the height was sized by.
        ascent_ = static_cast<int>((int64_t(os2->usWinAscent) * em + units - 1) / units);
        descent_ = static_cast<int>((int64_t(os2->usWinDescent) * em + units - 1) / units);
    } else {
        ascent_ = CeilPixels(face->size->metrics.ascender);
        descent_ = CeilPixels(-face->size->metrics.descender);
    }
    if (ascent_ + descent_ <= 0) {
        ascent_ = pixelHeight_;
        descent_ = 0;
    }
    return true;
}

bool Face::Bold() const { return (h_->face->style_flags & FT_STYLE_FLAG_BOLD) != 0; }

UINT Face::GlyphIndex(uint32_t codePoint) const { return FT_Get_Char_Index(h_->face, codePoint); }

long Face::Kerning(UINT left, UINT right) const {
    if (!kerning_ || left == 0 || right == 0) return 0;
    FT_Vector delta{0, 0};
    if (FT_Get_Kerning(h_->face, left, right, FT_KERNING_DEFAULT, &delta) != 0) return 0;
    return delta.x;
}

bool Face::Render(UINT glyph, bool embolden, bool antialiased, GlyphBitmap* out) const {
    FT_Face face = h_->face;
    const FT_Int32 target = antialiased ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP | target) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    if (embolden) FT_GlyphSlot_Embolden(slot);
    if (slot->format != FT_GLYPH_FORMAT_BITMAP &&
        FT_Render_Glyph(slot, antialiased ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
        return false;

    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO &&
        bitmap.rows != 0 && bitmap.width != 0)
        return false;
    const int w = static_cast<int>(bitmap.width);
    const int h = static_cast<int>(bitmap.rows);
    out->width = w;
    out->height = h;
    out->left = slot->bitmap_left;
    out->top = slot->bitmap_top;
    out->advance = slot->advance.x;
    out->coverage.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    const int pitch = bitmap.pitch;
    const int levels = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
    for (int y = 0; y < h; ++y) {
        // A negative pitch stores the rows bottom up.
        const unsigned char* row =
            bitmap.buffer + (pitch >= 0 ? static_cast<ptrdiff_t>(y) * pitch : static_cast<ptrdiff_t>(h - 1 - y) * -pitch);
        uint8_t* dst = &out->coverage[static_cast<size_t>(y) * static_cast<size_t>(w)];
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (int x = 0; x < w; ++x) dst[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        } else if (levels == 255) {
            std::memcpy(dst, row, static_cast<size_t>(w));
        } else {
            for (int x = 0; x < w; ++x) dst[x] = static_cast<uint8_t>(std::min(255, row[x] * 255 / levels));
        }
    }
    return true;
}

}  // namespace d3dx9

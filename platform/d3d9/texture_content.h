// A texture made with the pixels of another texture of its device, without
// those pixels passing through the caller: D3DX makes a second texture from a
// file it decoded once this way.
#pragma once

#include <cstdint>

#include "d3d9.h"

namespace d3d9 {

// The texture's identity and the version of its pixels, which changes with
// every write; false for a texture of no device of this layer.
bool TextureContent(IDirect3DTexture9* texture, unsigned* serial, uint64_t* version);

// `to` takes the pixels of texture `serial` of the same device, if that one
// still exists, is alike (size, format, levels) and still holds its pixels of
// `version`; false, with nothing changed, otherwise.
bool CopyTextureContent(IDirect3DTexture9* to, unsigned serial, uint64_t version);

}  // namespace d3d9

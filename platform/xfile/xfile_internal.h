// What the rest of the layer may ask of the reader beyond its published interface.
#pragma once

#include "dxfile.h"

namespace layer {

// A new handle on the same data object with its own child cursor at the first child,
// so a walk by the layer leaves the caller's cursor where it was. E_INVALIDARG for
// an object that is not the reader's own.
HRESULT FreshDataHandle(IDirectXFileData* object, IDirectXFileData** out);

}  // namespace layer

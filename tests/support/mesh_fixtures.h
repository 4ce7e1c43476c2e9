// Small X files written as text for the mesh tests, and the reader and device
// set-up they need.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/xfile/dxfile.h"
#include "tests/support/xfile_fixtures.h"

namespace mesh_fixtures {

using xfile_fixtures::Ptr;

// "xof 0303txt 0032", the skin templates, then `body`.
std::string TextFile(const std::string& body);

// The Mesh data objects of a file in file order: top-level ones and those in
// frames at any depth (references not followed). Empty when the file fails.
struct XMeshes {
    HRESULT hr = E_FAIL;
    std::vector<Ptr<IDirectXFileData>> meshes;
};
XMeshes ReadMeshes(const std::string& fileBytes);

// A device on the null back end, without a window.
IDirect3DDevice9* NullDevice();

}  // namespace mesh_fixtures

#include "mesh_fixtures.h"

#include "device_fixtures.h"
#include "tools/xsamples/xsamples.h"

namespace mesh_fixtures {

std::string TextFile(const std::string& body) {
    return std::string("xof 0303txt 0032\n") + xsamples::kSkinTemplates + body;
}

namespace {

bool IsType(IDirectXFileData* d, const GUID& g) {
    const GUID* t = nullptr;
    return SUCCEEDED(d->GetType(&t)) && t && IsEqualGUID(*t, g);
}

void Collect(Ptr<IDirectXFileData> object, std::vector<Ptr<IDirectXFileData>>& out) {
    if (IsType(object.get(), TID_D3DRMMesh)) {
        out.push_back(std::move(object));
        return;
    }
    if (!IsType(object.get(), TID_D3DRMFrame)) return;
    IDirectXFileObject* child = nullptr;
    while (SUCCEEDED(object->GetNextObject(&child))) {
        IDirectXFileData* data = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data))))
            Collect(Ptr<IDirectXFileData>(data), out);
        child->Release();
    }
}

}  // namespace

XMeshes ReadMeshes(const std::string& fileBytes) {
    XMeshes result;
    IDirectXFile* file = nullptr;
    if (FAILED(result.hr = DirectXFileCreate(&file))) return result;
    Ptr<IDirectXFile> holder(file);
    if (FAILED(result.hr = file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) return result;
    DXFILELOADMEMORY memory = {const_cast<char*>(fileBytes.data()), static_cast<DWORD>(fileBytes.size())};
    IDirectXFileEnumObject* objects = nullptr;
    if (FAILED(result.hr = file->CreateEnumObject(&memory, DXFILELOAD_FROMMEMORY, &objects))) return result;
    Ptr<IDirectXFileEnumObject> objectsHolder(objects);
    IDirectXFileData* object = nullptr;
    while (SUCCEEDED(objects->GetNextDataObject(&object))) Collect(Ptr<IDirectXFileData>(object), result.meshes);
    return result;
}

IDirect3DDevice9* NullDevice() { return device_fixtures::NullDevice(64, 64); }

}  // namespace mesh_fixtures

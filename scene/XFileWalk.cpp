#include "scene/XFileWalk.h"

#include <cstring>
#include <new>

HRESULT RegisterXFileTemplates(IDirectXFile* file) {
    HRESULT hr = file->RegisterTemplates((LPVOID)D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    if (FAILED(hr)) return hr;
    return file->RegisterTemplates((LPVOID)D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES);
}

LPSTR CopyXFileObjectName(IDirectXFileObject* object) {
    if (!object) return NULL;
    DWORD length = 0;
    if (FAILED(object->GetName(NULL, &length)) || length == 0) return NULL;
    // Zero-filled, so a read that fails cannot leave garbage for a name.
    LPSTR name = new (std::nothrow) char[length]();
    if (!name) return NULL;
    DWORD size = length;
    if (FAILED(object->GetName(name, &size))) {
        delete[] name;
        return NULL;
    }
    name[length - 1] = '\0';
    return name;
}

XFileWalkGuard::XFileWalkGuard() : referenceWalks_(0) {}

bool XFileWalkGuard::Key::operator==(const Key& o) const {
    return type == o.type && data == o.data && size == o.size && std::memcmp(&id, &o.id, sizeof id) == 0 &&
           name == o.name;
}

XFileWalkGuard::Key XFileWalkGuard::KeyOf(IDirectXFileData* object) {
    Key key;
    key.type = NULL;
    key.id = GUID();
    key.data = NULL;
    key.size = 0;
    if (FAILED(object->GetType(&key.type))) key.type = NULL;
    if (LPSTR name = CopyXFileObjectName(object)) {
        key.name = name;
        delete[] name;
    }
    object->GetId(&key.id);
    void* data = NULL;
    if (SUCCEEDED(object->GetData(NULL, &key.size, &data))) key.data = data;
    return key;
}

void XFileWalkGuard::Enter(IDirectXFileData* object, bool throughReference) {
    if (throughReference) ++referenceWalks_;
    path_.push_back(object ? KeyOf(object) : Key());
}

void XFileWalkGuard::Leave() {
    if (!path_.empty()) path_.pop_back();
}

bool XFileWalkGuard::MayFollow(IDirectXFileData* target, DWORD depth) const {
    if (!target || depth > kMaxDepth || referenceWalks_ >= kMaxReferenceWalks) return false;
    const Key key = KeyOf(target);
    for (const Key& k : path_)
        if (k == key) return false;
    return true;
}

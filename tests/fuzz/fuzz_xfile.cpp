// libFuzzer target of the X-file reader: loads the input from memory, walks
// every object (type, name, data, children, references), then tries the same
// bytes as a template block.
#include <cstdint>
#include <string>

#include "platform/xfile/dxfile.h"
#include "platform/xfile/testing_xfile.h"

namespace {

int g_budget;  // objects a single input may make us visit (references fan out)
volatile uint8_t g_sink;

void Walk(IDirectXFileData* d, int depth) {
    if (--g_budget < 0 || depth > 64) return;
    const GUID* type = nullptr;
    if (SUCCEEDED(d->GetType(&type))) g_sink = static_cast<uint8_t>(g_sink ^ type->Data4[7]);
    DWORD len = 0;
    if (SUCCEEDED(d->GetName(nullptr, &len)) && len > 0) {
        std::string name(len, '\0');
        d->GetName(&name[0], &len);
    }
    GUID id;
    d->GetId(&id);
    DWORD size = 0;
    void* data = nullptr;
    if (SUCCEEDED(d->GetData(nullptr, &size, &data)) && data)
        for (DWORD i = 0; i < size; ++i) g_sink = static_cast<uint8_t>(g_sink ^ static_cast<const uint8_t*>(data)[i]);
    IDirectXFileObject* child = nullptr;
    while (SUCCEEDED(d->GetNextObject(&child))) {
        void* p = nullptr;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, &p))) {
            auto* ref = static_cast<IDirectXFileDataReference*>(p);
            IDirectXFileData* target = nullptr;
            if (SUCCEEDED(ref->Resolve(&target))) {
                Walk(target, depth + 1);
                target->Release();
            }
            ref->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, &p))) {
            Walk(static_cast<IDirectXFileData*>(p), depth + 1);
            static_cast<IDirectXFileData*>(p)->Release();
        }
        child->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static IDirectXFile* file = [] {
        platform_testing::XFileQuietReports(true);
        IDirectXFile* f = nullptr;
        DirectXFileCreate(&f);
        f->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
        f->RegisterTemplates(D3DX9_XTEMPLATES, D3DX9_XTEMPLATE_BYTES);
        return f;
    }();
    DXFILELOADMEMORY mem = {const_cast<uint8_t*>(bytes), static_cast<DWORD>(size)};
    IDirectXFileEnumObject* e = nullptr;
    if (SUCCEEDED(file->CreateEnumObject(&mem, DXFILELOAD_FROMMEMORY, &e))) {
        g_budget = 20000;
        IDirectXFileData* d = nullptr;
        while (SUCCEEDED(e->GetNextDataObject(&d))) {
            Walk(d, 0);
            d->Release();
        }
        e->Release();
    }
    IDirectXFile* other = nullptr;
    DirectXFileCreate(&other);
    other->RegisterTemplates(bytes, static_cast<DWORD>(size));
    other->Release();
    return 0;
}

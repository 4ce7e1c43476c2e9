// The reader service's objects over a parsed Document. Every handle holds the
// document, so data pointers stay valid while any handle lives; each handle
// walks its children with a cursor of its own.
#include "dxfile.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "com_object.h"
#include "load_cache.h"
#include "paths.h"
#include "report.h"
#include "testing_xfile.h"
#include "xdocument.h"
#include "xfile_internal.h"

namespace xfile {
namespace {

using layer::ObjectFamily;
using layer::RefCounted;
using DocPtr = std::shared_ptr<const Document>;

std::string& LastError() {
    static std::string* last = new std::string;  // immortal: used at exit
    return *last;
}

bool g_quiet = false;

// Files parsed in the current load, by the template blocks they were parsed with.
layer::LoadCache<Document>& Parsed() {
    static auto* cache = new layer::LoadCache<Document>;  // immortal: used at exit
    return *cache;
}

unsigned& FilesParsed() {
    static unsigned parsed = 0;
    return parsed;
}

// What is wrong with a file or with something in it.
void Warn(const std::string& message) {
    if (!g_quiet) layer::ReportOnce("X file: " + message);
}

// Why a file or a template block was refused.
void Report(const std::string& message) {
    LastError() = message;
    Warn(message);
}

std::string Describe(const Node& node) {
    std::string text = node.type ? node.type->name : "object";
    if (!node.name.empty()) text += " '" + node.name + "'";
    return text;
}

std::string Describe(const Reference& r) {
    if (!r.name.empty()) return "{ " + r.name + " }";
    char text[40];
    const GUID& g = r.guid;
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return std::string("{ <") + text + "> }";
}

HRESULT CopyName(const std::string& name, LPSTR buf, LPDWORD len) {
    if (!len) return DXFILEERR_BADVALUE;
    if (name.empty()) {
        if (buf && *len > 0) buf[0] = '\0';
        *len = 0;
        return DXFILE_OK;
    }
    DWORD need = static_cast<DWORD>(name.size() + 1);
    if (!buf) {
        *len = need;
        return DXFILE_OK;
    }
    if (*len < need) {
        *len = need;
        return DXFILEERR_BADVALUE;
    }
    std::memcpy(buf, name.c_str(), need);
    *len = need;
    return DXFILE_OK;
}

class DataObject final : public RefCounted<IDirectXFileData, ObjectFamily::XFile> {
public:
    DataObject(DocPtr doc, const Node* node) : doc_(std::move(doc)), node_(node) {}

    HRESULT GetName(LPSTR buf, LPDWORD len) override { return CopyName(node_->name, buf, len); }

    HRESULT GetId(LPGUID guid) override {
        if (!guid) return DXFILEERR_BADVALUE;
        *guid = node_->hasId ? node_->id : GUID{};
        return DXFILE_OK;
    }

    HRESULT GetData(LPCSTR member, DWORD* size, void** data) override {
        if (!size || !data) return DXFILEERR_BADVALUE;
        const std::vector<uint8_t>& bytes = node_->data;
        uint8_t* base = bytes.empty() ? nullptr : const_cast<uint8_t*>(bytes.data());
        if (!member) {
            *size = static_cast<DWORD>(bytes.size());
            *data = base;
            return DXFILE_OK;
        }
        const auto& members = node_->type->members;
        for (size_t k = 0; k < members.size(); ++k) {
            if (members[k].name != member) continue;
            uint32_t from = node_->memberOffsets[k];
            *size = node_->memberOffsets[k + 1] - from;
            *data = base ? base + from : nullptr;
            return DXFILE_OK;
        }
        *size = 0;
        *data = nullptr;
        return DXFILEERR_NOTFOUND;
    }

    HRESULT GetType(const GUID** guid) override {
        if (!guid) return DXFILEERR_BADVALUE;
        *guid = &node_->type->guid;
        return DXFILE_OK;
    }

    HRESULT GetNextObject(LPDIRECTXFILEOBJECT* out) override;

    DataObject* Fresh() const { return new DataObject(doc_, node_); }
    const Document& Doc() const { return *doc_; }
    const Node& Of() const { return *node_; }

protected:
    bool Implements(REFIID riid) const override {
        return riid == IID_IDirectXFileData || riid == IID_IDirectXFileObject;
    }

private:
    DocPtr doc_;
    const Node* node_;
    size_t nextChild_ = 0;
};

class ReferenceObject final : public RefCounted<IDirectXFileDataReference, ObjectFamily::XFile> {
public:
    ReferenceObject(DocPtr doc, const Reference* ref, const Node* holder)
        : doc_(std::move(doc)), ref_(ref), holder_(holder) {}

    HRESULT GetName(LPSTR buf, LPDWORD len) override { return CopyName(ref_->name, buf, len); }

    HRESULT GetId(LPGUID guid) override {
        if (!guid) return DXFILEERR_BADVALUE;
        *guid = ref_->hasGuid ? ref_->guid : GUID{};
        return DXFILE_OK;
    }

    HRESULT Resolve(LPDIRECTXFILEDATA* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        const Node* target = doc_->Resolve(*ref_);
        if (!target) {
            // Whoever walks the file skips it; the user should know why.
            Warn(doc_->origin + ": " + Describe(*holder_) + ": reference " + Describe(*ref_) +
                 " names no object; skipped");
            return DXFILEERR_NOTFOUND;
        }
        *out = new DataObject(doc_, target);
        return DXFILE_OK;
    }

protected:
    // Only its own kind: the program tells references from data this way.
    bool Implements(REFIID riid) const override {
        return riid == IID_IDirectXFileDataReference || riid == IID_IDirectXFileObject;
    }

private:
    DocPtr doc_;
    const Reference* ref_;
    const Node* holder_;  // the object the reference stands in
};

HRESULT DataObject::GetNextObject(LPDIRECTXFILEOBJECT* out) {
    if (!out) return DXFILEERR_BADVALUE;
    *out = nullptr;
    if (nextChild_ >= node_->children.size()) return DXFILEERR_NOMOREOBJECTS;
    const Child& c = node_->children[nextChild_++];
    if (c.isReference)
        *out = new ReferenceObject(doc_, &doc_->references[c.index], node_);
    else
        *out = new DataObject(doc_, &doc_->nodes[c.index]);
    return DXFILE_OK;
}

class EnumObject final : public RefCounted<IDirectXFileEnumObject, ObjectFamily::XFile> {
public:
    explicit EnumObject(DocPtr doc) : doc_(std::move(doc)) {}

    HRESULT GetNextDataObject(LPDIRECTXFILEDATA* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        if (next_ >= doc_->top.size()) return DXFILEERR_NOMOREOBJECTS;
        *out = new DataObject(doc_, &doc_->nodes[doc_->top[next_++]]);
        return DXFILE_OK;
    }

protected:
    bool Implements(REFIID riid) const override { return riid == IID_IDirectXFileEnumObject; }

private:
    DocPtr doc_;
    size_t next_ = 0;
};

class FileObject final : public RefCounted<IDirectXFile, ObjectFamily::XFile> {
public:
    HRESULT CreateEnumObject(LPCVOID source, DXFILELOADOPTIONS options, LPDIRECTXFILEENUMOBJECT* out) override {
        if (!out) return DXFILEERR_BADVALUE;
        *out = nullptr;
        std::vector<uint8_t> file;
        const uint8_t* bytes = nullptr;
        size_t size = 0;
        std::string origin;
        layer::FileStamp stamp;
        if (options == DXFILELOAD_FROMFILE) {
            if (!source) return DXFILEERR_BADVALUE;
            origin = static_cast<const char*>(source);
            // A file read in this load with the same templates is parsed already.
            if (layer::StampFile(origin.c_str(), &stamp)) {
                if (DocPtr doc = Parsed().Find(stamp, registered_)) {
                    LastError().clear();
                    *out = new EnumObject(std::move(doc));
                    return DXFILE_OK;
                }
            }
            // The program names its files by Windows paths.
            if (!layer::ReadWholeFile(origin.c_str(), file)) {
                Report(origin + ": cannot open the file");
                return DXFILEERR_FILENOTFOUND;
            }
            bytes = file.data();
            size = file.size();
        } else if (options == DXFILELOAD_FROMMEMORY) {
            const auto* mem = static_cast<const DXFILELOADMEMORY*>(source);
            if (!mem || (!mem->lpMemory && mem->dSize)) return DXFILEERR_BADVALUE;
            origin = "(memory)";
            bytes = static_cast<const uint8_t*>(mem->lpMemory);
            size = mem->dSize;
        } else {
            return DXFILEERR_BADVALUE;
        }
        auto doc = std::make_shared<Document>();
        doc->origin = origin;
        ParseResult r = Parse(bytes, size, *templates_, ParseMode::Data, *doc);
        if (FAILED(r.hr)) {
            Report(origin + ": " + r.message);
            return r.hr;
        }
        LastError().clear();
        if (options == DXFILELOAD_FROMFILE) {
            ++FilesParsed();
            Parsed().Keep(stamp, registered_, doc);
        }
        *out = new EnumObject(std::move(doc));
        return DXFILE_OK;
    }

    HRESULT RegisterTemplates(LPCVOID data, DWORD size) override {
        if (!data) return DXFILEERR_BADVALUE;
        Document doc;
        ParseResult r = Parse(static_cast<const uint8_t*>(data), size, *templates_, ParseMode::TemplatesOnly, doc);
        if (FAILED(r.hr)) {
            Report("template block: " + r.message);
            return r.hr;
        }
        LastError().clear();
        templates_ = std::make_shared<const TemplateSet>(std::move(doc.templates));
        // What the templates were made from decides what a file parses to.
        registered_ += std::to_string(size) + ':';
        registered_.append(static_cast<const char*>(data), size);
        return DXFILE_OK;
    }

protected:
    bool Implements(REFIID riid) const override { return riid == IID_IDirectXFile; }

private:
    std::shared_ptr<const TemplateSet> templates_ = std::make_shared<const TemplateSet>();
    std::string registered_;  // every block registered, in order
};

}  // namespace
}  // namespace xfile

HRESULT layer::FreshDataHandle(IDirectXFileData* object, IDirectXFileData** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* ours = dynamic_cast<xfile::DataObject*>(object);
    if (!ours) return E_INVALIDARG;
    *out = ours->Fresh();
    return S_OK;
}

void layer::ReportXFileProblem(IDirectXFileData* object, const std::string& what) {
    auto* ours = dynamic_cast<xfile::DataObject*>(object);
    ReportXFileProblem(ours ? ours->Doc().origin : std::string("(unknown)"), what);
}

void layer::ReportXFileProblem(const std::string& fileName, const std::string& what) {
    xfile::Warn(fileName + ": " + what);
}

std::string layer::DescribeXFileObject(IDirectXFileData* object) {
    auto* ours = dynamic_cast<xfile::DataObject*>(object);
    return ours ? xfile::Describe(ours->Of()) : std::string();
}

HRESULT WINAPI DirectXFileCreate(LPDIRECTXFILE* out) {
    if (!out) return DXFILEERR_BADVALUE;
    *out = new xfile::FileObject;
    return DXFILE_OK;
}

namespace platform_testing {

std::string XFileLastError() { return xfile::LastError(); }

void XFileQuietReports(bool quiet) { xfile::g_quiet = quiet; }

unsigned XFileFilesParsed() { return xfile::FilesParsed(); }

}  // namespace platform_testing

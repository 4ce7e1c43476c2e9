#include "xdocument.h"

#include <cctype>

namespace xfile {
namespace {

std::string Fold(const std::string& s) {
    std::string f = s;
    for (char& c : f) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return f;
}

std::string GuidKey(const GUID& g) { return std::string(reinterpret_cast<const char*>(&g), sizeof g); }

}  // namespace

std::shared_ptr<const Template> TemplateSet::Find(const std::string& name) const {
    auto it = byName_.find(name);
    if (it != byName_.end()) return it->second;
    auto folded = byFolded_.find(Fold(name));
    return folded == byFolded_.end() ? nullptr : folded->second;
}

void TemplateSet::Add(std::shared_ptr<const Template> t) {
    auto it = byName_.find(t->name);
    if (it != byName_.end()) {
        for (auto& o : order_)
            if (o == it->second) o = t;
    } else {
        order_.push_back(t);
    }
    byFolded_[Fold(t->name)] = t;
    byName_[t->name] = std::move(t);
}

void Document::Index() {
    byName_.clear();
    byGuid_.clear();
    for (uint32_t i = 0; i < nodes.size(); ++i) {
        // emplace keeps the first in file order
        if (!nodes[i].name.empty()) byName_.emplace(nodes[i].name, i);
        if (nodes[i].hasId) byGuid_.emplace(GuidKey(nodes[i].id), i);
    }
}

const Node* Document::Resolve(const Reference& r) const {
    if (!r.name.empty()) {
        auto it = byName_.find(r.name);
        if (it != byName_.end()) return &nodes[it->second];
    }
    if (r.hasGuid) {
        auto it = byGuid_.find(GuidKey(r.guid));
        if (it != byGuid_.end()) return &nodes[it->second];
    }
    return nullptr;
}

}  // namespace xfile

// What the tests that read X files back share: the reader's objects held so
// that they are released, and an object's name.
#pragma once

#include <memory>
#include <string>

#include "platform/xfile/dxfile.h"

namespace xfile_fixtures {

template <class T>
struct Releaser {
    void operator()(T* p) const {
        if (p) p->Release();
    }
};
// Any COM object, released instead of deleted.
template <class T>
using Ptr = std::unique_ptr<T, Releaser<T>>;

// The name of a data object or a reference; "" when it has none.
inline std::string NameOf(IDirectXFileObject* o) {
    DWORD len = 0;
    if (FAILED(o->GetName(nullptr, &len)) || len == 0) return "";
    std::string s(len, '\0');
    o->GetName(&s[0], &len);
    s.resize(len - 1);
    return s;
}

}  // namespace xfile_fixtures

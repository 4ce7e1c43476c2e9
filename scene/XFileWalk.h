// Helpers shared by the readers of X-file data objects (the hierarchy loader
// and the animation parser): the templates they know, the name copy and the
// guard that keeps their child walks finite.
#pragma once

#include <dxfile.h>

#include <string>
#include <vector>

// Makes the standard templates known to the reader, and after them the
// DirectX 9 additions that files written for it use without declaring them
// (a file that declares them itself replaces them). Its first failure.
HRESULT RegisterXFileTemplates(IDirectXFile* file);

// A new heap copy (delete[]) of the object's name; null when the object is
// null, has no name or the name cannot be had.
LPSTR CopyXFileObjectName(IDirectXFileObject* object);

// Each resolved reference walks its target again, with everything below it.
// A file whose references lead back into the walk path, nest very deep or
// multiply very many times would never finish: such references are skipped.
class XFileWalkGuard {
public:
    XFileWalkGuard();

    // Around the handling of every data object (reached through a reference
    // or not), in walk order.
    void Enter(IDirectXFileData* object, bool throughReference);
    void Leave();

    // Whether the object a reference resolved to, met at `depth`, is walked.
    bool MayFollow(IDirectXFileData* target, DWORD depth) const;

    // References beyond this nesting depth are not followed.
    static const DWORD kMaxDepth = 512;
    // Objects walked through references in one load; beyond it no more
    // references are followed.
    static const unsigned long kMaxReferenceWalks = 1ul << 20;

private:
    // What tells data objects apart across fresh handles.
    struct Key {
        const GUID* type;
        std::string name;
        GUID id;
        const void* data;
        DWORD size;
        bool operator==(const Key& o) const;
    };
    static Key KeyOf(IDirectXFileData* object);

    std::vector<Key> path_;
    unsigned long referenceWalks_;
};

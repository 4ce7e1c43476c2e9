#include "scene/Animation.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "scene/HierarchyFrame.h"

namespace {

bool IsTemplate(const GUID* type, const GUID& wanted) { return type && IsEqualGUID(*type, wanted); }

DWORD ReadDword(const BYTE* at) {
    DWORD v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

float ReadFloat(const BYTE* at) {
    float v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

enum KeyType : DWORD { kRotation = 0, kScale = 1, kPosition = 2, kMatrix = 4 };

// Values each key of a type carries, and so its size in the data: time,
// value count, then the values.
DWORD ValuesOf(DWORD keyType) {
    switch (keyType) {
        case kRotation: return 4;
        case kScale: return 3;
        case kPosition: return 3;
        case kMatrix: return 16;
        default: return 0;
    }
}

// Frees `keys` and puts a new array of `count` records in its place, or
// leaves both as they are when none can be had.
template <class Key>
bool ReplaceKeys(Key** keys, DWORD* keyCount, DWORD count) {
    Key* fresh = new (std::nothrow) Key[count];
    if (!fresh) return false;
    delete[] *keys;
    *keys = fresh;
    *keyCount = count;
    return true;
}

}  // namespace

Animation::Animation()
    : frameName(NULL),
      frame(NULL),
      next(NULL),
      positionKeyCount(0),
      positionKeys(NULL),
      scaleKeyCount(0),
      scaleKeys(NULL),
      rotationKeyCount(0),
      rotationKeys(NULL),
      matrixKeyCount(0),
      matrixKeys(NULL) {}

void Animation::Destroy() {
    delete[] frameName;
    frameName = NULL;
    // Along the links rather than down them: a long list must not run the stack out.
    Animation* rest = next;
    next = NULL;
    while (rest) {
        Animation* after = rest->next;
        rest->next = NULL;
        rest->Destroy();
        delete rest;
        rest = after;
    }
    delete[] positionKeys;
    positionKeys = NULL;
    delete[] scaleKeys;
    scaleKeys = NULL;
    delete[] rotationKeys;
    rotationKeys = NULL;
    delete[] matrixKeys;
    matrixKeys = NULL;
}

AnimationSet::AnimationSet() : name(NULL), length(0), next(NULL), animationCount(0), firstAnimation(NULL) {}

void AnimationSet::Destroy() {
    delete[] name;
    name = NULL;
    AnimationSet* rest = next;
    next = NULL;
    while (rest) {
        AnimationSet* after = rest->next;
        rest->next = NULL;
        rest->Destroy();
        delete rest;
        rest = after;
    }
    if (firstAnimation) {
        firstAnimation->Destroy();
        delete firstAnimation;
        firstAnimation = NULL;
    }
}

AnimationCollection::AnimationCollection() : setCount(0), firstSet(NULL) {}

AnimationCollection::~AnimationCollection() { Clear(); }

int AnimationCollection::Load(LPCSTR fileName) {
    Clear();
    return ParseFile(fileName, NULL);
}

void AnimationCollection::Clear() {
    setCount = 0;
    if (firstSet) {
        firstSet->Destroy();
        delete firstSet;
        firstSet = NULL;
    }
}

void AnimationCollection::BindToFrames(HierarchyFrame* root) {
    for (AnimationSet* set = firstSet; set; set = set->next) {
        for (Animation* a = set->firstAnimation; a; a = a->next) {
            HierarchyFrame* found = NULL;
            if (root) {
                if (root->Name && a->frameName && std::strcmp(root->Name, a->frameName) == 0) {
                    found = root;
                } else {
                    if (root->pFrameSibling) found = root->pFrameSibling->FindFrameByName(a->frameName);
                    if (!found && root->pFrameFirstChild) found = root->pFrameFirstChild->FindFrameByName(a->frameName);
                }
            }
            a->frame = found;
        }
    }
}

int AnimationCollection::ParseFile(LPCSTR fileName, void* context) {
    if (!fileName) return 0;
    IDirectXFile* file = NULL;
    if (FAILED(DirectXFileCreate(&file)) || !file) return 0;
    if (FAILED(RegisterXFileTemplates(file))) {
        file->Release();
        return 0;
    }
    IDirectXFileEnumObject* objects = NULL;
    if (FAILED(file->CreateEnumObject((LPVOID)fileName, DXFILELOAD_FROMFILE, &objects)) || !objects) {
        file->Release();
        return 0;
    }
    walkGuard_ = XFileWalkGuard();
    if (BeginParse(context) == 1) {
        IDirectXFileData* object = NULL;
        while (SUCCEEDED(objects->GetNextDataObject(&object)) && object) {
            walkGuard_.Enter(object, false);
            const int result = ParseObject(object, NULL, 0, context, 0);
            walkGuard_.Leave();
            object->Release();
            object = NULL;
            if (result == 0) break;
        }
    }
    EndParse(context);
    objects->Release();
    file->Release();
    return 1;
}

int AnimationCollection::BeginParse(void* /*context*/) { return 1; }

int AnimationCollection::EndParse(void* /*context*/) { return 1; }

int AnimationCollection::ParseObject(IDirectXFileData* object, IDirectXFileData* parent, DWORD depth,
                                     void* context, int isReference) {
    const GUID* type = GetObjectType(object);

    if (IsTemplate(type, TID_D3DRMAnimationSet)) {
        AnimationSet* set = new (std::nothrow) AnimationSet();
        if (set) {
            set->next = firstSet;
            firstSet = set;
            ++setCount;
            set->name = GetObjectName(object);
        }
    } else if (IsTemplate(type, TID_D3DRMAnimation)) {
        // The set read last encloses it; one met before any set is dropped.
        if (firstSet) {
            Animation* animation = new (std::nothrow) Animation();
            if (animation) {
                animation->next = firstSet->firstAnimation;
                firstSet->firstAnimation = animation;
                ++firstSet->animationCount;
            }
        }
    } else if (IsTemplate(type, TID_D3DRMFrame) && isReference == 1 && firstSet && firstSet->firstAnimation) {
        // A frame reference names the animation being read; the frame's own
        // children are not this parser's business.
        if (parent && IsTemplate(GetObjectType(parent), TID_D3DRMAnimation)) {
            Animation* animation = firstSet->firstAnimation;
            delete[] animation->frameName;
            animation->frameName = GetObjectName(object);
        }
        return 1;
    } else if (IsTemplate(type, TID_D3DRMAnimationKey) && firstSet && firstSet->firstAnimation) {
        StoreKeys(firstSet->firstAnimation, object);
    }

    return ParseChildObjects(object, depth, context, isReference);
}

void AnimationCollection::StoreKeys(Animation* animation, IDirectXFileData* object) {
    DWORD size = 0;
    const BYTE* data = static_cast<const BYTE*>(GetObjectData(object, &size));
    if (!data || size < 8) return;
    const DWORD keyType = ReadDword(data);
    const DWORD keyCount = ReadDword(data + 4);
    const DWORD values = ValuesOf(keyType);
    if (values == 0) return;  // type 3 and above 4 carry nothing we keep

    // The data must hold every key it announces, each with the value count
    // of its type; a mismatch would read past the data or misalign the keys.
    const uint64_t stride = 8 + 4 * uint64_t(values);
    if (8 + uint64_t(keyCount) * stride > size) return;
    for (DWORD k = 0; k < keyCount; ++k)
        if (ReadDword(data + 8 + k * stride + 4) != values) return;

    auto key = [&](DWORD k) { return data + 8 + k * stride; };
    auto value = [&](DWORD k, DWORD i) { return ReadFloat(key(k) + 8 + 4 * i); };
    bool stored = false;
    switch (keyType) {
        case kRotation:
            if ((stored = ReplaceKeys(&animation->rotationKeys, &animation->rotationKeyCount, keyCount)))
                for (DWORD k = 0; k < keyCount; ++k) {
                    RotationKey& r = animation->rotationKeys[k];
                    r.time = ReadDword(key(k));
                    // The file gives w first.
                    r.value = D3DXQUATERNION(value(k, 1), value(k, 2), value(k, 3), value(k, 0));
                }
            break;
        case kScale:
            if ((stored = ReplaceKeys(&animation->scaleKeys, &animation->scaleKeyCount, keyCount)))
                for (DWORD k = 0; k < keyCount; ++k) {
                    animation->scaleKeys[k].time = ReadDword(key(k));
                    animation->scaleKeys[k].value = D3DXVECTOR3(value(k, 0), value(k, 1), value(k, 2));
                }
            break;
        case kPosition:
            if ((stored = ReplaceKeys(&animation->positionKeys, &animation->positionKeyCount, keyCount)))
                for (DWORD k = 0; k < keyCount; ++k) {
                    animation->positionKeys[k].time = ReadDword(key(k));
                    animation->positionKeys[k].value = D3DXVECTOR3(value(k, 0), value(k, 1), value(k, 2));
                }
            break;
        case kMatrix:
            if ((stored = ReplaceKeys(&animation->matrixKeys, &animation->matrixKeyCount, keyCount)))
                for (DWORD k = 0; k < keyCount; ++k) {
                    animation->matrixKeys[k].time = ReadDword(key(k));
                    for (DWORD i = 0; i < 16; ++i) animation->matrixKeys[k].value.m[i / 4][i % 4] = value(k, i);
                }
            break;
    }
    if (!stored) return;
    // The set's length only grows, also when an array is replaced.
    for (DWORD k = 0; k < keyCount; ++k) {
        const DWORD time = ReadDword(key(k));
        if (time > firstSet->length) firstSet->length = time;
    }
}

int AnimationCollection::ParseChildObjects(IDirectXFileData* object, DWORD depth, void* context,
                                           int isReference) {
    if (!object) return 1;
    IDirectXFileObject* child = NULL;
    if (FAILED(object->GetNextObject(&child)) || !child) return 1;
    while (child) {
        int result = 1;
        IDirectXFileDataReference* reference = NULL;
        IDirectXFileData* data = NULL;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(&reference))) &&
            reference) {
            IDirectXFileData* target = NULL;
            if (SUCCEEDED(reference->Resolve(&target)) && target) {
                // A reference back into the walk path would never end.
                if (walkGuard_.MayFollow(target, depth + 1)) {
                    walkGuard_.Enter(target, true);
                    result = ParseObject(target, object, depth + 1, context, 1);
                    walkGuard_.Leave();
                }
                target->Release();
            }
            reference->Release();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(&data))) && data) {
            walkGuard_.Enter(data, false);
            result = ParseObject(data, object, depth + 1, context, isReference);
            walkGuard_.Leave();
            data->Release();
        }
        child->Release();
        if (result == 0) return 0;
        child = NULL;
        if (FAILED(object->GetNextObject(&child))) child = NULL;
    }
    return 1;
}

const GUID* AnimationCollection::GetObjectType(IDirectXFileData* object) {
    if (!object) return NULL;
    const GUID* type = NULL;
    if (FAILED(object->GetType(&type))) return NULL;
    return type;
}

LPSTR AnimationCollection::GetObjectName(IDirectXFileData* object) { return CopyXFileObjectName(object); }

void* AnimationCollection::GetObjectData(IDirectXFileData* object, DWORD* size) {
    if (size) *size = 0;
    if (!object) return NULL;
    DWORD bytes = 0;
    void* data = NULL;
    if (FAILED(object->GetData(NULL, &bytes, &data))) return NULL;
    if (size) *size = bytes;
    return data;
}

// Key-framed animation sets read from an X file, bound to the frames of a
// loaded tree by name and played into their transformation matrices.
#pragma once

#include <d3dx9.h>
#include <dxfile.h>

#include "scene/XFileWalk.h"

struct HierarchyFrame;

struct PositionKey {
    DWORD time;
    D3DXVECTOR3 value;
};

struct ScaleKey {
    DWORD time;
    D3DXVECTOR3 value;  // factors along x, y, z
};

struct RotationKey {
    DWORD time;
    D3DXQUATERNION value;
};

struct MatrixKey {
    DWORD time;
    D3DXMATRIX value;
};

// One frame's keys within a set. A plain record: whoever holds it frees it
// after Destroy.
struct Animation {
    Animation();

    // Frees the name, the key arrays and every animation after this one.
    void Destroy();

    LPSTR frameName;         // owned, null until a frame reference names it
    HierarchyFrame* frame;   // not owned; null while unbound
    Animation* next;         // owned: the rest of the list
    DWORD positionKeyCount;
    PositionKey* positionKeys;  // owned
    DWORD scaleKeyCount;
    ScaleKey* scaleKeys;  // owned
    DWORD rotationKeyCount;
    RotationKey* rotationKeys;  // owned
    DWORD matrixKeyCount;
    MatrixKey* matrixKeys;  // owned
};

struct AnimationSet {
    AnimationSet();

    // Frees the name, every set after this one and all of this set's animations.
    void Destroy();

    LPSTR name;       // owned, or null
    DWORD length;     // the largest key time stored into the set
    AnimationSet* next;  // owned: the rest of the list
    DWORD animationCount;
    Animation* firstAnimation;  // owned, the one read last first
};

class AnimationCollection {
public:
    AnimationCollection();
    AnimationCollection(const AnimationCollection&) = delete;
    AnimationCollection& operator=(const AnimationCollection&) = delete;

    // Clears, then reads every set of the file. 1, or 0 when the file
    // could not be opened.
    int Load(LPCSTR fileName);
    void Clear();
    // Points every animation at the frame of its name under `root`
    // (case-sensitive); a null root leaves them all unbound.
    void BindToFrames(HierarchyFrame* root);

    // Samples the set (name compared without regard to case; null: the head
    // set) at `time` and moves each bound frame by (sample - loaded) x weight.
    // A loop flag of exactly 1 wraps the time about the set's length.
    void Play(LPCSTR setName, DWORD time, int loop, float weight);
    // As Play, but the sample replaces each bound frame's matrix.
    void PlayAlt(LPCSTR setName, DWORD time, int loop);

    int ParseFile(LPCSTR fileName, void* context);

    // The parse enumerates the file only when BeginParse answers exactly 1.
    virtual int BeginParse(void* context);
    virtual int EndParse(void* context);
    // 0 stops the walk.
    virtual int ParseObject(IDirectXFileData* object, IDirectXFileData* parent, DWORD depth, void* context,
                            int isReference);
    virtual ~AnimationCollection();

    // 0 when a child's ParseObject answered 0, else 1.
    int ParseChildObjects(IDirectXFileData* object, DWORD depth, void* context, int isReference);

    const GUID* GetObjectType(IDirectXFileData* object);
    // A new heap copy (delete[]) of the object's name, or null.
    LPSTR GetObjectName(IDirectXFileData* object);
    // The object's whole data, valid while the object lives; null when it has none.
    void* GetObjectData(IDirectXFileData* object, DWORD* size);

    DWORD setCount;
    AnimationSet* firstSet;  // owned, the one read last first

private:
    // Copies one AnimationKey object into `animation`; nothing when the data
    // does not hold what its header promises.
    void StoreKeys(Animation* animation, IDirectXFileData* object);

    XFileWalkGuard walkGuard_;
};

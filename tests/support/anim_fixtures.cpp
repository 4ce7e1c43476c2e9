#include "tests/support/anim_fixtures.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/Globals.h"
#include "input/DirectInput.h"
#include "platform/testing.h"
#include "tests/support/program_fixtures.h"

namespace anim_fixtures {

namespace {

std::vector<CollisionCall>& Log() {
    static std::vector<CollisionCall> log;
    return log;
}
int g_made = 0;
int g_forced = -1;

class Recorder : public CCollisionObject {
public:
    Recorder() : id_(g_made++) {
        platform_testing::SetCollisionObjectFactory(nullptr);
        inner_.reset(newCollisionObject());
        platform_testing::SetCollisionObjectFactory(Make);
    }
    static CCollisionObject* Make() { return new Recorder(); }

    void AddTriangle(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) override {
        CollisionCall call = Blank(CollisionCall::AddTriangle);
        call.corners[0] = a;
        call.corners[1] = b;
        call.corners[2] = c;
        Log().push_back(call);
        inner_->AddTriangle(a, b, c);
    }
    void Finalize() override {
        Log().push_back(Blank(CollisionCall::Finalize));
        inner_->Finalize();
    }
    void SetTransform(const D3DXMATRIX* world) override {
        CollisionCall call = Blank(CollisionCall::SetTransform);
        call.matrixAddress = world;
        call.matrix = *world;
        Log().push_back(call);
        inner_->SetTransform(world);
    }
    bool Collision(CCollisionObject* other, int flags) override {
        CollisionCall call = Blank(CollisionCall::Collision);
        Recorder* o = dynamic_cast<Recorder*>(other);
        call.other = o ? o->id_ : -1;
        call.flags = flags;
        Log().push_back(call);
        const bool real = inner_->Collision(o ? o->inner_.get() : other, flags);
        return g_forced < 0 ? real : g_forced != 0;
    }

private:
    CollisionCall Blank(CollisionCall::Kind kind) const {
        CollisionCall call = {};
        call.kind = kind;
        call.object = id_;
        call.other = -1;
        return call;
    }
    int id_;
    std::unique_ptr<CCollisionObject> inner_;
};

}  // namespace

void RecordCollisions(bool on) {
    Log().clear();
    g_made = 0;
    g_forced = -1;
    platform_testing::SetCollisionObjectFactory(on ? Recorder::Make : nullptr);
}

const std::vector<CollisionCall>& CollisionLog() { return Log(); }

void ClearCollisionLog() { Log().clear(); }

void ForceCollisionAnswer(int answer) { g_forced = answer; }

void ReadyKeyboard() {
    platform_testing::ResetWin32();
    platform_testing::ResetDirectInput();
    platform_testing::SetHeadlessWindows(true);
    g_hWnd = program_fixtures::MakeProgramWindow();
    ASSERT_NE(g_hWnd, nullptr);
    ASSERT_EQ(InitDirectInput(), 0);
}

void ReleaseKeyboard() { ReleaseDirectInput(); }

}  // namespace anim_fixtures

#include <cmath>
#include <cstdlib>

#include "particles/ParticleShared.h"
#include "particles/ParticleSystem.h"

namespace {

const DWORD kDustIntervalMs = 200;
const float kDustSize = 0.3f;
const D3DCOLOR kDustColor = 0xFF222222;  // dark grey: faint under additive blending
const float kDustSpeed = 1.5f;
const DWORD kDustLifeMs = 100;

const float kSparkSize = 0.1f;
const D3DCOLOR kSparkColor = 0x00F4AE0B;  // orange; alpha comes from the texture
const DWORD kSparkLifeMs = 100;
const float kSparkSpread = 0.1f;

}  // namespace

void ParticleSystem::EmitDust(const D3DXVECTOR3* position, DWORD elapsedMs) {
    // At most one puff per call: time beyond the interval is dropped.
    g_DustTimerMs += elapsedMs;
    if (g_DustTimerMs <= kDustIntervalMs) return;
    g_DustTimerMs = 0;
    const float a = static_cast<float>((rand() % 628) * 0.01);
    const D3DXVECTOR3 velocity(kDustSpeed * std::cos(a), 0.0f, kDustSpeed * std::sin(a));
    AddParticle(0, position, kDustSize, kDustColor, kDustLifeMs, &velocity);
}

void ParticleSystem::EmitSparks(const D3DXVECTOR3* position, float angle) {
    // Twenty times faster along z than along x.
    const D3DXVECTOR3 velocity(std::cos(angle), 0.0f, 20.0f * std::sin(angle));
    const D3DXVECTOR3 p = position ? *position : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 points[5] = {D3DXVECTOR3(p.x, p.y - kSparkSpread, p.z), D3DXVECTOR3(p.x + kSparkSpread, p.y, p.z),
                                   D3DXVECTOR3(p.x - kSparkSpread, p.y, p.z), D3DXVECTOR3(p.x, p.y + kSparkSpread, p.z),
                                   D3DXVECTOR3(p.x, p.y, p.z - kSparkSpread)};
    for (const D3DXVECTOR3& at : points) AddParticle(0, &at, kSparkSize, kSparkColor, kSparkLifeMs, &velocity);
}

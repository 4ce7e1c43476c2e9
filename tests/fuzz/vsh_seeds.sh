#!/bin/sh
# vsh_seeds.sh <corpus folder>: seeds for the shader fuzzer, the particle
# shader and a few sources that use the rest of the language.
set -eu
corpus=$1
here=$(dirname "$0")
mkdir -p "$corpus"
cp "$here/../../data/Particle.vsh" "$corpus/particle.vsh"
printf 'vs_1_1\ndcl_position v0\ndcl_normal v1\ndef c10, 1, 0.5, -2, 4\nm4x4 oPos, v0, c0\ndp3 r0.x, v1, c4\nmax r0.x, r0.x, c10.y\nmul oD0, r0.x, c5\nmov oD1.xyz, -v1.zyx\n' >"$corpus/lit.vsh"
printf 'VS.1.1 // all of it\r\ndcl_texcoord3 v7\r\nrcp r1.w, v7.w\r\nrsq r2, v7.x\r\nmin r3, r1.w, r2\r\nsub r4, r3, v7\r\nmad oPos, r4, r1.w, c95\r\nmov oT7.xy, r2\r\nnop\r\n' >"$corpus/ops.vsh"

; Particle.vsh: camera-facing particle squares.
; Inputs: v0 the centre (w 1), v1 the corner's offset from it, v2 the colour,
; v3 the texture coordinates.
; Constants: c0-c3 view x projection, transposed (one row of the product per
; output component); c4 the camera's right and c5 its up, in world space, w 0.
vs_1_1
dcl_position0 v0
dcl_position1 v1
dcl_color0    v2
dcl_texcoord0 v3

mul r0, c4, v1.x        ; corner x along the camera's right
mad r0, c5, v1.y, r0    ; plus corner y along its up (w stays 0)
add r0, r0, v0          ; about the centre (w becomes 1)

dp4 oPos.x, r0, c0
dp4 oPos.y, r0, c1
dp4 oPos.z, r0, c2
dp4 oPos.w, r0, c3

mov oD0, v2
mov oT0.xy, v3

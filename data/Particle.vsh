; particle vertex shader (written with the particle effects)
vs_1_1

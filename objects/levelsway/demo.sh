# Demo preset, read by scripts/demo: plucked notes of swaying loudness over a
# faint noise floor. For four seconds a 4:1 compressor with a soft knee and
# 12 dB of make-up gain flattens the attacks and lifts the decays and the
# noise; then a 1:3 expander with RMS detection gates the noise between the
# notes to silence.
DEMO_CHANNELS=1
DEMO_INPUT=(synth 1 pluck A2 fade 0 1 0.9 repeat 7 tremolo 0.125 60
            remix 1 0 synth 8 sine mix 0 whitenoise mix remix 1,2v0.01 vol 0.5 pad 0.01 0)
DEMO_OPTIONS=()
DEMO_MESSAGES=("1: 0.25" "2: -40" "attack 1" "release 300" "makeupGain 12" "softKnee 0.5")
DEMO_SCORE="4s 1: 3
4s 2: -40
4s makeupGain 0
4s softKnee 0
4s release 150
4s rmsDetect 1"

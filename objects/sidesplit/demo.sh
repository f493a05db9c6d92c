# Demo preset, read by scripts/demo: a stereo chord, turned into mid/side
# with the side raised by 6 dB and the mid lowered by 6 dB.
DEMO_CHANNELS=2
DEMO_INPUT=(synth 4 pluck A3 pluck E4 fade 0 4 1 vol 0.5)
DEMO_OPTIONS=()
DEMO_MESSAGES=("2: -6" "3: 6")
DEMO_SCORE=""

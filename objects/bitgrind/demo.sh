# Demo preset, read by scripts/demo: a rising sine that is first reduced to
# 8 bits, then folded into held groups of four (images mirror the sweep),
# then ground down to 4.5 bits, and last folded by 3.5 (groups of 11).
DEMO_CHANNELS=1
DEMO_INPUT=(synth 6 sine 110-1760 vol 0.8)
DEMO_OPTIONS=()
DEMO_MESSAGES=("1: 8")
DEMO_SCORE="1.5s 2: 2
3s 1: 4.5
4.5s 2: 3.5"

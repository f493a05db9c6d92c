# Demo preset, read by scripts/demo: a sine sweep through the waveshaper with
# the second and third partials at full level and the seventh at -3 dB.
DEMO_CHANNELS=1
DEMO_INPUT=(synth 4 sine 110-880 vol 0.9)
DEMO_OPTIONS=()
DEMO_MESSAGES=("p2 0" "p3 0" "p7 -3")
DEMO_SCORE=""

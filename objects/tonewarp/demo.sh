# Demo preset, read by scripts/demo: two short tones four seconds apart. The
# first comes back a fifth higher on every pass through the loop, a rising
# staircase; the second an octave lower each time, a falling one.
DEMO_CHANNELS=1
DEMO_INPUT=(synth 0.4 sine 660 fade q 0.02 0.4 0.2 vol 0.7 pad 0 3.6 repeat 1)
DEMO_OPTIONS=(--tail 2)
DEMO_MESSAGES=("time 250" "pitchFactor 19" "feedback 80" "loopDepth 40")
DEMO_SCORE="4s pitchFactor 0
4s octave -1
4s feedback 90"

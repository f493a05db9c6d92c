# Demo preset, read by scripts/demo: a sawtooth sweep through a slow
# two-head chorus with resonant, filtered feedback; from 2.5 s to 4.5 s the
# line is frozen and loops the last 60 ms or so, swaying with the modulation.
DEMO_CHANNELS=1
DEMO_INPUT=(synth 6 sawtooth 110-660 vol 0.4 fade 0.05 6 0.5)
DEMO_OPTIONS=(--tail 3)
DEMO_MESSAGES=("time 60" "heads 2" "lfoDepth 10" "lfoFreq 0.3" "feedback 70" "filterFreq 3500" "resonance 40")
DEMO_SCORE=$'2.5s freeze 1\n4.5s freeze 0'

# Demo preset, read by scripts/demo: a repeated pluck feeding a cloud of
# grains transposed to held notes in just intonation (a fifth, a major triad,
# then the natural seventh), later in equal temperament, spread over three
# octaves, a third of them reversed, with filtered feedback that lets the
# cloud ring on after the input stops.
DEMO_CHANNELS=1
DEMO_INPUT=(synth 0.75 pluck A2 fade 0 0.75 0.7 repeat 7 vol 0.8)
DEMO_OPTIONS=(--tail 4)
DEMO_MESSAGES=("time 250" "feedback 80" "filterFreq 4000" "resonance 30" "density 120" "grainSize 40"
  "grainStartVariation 40" "timeVariation 8" "octaveVariation 1.2" "grainReversal 35" "60 100" "67 100")
DEMO_SCORE="2s 64 100
3.5s 70 100
5s 12tet
6.5s grainReversal 80
6.5s density 60"

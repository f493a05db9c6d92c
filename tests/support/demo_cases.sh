# Render cases built from each object's demo preset (objects/NAME/demo.sh),
# for the scripts that compare renders. Source it, then call
#   demo_cases SOURCE_DIR CALLBACK
# in an empty working folder: it writes the inputs and scores there and calls
# CALLBACK NAME ARGUMENT... for each case, with the render arguments and
# @OUT@ in place of the output file. Each object runs three ways:
#   a  the preset: 32-bit float input, block 64;
#   b  16-bit input, block 37, an unknown message, and the signal chain
#      rebuilt at 1 s with another rate and block 100;
#   c  24-bit input, block 256 at a reported rate of 48000, rebuilt at 0.5 s
#      to block 7 at 22050, written as 24-bit PCM.
demo_cases() {
  local source_dir=$1 callback=$2 preset object
  for preset in "$source_dir"/objects/*/demo.sh; do
    object=$(basename "$(dirname "$preset")")~
    (
      source "$preset"
      sox -V1 -n -r 44100 -c "$DEMO_CHANNELS" -b 32 -e floating-point "$object-float.wav" "${DEMO_INPUT[@]}"
      sox -V1 "$object-float.wav" -b 16 "$object-16.wav"
      sox -V1 "$object-float.wav" -b 24 "$object-24.wav"
      printf '%s\n' "$DEMO_SCORE" > "$object-a.txt"
      printf '%s\n1s dsp 48000 100\n' "$DEMO_SCORE" > "$object-b.txt"
      printf '%s\n0.5s dsp 22050 7\n' "$DEMO_SCORE" > "$object-c.txt"
      declare -p DEMO_OPTIONS DEMO_MESSAGES > "$object-preset.sh"
    )
    source "$object-preset.sh"
    "$callback" "$object-a" "${DEMO_OPTIONS[@]}" --score "$object-a.txt" "$object" "$object-float.wav" @OUT@ \
      "${DEMO_MESSAGES[@]}"
    "$callback" "$object-b" "${DEMO_OPTIONS[@]}" --block 37 --score "$object-b.txt" "$object" "$object-16.wav" \
      @OUT@ "${DEMO_MESSAGES[@]}" "nosuch 1"
    "$callback" "$object-c" "${DEMO_OPTIONS[@]}" --block 256 --rate 48000 --format pcm24 --score "$object-c.txt" \
      "$object" "$object-24.wav" @OUT@ "${DEMO_MESSAGES[@]}"
  done
}

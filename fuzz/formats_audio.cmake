# The audio search names that have carvers, one fuzz target each.
set(ember_fuzz_audio_formats
    aif ape au caf flac it mid mp3 ogg wv xm
)

# The video search names that have carvers, one fuzz target each.
set(ember_fuzz_video_formats
    mov riff asf flv dpx dv ifo m2ts mkv mpg rm swf
)

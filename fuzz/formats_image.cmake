# The image search names that have carvers, one fuzz target each.
set(ember_fuzz_image_formats
)

# The image search names that have carvers, one fuzz target each.
set(ember_fuzz_image_formats
    tif raf x3f orf rw2 crw mrw png gif bmp jpg ico psd
)

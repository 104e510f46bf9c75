"""A card with deleted fragmented sound, animation, picture (GIF, TIFF, BMP) and WMV files, made by
make_fs_images.py when sox and ffmpeg are there: each real file (sox, ffmpeg, ImageMagick) is
written into the holes deleted fillers left between live ones, so that it splits into several
fragments, then deleted. First-fit allocation from each file's start, past the live fillers,
gives its chain back; the file's own structure must confirm it."""

import os
import shutil

m = None  # the running make_fs_images, whose helpers and output folder these cards share


def files():
    path = lambda name: os.path.join(m.files_dir, name)
    m.run("sox", "-n", "-r", "22050", "-c", "2", "-b", "16", path("chain.wav"), "synth", "2", "sine", "300-900",
          "sine", "440", "vol", "0.6")
    m.run("sox", "-n", "-r", "22050", "-c", "1", "-b", "16", path("chain.aif"), "synth", "3", "sine", "200-700",
          "vol", "0.6")
    tone = ["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
            "sine=frequency=330:sample_rate=22050"]
    m.run(*tone, "-t", "3", "-c:a", "pcm_s16be", path("chain.caf"))
    m.run(*tone, "-t", "4", "-c:a", "alac", path("chain_alac.caf"))
    m.run("ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25",
          "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050", "-t", "2", "-c:v", "wmv2", "-b:v", "800k",
          "-c:a", "wmav2", "-f", "asf", path("chain.wmv"))
    m.run("ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10",
          "-t", "2", path("chain.gif"))
    for name, compression in (("chain_lzw.tif", "lzw"), ("chain_jpeg.tif", "jpeg")):
        m.run("convert", "-seed", "5", "-size", "200x150", "plasma:fractal", "-compress", compression,
              "-define", "tiff:rows-per-strip=8", path(name))
    m.run("convert", "-seed", "7", "-size", "320x240", "plasma:fractal", "-type", "TrueColor", "BMP3:" + path("chain.bmp"))
    return [("chain.wav", "SOUND.WAV"), ("chain.aif", "SOUND.AIF"), ("chain.caf", "SOUND.CAF"),
            ("chain_alac.caf", "ALAC.CAF"), ("chain.wmv", "CLIP.WMV"), ("chain.gif", "ANIM.GIF"),
            ("chain_lzw.tif", "LZW.TIF"), ("chain_jpeg.tif", "JPEG.TIF"), ("chain.bmp", "PICTURE.BMP")]


def chain_cards(maker):
    global m
    m = maker
    if not shutil.which("ffmpeg") or not shutil.which("sox"):
        print("ffmpeg or sox is not installed: no chain card")
        return
    card = m.FatCard(m.new_image("chain_fat32.img", 48), 0, ["-F", "32", "-s", "1"])
    card.mkdir("DCIM", "DCIM/100MEDIA")
    d = "DCIM/100MEDIA/"
    placed = []
    for n, (src, name) in enumerate(files()):
        # Ten fillers a quarter of the file each, every other one deleted: the file takes the
        # four holes and goes on after the last filler.
        hole = max(2048, os.path.getsize(os.path.join(m.files_dir, src)) // 4 // 512 * 512)
        fillers = []
        for i in range(10):
            fillers.append(d + "F%dH%d.BIN" % (n, i))
            card.put(m.blob("chain_%d_%d.bin" % (n, i), hole, 500 + 10 * n + i), fillers[-1])
        for f in fillers[1::2]:
            card.delete(f)
        card.hint(card.files[fillers[1]][0] - 1)
        card.put(os.path.join(m.files_dir, src), d + name)
        placed.append(d + name)
    for path in placed:
        card.delete(path)
    for path, (first, size, chain, src, state) in card.files.items():
        if not path.endswith(".BIN"):
            m.add(card.image, path, first, size, state, chain, src, short_extension=True)

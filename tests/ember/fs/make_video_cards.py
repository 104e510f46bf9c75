"""Cards with deleted fragmented videos, made by make_fs_images.py when ffmpeg is there: real
H.264 MP4 and MOV and motion-JPEG AVI files shot into the holes deleted files left, so that
they split into several fragments, then deleted (the manifest keeps their chains). Each card, FAT32 (mtools) and exFAT (our
writer), has three folders:
- 100PLAIN: fillers, every other one deleted, an MP4, an AVI, an MPEG program stream and a
  transport stream each written into such holes and deleted; the plain first-fit chain from each video's start is its own.
- 101CROSS: a small video WALK.MP4 written into one hole (HOLE3.BIN's, to the cluster), then a
  MOV into the holes around it; both deleted. The plain chain from the MOV's start runs through
  the small video's clusters; only skipping them gives the MOV.
- 102MANY: an MP4 shot into six holes between photos, the photos deleted after it.
- 103GROW, 104GROW: a DV clip, and an AVI, shot into six holes between files whose heads start no file (so nothing
  says they were there), all deleted after it: only skipping each, where the DV's blocks stop
  being in place, gives each clip.
- 105FIRST: an MP4 with its movie box first (so it ends in sound) written into holes as in
  100PLAIN and deleted.
- 106GROW, 107GROW: a Matroska clip, and an Ogg Vorbis recording, shot as in 103GROW."""

import os
import shutil
import subprocess

m = None  # the running make_fs_images, whose helpers and output folder these cards share


def ffmpeg(name, seconds, size, codec_args, audio_args, fmt):
    path = os.path.join(m.files_dir, name)
    m.run("ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
          "testsrc2=size=%s:rate=25" % size, "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050",
          "-t", str(seconds), *codec_args, *audio_args, "-f", fmt, path)
    return path


def sound(name, seconds, codec_args, fmt):
    path = os.path.join(m.files_dir, name)
    m.run("ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
          "anoisesrc=color=pink:sample_rate=44100:amplitude=0.5:seed=3", "-t", str(seconds), *codec_args,
          "-fflags", "+bitexact", "-f", fmt, path)
    return path


def videos():
    h264 = ["-c:v", "libx264", "-preset", "ultrafast", "-b:v", "1500k", "-pix_fmt", "yuv420p"]
    return {
        "mp4": ffmpeg("plain.mp4", 3, "320x240", h264, ["-c:a", "aac", "-b:a", "64k"], "mp4"),
        "first": ffmpeg("first.mp4", 3, "320x240", h264, ["-c:a", "aac", "-b:a", "64k", "-movflags", "+faststart"],
                        "mp4"),
        "avi": ffmpeg("plain.avi", 2, "320x240", ["-c:v", "mjpeg", "-q:v", "6"], ["-c:a", "pcm_s16le"], "avi"),
        "mov": ffmpeg("cross.mov", 3, "320x240", h264, ["-c:a", "aac", "-b:a", "64k"], "mov"),
        "mpg": ffmpeg("plain.mpg", 3, "320x240", ["-c:v", "mpeg2video", "-b:v", "1500k"], ["-c:a", "mp2"], "mpeg"),
        "mts": ffmpeg("plain.mts", 3, "320x240", h264, ["-c:a", "aac", "-b:a", "64k", "-mpegts_m2ts_mode", "1"],
                      "mpegts"),
        "walk": ffmpeg("walk.mp4", 1, "160x120", h264, ["-c:a", "aac", "-b:a", "32k"], "mp4"),
        "dv": ffmpeg("grow.dv", 1, "720x576", ["-c:v", "dvvideo", "-pix_fmt", "yuv420p"],
                     ["-c:a", "pcm_s16le", "-ar", "48000", "-ac", "2"], "dv"),
        "mkv": ffmpeg("grow.mkv", 1, "320x240", h264, ["-c:a", "aac", "-b:a", "64k", "-fflags", "+bitexact"], "matroska"),
        "ogg": sound("grow.ogg", 16, ["-c:a", "libvorbis", "-q:a", "6"], "ogg"),
    }


def fill(put, delete, folder, sizes, seed):
    """Fillers of the given sizes; the odd ones deleted. Returns their names."""
    names = []
    for i, size in enumerate(sizes):
        names.append(folder + "HOLE%d.BIN" % i)
        put(m.blob("%s_hole%d.bin" % (folder.replace("/", "_"), i), size, seed + i), names[-1])
    for name in names[1::2]:
        delete(name)
    return names


def build(card_name, put, delete, first_cluster, hint, cluster_size, record):
    v = videos()
    walk_size = os.path.getsize(v["walk"])
    d = "DCIM/100PLAIN/"
    clips = (("mp4", "CLIP0001.MP4"), ("avi", "CLIP0002.AVI"), ("mpg", "CLIP0004.MPG"), ("mts", "CLIP0005.MTS"))
    for n, (kind, name) in enumerate(clips):
        holes = fill(put, delete, d + "%d" % n, [64 << 10] * 8, 100 + 10 * n)
        hint(first_cluster(holes[1]))
        put(v[kind], d + name)
    d2 = "DCIM/101CROSS/"
    round_up = (walk_size + cluster_size - 1) // cluster_size * cluster_size
    holes2 = fill(put, delete, d2, [64 << 10, 96 << 10, 64 << 10, round_up, 64 << 10, 96 << 10, 64 << 10], 200)
    hint(first_cluster(holes2[3]))
    put(v["walk"], d2 + "WALK.MP4")
    hint(first_cluster(holes2[1]))
    put(v["mov"], d2 + "CLIP0003.MOV")
    for path in [d + name for _, name in clips] + [d2 + "WALK.MP4", d2 + "CLIP0003.MOV"]:
        delete(path)
    # Photos between the holes, deleted after the clip: more of them than candidate chains
    # could try one by one, each still starting with its header.
    d3 = "DCIM/102MANY/"
    names = []
    for i in range(13):
        if i % 2:
            names.append(d3 + "HOLE%d.BIN" % i)
            put(m.blob("many_hole%d.bin" % i, 32 << 10, 300 + i), names[-1])
        else:
            names.append(d3 + "SEP%d.JPG" % i)
            put(m.picture("many_sep%d.jpg" % i, 300 + i, 320, 240), names[-1])
    for name in names[1::2]:
        delete(name)
    hint(first_cluster(names[1]))
    put(v["mp4"], d3 + "CLIP0006.MP4")
    for name in names[2::2] + [d3 + "CLIP0006.MP4"]:
        delete(name)
    def grow(d4, kind, clip, seed):
        names = []
        for i in range(13):
            names.append(d4 + "%s%d_%d.BIN" % ("S" if i % 2 == 0 else "H", i, seed))
            put(m.blob("grow_%d.bin" % (seed + i), (32 if i % 2 == 0 else 64) << 10, seed + i), names[-1])
        for name in names[1::2]:
            delete(name)
        hint(first_cluster(names[1]))
        put(v[kind], d4 + clip)
        for name in names[2::2] + [d4 + clip]:
            delete(name)

    grow("DCIM/103GROW/", "dv", "CLIP0007.DV", 400)
    grow("DCIM/104GROW/", "avi", "CLIP0008.AVI", 500)
    d5 = "DCIM/105FIRST/"
    holes = fill(put, delete, d5, [64 << 10] * 8, 600)
    hint(first_cluster(holes[1]))
    put(v["first"], d5 + "CLIP0009.MP4")
    delete(d5 + "CLIP0009.MP4")
    grow("DCIM/106GROW/", "mkv", "CLIP0010.MKV", 700)
    grow("DCIM/107GROW/", "ogg", "REC0011.OGG", 800)
    record()


def fat32_card():
    image = m.new_image("video_fat32.img", 48)
    card = m.FatCard(image, 0, ["-F", "32", "-s", "1"])
    card.mkdir("DCIM", "DCIM/100PLAIN", "DCIM/101CROSS", "DCIM/102MANY", "DCIM/103GROW", "DCIM/104GROW",
               "DCIM/105FIRST", "DCIM/106GROW", "DCIM/107GROW")
    build(image, card.put, card.delete, lambda p: card.files[p][0], lambda c: card.hint(c - 1), 512,
          lambda: record_fat(card))


def record_fat(card):
    for path, (first, size, chain, src, state) in card.files.items():
        if not path.endswith(".BIN"):
            m.add(card.image, path, first, size, state, chain, src, short_extension=True)


def exfat_card():
    image = m.new_image("video_exfat.img", 40)
    vol = m.exfat.Volume(image, 0, 40 << 20, 4096)
    vol.format()
    vol.mkdir("DCIM")
    vol.mkdir("DCIM/100PLAIN")
    vol.mkdir("DCIM/101CROSS")
    vol.mkdir("DCIM/102MANY")
    vol.mkdir("DCIM/103GROW")
    vol.mkdir("DCIM/104GROW")
    vol.mkdir("DCIM/105FIRST")
    vol.mkdir("DCIM/106GROW")
    vol.mkdir("DCIM/107GROW")
    chains, hint = {}, [None]

    def put(src, path):
        chains[path] = (vol.add_file(path, open(src, "rb").read(), hint[0]), src)
        hint[0] = None

    def set_hint(c):
        hint[0] = c

    def record():
        for path, (clusters, src) in chains.items():
            if not path.endswith(".BIN"):
                live = path in vol.files
                m.add(image, path, clusters[0], os.path.getsize(src), "live" if live else "deleted", clusters, src)
        m.check_exfat(image, 0, 40 << 20)

    build(image, put, vol.delete, lambda p: chains[p][0][0], set_hint, 4096, record)


def video_cards(maker):
    global m
    m = maker
    if not shutil.which("ffmpeg"):
        print("ffmpeg is not installed: no video cards")
        return
    fat32_card()
    exfat_card()

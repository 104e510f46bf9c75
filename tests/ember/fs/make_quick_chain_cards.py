"""A quick-formatted FAT32 card whose fragmented files were on the card when it was formatted,
made by make_fs_images.py when sox is there (512-byte clusters, mtools):
- SOUND.WAV was written after a burst of deletions: into the hole P0.BIN left, round MOVIE.BIN
  (a file written earlier into the holes of five small deleted fillers, H1A to H1E, and round
  X.BIN, which was deleted later), and on into X.BIN's clusters. MOVIE.BIN's stated size reaches
  well into X.BIN's clusters, so only MOVIE.BIN's first hole, up to the next cluster an entry
  names, says which clusters it held.
- PADDED.JPG, a photo with 0xFF padding after its EOI that its entry's size takes in, was written
  into the hole Q0.BIN left and went on after G.BIN.
And, when ffmpeg is there, a quick-formatted card of two camera MOV clips (H.264 with PCM sound,
the movie box last), each shot into three holes of deleted fillers and deleted:
- MVI_0001.MOV went round a photo and then round a folder's second cluster (103GROW grew by one
  cluster there), which after the quick format no entry names.
- MVI_0002.MOV went round a photo and a filler; then a file was written over the clusters that
  held its movie box, so only its head can come back.
- MVI_0003.MOV, in one piece, had a DV clip (MVI_0004.DV) written over it from a third of the way
  in: its head ends where the DV clip starts.
And a quick-formatted card of a motion-JPEG MOV (the movie box last) shot into two holes round
the second piece of another file, W.BIN, whose first piece lies elsewhere: no file starts in the
clusters the clip went round, and the break lies inside a frame, several cluster boundaries after
the frame's start.
And a quick-formatted card of a DV clip shot round another file's second piece (no entry names
it) and then round a second DV clip of the same length, which was deleted too: past that clip's
start its clusters read as well as the first clip's own rest.
And one of a WMA recording written round another file's second piece (no entry names it), and
one of a Flash video written the same way."""

import os
import shutil
import subprocess

m = None  # the running make_fs_images, whose helpers and output folder these cards share

cluster = 512


def quick_chain_cards(maker):
    global m
    m = maker
    quick_video_card()
    quick_mjpeg_card()
    quick_dv_card()
    quick_wma_card()
    quick_flv_card()
    if not shutil.which("sox"):
        print("sox is not installed: no quick-format chain card")
        return
    wav = os.path.join(m.files_dir, "quick_sound.wav")
    m.run("sox", "-n", "-r", "22050", "-c", "2", "-b", "16", wav, "synth", "2", "sine", "300-900", "sine", "440",
          "vol", "0.6")
    jpg = m.picture("quick_padded.jpg", 41, 320, 240, b"\xff" * 1900)
    card = m.FatCard(m.new_image("quick_chain_fat32.img", 40), 0, ["-F", "32", "-s", "1"])
    d = "DCIM/100QUICK/"
    card.mkdir("DCIM", "DCIM/100QUICK")

    def filler(name, clusters, seed):
        card.put(m.blob("quick_%s.bin" % name.lower(), clusters * cluster, seed), d + name + ".BIN")

    wav_clusters = (os.path.getsize(wav) + cluster - 1) // cluster
    jpg_clusters = (os.path.getsize(jpg) + cluster - 1) // cluster
    first_piece = wav_clusters * 3 // 5
    filler("P0", first_piece, 700)
    for i, letter in enumerate("ABCDE"):
        filler("H1" + letter, 40, 710 + i)
    filler("X", wav_clusters - first_piece + 15, 720)
    filler("H3", 80, 730)
    filler("P4", 20, 740)
    filler("Q0", jpg_clusters // 2, 750)
    filler("G", 30, 760)
    for letter in "ABCDE":
        card.delete(d + "H1%s.BIN" % letter)
    card.delete(d + "H3.BIN")
    card.hint(card.files[d + "H1A.BIN"][0] - 1)
    card.put(m.blob("quick_movie.bin", 240 * cluster, 770), d + "MOVIE.BIN")
    card.delete(d + "X.BIN")
    card.delete(d + "P0.BIN")
    card.hint(card.files[d + "P0.BIN"][0] - 1)
    card.put(wav, d + "SOUND.WAV")
    card.delete(d + "Q0.BIN")
    card.hint(card.files[d + "Q0.BIN"][0] - 1)
    card.put(jpg, d + "PADDED.JPG")
    m.run(*card.mkfs)
    for name in ("SOUND.WAV", "PADDED.JPG"):
        first, size, chain, src, _ = card.files[d + name]
        assert len(m.fat.runs(chain)) > 1, name + " is not fragmented"
        m.add(card.image, d + name, first, size, "deleted", chain, src, short_extension=True)


def camera_clip(name, seconds, pattern, tone):
    """A camera's H.264 MOV with PCM sound, its movie box after the media data."""
    path = os.path.join(m.files_dir, name)
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "%s=size=320x240:rate=30" % pattern, "-f", "lavfi", "-i", "sine=frequency=%d:sample_rate=48000" % tone,
                    "-t", str(seconds), "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-b:v", "3000k",
                    "-g", "30", "-c:a", "pcm_s16le", "-ac", "2", "-map_metadata", "-1", "-fflags", "+bitexact",
                    "-flags:v", "+bitexact", "-f", "mov", path], check=True)
    return path


def quick_video_card():
    if not shutil.which("ffmpeg"):
        print("ffmpeg is not installed: no quick-format video card")
        return
    card = m.FatCard(m.new_image("quick_video_fat32.img", 40), 0, ["-F", "32", "-s", "1"])
    # Each clip's fillers in a folder of their own, small enough not to grow.
    grow, cam = "DCIM/103GROW/", "DCIM/102CAMRA/"
    card.mkdir("DCIM", "DCIM/100FILL", "DCIM/101FILL", "DCIM/102CAMRA", "DCIM/103GROW", "DCIM/104CAMRA",
               "DCIM/105CAMRA")
    # Empty files fill 103GROW's first cluster (16 slots with its dot entries): the next entry
    # makes it grow by one cluster, wherever the next free one is then.
    empty = m.blob("quick_empty.bin", 0, 0)
    for i in range(14):
        card.put(empty, grow + "E%02d.BIN" % i)

    def clip_in_holes(clip, cam, name, letter, walls, seed):
        fill = "DCIM/10%dFILL/" % "AB".index(letter)
        clusters = (os.path.getsize(clip) + cluster - 1) // cluster
        # The fillers after everything written so far, not in an earlier clip's spare room.
        card.hint(max([f[2][-1] for f in card.files.values() if f[2]] + [2]))
        fillers = []
        for h in range(3):
            for i in range(3):
                # Three holes of about a third of the clip each, the last with room to spare.
                size = (clusters // 9 + 1 + (40 if h == 2 else 0)) * cluster
                fillers.append(fill + "%s%d%d.BIN" % (letter, h, i))
                card.put(m.blob("quick_%s%d%d.bin" % (letter.lower(), h, i), size, seed + 10 * h + i), fillers[-1])
            if h < 2:
                walls[h]()
        card.put(m.picture("quick_%s_end.jpg" % letter.lower(), seed + 99, 160, 120), fill + letter + "END.JPG")
        for f in fillers:
            card.delete(f)
        card.hint(card.files[fillers[0]][0] - 1)
        card.put(clip, cam + name)
        card.delete(cam + name)
        first, size, chain, src, _ = card.files[cam + name]
        assert len(m.fat.runs(chain)) == 3, name + " is not in three pieces"
        return first, size, chain

    def photo(letter, seed):
        return lambda: card.put(m.picture("quick_%s.jpg" % letter.lower(), seed, 160, 120),
                                "DCIM/10%dFILL/%s.JPG" % ("AB".index(letter[0]), letter))

    def filler(letter, seed):
        return lambda: card.put(m.blob("quick_%s.bin" % letter.lower(), 8 * cluster, seed),
                                "DCIM/10%dFILL/%s.BIN" % ("AB".index(letter[0]), letter))

    one = camera_clip("quick_mvi1.mov", 3, "testsrc2", 440)
    two = camera_clip("quick_mvi2.mov", 3, "testsrc", 660)
    # The second clip's entry in a folder of its own: in the first one's, it would take the first's
    # deleted slot.
    rows = [(cam + "MVI_0001.MOV", one, clip_in_holes(one, cam, "MVI_0001.MOV", "A", [
        photo("AW", 801), lambda: card.put(empty, grow + "E14.BIN")], 800))]
    first, size, chain = clip_in_holes(two, "DCIM/104CAMRA/", "MVI_0002.MOV", "B", [photo("BW", 901),
                                                                                 filler("BF", 902)], 900)
    rows.append(("DCIM/104CAMRA/MVI_0002.MOV", two, (first, size, chain)))
    # A file written over the clusters of the movie box, from the cluster where it starts on.
    with open(two, "rb") as f:
        data = f.read()
    moov_at = data.rfind(b"moov") - 4
    card.hint(chain[moov_at // cluster] - 1)
    card.put(m.blob("quick_over.bin", (size - moov_at) + 4 * cluster, 990), "DCIM/101FILL/OVER.BIN")
    # A third clip in one piece, deleted, then a DV clip (no common signature) written over it
    # from a third of the way in.
    three = camera_clip("quick_mvi3.mov", 3, "rgbtestsrc", 880)
    dv = os.path.join(m.files_dir, "quick_over.dv")
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "testsrc2=size=720x576:rate=25", "-t", "0.4", "-c:v", "dvvideo", "-pix_fmt", "yuv420p",
                    "-f", "dv", dv], check=True)
    card.hint(max(f[2][-1] for f in card.files.values() if f[2]))
    card.put(three, "DCIM/105CAMRA/MVI_0003.MOV")
    card.delete("DCIM/105CAMRA/MVI_0003.MOV")
    first, size, chain, _, _ = card.files["DCIM/105CAMRA/MVI_0003.MOV"]
    rows.append(("DCIM/105CAMRA/MVI_0003.MOV", three, (first, size, chain)))
    card.hint(chain[len(chain) // 3] - 1)
    card.put(dv, "DCIM/105CAMRA/MVI_0004.DV")
    assert card.files["DCIM/105CAMRA/MVI_0004.DV"][0] == chain[len(chain) // 3]
    first, size, chain, _, _ = card.files["DCIM/105CAMRA/MVI_0004.DV"]
    rows.append(("DCIM/105CAMRA/MVI_0004.DV", dv, (first, size, chain)))
    m.run(*card.mkfs)
    for path, src, (first, size, chain) in rows:
        m.add(card.image, path, first, size, "deleted", chain, src, short_extension=True)


def quick_mjpeg_card():
    if not shutil.which("ffmpeg"):
        print("ffmpeg is not installed: no quick-format motion-JPEG card")
        return
    clip = os.path.join(m.files_dir, "quick_mjpeg.mov")
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i", "sine=frequency=500:sample_rate=44100",
                    "-t", "2", "-c:v", "mjpeg", "-q:v", "3", "-c:a", "pcm_s16le", "-map_metadata", "-1",
                    "-fflags", "+bitexact", "-flags:v", "+bitexact", "-f", "mov", clip], check=True)
    with open(clip, "rb") as f:
        data = f.read()
    # The first hole ends inside a frame, at least four cluster boundaries past its SOI.
    soi = data.find(b"\xff\xd8\xff", len(data) * 2 // 5)
    following = data.find(b"\xff\xd8\xff", soi + 3)
    cut = (soi + (following - soi) * 3 // 4) // cluster
    assert cut * cluster - soi > 4 * cluster, "frames too small"
    clusters = (len(data) + cluster - 1) // cluster
    card = m.FatCard(m.new_image("quick_mjpeg_fat32.img", 40), 0, ["-F", "32", "-s", "1"])
    cam, fill = "DCIM/100CAMRA/", "DCIM/100FILL/"
    card.mkdir("DCIM", cam[:-1], fill[:-1])

    def filler(name, count, seed):
        card.put(m.blob("quick_mj_%s.bin" % name.lower(), count * cluster, seed), fill + name + ".BIN")

    filler("T", 8, 1100)
    filler("Z", 1, 1101)
    filler("H1", cut, 1102)
    filler("P", 12, 1103)
    filler("H2", clusters - cut + 20, 1104)
    card.delete(fill + "T.BIN")
    card.delete(fill + "P.BIN")
    card.hint(card.files[fill + "T.BIN"][0] - 1)
    filler("W", 20, 1105)
    assert len(m.fat.runs(card.files[fill + "W.BIN"][2])) == 2, "W.BIN is not in two pieces"
    # W.BIN took T.BIN's deleted entry and Q.BIN takes P.BIN's: no entry names W's second piece.
    filler("Q", 1, 1106)
    card.delete(fill + "H1.BIN")
    card.delete(fill + "H2.BIN")
    card.hint(card.files[fill + "H1.BIN"][0] - 1)
    card.put(clip, cam + "MVI_0010.MOV")
    card.delete(cam + "MVI_0010.MOV")
    first, size, chain, _, _ = card.files[cam + "MVI_0010.MOV"]
    assert len(m.fat.runs(chain)) == 2 and chain[cut] == card.files[fill + "P.BIN"][0] + 12
    m.run(*card.mkfs)
    m.add(card.image, cam + "MVI_0010.MOV", first, size, "deleted", chain, clip, short_extension=True)


def quick_dv_card():
    if not shutil.which("ffmpeg"):
        print("ffmpeg is not installed: no quick-format DV card")
        return
    clips = []
    for name, pattern in (("quick_dv_a.dv", "testsrc2"), ("quick_dv_b.dv", "rgbtestsrc")):
        clips.append(os.path.join(m.files_dir, name))
        subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                        "%s=size=720x576:rate=25" % pattern, "-t", "0.4", "-c:v", "dvvideo", "-pix_fmt", "yuv420p",
                        "-f", "dv", clips[-1]], check=True)
    # 4 KiB clusters: a frame's place in a cluster comes back only every 4500 clusters. FAT16
    # (too few clusters for FAT32) keeps no hint: each file starts in the first free cluster.
    size = 4096
    clusters = (os.path.getsize(clips[0]) + size - 1) // size
    card = m.FatCard(m.new_image("quick_dv_fat16.img", 40), 0, ["-F", "16", "-s", "8"])
    cam, fill = "DCIM/100CAMRA/", "DCIM/100FILL/"
    card.mkdir("DCIM", cam[:-1], fill[:-1])

    def filler(name, count, seed):
        card.put(m.blob("quick_dv_%s.bin" % name.lower(), count * size, seed), fill + name + ".BIN")

    filler("T", 4, 1200)
    filler("Z", 1, 1201)
    filler("P1", 40, 1202)
    filler("P", 3, 1203)
    filler("P2", 50, 1204)
    card.put(clips[1], cam + "MVI_0021.DV")
    filler("H", clusters - 90 + 10, 1205)
    card.delete(fill + "T.BIN")
    card.delete(fill + "P.BIN")
    filler("W", 7, 1206)
    filler("Q", 1, 1207)  # takes P.BIN's deleted entry: no entry names W's second piece
    for name in ("P1", "P2", "H"):
        card.delete(fill + name + ".BIN")
    card.put(clips[0], cam + "MVI_0020.DV")
    card.delete(cam + "MVI_0020.DV")
    card.delete(cam + "MVI_0021.DV")
    first, size, chain, _, _ = card.files[cam + "MVI_0020.DV"]
    assert len(m.fat.runs(chain)) == 3, "MVI_0020.DV is not in three pieces"
    m.run(*card.mkfs)
    m.add(card.image, cam + "MVI_0020.DV", first, size, "deleted", chain, clips[0], short_extension=True)


def quick_wma_card():
    if not shutil.which("ffmpeg"):
        print("ffmpeg is not installed: no quick-format WMA card")
        return
    wma = os.path.join(m.files_dir, "quick_rec.wma")
    # 4 KiB clusters, each longer than a data packet; FAT16 keeps no hint (first free cluster).
    size = 4096
    # A length whose last cluster holds a packet's start, as a chain is confirmed only then.
    for seconds in range(20, 40):
        subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                        "sine=frequency=440:sample_rate=44100", "-t", str(seconds), "-c:a", "wmav2", "-b:a", "128k",
                        "-map_metadata", "-1", "-fflags", "+bitexact", "-f", "asf", wma], check=True)
        with open(wma, "rb") as f:
            data = f.read()
        at = data.find(bytes.fromhex("3626b2758e66cf11a6d900aa0062ce6c"))
        packet = 3200
        count = int.from_bytes(data[at + 40:at + 48], "little")
        last = (len(data) - 1) // size * size
        if any(at + 50 + i * packet >= last for i in range(count)):
            break
    clusters = (os.path.getsize(wma) + size - 1) // size
    card = m.FatCard(m.new_image("quick_wma_fat16.img", 40), 0, ["-F", "16", "-s", "8"])
    rec, fill = "RECORD/", "RECORD/FILL/"
    card.mkdir(rec[:-1], fill[:-1])

    def filler(name, count, seed):
        card.put(m.blob("quick_wma_%s.bin" % name.lower(), count * size, seed), fill + name + ".BIN")

    filler("T", 4, 1300)
    filler("Z", 1, 1301)
    filler("H1", clusters // 2, 1302)
    filler("P", 3, 1303)
    filler("H2", clusters - clusters // 2 + 10, 1304)
    card.delete(fill + "T.BIN")
    card.delete(fill + "P.BIN")
    filler("W", 7, 1305)
    filler("Q", 1, 1306)  # takes P.BIN's deleted entry: no entry names W's second piece
    card.delete(fill + "H1.BIN")
    card.delete(fill + "H2.BIN")
    card.put(wma, rec + "REC_0001.WMA")
    card.delete(rec + "REC_0001.WMA")
    first, size, chain, _, _ = card.files[rec + "REC_0001.WMA"]
    assert len(m.fat.runs(chain)) == 2, "REC_0001.WMA is not in two pieces"
    m.run(*card.mkfs)
    m.add(card.image, rec + "REC_0001.WMA", first, size, "deleted", chain, wma, short_extension=True)


def quick_flv_card():
    if not shutil.which("ffmpeg"):
        print("ffmpeg is not installed: no quick-format FLV card")
        return
    flv = os.path.join(m.files_dir, "quick_clip.flv")
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "testsrc2=size=160x120:rate=15", "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050",
                    "-t", "10", "-c:v", "flv1", "-b:v", "200k", "-c:a", "adpcm_swf", "-map_metadata", "-1",
                    "-fflags", "+bitexact", "-flags:v", "+bitexact", "-f", "flv", flv], check=True)
    # 4 KiB clusters, each longer than most tags; FAT16 keeps no hint (first free cluster).
    size = 4096
    clusters = (os.path.getsize(flv) + size - 1) // size
    card = m.FatCard(m.new_image("quick_flv_fat16.img", 40), 0, ["-F", "16", "-s", "8"])
    cam, fill = "DCIM/100CAMRA/", "DCIM/100FILL/"
    card.mkdir("DCIM", cam[:-1], fill[:-1])

    def filler(name, count, seed):
        card.put(m.blob("quick_flv_%s.bin" % name.lower(), count * size, seed), fill + name + ".BIN")

    filler("T", 4, 1400)
    filler("Z", 1, 1401)
    filler("H1", clusters // 2, 1402)
    filler("P", 3, 1403)
    filler("H2", clusters - clusters // 2 + 10, 1404)
    card.delete(fill + "T.BIN")
    card.delete(fill + "P.BIN")
    filler("W", 7, 1405)
    filler("Q", 1, 1406)  # takes P.BIN's deleted entry: no entry names W's second piece
    card.delete(fill + "H1.BIN")
    card.delete(fill + "H2.BIN")
    card.put(flv, cam + "CLIP0001.FLV")
    card.delete(cam + "CLIP0001.FLV")
    first, size, chain, _, _ = card.files[cam + "CLIP0001.FLV"]
    assert len(m.fat.runs(chain)) == 2, "CLIP0001.FLV is not in two pieces"
    m.run(*card.mkfs)
    m.add(card.image, cam + "CLIP0001.FLV", first, size, "deleted", chain, flv, short_extension=True)

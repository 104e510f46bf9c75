"""A quick-formatted FAT32 card whose fragmented files were on the card when it was formatted,
made by make_fs_images.py when sox is there (512-byte clusters, mtools):
- SOUND.WAV was written after a burst of deletions: into the hole P0.BIN left, round MOVIE.BIN
  (a file written earlier into the holes of five small deleted fillers, H1A to H1E, and round
  X.BIN, which was deleted later), and on into X.BIN's clusters. MOVIE.BIN's stated size reaches
  well into X.BIN's clusters, so only MOVIE.BIN's first hole, up to the next cluster an entry
  names, says which clusters it held.
- PADDED.JPG, a photo with 0xFF padding after its EOI that its entry's size takes in, was written
  into the hole Q0.BIN left and went on after G.BIN."""

import os
import shutil

m = None  # the running make_fs_images, whose helpers and output folder these cards share

cluster = 512


def quick_chain_cards(maker):
    global m
    m = maker
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

"""Makes real media files with Debian's encoders (ImageMagick, ffmpeg, sox, flac, lame,
vorbis-tools, opus-tools, wavpack) and picks real camera files from the shared bench media.
Each generated file is cached by its recipe, so a second benchmark run encodes nothing."""

import importlib.util
import os
import random
import shutil
import struct
import subprocess

CAMERA_EXTS = {
    "jpg": "jpg", "jpeg": "jpg", "tif": "tif", "tiff": "tif", "nef": "nef", "cr2": "cr2",
    "dng": "dng", "crw": "crw", "raf": "raf", "x3f": "x3f", "orf": "orf", "rw2": "rw2",
    "mrw": "mrw", "arw": "arw", "sr2": "sr2", "pef": "pef", "dcr": "dcr", "gif": "gif",
    "bmp": "bmp", "png": "png", "avi": "avi", "mov": "mov", "mpg": "mpg", "mp4": "mp4",
    "3gp": "3gp", "m4v": "mp4", "wav": "wav",
}

# The kind of each type, for the card folder it goes into.
KIND = {}
for t in "cam jpg png gif bmp ico psd tif mng jng nef cr2 dng crw raf x3f orf rw2 mrw arw sr2 pef dcr".split():
    KIND[t] = "photo"
for t in "mp4 mov 3gp 3g2 avi wmv flv mkv webm mpg m2ts ts dv rm swf dpx ogv".split():
    KIND[t] = "video"
for t in "mp3 flac ogg opus aif au caf wav wma wv mid m4a xm it".split():
    KIND[t] = "audio"


def run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if r.returncode != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace")[-400:]))


def camera_files(media_root):
    """(path, type) of every supported camera file under the shared bench media."""
    out = []
    if not os.path.isdir(media_root):
        return out
    for d, _, names in os.walk(media_root):
        for n in sorted(names):
            ext = n.rsplit(".", 1)[-1].lower() if "." in n else ""
            p = os.path.join(d, n)
            if ext in CAMERA_EXTS and os.path.getsize(p) > 0:
                out.append((p, CAMERA_EXTS[ext]))
    out.sort()
    return out


class Maker:
    def __init__(self, cache, photo_sources):
        self.cache = cache
        self.photo_sources = photo_sources  # real camera JPEGs used as picture content
        os.makedirs(cache, exist_ok=True)

    def make(self, kind, seed):
        """Makes (or reuses) one file of type `kind` from `seed`; returns its path."""
        fn = getattr(self, "_" + kind)
        ext = {"ogg": "ogg", "aif": "aiff", "m2ts": "m2ts", "ts": "ts", "cam": "jpg"}.get(kind, kind)
        out = os.path.join(self.cache, "%s_%05d.%s" % (kind, seed, ext))
        if os.path.exists(out) and os.path.getsize(out) > 0:
            return out
        tmp = os.path.join(self.cache, "tmp_%s_%d" % (kind, seed))
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        try:
            part = os.path.join(tmp, "out." + ext)
            fn(random.Random(seed * 7919 + len(kind)), part, tmp)
            os.replace(part, out)
        finally:
            shutil.rmtree(tmp, ignore_errors=True)
        return out

    # Photos: real camera pictures cropped, scaled and re-encoded, or synthetic plasma.
    def _picture(self, r, tmp, width):
        if self.photo_sources:
            src = r.choice(self.photo_sources)
            pic = os.path.join(tmp, "pic.miff")
            run(["convert", "-define", "jpeg:size=%dx%d" % (width * 2, width * 2), src,
                 "-auto-orient", "-resize", "%dx" % width, "-modulate",
                 "%d,%d,%d" % (r.randint(85, 115), r.randint(70, 130), r.randint(80, 120)),
                 "-roll", "+%d+%d" % (r.randint(0, width), r.randint(0, width // 2)), pic])
            return pic, src
        pic = os.path.join(tmp, "pic.miff")
        run(["convert", "-seed", str(r.randint(1, 1 << 30)), "-size", "%dx%d" % (width, width * 3 // 4),
             "plasma:fractal", "-blur", "0x1", pic])
        return pic, None

    def _cam(self, r, out, tmp):
        """A JPEG as cameras write them: sequential, often with a camera's EXIF block."""
        self._jpg(r, out, tmp, ["baseline", "exif"])

    def _jpg(self, r, out, tmp, styles=("baseline", "progressive", "exif")):
        width = r.randint(1600, 4000)
        pic, _ = self._picture(r, tmp, width)
        style = r.choice(styles)
        cmd = ["convert", pic, "-quality", str(r.randint(80, 97))]
        if style == "progressive":
            cmd += ["-interlace", "JPEG"]
        if style == "exif" and self.photo_sources:
            # A camera JPEG's EXIF block, with its thumbnail, carried onto the new picture.
            src = r.choice(self.photo_sources)
            app1 = os.path.join(tmp, "exif.exif")
            r2 = subprocess.run(["convert", src, app1], capture_output=True)
            if r2.returncode == 0 and os.path.getsize(app1) > 0:
                cmd += ["-profile", app1]
        if style != "exif":
            cmd += ["-strip"]
        run(cmd + [out])

    def _png(self, r, out, tmp):
        pic, _ = self._picture(r, tmp, r.randint(800, 1600))
        run(["convert", pic, "-strip", "-define", "png:exclude-chunks=date,time", out])

    def _gif(self, r, out, tmp):
        if r.random() < 0.4:
            frames = []
            for i in range(r.randint(4, 10)):
                pic, _ = self._picture(r, tmp, r.randint(320, 480))
                fp = os.path.join(tmp, "f%d.miff" % i)
                os.replace(pic, fp)
                frames.append(fp)
            run(["convert", "-delay", "20", "-loop", "0"] + frames + ["-resize", "480x360!", out])
        else:
            pic, _ = self._picture(r, tmp, r.randint(800, 1400))
            run(["convert", pic, "-colors", "256", out])

    def _bmp(self, r, out, tmp):
        pic, _ = self._picture(r, tmp, r.randint(600, 1400))
        run(["convert", pic, "-type", "TrueColor", "BMP3:" + out])

    def _ico(self, r, out, tmp):
        pic, _ = self._picture(r, tmp, 512)
        run(["convert", pic, "-resize", "256x256!", "-define", "icon:auto-resize=256,128,64,48,32,16", out])

    def _psd(self, r, out, tmp):
        pic, _ = self._picture(r, tmp, r.randint(500, 1100))
        run(["convert", pic, out])

    def _tif(self, r, out, tmp):
        pic, _ = self._picture(r, tmp, r.randint(700, 1500))
        run(["convert", pic, "-compress", r.choice(["None", "LZW", "Zip"]), out])

    def _mng(self, r, out, tmp):
        frames = []
        for i in range(r.randint(3, 6)):
            pic, _ = self._picture(r, tmp, 400)
            fp = os.path.join(tmp, "f%d.miff" % i)
            os.replace(pic, fp)
            frames.append(fp)
        run(["convert", "-delay", "25"] + frames + ["-resize", "400x300!", out])

    def _jng(self, r, out, tmp):
        pic, _ = self._picture(r, tmp, r.randint(800, 1600))
        run(["convert", pic, "-quality", "90", out])

    # Videos: a moving test pattern with grain (so sizes follow the bitrate) and a tone.
    def _av(self, r, out, vcodec, acodec, fmt=None, size="640x360", rate=25, secs=None,
            vbr=None, extra=(), audio=("-ar", "44100", "-ac", "2")):
        secs = secs or r.randint(6, 30)
        vbr = vbr or r.choice([2000, 4000, 6000, 8000])
        cmd = ["ffmpeg", "-nostdin", "-y", "-v", "error",
               "-f", "lavfi", "-i", "testsrc2=size=%s:rate=%d:duration=%d,noise=alls=%d:allf=t"
               % (size, rate, secs, r.randint(8, 20)),
               "-f", "lavfi", "-i", "sine=frequency=%d:duration=%d" % (r.randint(200, 900), secs),
               "-map", "0:v", "-map", "1:a", "-c:v"] + vcodec.split()
        if vbr and "-q:v" not in vcodec:
            cmd += ["-b:v", "%dk" % vbr, "-maxrate", "%dk" % vbr, "-bufsize", "%dk" % vbr]
        cmd += ["-c:a"] + acodec.split() + list(audio) + list(extra)
        cmd += ["-map_metadata", "-1", "-fflags", "+bitexact", "-flags:v", "+bitexact"]
        if fmt:
            cmd += ["-f", fmt]
        run(cmd + [out])

    def _mp4(self, r, out, tmp):
        ex = ["-movflags", "+faststart"] if r.random() < 0.3 else []
        self._av(r, out, "libx264 -preset ultrafast -pix_fmt yuv420p", "aac -b:a 128k", extra=ex)

    def _mov(self, r, out, tmp):
        if r.random() < 0.5:
            self._av(r, out, "mjpeg -q:v 4 -pix_fmt yuvj420p", "pcm_s16le", secs=r.randint(4, 12))
        else:
            self._av(r, out, "libx264 -preset ultrafast -pix_fmt yuv420p", "aac -b:a 128k")

    def large_video(self, kind, seed, mib):
        """A phone's or camera's long clip of about `mib` MiB: H.264 in MP4 or MOV (fast preset),
        or motion JPEG in AVI; cached like the others."""
        out = os.path.join(self.cache, "large_%s_%05d_%d.%s" % (kind, seed, mib, kind))
        if os.path.exists(out) and os.path.getsize(out) > 0:
            return out
        part = out + ".part." + kind
        r = random.Random(seed)
        if kind == "avi":
            # 640x360 motion JPEG at quality 4 with grain runs about 2 MiB a second.
            self._av(r, part, "mjpeg -q:v 4 -pix_fmt yuvj420p", "pcm_s16le", secs=max(4, mib // 2))
        else:
            self._av(r, part, "libx264 -preset ultrafast -pix_fmt yuv420p", "aac -b:a 128k", secs=mib, vbr=8000,
                     fmt="mov" if kind == "mov" else "mp4")
        os.replace(part, out)
        return out

    def _3gp(self, r, out, tmp):
        self._av(r, out, "h263", "aac -b:a 64k", size="352x288", vbr=1500,
                 audio=("-ar", "22050", "-ac", "1"))

    def _3g2(self, r, out, tmp):
        self._av(r, out, "mpeg4", "aac -b:a 64k", size="352x288", vbr=1500,
                 audio=("-ar", "22050", "-ac", "1"))

    def _avi(self, r, out, tmp):
        if r.random() < 0.5:
            self._av(r, out, "mjpeg -q:v 4 -pix_fmt yuvj420p", "pcm_s16le", secs=r.randint(4, 12))
        else:
            self._av(r, out, "mpeg4 -vtag XVID", "libmp3lame -b:a 128k")

    def _wmv(self, r, out, tmp):
        self._av(r, out, "wmv2", "wmav2 -b:a 128k", fmt="asf")

    def _flv(self, r, out, tmp):
        self._av(r, out, "flv", "libmp3lame -b:a 128k", fmt="flv")

    def _mkv(self, r, out, tmp):
        self._av(r, out, "libx264 -preset ultrafast -pix_fmt yuv420p", "libvorbis -q:a 4", fmt="matroska")

    def _webm(self, r, out, tmp):
        self._av(r, out, "libvpx -deadline realtime -cpu-used 8", "libvorbis -q:a 4",
                 size="480x270", secs=r.randint(5, 15), vbr=3000, fmt="webm")

    def _mpg(self, r, out, tmp):
        self._av(r, out, "mpeg2video", "mp2 -b:a 192k", size="720x576", fmt="mpeg")

    def _m2ts(self, r, out, tmp):
        self._av(r, out, "libx264 -preset ultrafast -pix_fmt yuv420p", "ac3 -b:a 192k",
                 fmt="mpegts", audio=("-ar", "48000", "-ac", "2"),
                 extra=("-mpegts_m2ts_mode", "1"))

    def _ts(self, r, out, tmp):
        self._av(r, out, "mpeg2video", "mp2 -b:a 192k", size="720x576", fmt="mpegts")

    def _dv(self, r, out, tmp):
        self._av(r, out, "dvvideo -pix_fmt yuv420p", "pcm_s16le", size="720x576", secs=r.randint(3, 10),
                 vbr=0, fmt="dv", audio=("-ar", "48000", "-ac", "2"))

    def _rm(self, r, out, tmp):
        self._av(r, out, "rv20 -g 12", "real_144", size="320x240", vbr=600, fmt="rm",
                 audio=("-ar", "8000", "-ac", "1"))

    def _swf(self, r, out, tmp):
        self._av(r, out, "flv", "libmp3lame -b:a 128k", size="480x270", vbr=2000, fmt="swf")

    def _ogv(self, r, out, tmp):
        self._av(r, out, "libtheora -q:v 7", "libvorbis -q:a 4", size="480x270", secs=r.randint(5, 15),
                 fmt="ogg")

    def _dpx(self, r, out, tmp):
        run(["ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i",
             "testsrc2=size=1920x1080:rate=1,noise=alls=%d:allf=t" % r.randint(5, 20),
             "-frames:v", "1", "-c:v", "dpx", "-pix_fmt", r.choice(["rgb24", "rgb48le"]),
             "-fflags", "+bitexact", out])

    # Audio: pink noise and a tone through each encoder.
    def _pcm(self, r, tmp, secs=None, rate=44100):
        wav = os.path.join(tmp, "src.wav")
        secs = secs or r.randint(30, 240)
        run(["sox", "-R", "-n", "-r", str(rate), "-c", "2", "-b", "16", wav, "synth", str(secs),
             "pinknoise", "sine", "%d-%d" % (r.randint(100, 400), r.randint(500, 3000)), "vol", "0.5"])
        return wav

    def _mp3(self, r, out, tmp):
        run(["lame", "--quiet", "-b", str(r.choice([128, 192, 256, 320])), "--tt", "Track %d" % r.randint(1, 99),
             "--ta", "Tessera bench", self._pcm(r, tmp), out])

    def _flac(self, r, out, tmp):
        run(["flac", "-s", "-f", "-5", "-o", out, self._pcm(r, tmp, secs=r.randint(10, 50))])

    def _ogg(self, r, out, tmp):
        run(["oggenc", "-Q", "-q", str(r.randint(3, 8)), "-o", out, self._pcm(r, tmp)])

    def _opus(self, r, out, tmp):
        run(["opusenc", "--quiet", "--bitrate", str(r.choice([96, 128, 192])), self._pcm(r, tmp), out])

    def _wav(self, r, out, tmp):
        shutil.copy(self._pcm(r, tmp, secs=r.randint(5, 55)), out)

    def _aif(self, r, out, tmp):
        run(["sox", self._pcm(r, tmp, secs=r.randint(5, 55)), out])

    def _au(self, r, out, tmp):
        run(["sox", self._pcm(r, tmp, secs=r.randint(5, 55)), out])

    def _caf(self, r, out, tmp):
        run(["ffmpeg", "-nostdin", "-y", "-v", "error", "-i", self._pcm(r, tmp, secs=r.randint(5, 50)),
             "-c:a", "pcm_s16be", "-fflags", "+bitexact", "-f", "caf", out])

    def _wma(self, r, out, tmp):
        run(["ffmpeg", "-nostdin", "-y", "-v", "error", "-i", self._pcm(r, tmp), "-c:a", "wmav2",
             "-b:a", "128k", "-fflags", "+bitexact", "-f", "asf", out])

    def _m4a(self, r, out, tmp):
        run(["ffmpeg", "-nostdin", "-y", "-v", "error", "-i", self._pcm(r, tmp), "-c:a", "aac",
             "-b:a", "192k", "-fflags", "+bitexact", "-f", "ipod", out])

    def _wv(self, r, out, tmp):
        run(["wavpack", "-q", "-y", self._pcm(r, tmp, secs=r.randint(10, 40)), "-o", out])

    # Tracker modules: no Debian program writes them, so they come from the module writer of the
    # carver tests, laid out by the formats' documented structure.
    def _xm(self, r, out, tmp):
        with open(out, "wb") as f:
            f.write(module_writer().xm())

    def _it(self, r, out, tmp):
        with open(out, "wb") as f:
            f.write(module_writer().it())

    def _mid(self, r, out, tmp):
        with open(out, "wb") as f:
            f.write(midi_file(r))


def module_writer():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "ember", "fixtures",
                        "audio", "make_built.py")
    spec = importlib.util.spec_from_file_location("make_built", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def midi_file(r):
    """A Standard MIDI File (format 1) of random melodies, as a sequencer writes one."""
    def vlq(n):
        b = [n & 0x7F]
        n >>= 7
        while n:
            b.append(0x80 | (n & 0x7F))
            n >>= 7
        return bytes(reversed(b))
    tracks = []
    for ch in range(r.randint(2, 6)):
        ev = bytearray(b"\x00\xff\x03" + vlq(7) + b"Track %d" % ch)
        ev += b"\x00" + bytes([0xC0 | ch, r.randint(0, 127)])
        for _ in range(r.randint(2000, 8000)):
            note = r.randint(36, 96)
            ev += vlq(r.choice([0, 60, 120, 240])) + bytes([0x90 | ch, note, r.randint(40, 127)])
            ev += vlq(r.choice([60, 120, 240])) + bytes([0x80 | ch, note, 0])
        ev += b"\x00\xff\x2f\x00"
        tracks.append(b"MTrk" + struct.pack(">I", len(ev)) + ev)
    return b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), 480) + b"".join(tracks)


PHOTO_TYPES = ["jpg", "jpg", "jpg", "png", "gif", "bmp", "ico", "psd", "tif", "mng", "jng"]
VIDEO_TYPES = ["mp4", "mov", "3gp", "3g2", "avi", "wmv", "flv", "mkv", "webm", "mpg", "m2ts", "ts", "dv",
               "rm", "swf", "dpx", "ogv"]
AUDIO_TYPES = ["mp3", "flac", "ogg", "opus", "wav", "aif", "au", "caf", "wma", "m4a", "wv", "mid", "xm", "it"]
LARGE_TYPES = ["mp4", "mov", "avi", "mkv", "mpg", "m2ts", "dv"]

"""The media of the long-video card: long clips of 50 to 500 MB as a phone and a camera record
them, and bursts of 12-megapixel phone photos, made quickly with ffmpeg from real camera clips
and photos of the shared bench media (generated pictures where there are none). Everything is
cached by its recipe in the media cache, so a second run encodes nothing."""

import hashlib
import os
import random
import shutil
import subprocess

from media_gen import run

# style: (container type, card folder style, what records it)
STYLES = {
    "mp4-moov-last": ("mp4", "phone", "phone H.264 MP4, index written at the end"),
    "mp4-moov-first": ("mp4", "phone", "phone H.264 MP4, index moved to the front"),
    "mov": ("mov", "camera", "camera H.264 MOV with PCM sound"),
    "avi": ("avi", "camera", "camera motion-JPEG AVI with PCM sound"),
}

# Video bitrates well above what phones use (17 to 20 Mbit/s at 1080p), so that a clip reaches
# its size in a few seconds of encoding per 100 MB; grain keeps the encoder at the bitrate.
H264_KBPS = 48000
MJPEG_QUALITY = 3  # 1280x720 with grain runs about 10.7 MB a second


def _source_tag(path):
    return hashlib.sha256(path.encode()).hexdigest()[:8] if path else "gen"


def real_clips(media_root):
    """Camera and phone clips of the bench media that ffmpeg decodes for at least 2 s."""
    out = []
    if not os.path.isdir(media_root):
        return out
    for d, _, names in os.walk(media_root):
        for n in sorted(names):
            if n.rsplit(".", 1)[-1].lower() not in ("avi", "mov", "mp4", "m4v", "3gp"):
                continue
            p = os.path.join(d, n)
            r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "format=duration", "-of", "csv=p=0", p], capture_output=True, text=True)
            try:
                if r.returncode == 0 and float(r.stdout.strip() or 0) >= 2:
                    out.append(p)
            except ValueError:
                pass
    return sorted(out)


class LongMaker:
    def __init__(self, cache, clips, photos):
        self.cache = cache
        self.clips = clips    # real clips used as moving picture content
        self.photos = photos  # real camera JPEGs used as still picture content
        os.makedirs(cache, exist_ok=True)

    def _video_input(self, r, size, rate, secs):
        """ffmpeg input and filter for `secs` of moving picture at `size`: a real clip looped and
        scaled, or a test pattern, with grain that changes every frame."""
        w, h = size.split("x")
        grain = "noise=alls=%d:allf=t" % r.randint(10, 16)
        if self.clips:
            src = r.choice(self.clips)
            return src, ["-stream_loop", "-1", "-i", src], (
                "[0:v]scale=%s:%s,setsar=1,fps=%d,%s,format=yuv420p[v]" % (w, h, rate, grain))
        return None, ["-f", "lavfi", "-i", "testsrc2=size=%s:rate=%d" % (size, rate)], "[0:v]%s[v]" % grain

    def clip(self, style, seed, mib):
        """A clip of about `mib` MiB in `style` (see STYLES); returns its path."""
        kind = STYLES[style][0]
        r = random.Random(seed)
        if style == "avi":
            size, rate, mb_per_s = "1280x720", 30, 10.7
        else:
            size, rate, mb_per_s = "1920x1080", 30, H264_KBPS / 8000.0
        secs = max(2, int(round(mib * 1.048576 / mb_per_s)))
        src, vin, vf = self._video_input(r, size, rate, secs)
        out = os.path.join(self.cache, "long_%s_%05d_%d_%s.%s" % (style, seed, mib, _source_tag(src), kind))
        if os.path.exists(out) and os.path.getsize(out) > 0:
            return out
        tone = "sine=frequency=%d:sample_rate=48000" % r.randint(200, 900)
        cmd = ["ffmpeg", "-nostdin", "-y", "-v", "error"] + vin + ["-f", "lavfi", "-i", tone,
                                                                  "-filter_complex", vf, "-map", "[v]", "-map", "1:a",
                                                                  "-t", str(secs)]
        if style == "avi":
            cmd += ["-c:v", "mjpeg", "-q:v", str(MJPEG_QUALITY), "-pix_fmt", "yuvj420p", "-c:a", "pcm_s16le"]
        else:
            cmd += ["-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-b:v", "%dk" % H264_KBPS,
                    "-maxrate", "%dk" % H264_KBPS, "-bufsize", "%dk" % H264_KBPS, "-g", str(rate)]
            cmd += ["-c:a", "aac", "-b:a", "192k"] if kind == "mp4" else ["-c:a", "pcm_s16le"]
        if style == "mp4-moov-first":
            cmd += ["-movflags", "+faststart"]
        cmd += ["-ac", "2", "-map_metadata", "-1", "-fflags", "+bitexact", "-flags:v", "+bitexact",
                "-f", kind]
        part = out + ".part"
        run(cmd + [part])
        os.replace(part, out)
        return out

    def burst(self, seed, count=40):
        """`count` 4032x3024 JPEGs of one scene, as a phone shoots a series: a real photo (or a
        plasma picture) panned across frame by frame with fresh grain; returns their paths."""
        r = random.Random(seed)
        src = r.choice(self.photos) if self.photos else None
        q = r.choice([2, 2, 3])
        folder = os.path.join(self.cache, "burst_%05d_%d_%d_%s" % (seed, count, q, _source_tag(src)))
        names = [os.path.join(folder, "p%03d.jpg" % (i + 1)) for i in range(count)]
        if all(os.path.exists(n) and os.path.getsize(n) > 0 for n in names):
            return names
        tmp = folder + ".part"
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        if src:
            vin = ["-loop", "1", "-framerate", "5", "-i", src]
        else:
            vin = ["-f", "lavfi", "-i", "mandelbrot=size=1152x864:rate=5"]
        pan = "crop=4032:3024:x='(in_w-out_w)*t/%d':y='(in_h-out_h)*(1-t/%d)'" % (count // 5, count // 5)
        run(["ffmpeg", "-nostdin", "-y", "-v", "error"] + vin +
            ["-vf", "scale=4608:3456,setsar=1,%s,noise=alls=%d:allf=t,format=yuvj420p" % (pan, r.randint(6, 12)),
             "-frames:v", str(count), "-c:v", "mjpeg", "-q:v", str(q), "-fflags", "+bitexact",
             "-flags:v", "+bitexact", os.path.join(tmp, "p%03d.jpg")])
        shutil.rmtree(folder, ignore_errors=True)
        os.replace(tmp, folder)
        return names
